#!/usr/bin/env bash
# Zydis 4, the x86 decoder menupatch-check measures code with, built into both
# checkers from its sources: Debian 12's source package of Zydis, and the
# headers of Zycore (the small library Zydis builds on) from its -dev package,
# whose source Debian's mirror does not serve here. Taken into the project's
# cache with a private apt configuration, never through the machine's sources.
#
#   zydis.sh fetch     unless the cache holds them: .cache/zydis/src (Zydis) and
#                      .cache/zydis/zycore (Zycore's headers)
#   zydis.sh path      the folder that holds both, on stdout; exit 1 if not there
#
# MENUPATCH_CACHE names the cache folder (default .cache/ of the project).
set -uo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
cache="${MENUPATCH_CACHE:-$root/.cache}"
folder="$cache/zydis"
source "$root/scripts/backports.sh"

there() { [ -f "$folder/src/include/Zydis/Zydis.h" ] && [ -f "$folder/zycore/include/Zycore/Zycore.h" ]; }

fetch() {
  there && return 0
  local work="$folder/apt" apt
  echo "fetching Zydis' source and Zycore's headers from Debian's bookworm into $folder"
  private_apt "$work" "deb bookworm" "deb-src bookworm" || return 1
  (cd "$work" && apt-get "${apt[@]}" source --download-only zydis/bookworm &&
     apt-get "${apt[@]}" download libzycore-dev/bookworm) >>"$work/apt.log" 2>&1 ||
    { echo "apt-get could not fetch Zydis:" >&2; tail -n 5 "$work/apt.log" >&2; return 1; }
  rm -rf "$folder/src" "$folder/zycore"
  mkdir -p "$folder/src" "$folder/zycore/include"
  tar -xzf "$work"/zydis_*.orig.tar.gz -C "$folder/src" --strip-components=1 &&
    dpkg-deb --fsys-tarfile "$work"/libzycore-dev_*.deb | tar -x -C "$folder/zycore" ./usr/include/Zycore &&
    mv "$folder/zycore/usr/include/Zycore" "$folder/zycore/include/" && rm -rf "$folder/zycore/usr" "$work" ||
    { echo "Zydis' sources could not be unpacked" >&2; return 1; }
  there && echo "Zydis: $(sed -n 's/^project(Zydis VERSION \([0-9.]*\).*/\1/p' "$folder/src/CMakeLists.txt")"
}

case "${1:-}" in
  fetch) fetch ;;
  path) there && echo "$folder" ;;
  *) echo "usage: zydis.sh fetch | path" >&2; exit 2 ;;
esac
