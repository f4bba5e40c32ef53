#!/usr/bin/env bash
# The figures behind the checker's threshold for "encrypted or compressed": the
# byte entropy of windows of each size over the code of every PE file on this
# machine (Wine's, mingw-w64's and any other), over the same files packed by
# UPX, over compressed files, and over the PE files encrypted with a keystream.
# usage: entropy-survey.sh NATIVE_BUILD_DIR
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
survey="$(cd "$1" && pwd)/entropy_survey"
work="$root/build/entropy-survey"
rm -rf "$work"
mkdir -p "$work/packed"
# PE files by their first two bytes, under the folders packages install to.
find /usr /opt -xdev -type f \( -iname '*.exe' -o -iname '*.dll' -o -iname '*.drv' -o -iname '*.sys' \
     -o -iname '*.ocx' -o -iname '*.cpl' -o -iname '*.acm' -o -iname '*.ax' -o -iname '*.efi' \) 2>/dev/null |
  while read -r file; do [ "$(head -c 2 "$file" 2>/dev/null)" = MZ ] && echo "$file"; done > "$work/pe.txt"
# Some 32-bit programs packed by UPX, as a packer's compressed code.
upx=$(bash "$root/scripts/upx.sh" find) || upx=""
if [ -n "$upx" ]; then
  grep -i 'i386-windows/.*\.exe$' "$work/pe.txt" | head -n 150 | while read -r file; do
    "$upx" -q -q -o "$work/packed/$(basename "$file")" "$file" >/dev/null 2>&1 || true
  done
fi
{
  sed 's/^/code /' "$work/pe.txt"
  find "$work/packed" -type f | sed 's/^/packed /'
  find /usr -xdev -type f \( -name '*.gz' -o -name '*.xz' -o -name '*.bz2' \) -size +8k 2>/dev/null | head -n 3000 |
    sed 's/^/compressed /'
  head -n 400 "$work/pe.txt" | sed 's/^/encrypted /'
} > "$work/list.txt"
echo "the entropy of file bytes, by window size (bench/entropy_survey.cpp):"
"$survey" < "$work/list.txt"
[ -n "$upx" ] || echo "(no UPX 4 here: nothing packed was measured; scripts/upx.sh fetch takes it)"
rm -rf "$work"
