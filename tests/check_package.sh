#!/usr/bin/env bash
# The release zip holds the DLL, menupatch-check.exe, the text for players and
# checksums that verify.
# usage: check_package.sh DLL CHECKER VERSION
set -euo pipefail
dll="$1"
checker="$2"
version="$3"
here="$(cd "$(dirname "$0")" && pwd)"
work=$(mktemp -d /tmp/menupatch-package-test-XXXXXX)
trap 'rm -rf "$work"' EXIT

bash "$here/../scripts/package.sh" "$dll" "$checker" "$version" "$work" >/dev/null
zip="$work/menupatch-$version.zip"
mkdir "$work/unpacked"
(cd "$work/unpacked" && unzip -q "$zip")
[ "$(cd "$work/unpacked" && ls | tr '\n' ' ')" = "README.txt SHA256SUMS menupatch-check.exe menupatch.dll " ] ||
  { echo "FAIL: the zip holds $(ls "$work/unpacked")"; exit 1; }
(cd "$work/unpacked" && sha256sum -c --quiet SHA256SUMS)
cmp -s "$dll" "$work/unpacked/menupatch.dll" || { echo "FAIL: the zipped DLL is not the built one"; exit 1; }
cmp -s "$checker" "$work/unpacked/menupatch-check.exe" || { echo "FAIL: the zipped checker is not the built one"; exit 1; }
grep -q "menupatch-check" "$work/unpacked/README.txt" || { echo "FAIL: README.txt does not tell about menupatch-check"; exit 1; }
grep -q "menupatch $version" "$work/unpacked/README.txt" || { echo "FAIL: README.txt names no version"; exit 1; }

# The same files pack into the same zip.
first=$(sha256sum < "$zip")
bash "$here/../scripts/package.sh" "$dll" "$checker" "$version" "$work" >/dev/null
[ "$first" = "$(sha256sum < "$zip")" ] || { echo "FAIL: packing twice gives two zips"; exit 1; }
echo "package ok: $(sha256sum < "$zip" | cut -d' ' -f1)"
