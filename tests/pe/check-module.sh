#!/usr/bin/env bash
# Reads a built 32-bit Windows module and checks what the host relies on:
#
#   - a PE32 DLL for the i386 machine (0x14c);
#   - its export directory names the module Type471Lib.dll and exports exactly
#     one function, TYPE471, undecorated, at the address of the cdecl function
#     _TYPE471 (the COFF name of a cdecl C function), which leaves its
#     arguments to the caller (no `ret $n`);
#   - it imports TYPECK, MESSAGES, TRNSYSFUNCTIONS_mp_GETSIMULATIONTIMESTEP
#     and TRNSYSFUNCTIONS_mp_GETSIMULATIONSTARTTIME by name from TRNDll.dll,
#     nothing else from there, and otherwise only from Windows' own DLLs (no
#     C++ runtime, libgcc or winpthread DLL has to travel with it), and no
#     exp from the C runtime;
#   - no exp of a static runtime is linked in;
#   - no x87 arithmetic: the x87 unit only takes over the double results the
#     cdecl convention returns on its stack, and otherwise at most moves,
#     negates or compares doubles without changing a bit; nothing in the module
#     computes, rounds or converts on it (fadd, fmul, f2xm1, fscale, frndint,
#     fild, fist, ...) or changes its settings (fldcw, fninit), all of which
#     the module's SSE2 arithmetic never needs (the classes are below).
#
# With a stand-in kernel DLL and the module-definition file the import library
# is made from, also checks that the stand-in is TRNDll.dll for i386 and
# exports every routine the file lists, undecorated.
#
# Usage: check-module.sh OBJDUMP Type471Lib.dll [TRNDll.dll TRNDll.def]
# Prints every failed point and exits non-zero if there is one.
set -uo pipefail

objdump=$1
module=$2
kernel=${3:-}
kernelDef=${4:-}

failures=0
fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}
pass() { echo "ok: $*"; }

# The machine field of the COFF header: a little-endian 16-bit word four bytes
# after the "PE\0\0" signature, whose offset is the 32-bit word at 0x3c.
peMachine() {
  local offset signature
  offset=$(od -An -t u4 -j 60 -N 4 "$1" | tr -d ' ')
  signature=$(od -An -t x1 -j "$offset" -N 4 "$1" | tr -d ' ')
  [ "$signature" = 50450000 ] || { echo "no-PE-signature"; return; }
  od -An -t x2 -j $((offset + 4)) -N 2 "$1" | tr -d ' '
}

# Prints "DLL<TAB>name<TAB>by" for every import, by = name or ordinal.
imports() {
  "$objdump" -p "$1" | awk '
    /^\tDLL Name: / { dll = $3; next }
    dll != "" && /^\t[0-9a-f]+\t +[0-9]+ +[^ ]+/ { print dll "\t" $3 "\tname"; next }
    dll != "" && /^\t[0-9a-f]+\t +<none> / { print dll "\t" $2 "\tordinal"; next }
    /^$/ { if (dll != "" && seen) dll = ""; next }
    dll != "" { seen = 1 }'
}

# Prints the names of the export name table, one a line.
exportNames() {
  "$objdump" -p "$1" | awk '
    /^\[Ordinal\/Name Pointer\] Table/ { inTable = 1; next }
    inTable && /^\t\[ *[0-9]+\] / { print $NF; next }
    inTable { inTable = 0 }'
}

exportField() {
  "$objdump" -p "$1" | awk -v field="$2" '$0 ~ "^" field { print $NF; exit }'
}

checkCommon() {  # file expected-module-name
  local file=$1 name=$2 machine format
  machine=$(peMachine "$file")
  [ "$machine" = 014c ] && pass "$name: machine i386 (0x14c)" || fail "$name: machine is $machine, not i386 (014c)"
  format=$("$objdump" -f "$file" | awk '/file format/ { print $NF }')
  [ "$format" = pei-i386 ] || fail "$name: file format $format, not pei-i386"
  local headers named
  headers=$("$objdump" -p "$file")
  grep -q '^Magic[[:space:]]*010b' <<<"$headers" || fail "$name: not a PE32 image"
  grep -q '^[[:space:]]DLL$' <<<"$headers" || fail "$name: the image is not marked as a DLL"
  named=$(awk '/^Name[ \t]/ { print $NF; exit }' <<<"$headers")
  [ "$named" = "$name" ] && pass "$name: export directory names the module $named" ||
    fail "$name: export directory names the module '$named', not '$name'"
}

