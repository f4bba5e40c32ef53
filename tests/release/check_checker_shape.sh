#!/usr/bin/env bash
# What Windows sees of menupatch-check.exe before it runs a line of it: a PE32
# i386 console program (a window opens when it is dragged on); an application
# manifest that asks for no administrator rights, so that the "patch" in its
# name does not make Windows take it for an installer; the Windows releases it
# claims (7 and later), with imports only from system DLLs every one of them
# has; ASLR, DEP and no SEH handlers; version information with the project's version.
# usage: check_checker_shape.sh EXE VERSION
set -euo pipefail
exe="$1"
version="$2"
source "$(dirname "$0")/pe_headers.sh"
pe_headers "$exe"

grep -q "file format pei-i386" <<<"$headers" || fail "not an i386 PE image"
[ "$(field Magic | cut -c1-4)" = "010b" ] || fail "not PE32"
grep -qE "^[[:space:]]+DLL$" <<<"$headers" && fail "a DLL, not a program"
[ "$(field Subsystem | cut -c1-8)" = "00000003" ] || fail "subsystem $(field Subsystem), not 3 (console)"
subsystem="$(field MajorSubsystemVersion).$(field MinorSubsystemVersion)"
[ "$subsystem" = "6.1" ] || fail "subsystem version $subsystem, not 6.1 (Windows 7)"
check_dll_characteristics

dlls=$(sed -n 's/^\tDLL Name: //p' <<<"$headers" | sort -u | tr '\n' ' ')
[ "$dlls" = "KERNEL32.dll msvcrt.dll " ] || fail "imports from $dlls, not only KERNEL32.dll and msvcrt.dll"

# The resources as binutils reads them out of the file's resource section.
resources=$(i686-w64-mingw32-windres -J coff -i "$exe" -O rc)
manifest=$(awk '/^1 24 /{on=1} on{print} on && /^END/{exit}' <<<"$resources")
[ -n "$manifest" ] || fail "no application manifest (resource 1 of type 24)"
grep -q 'requestedExecutionLevel level=""asInvoker"" uiAccess=""false""' <<<"$manifest" ||
  fail "the manifest does not ask to run as invoker"
for os in 35138b9a-5d96-4fbd-8e2d-a2440225f93a 4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38 \
          1f676c76-80e1-4239-95bb-83d0f6d0da78 8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a; do
  grep -q "supportedOS Id=\"\"{$os}\"\"" <<<"$manifest" || fail "the manifest does not name Windows release $os"
done
for key in FileVersion ProductVersion; do
  grep -q "VALUE \"$key\", \"$version\"" <<<"$resources" || fail "no $key $version in the version information"
done
grep -q 'VALUE "OriginalFilename", "menupatch-check.exe"' <<<"$resources" || fail "OriginalFilename is not menupatch-check.exe"

echo "$exe: console, subsystem $subsystem, imports from $dlls, manifest asInvoker, version $version"
exit $failed
