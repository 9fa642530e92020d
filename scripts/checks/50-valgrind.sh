#!/usr/bin/env bash
# One whole example run under valgrind's memcheck: the runner reads the
# bundled run file and its input table, loads the component's module as the
# host does, drives both units through the week and writes the results, the
# message log and the figure.  Any invalid read or write, use of
# uninitialised memory or leak fails the check.  Memory that the font
# libraries behind the figure keep for the life of the process is suppressed
# (valgrind-third-party.supp); nothing of ours is.
set -euo pipefail
cd "$(dirname "$0")/../.."
build=build/valgrind

cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPCM_BUILD_TESTS=OFF >/dev/null
cmake --build "$build" -j "$(nproc)" --target pcm-run Type471Lib

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
log="$work/valgrind.log"
if ! valgrind --leak-check=full --error-exitcode=99 --track-origins=yes \
    --suppressions=scripts/checks/valgrind-third-party.supp \
    "$build/runner/pcm-run" --quiet --module "$build/host/libType471Lib.so" --output "$work/results" \
    examples/pcm-wallboard.toml >"$log" 2>&1; then
  tail -n 80 "$log" >&2
  echo "50-valgrind: the example run failed or memcheck found errors (log above)" >&2
  exit 1
fi
for f in results.csv messages.log temperatures.png temperatures.svg; do
  [ -s "$work/results/$f" ] || { echo "50-valgrind: the run wrote no $f" >&2; exit 1; }
done
echo "50-valgrind: example run clean: $(grep -o 'ERROR SUMMARY: [0-9]* errors' "$log"), $(grep -o 'definitely lost: [0-9,]* bytes' "$log" || echo 'no leaks')" >&2
