#!/usr/bin/env bash
# Runs a Windows program under Wine, headless, in the project's own prefix.
# A crash ends the process with a non-zero code instead of starting the debugger.
#   wine-run.sh PROGRAM [ARGS...]     run a program
#   wine-run.sh --start               keep the prefix's wineserver and services up
#   wine-run.sh --stop                stop them
# --start and --stop exit 77 (skipped) where Wine cannot run, as wine-probe.sh
# decides. Where it runs under QEMU's emulation, every Wine command here runs in
# namespaces where the emulator runs i386 programs (scripts/qemu-i386.sh): those
# of the server that --start started, so that the server may look into every
# program as it does natively (ReadProcessMemory), else new ones of its own.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
status=0
route=$(bash "$root/scripts/wine-probe.sh" --route) || status=$?
case $status in
  0) ;;
  1) echo "$route"; case "${1:-}" in --start|--stop) exit 77 ;; *) exit 1 ;; esac ;;
  *) exit 2 ;;
esac
route="${route%%$'\n'*}"
export WINEPREFIX="${MENUPATCH_WINEPREFIX:-$root/build/wineprefix}"
emulated_server="$WINEPREFIX.emulated-server"
qemu=(bash "$root/scripts/qemu-i386.sh")
in_route=()
if [ "$route" = emulated ]; then
  in_route=("${qemu[@]}" run)
  pid=$(cat "$emulated_server" 2>/dev/null) || pid=""
  case "$(cat "/proc/${pid:-0}/comm" 2>/dev/null)" in
    wineserver*) in_route=("${qemu[@]}" enter "$pid") ;;
  esac
fi
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
  (flock 9; [ -f "$WINEPREFIX/system.reg" ] || { "${in_route[@]}" wineboot -i >"$WINEPREFIX.boot.log" 2>&1; "${in_route[@]}" wineserver -w; }) \
    9>"$WINEPREFIX.lock" || said "Wine could not make its prefix" "$WINEPREFIX.boot.log"
fi
case "${1:-}" in
  --start)
    # Started here, Wine's services hold no test's output pipe open.
    if [ "$route" = emulated ] && [ "${in_route[2]}" = run ]; then
      # A server in the foreground holds the namespaces for every command after
      # it; one left from elsewhere would not share them.
      "${in_route[@]}" wineserver -k </dev/null >/dev/null 2>&1 || true
      "${in_route[@]}" wineserver -f -p </dev/null >/dev/null 2>&1 &
      pid=$!
      # Ready once it listens: its socket in the folder it works in.
      for _ in $(seq 200); do [ -S "/proc/$pid/cwd/socket" ] && break; kill -0 $pid 2>/dev/null || break; sleep 0.05; done
      kill -0 $pid 2>/dev/null || said "Wine's server did not stay up" /dev/null
      echo $pid > "$emulated_server"
      in_route=("${qemu[@]}" enter $pid)
    else
      "${in_route[@]}" wineserver -p </dev/null >/dev/null 2>&1 || true
    fi
    "${in_route[@]}" wine cmd /c exit </dev/null >"$WINEPREFIX.start.log" 2>&1 ||
      said "Wine could not start a program" "$WINEPREFIX.start.log"
    exit 0 ;;
  --stop)
    "${in_route[@]}" wineserver -k </dev/null >/dev/null 2>&1 || true
    rm -f "$emulated_server"
    exit 0 ;;
esac
exec "${in_route[@]}" wine "$@"