# Windows' own DLLs: the only imports allowed besides the host's kernel.
isSystemDll() {
  case "${1,,}" in
    kernel32.dll | msvcrt.dll | ucrtbase.dll | api-ms-win-*.dll) return 0 ;;
    *) return 1 ;;
  esac
}

checkImports() {  # file name
  local file=$1 name=$2 dll symbol by others=""
  while IFS=$'\t' read -r dll symbol by; do
    [ "$dll" = TRNDll.dll ] && continue
    if ! isSystemDll "$dll"; then
      others+=" $dll:$symbol"
    fi
    if [ "$symbol" = exp ]; then
      fail "$name: imports exp from $dll; the module brings its own exponential"
    fi
  done < <(imports "$file")
  [ -z "$others" ] && pass "$name: imports only from Windows system DLLs$([ "$name" = Type471Lib.dll ] && echo ' and TRNDll.dll')" ||
    fail "$name: imports from DLLs that would have to travel with it:$others"
}

################################################################ the module
[ -f "$module" ] || { echo "FAIL: $module does not exist" >&2; exit 1; }
checkCommon "$module" Type471Lib.dll

mapfile -t exported < <(exportNames "$module")
exportCount=$("$objdump" -p "$module" | awk '/^\tExport Address Table[ \t]/ { print $NF; exit }')
if [ "${#exported[@]}" -eq 1 ] && [ "${exported[0]}" = TYPE471 ] && [ "$((16#${exportCount:-0}))" = 1 ]; then
  pass "Type471Lib.dll: exactly one export, TYPE471"
else
  fail "Type471Lib.dll: exports [${exported[*]}] (address table of $exportCount), not exactly TYPE471"
fi

disassembly=$(mktemp)
trap 'rm -f "$disassembly"' EXIT
"$objdump" -d --no-show-raw-insn "$module" >"$disassembly"

# The export's address is the cdecl function _TYPE471: not _TYPE471@28
# (stdcall) nor a C++ name.
imageBase=$("$objdump" -p "$module" | awk '/^ImageBase/ { print $2; exit }')
exportRva=$("$objdump" -p "$module" | sed -n 's/^\t\[ *0\] +base\[ *[0-9]*\] \([0-9a-f]*\) Export RVA$/\1/p' | head -1)
exportAddress=$(printf '%08x' $((0x$imageBase + 0x${exportRva:-0})))
target=$(awk -v a="$exportAddress" '$1 == a && /^[0-9a-f]+ <.*>:$/ { print $2 }' "$disassembly")
if [ "$target" = "<_TYPE471>:" ]; then
  pass "Type471Lib.dll: TYPE471 is the cdecl function _TYPE471"
else
  fail "Type471Lib.dll: TYPE471 points at ${target:-no named function} (address $exportAddress), not the cdecl _TYPE471"
