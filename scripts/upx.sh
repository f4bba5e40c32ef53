#!/usr/bin/env bash
# UPX 4, the packer the tests pack the stand-in game with, as players' copies
# of a game may come packed. Debian 12 has UPX 3.96 at most; 4 comes from its
# backports, into the project's cache (never through the machine's apt sources).
#
#   upx.sh find        the UPX to use, on stdout; exit 1 with the reason
#   upx.sh fetch       find one, else take Debian's backports package into the cache
#   upx.sh run ARGS... UPX with ARGS
#
# MENUPATCH_UPX names the one to use; MENUPATCH_CACHE the cache folder (default
# .cache/ of the project, which make clean keeps).
set -uo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
cache="${MENUPATCH_CACHE:-$root/.cache}"
fetched="$cache/upx/upx"
source "$root/scripts/backports.sh"

# Prints why this one will not do.
unfit() {
  local upx="$1" version
  version=$("$upx" --version 2>/dev/null | head -n 1)
  case "$version" in
    "upx 4."* | "upx 5."*) return 1 ;;
    "") echo "no UPX runs at $upx" ;;
    *) echo "$upx is $version; the tests want UPX 4 or later" ;;
  esac
  return 0
}

find_upx() {
  find_tool "${MENUPATCH_UPX:-}" UPX upx-ucl "$cache" "$(command -v upx 2>/dev/null)" \
    "$(command -v upx-ucl 2>/dev/null)" "$fetched"
}

fetch() {
  find_upx >/dev/null && return 0
  mkdir -p "$(dirname "$fetched")"
  fetch_tool upx-ucl ./usr/bin/upx-ucl "$fetched" UPX
}

case "${1:-}" in
  find) find_upx ;;
  fetch) fetch ;;
  run)
    shift
    upx=$(find_upx) || { echo "$upx" >&2; exit 1; }
    exec "$upx" "$@"
    ;;
  *) echo "usage: upx.sh find | fetch | run ARGS..." >&2; exit 2 ;;
esac
