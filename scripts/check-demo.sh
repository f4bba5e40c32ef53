#!/usr/bin/env bash
# menupatch-check as a player meets it, on the substitute host's game: the
# executable of build A, one laid out as none of the builds, and build A running
# with the plug-in loaded.
# usage: check-demo.sh WINDOWS_BUILD_DIR
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="$(cd "$1" && pwd)"
demo="$root/build/check-demo"
wine_run="$root/scripts/wine-run.sh"
mkdir -p "$demo"
cd "$demo"
rm -f stop host.log

# How Wine runs here, said once; one server for every program below, so that
# the checker may read the running game under emulation too.
route=$(bash "$root/scripts/wine-probe.sh" --route)
export MENUPATCH_WINE_ROUTE="${route%%$'\n'*}"
printf '%s\n\n' "${route#*$'\n'}"
"$wine_run" --start
trap '"$wine_run" --stop' EXIT

"$wine_run" "$build/substitute_host.exe" --build A --write-exe game.exe
"$wine_run" "$build/substitute_host.exe" --build C --page-base 0 --write-exe other.exe
# A settings file beside them, its flag byte set.
head -c 2048 /dev/zero > korvan.set
printf '\001' | dd of=korvan.set bs=1 seek=1466 conv=notrunc status=none

show() { # show ARGS...: the command as a player types it, and what it prints
  echo "> menupatch-check $*"
  local status=0
  "$wine_run" "$root/dist/menupatch-check.exe" "$@" | tr -d '\r' || status=$?
  echo "(exit status $status)"
  echo
}
show game.exe
show other.exe

"$wine_run" "$build/substitute_host.exe" --dll "$root/dist/menupatch.dll" --build A --settings . \
  --stay stop > host.log 2>&1 &
host=$!
for _ in $(seq 100); do grep -q "ready=yes" host.log 2>/dev/null && break; sleep 0.1; done
show --process substitute_host.exe
touch stop
wait "$host"