fi
calleePops=$(awk -v a="$exportAddress" '$1 == a && /^[0-9a-f]+ <.*>:$/ { inside = 1; next } /^$/ { inside = 0 }
                  inside && /\tret +\$/ { n++ } END { print n + 0 }' "$disassembly")
[ "$calleePops" = 0 ] && pass "Type471Lib.dll: TYPE471 leaves its arguments to the caller (cdecl)" ||
  fail "Type471Lib.dll: TYPE471 pops its own arguments (ret \$n), which is stdcall, not cdecl"

# Imports from the host's kernel: the four routines, by name.
wanted="MESSAGES TRNSYSFUNCTIONS_mp_GETSIMULATIONSTARTTIME TRNSYSFUNCTIONS_mp_GETSIMULATIONTIMESTEP TYPECK"
got=$(imports "$module" | awk -F'\t' '$1 == "TRNDll.dll" { print $2 ($3 == "name" ? "" : "(by ordinal)") }' | sort | xargs)
[ "$got" = "$wanted" ] && pass "Type471Lib.dll: imports $got by name from TRNDll.dll" ||
  fail "Type471Lib.dll: imports [$got] from TRNDll.dll, not [$wanted] by name"
checkImports "$module" Type471Lib.dll

# A static exp (libm's or the MinGW runtime's, both x87 code) must not be in
# the module either.
if grep -Eq '^[0-9a-f]+ <_?_?exp>:$' "$disassembly"; then
  fail "Type471Lib.dll: a runtime exp is linked in ($(grep -Eo '<_?_?exp>' "$disassembly" | head -1))"
else
  pass "Type471Lib.dll: no runtime exp linked in"
fi

# x87 instructions, by function and class: all of them start with f, as do
# no other i386 instructions the compiler emits but the segment prefix fs.
#   handover  the cdecl hand-over of a double result: a callee loads it
#             (fldl, or fldz / fld1 for a constant 0 or 1), a caller stores it
#             (fstpl) or drops it (fstp %st(0));
#   exact     moves, sign changes and comparisons of doubles that cannot
#             change a bit: a register loaded from a double holds exactly that
#             double until something computes on it, and only the classes
#             below compute.  They fail all the same: the module keeps its
#             doubles off the x87 unit except where the calling convention
#             puts them there.  (GCC's 32-bit code takes std::fabs of a double
#             in memory this way, fldl, fabs, fstpl, even under -mfpmath=sse.)
#   anything else fails: arithmetic (fadd, fmul, fdiv, fsqrt, frndint,
#             f2xm1, fscale, fyl2x, fxtract, ...), conversions that round or
#             widen (fild, fist, flds, fstps, fldt, fstpt), constants that are
#             only loaded to compute with (fldl2e, fldpi, ...), and changes of
#             the unit's settings or state (fldcw, fninit, fldenv, fnclex).
x87=$(awk '
  BEGIN {
    split("fabs fchs fxch fstl fld fst fstp fcom fcomp fcompp fcomi fcomip fucom fucomp fucompp fucomi fucomip " \
          "fcoml fcompl ftst fxam fnstsw fstsw fnop fcmovb fcmove fcmovbe fcmovu fcmovnb fcmovne fcmovnbe fcmovnu", e, " ")
    for (i in e) exact[e[i]] = 1
  }
  /^[0-9a-f]+ <.*>:$/ { fn = substr($2, 2, length($2) - 3); next }
  /^ *[0-9a-f]+:\t/ {
    split($0, part, "\t"); insn = part[2]; mnemonic = insn; sub(/ .*/, "", mnemonic)
    if (mnemonic !~ /^f/ || mnemonic == "fs" || mnemonic == "fwait") next
    operands = insn; sub(/^[^ ]+ */, "", operands)
    if ((mnemonic == "fldl" || mnemonic == "fstpl") && operands !~ /^%st/) next
    if (mnemonic == "fldz" || mnemonic == "fld1") next
    if (mnemonic == "fstp" && (operands == "%st(0)" || operands == "%st")) next
    # fld, fst and fstp without a size suffix only move between registers.
    if ((mnemonic == "fld" || mnemonic == "fst" || mnemonic == "fstp") && operands !~ /^%st/) { print "other", fn, mnemonic; next }
    print (mnemonic in exact ? "exact" : "other"), fn, mnemonic
  }' "$disassembly" | sort -u |
  awk '{ key = $1 " " $2; list[key] = list[key] " " $3 }
       END { for (k in list) { split(k, p, " "); print p[1] "\t    " p[2] ":" list[k] } }' | sort)
computing=$(awk -F'\t' '$1 == "other" { print $2 }' <<<"$x87")
moving=$(awk -F'\t' '$1 == "exact" { print $2 }' <<<"$x87")
if [ -z "$computing" ] && [ -z "$moving" ]; then
  pass "Type471Lib.dll: no x87 instructions but the cdecl double hand-over"
else
  fail "Type471Lib.dll: x87 instructions beyond the cdecl double hand-over, by function:"
  [ -z "$computing" ] || echo "$computing" >&2
  [ -z "$moving" ] || echo "$moving" >&2
fi

################################################################ the stand-in
if [ -n "$kernel" ]; then
  [ -f "$kernel" ] || { echo "FAIL: $kernel does not exist" >&2; exit 1; }
  checkCommon "$kernel" TRNDll.dll
  mapfile -t kernelExports < <(exportNames "$kernel")
  mapfile -t listed < <(sed -e 's/;.*//' "$kernelDef" | awk '/^[ \t]*EXPORTS/ { on = 1; next } on && NF { print $1 }')
  [ "${#listed[@]}" -eq 4 ] || fail "$kernelDef lists ${#listed[@]} routines, not the host's four"
  for routine in "${listed[@]}"; do
    printf '%s\n' "${kernelExports[@]}" | grep -qx "$routine" && pass "TRNDll.dll: exports $routine" ||
      fail "TRNDll.dll: does not export $routine undecorated"
  done
  checkImports "$kernel" TRNDll.dll
fi

if ((failures)); then
  echo "$failures check(s) failed" >&2
  exit 1
fi
echo "all module checks passed"
