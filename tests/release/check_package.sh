#!/usr/bin/env bash
# The release zip holds the DLL, menupatch-check.exe, the text for players, the
# changelog, the licence and checksums that verify; the Linux archive holds the
# Linux menupatch-check, the same texts and its checksums. Both pack the same
# way twice.
# usage: check_package.sh DLL CHECKER VERSION LINUX_CHECKER
set -euo pipefail
dll="$1"
checker="$2"
version="$3"
linux_checker="$4"
here="$(cd "$(dirname "$0")" && pwd)"
root="$here/../.."
work=$(mktemp -d /tmp/menupatch-package-test-XXXXXX)
trap 'rm -rf "$work"' EXIT

bash "$root/scripts/package.sh" "$dll" "$checker" "$version" "$work" >/dev/null
zip="$work/menupatch-$version.zip"
mkdir "$work/unpacked"
(cd "$work/unpacked" && unzip -q "$zip")
[ "$(cd "$work/unpacked" && ls | tr '\n' ' ')" = "CHANGELOG.txt LICENSE.txt README.txt SHA256SUMS menupatch-check.exe menupatch.dll " ] ||
  { echo "FAIL: the zip holds $(ls "$work/unpacked")"; exit 1; }
(cd "$work/unpacked" && sha256sum -c --quiet SHA256SUMS)
cmp -s "$dll" "$work/unpacked/menupatch.dll" || { echo "FAIL: the zipped DLL is not the built one"; exit 1; }
cmp -s "$checker" "$work/unpacked/menupatch-check.exe" || { echo "FAIL: the zipped checker is not the built one"; exit 1; }
grep -q "menupatch-check" "$work/unpacked/README.txt" || { echo "FAIL: README.txt does not tell about menupatch-check"; exit 1; }
# The texts every package carries: this version's README, the changelog with an
# entry for it, and the licence as the sources have it.
texts_hold() {
  local folder="$1"
  grep -q "menupatch $version" "$folder/README.txt" || { echo "FAIL: README.txt names no version"; exit 1; }
  grep -q "What's new in $version" "$folder/README.txt" || { echo "FAIL: README.txt says nothing new for $version"; exit 1; }
  grep -q "^## \[$version\] - [0-9-]*" "$folder/CHANGELOG.txt" || { echo "FAIL: CHANGELOG.txt has no entry for $version"; exit 1; }
  cmp -s "$root/LICENSE" <(tr -d '\r' < "$folder/LICENSE.txt") || { echo "FAIL: LICENSE.txt is not the licence"; exit 1; }
  cmp -s "$root/CHANGELOG.md" <(tr -d '\r' < "$folder/CHANGELOG.txt") || { echo "FAIL: CHANGELOG.txt is not the changelog"; exit 1; }
}
texts_hold "$work/unpacked"

# The same files pack into the same zip.
first=$(sha256sum < "$zip")
bash "$root/scripts/package.sh" "$dll" "$checker" "$version" "$work" >/dev/null
[ "$first" = "$(sha256sum < "$zip")" ] || { echo "FAIL: packing twice gives two zips"; exit 1; }
echo "package ok: $(sha256sum < "$zip" | cut -d' ' -f1)"

bash "$root/scripts/package-linux.sh" "$linux_checker" "$version" "$work" >/dev/null
archive="$work/menupatch-$version-linux-x86_64.tar.gz"
mkdir "$work/linux"
tar -xzf "$archive" -C "$work/linux"
folder="$work/linux/menupatch-$version-linux-x86_64"
[ "$(cd "$folder" && ls | tr '\n' ' ')" = "CHANGELOG.txt LICENSE.txt README.txt SHA256SUMS menupatch-check " ] ||
  { echo "FAIL: the Linux archive holds $(ls "$folder")"; exit 1; }
(cd "$folder" && sha256sum -c --quiet SHA256SUMS)
cmp -s "$linux_checker" "$folder/menupatch-check" || { echo "FAIL: the archived checker is not the built one"; exit 1; }
[ -x "$folder/menupatch-check" ] || { echo "FAIL: the archived checker cannot be run"; exit 1; }
grep -q "On Linux and Steam Deck" "$folder/README.txt" || { echo "FAIL: README.txt says nothing of Linux"; exit 1; }
texts_hold "$folder"
first=$(sha256sum < "$archive")
bash "$root/scripts/package-linux.sh" "$linux_checker" "$version" "$work" >/dev/null
[ "$first" = "$(sha256sum < "$archive")" ] || { echo "FAIL: packing twice gives two Linux archives"; exit 1; }
echo "linux package ok: $(sha256sum < "$archive" | cut -d' ' -f1)"
