#!/usr/bin/env bash
# What a player's tools see of the built DLL: PE32 i386, no exports, imports only
# from KERNEL32.dll and msvcrt.dll, no pointer-encoding imports, no mingw runtime DLL.
set -euo pipefail
dll="$1"
objdump=i686-w64-mingw32-objdump
failed=0
fail() { echo "FAIL: $*"; failed=1; }

headers=$($objdump -p "$dll")
grep -q "file format pei-i386" <<<"$headers" || fail "not an i386 PE image"
grep -qE "^Magic[[:space:]]+010b" <<<"$headers" || fail "not PE32"
grep -qE "^[[:space:]]+DLL$" <<<"$headers" || fail "not a DLL"

exported=$(sed -n 's/^\tExport Address Table[ \t]*\([0-9a-f]*\)$/\1/p' <<<"$headers" | head -n 1)
[ -z "$exported" ] || [ "$((16#$exported))" -eq 0 ] || fail "exports $((16#$exported)) entries"

imports=$(sed -n 's/^\tDLL Name: //p' <<<"$headers" | sort -u | tr '\n' ' ')
[ "$imports" = "KERNEL32.dll msvcrt.dll " ] || fail "imports from: $imports"
if grep -qE "\b(EncodePointer|DecodePointer)\b" <<<"$headers"; then fail "imports pointer encoding"; fi

echo "imports: $imports; size $(stat -c %s "$dll") bytes"
exit $failed
