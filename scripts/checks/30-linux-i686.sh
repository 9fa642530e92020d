#!/usr/bin/env bash
# The test suite on 32-bit x86: every test built with g++ -m32 -msse2
# -mfpmath=sse and run under qemu-i386, so the 32-bit code generation, the
# cdecl double returns from the kernel and the worked examples are checked bit
# for bit on a 32-bit target.
#
#   linux-i686         statically linked test programs, every test but those
#                      that load the module (a static program cannot);
#   linux-i686-shared  the module tests, linked against the 32-bit shared
#                      libraries and loading the 32-bit module as a host does.
set -euo pipefail
cd "$(dirname "$0")/../.."
jobs=$(nproc)

cmake --preset linux-i686 >/dev/null
cmake --build --preset linux-i686 -j "$jobs"

# The programs must really be 32-bit x86 and static, or the run below proves
# nothing about the 32-bit target.
program=build/linux-i686/tests/component_tests
header=$(readelf -h "$program")
segments=$(readelf -l "$program")
grep -q 'Class:[[:space:]]*ELF32' <<<"$header" || { echo "FAIL: $program is not ELF32" >&2; exit 1; }
grep -q 'Machine:[[:space:]]*Intel 80386' <<<"$header" || { echo "FAIL: $program is not i386" >&2; exit 1; }
if grep -q 'INTERP' <<<"$segments"; then
  echo "FAIL: $program is not statically linked" >&2
  exit 1
fi
echo "ok: $program is a static 32-bit x86 program"

# ctest runs every program through qemu-i386 (the toolchain's emulator).
ctest --preset linux-i686 -j "$jobs"
listed=$(ctest --test-dir build/linux-i686 -N)
grep -q 'whole_run_follows_the_worked_example_bit_for_bit' <<<"$listed" ||
  { echo "FAIL: the worked example is not among the 32-bit tests" >&2; exit 1; }

cmake --preset linux-i686-shared >/dev/null
cmake --build --preset linux-i686-shared -j "$jobs" --target module_tests
qemu-i386 build/linux-i686-shared/tests/module_tests
echo "32-bit x86 suite passed under qemu-i386"
