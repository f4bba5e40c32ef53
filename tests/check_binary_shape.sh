#!/usr/bin/env bash
# What a player's tools see of a built DLL: PE32 i386 DLL; no exports; imports
# only from KERNEL32.dll and msvcrt.dll, none for pointer encoding, no mingw
# runtime DLL; ASLR and DEP on; loadable on old Windows releases; version
# information with the project's version; small.
# usage: check_binary_shape.sh DLL VERSION
set -euo pipefail
dll="$1"
version="$2"
max_size=16384
failed=0
fail() { echo "FAIL: $*"; failed=1; }

headers=$(i686-w64-mingw32-objdump -p "$dll")
field() { sed -n "s/^$1[[:space:]]\+//p" <<<"$headers" | head -n 1; }

grep -q "file format pei-i386" <<<"$headers" || fail "not an i386 PE image"
[ "$(field Magic | cut -c1-4)" = "010b" ] || fail "not PE32"
grep -qE "^[[:space:]]+DLL$" <<<"$headers" || fail "not a DLL"

exported=$(sed -n 's/^\tExport Address Table[ \t]*\([0-9a-f]*\)$/\1/p' <<<"$headers" | head -n 1)
[ -z "$exported" ] || [ "$((16#$exported))" -eq 0 ] || fail "exports $((16#$exported)) entries"

imports=$(sed -n 's/^\tDLL Name: //p' <<<"$headers" | sort -u | tr '\n' ' ')
[ "$imports" = "KERNEL32.dll msvcrt.dll " ] || fail "imports from: $imports"
if grep -qE "\b(EncodePointer|DecodePointer)\b" <<<"$headers"; then fail "imports pointer encoding"; fi

grep -qE "^[[:space:]]+DYNAMIC_BASE$" <<<"$headers" || fail "no DYNAMIC_BASE"
grep -qE "^[[:space:]]+NX_COMPAT$" <<<"$headers" || fail "no NX_COMPAT"
subsystem="$(field MajorSubsystemVersion).$(field MinorSubsystemVersion)"
[ "$(field MajorSubsystemVersion)" -lt 5 ] ||
  { [ "$(field MajorSubsystemVersion)" -eq 5 ] && [ "$(field MinorSubsystemVersion)" -le 1 ]; } ||
  fail "subsystem version $subsystem is above 5.01"

# Version strings are UTF-16 in the resource: each key is followed by its value.
strings_of() { strings -el "$dll" | grep -A1 -x "$1" | tail -n 1; }
for key in FileDescription ProductName FileVersion ProductVersion; do
  [ -n "$(strings_of "$key")" ] || fail "no $key in the version information"
done
[ "$(strings_of FileVersion)" = "$version" ] || fail "FileVersion $(strings_of FileVersion), not $version"
[ "$(strings_of ProductVersion)" = "$version" ] || fail "ProductVersion $(strings_of ProductVersion), not $version"

size=$(stat -c %s "$dll")
[ "$size" -le "$max_size" ] || fail "$size bytes, over $max_size"

echo "$dll: imports $imports; subsystem $subsystem; version $(strings_of FileVersion); $size bytes"
exit $failed
