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
  if [ -n "${MENUPATCH_UPX:-}" ]; then
    unfit "$MENUPATCH_UPX" || { echo "$MENUPATCH_UPX"; return 0; }
    return 1
  fi
  local candidate reason why=""
  for candidate in "$(command -v upx 2>/dev/null)" "$(command -v upx-ucl 2>/dev/null)" "$fetched"; do
    [ -n "$candidate" ] || continue
    if reason=$(unfit "$candidate"); then
      why="${why:+$why; }$reason"
    else
      echo "$candidate"
      return 0
    fi
  done
  echo "${why:-no UPX on this machine}; scripts/install-deps.sh takes upx-ucl from Debian's bookworm-backports into $cache"
  return 1
}

fetch() {
  find_upx >/dev/null && return 0
  mkdir -p "$(dirname "$fetched")"
  bash "$root/scripts/backports-fetch.sh" upx-ucl ./usr/bin/upx-ucl "$fetched" || return 1
  local why
  if why=$(unfit "$fetched"); then
    echo "the fetched UPX will not do: $why" >&2
    return 1
  fi
  echo "UPX: $("$fetched" --version | head -n 1)"
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
