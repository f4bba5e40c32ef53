#!/usr/bin/env bash
# Runs a Windows program under Wine, headless, in the project's own prefix.
# A crash ends the process with a non-zero code instead of starting the debugger.
#   wine-run.sh PROGRAM [ARGS...]     run a program
#   wine-run.sh --start               keep the prefix's wineserver and services up
#   wine-run.sh --stop                stop them
# --start and --stop exit 77 (skipped) where Wine cannot run, as wine-probe.sh decides.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
case "${1:-}" in
  --start|--stop)
    status=0
    reason=$(bash "$root/scripts/wine-probe.sh") || status=$?
    case $status in
      0) ;;
      1) echo "$reason"; exit 77 ;;
      *) exit 2 ;;
    esac ;;
esac
export WINEPREFIX="${MENUPATCH_WINEPREFIX:-$root/build/wineprefix}"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml=;winedbg.exe=d"
export WINEARCH=win32
# Wine takes Unix file names and command lines in the locale's charset: UTF-8,
# so that names in any script reach Windows programs whole.
export LC_ALL=C.UTF-8
mkdir -p "$(dirname "$WINEPREFIX")"
# What Wine said when it failed, from the log it wrote to (a file: Wine's
# services inherit the output of the first program of a server's life, and
# would hold a pipe open).
said() { echo "wine-run.sh: $1 (WINEPREFIX $WINEPREFIX); Wine said:" >&2; tail -n 20 "$2" >&2; exit 1; }
# The first run creates the prefix; tests running side by side must not race on it.
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  (flock 9; [ -f "$WINEPREFIX/system.reg" ] || { wineboot -i >"$WINEPREFIX.boot.log" 2>&1; wineserver -w; }) \
    9>"$WINEPREFIX.lock" || said "Wine could not make its prefix" "$WINEPREFIX.boot.log"
fi
case "${1:-}" in
  --start)
    # Started here, Wine's services hold no test's output pipe open.
    wineserver -p </dev/null >/dev/null 2>&1 || true
    wine cmd /c exit </dev/null >"$WINEPREFIX.start.log" 2>&1 ||
      said "Wine could not start a program" "$WINEPREFIX.start.log"
    exit 0 ;;
  --stop)
    wineserver -k </dev/null >/dev/null 2>&1 || true
    exit 0 ;;
esac
exec wine "$@"
