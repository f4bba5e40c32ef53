#!/usr/bin/env bash
# Two clean builds of the same sources in two different folders must give the
# same DLL and the same menupatch-check.exe, byte for byte: no timestamps, no
# build paths, no dates inside.
# usage: check_reproducible.sh SOURCE_DIR TOOLCHAIN_FILE
set -euo pipefail
source_dir="$1"
toolchain="$2"
work=$(mktemp -d /tmp/menupatch-repro-XXXXXX)
trap 'rm -rf "$work"' EXIT

build_in() {
  local tree="$work/$1/menupatch-src"
  mkdir -p "$tree"
  (cd "$source_dir" && git ls-files -co --exclude-standard -z | xargs -0 cp --parents -t "$tree")
  # Zydis' sources are the cache's, outside the copies: the checker holds no path to them.
  cmake -S "$tree" -B "$tree/out" -DCMAKE_TOOLCHAIN_FILE="$tree/$toolchain" \
    -DMENUPATCH_ZYDIS="$(bash "$source_dir/scripts/zydis.sh" path)" >/dev/null
  cmake --build "$tree/out" -j 2 --target menupatch menupatch-check >/dev/null
  (cd "$tree/out" && sha256sum menupatch.dll menupatch-check.exe)
}

first=$(build_in one)
second=$(build_in "another-folder/deeper")
echo "first:"; echo "$first"
echo "second:"; echo "$second"
[ "$first" = "$second" ] || { echo "FAIL: the two builds differ"; exit 1; }
