#!/usr/bin/env bash
# Writes dist/menupatch-VERSION.zip: the DLL, menupatch-check.exe, the text for
# players, the changelog, the licence and SHA256SUMS, texts with Windows line
# ends. File dates are pinned so that the same files give the same zip.
# usage: package.sh DLL CHECKER VERSION [OUT_DIR]
set -euo pipefail
dll="$1"
checker="$2"
version="$3"
root="$(cd "$(dirname "$0")/.." && pwd)"
out="$(cd "${4:-$root/dist}" && pwd)"
stage=$(mktemp -d /tmp/menupatch-package-XXXXXX)
trap 'rm -rf "$stage"' EXIT

cp "$dll" "$stage/menupatch.dll"
cp "$checker" "$stage/menupatch-check.exe"
sed "s/@VERSION@/$version/" "$root/packaging/README.txt" | sed 's/$/\r/' > "$stage/README.txt"
sed 's/$/\r/' "$root/CHANGELOG.md" > "$stage/CHANGELOG.txt"
sed 's/$/\r/' "$root/LICENSE" > "$stage/LICENSE.txt"
files="menupatch.dll menupatch-check.exe README.txt CHANGELOG.txt LICENSE.txt"
(cd "$stage" && sha256sum $files > SHA256SUMS)
TZ=UTC touch -d "2000-01-01 00:00:00" "$stage"/*

zip_path="$out/menupatch-$version.zip"
rm -f "$zip_path"
(cd "$stage" && TZ=UTC zip -q -X -D "$zip_path" $files SHA256SUMS)
echo "$zip_path"
(cd "$stage" && cat SHA256SUMS)
(cd "$out" && sha256sum "$(basename "$zip_path")")
