#!/usr/bin/env bash
# The 32-bit Windows module: cross-builds Type471Lib.dll and the stand-in
# TRNDll.dll with MinGW-w64 and reads the built files back: machine, module
# name, the one undecorated cdecl export, the imports, and no x87 arithmetic
# (tests/pe/check-module.sh).  Then shows that the reader catches a module
# that gets those points wrong, and that relinking gives the same bytes.
set -euo pipefail
cd "$(dirname "$0")/../.."

objdump=i686-w64-mingw32-objdump
build=build/mingw-i686

cmake --preset mingw-i686 >/dev/null
cmake --build --preset mingw-i686 -j "$(nproc)"

module=$build/host/Type471Lib.dll
kernel=$build/stand_in_kernel/TRNDll.dll
tests/pe/check-module.sh "$objdump" "$module" "$kernel" host/TRNDll.def

# A module with a stdcall export computed on the x87 unit, its libgcc in a DLL
# of its own and no kernel imports must fail on each of these points.
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
cat >"$scratch/wrong.cpp" <<'EOF'
extern "C" __declspec(dllexport) double __stdcall TYPE471(double a, double b) { return a * b + 1.0 / a; }
EOF
i686-w64-mingw32-g++-win32 -O2 -mfpmath=387 -shared -shared-libgcc -o "$scratch/Wrong.dll" "$scratch/wrong.cpp"
if tests/pe/check-module.sh "$objdump" "$scratch/Wrong.dll" >"$scratch/report" 2>&1; then
  echo "FAIL: the module checks passed a stdcall x87 module" >&2
  cat "$scratch/report" >&2
  exit 1
fi
for point in "names the module 'Wrong.dll'" "not exactly TYPE471" "not the cdecl _TYPE471" "pops its own arguments" "not [MESSAGES" "libgcc_s_dw2-1.dll" "x87 instructions beyond"; do
  grep -qF "$point" "$scratch/report" || {
    echo "FAIL: the module checks missed '$point' in a wrong module:" >&2
    cat "$scratch/report" >&2
    exit 1
  }
done
echo "ok: the module checks reject a wrong module on every point"

# Linking carries no time stamp: the same objects give the same bytes.
before=$(sha256sum <"$module")
rm "$module"
cmake --build --preset mingw-i686 >/dev/null
[ "$(sha256sum <"$module")" = "$before" ] || { echo "FAIL: relinking Type471Lib.dll gave other bytes" >&2; exit 1; }
echo "ok: relinking gives the same bytes ($(cut -c1-16 <<<"$before"))"
echo "Windows module: $module"
