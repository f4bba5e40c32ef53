#!/usr/bin/env bash
# What a player's tools see of a built DLL: PE32 i386 DLL; no exports; exactly
# the imports the patch needs, from KERNEL32.dll and msvcrt.dll; no run-time
# start-up code (no TLS directory, no .CRT or .eh_frame section); ASLR, DEP and
# no SEH handlers; loadable on old Windows releases; version information with the project's
# version; small.
# usage: check_binary_shape.sh DLL VERSION
set -euo pipefail
dll="$1"
version="$2"
max_size=8192
source "$(dirname "$0")/pe_headers.sh"
pe_headers "$dll"

grep -q "file format pei-i386" <<<"$headers" || fail "not an i386 PE image"
[ "$(field Magic | cut -c1-4)" = "010b" ] || fail "not PE32"
grep -qE "^[[:space:]]+DLL$" <<<"$headers" || fail "not a DLL"
[ "$(field Subsystem | cut -c1-8)" = "00000002" ] || fail "subsystem $(field Subsystem), not 2 (a DLL has no console)"

exported=$(sed -n 's/^\tExport Address Table[ \t]*\([0-9a-f]*\)$/\1/p' <<<"$headers" | head -n 1)
[ -z "$exported" ] || [ "$((16#$exported))" -eq 0 ] || fail "exports $((16#$exported)) entries"

# Every imported (DLL, function) pair. A compiler may call memcpy or memset for
# a copy; anything else new (start-up code, pointer encoding, thread-local
# storage, LoadLibrary) turns this red.
expected_imports="KERNEL32.dll VirtualProtect
KERNEL32.dll VirtualQuery
msvcrt.dll fclose
msvcrt.dll fopen
msvcrt.dll fread
msvcrt.dll fseek"
imports=$(awk '/^\tDLL Name: /{dll=$3; next}
               dll != "" && /^\t[0-9a-f]+\t +[0-9]+ +[A-Za-z_]/{print dll, $3}
               /^$/{dll=""}' <<<"$headers" | sort)
unexpected=$(grep -vxE "msvcrt.dll (memcpy|memset)" <<<"$imports" || true)
[ "$unexpected" = "$expected_imports" ] || fail "imports are not exactly the expected ones:
$(diff <(echo "$expected_imports") <(echo "$unexpected") | grep '^[<>]')"

sections=$(i686-w64-mingw32-objdump -h "$dll" | awk '/^ *[0-9]+ /{print $2}' | tr '\n' ' ')
for section in .CRT .eh_fram .eh_frame .tls; do
  if grep -qw -- "$section" <<<"$sections"; then fail "has a $section section: run-time start-up code is linked in"; fi
done
tls=$(sed -n 's/^Entry 9 [0-9a-f]* \([0-9a-f]*\) Thread Storage Directory.*/\1/p' <<<"$headers")
[ "$((16#${tls:-0}))" -eq 0 ] || fail "has a TLS directory"

check_dll_characteristics
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

echo "$dll: $(grep -c . <<<"$imports") imports; sections $sections; subsystem $subsystem; version $(strings_of FileVersion); $size bytes"
exit $failed
