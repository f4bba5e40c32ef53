#!/usr/bin/env bash
# The one place that decides whether this machine can run the Wine side: the
# demo under Wine, the end-to-end tests, the loader comparison, check-demo and
# the benchmark. It starts Wine's 32-bit loader, a 32-bit x86 program, and says
# in words why that fails where it does.
#
# MENUPATCH_WINE chooses:
#   auto      (the default) use Wine where it runs, go without it where it cannot
#   off       go without it, as if it could not run (to try that path anywhere)
#   required  a machine that cannot run Wine is an error (for a release build)
#
#   wine-probe.sh             exit 0: use Wine; 1: go without it, the reason on stdout;
#                             2: required and it cannot run (or an unknown setting), on stderr
#   wine-probe.sh --announce  the reason on stdout when going without Wine, exit 0;
#                             exit 2 as above
#   wine-probe.sh --need WHAT WHY
#                             for what has nothing to fall back to: exit 0 with Wine;
#                             otherwise the reason and why WHAT cannot go on, on stderr, exit 1
#
# MENUPATCH_WINE_LOADER names another loader to start, for the tests of this script.
set -uo pipefail

mode="${MENUPATCH_WINE:-auto}"
loader="${MENUPATCH_WINE_LOADER:-/usr/lib/wine/wine}"

still_works="What still works here: building the DLL and both checkers, the native tests (the
plug-in's logic against a recording fake of the game, menupatch-check on game executables and
on a fake running game, the executable reader's loader rules), the shape, package and
reproducibility checks, the fuzzing corpora, and a dry run of the plug-in's attach sequence
(make demo). What needs Wine: loading the DLL into the substitute host, the Windows checker's
tests, the comparison with Wine's loader, make check-demo and make bench."

# Why Wine cannot run, in a player's and a contributor's words; empty when it can.
why_not() {
  if [ "$mode" = off ]; then
    echo "Wine is not used: MENUPATCH_WINE=off."
    return
  fi
  if ! command -v wine >/dev/null 2>&1 || [ ! -e "$loader" ]; then
    echo "Wine is not installed here, or not its 32-bit part (${loader} is missing):"
    echo "scripts/install-deps.sh installs wine and wine32:i386 on Debian and Ubuntu."
    return
  fi
  local output status
  output=$("$loader" --version 2>&1 </dev/null)
  status=$?
  [ $status -eq 0 ] && return
  case "$output" in
    *"Exec format error"*)
      cat <<WHY
This kernel does not run 32-bit x86 programs, so Wine cannot start here: its 32-bit
loader (${loader}) fails with "Exec format error". The usual reasons: WSL 1 (use
WSL 2); a sandbox such as gVisor; a VM or a kernel with IA32 emulation off (where the
kernel was built with it off by default, add ia32_emulation=1 to its command line).
WHY
      ;;
    *)
      echo "Wine's 32-bit loader (${loader}) does not start here (exit status ${status}):"
      printf '%s\n' "$output" | head -n 3
      ;;
  esac
}

case "$mode" in
  auto|off|required) ;;
  *)
    echo "MENUPATCH_WINE=${mode}: choose auto (the default), off or required" >&2
    exit 2 ;;
esac

reason=$(why_not)
if [ -z "$reason" ]; then
  exit 0
fi
if [ "$mode" = required ]; then
  { echo "$reason"; echo "MENUPATCH_WINE=required: this machine must run Wine, and it cannot."; } >&2
  exit 2
fi

case "${1:-}" in
  --announce)
    printf '%s\n%s\n' "$reason" "$still_works"
    exit 0 ;;
  --need)
    { echo "$reason"; echo "${2:-This} needs Wine (${3:-it runs Windows programs}): without it there is nothing honest to show."; } >&2
    exit 1 ;;
  *)
    printf '%s\n%s\n' "$reason" "$still_works"
    exit 1 ;;
esac
