#!/usr/bin/env bash
# Short fuzz runs, under AddressSanitizer and UndefinedBehaviorSanitizer with
# clang's libFuzzer: the component's entry fed arbitrary call sequences, its
# decimal conversion held against the C library's, and the runner's run-file
# and CSV parsing fed arbitrary text.  First every input that once found a
# fault (fuzz/regressions/), then some seconds of fuzzing from the committed
# seeds (fuzz/corpus/).  Long runs are made by hand; see docs/hardening.md.
#
# PCM_FUZZ_SECONDS sets the seconds per fuzzer (default 10).
set -euo pipefail
cd "$(dirname "$0")/../.."
seconds=${PCM_FUZZ_SECONDS:-10}
build=build/fuzz

cmake -S fuzz -B "$build" -G Ninja -DCMAKE_CXX_COMPILER=clang++ >/dev/null
cmake --build "$build" -j "$(nproc)"

targets=(entry decimal runfile)

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$build/artifacts"

for target in "${targets[@]}"; do
  fuzzer="$build/fuzz_$target"
  [ -x "$fuzzer" ] || { echo "40-fuzz: $fuzzer was not built" >&2; exit 1; }
  log="$work/$target.log"

  mapfile -t kept < <(find "fuzz/regressions/$target" -type f 2>/dev/null | sort)
  if ((${#kept[@]})); then
    "$fuzzer" "${kept[@]}" >"$log" 2>&1 || {
      tail -n 60 "$log" >&2
      echo "40-fuzz: $target: an input that once found a fault fails again" >&2
      exit 1
    }
  fi

  mkdir -p "$work/$target"
  dict=()
  [ -f "fuzz/$target.dict" ] && dict=(-dict="fuzz/$target.dict")
  if ! "$fuzzer" "${dict[@]}" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
      -artifact_prefix="$build/artifacts/$target-" "$work/$target" "fuzz/corpus/$target" >"$log" 2>&1; then
    tail -n 60 "$log" >&2
    echo "40-fuzz: $target: fault found; the input is in $build/artifacts/" >&2
    exit 1
  fi
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
  cov=$(grep -o 'cov: [0-9]*' "$log" | tail -n 1)
  echo "40-fuzz: $target: $runs inputs in ${seconds} s, $cov, no fault" >&2
done
