#!/usr/bin/env bash
# Writes dist/menupatch-VERSION-linux-x86_64.tar.gz: the Linux menupatch-check,
# the text for players, the changelog, the licence and SHA256SUMS. Owners, dates and order are pinned so
# that the same files give the same archive.
# usage: package-linux.sh CHECKER VERSION [OUT_DIR]
set -euo pipefail
checker="$1"
version="$2"
root="$(cd "$(dirname "$0")/.." && pwd)"
out="$(cd "${3:-$root/dist}" && pwd)"
stage=$(mktemp -d /tmp/menupatch-package-XXXXXX)
trap 'rm -rf "$stage"' EXIT

name="menupatch-$version-linux-x86_64"
mkdir "$stage/$name"
cp "$checker" "$stage/$name/menupatch-check"
chmod 0755 "$stage/$name/menupatch-check"
sed "s/@VERSION@/$version/" "$root/packaging/README.txt" > "$stage/$name/README.txt"
cp "$root/CHANGELOG.md" "$stage/$name/CHANGELOG.txt"
cp "$root/LICENSE" "$stage/$name/LICENSE.txt"
(cd "$stage/$name" && sha256sum menupatch-check README.txt CHANGELOG.txt LICENSE.txt > SHA256SUMS)

archive="$out/$name.tar.gz"
(cd "$stage" && tar --sort=name --mtime="2000-01-01 00:00:00 UTC" --owner=0 --group=0 --numeric-owner \
    --mode='u+rwX,go+rX,go-w' -cf - "$name" | gzip -9 -n > "$archive")
echo "$archive"
(cd "$stage/$name" && cat SHA256SUMS)
(cd "$out" && sha256sum "$(basename "$archive")")
