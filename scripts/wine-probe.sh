#!/usr/bin/env bash
# The one place that decides whether and how this machine runs the Wine side:
# the demo under Wine, the end-to-end tests, the loader comparison, check-demo
# and the benchmark. It starts Wine's 32-bit loader, a 32-bit x86 program:
# natively where the kernel runs such programs, else under QEMU's user-mode
# emulator (scripts/qemu-i386.sh), and says in one line which route it took and why.
#
# MENUPATCH_WINE chooses:
#   auto      (the default) natively where the kernel runs 32-bit programs, else
#             emulated, else go without Wine, with the reason
#   native    natively only
#   emulated  under the emulator, even where the kernel runs 32-bit programs
#   off       go without Wine, as if it could not run (to try that path anywhere)
#   required  natively or emulated; neither is an error (for a release build)
#
#   wine-probe.sh             exit 0: use Wine, the route's line on stdout;
#                             1: go without it, the reason on stdout;
#                             2: the route chosen cannot run (or an unknown setting), on stderr
#   wine-probe.sh --route     as above, but on exit 0 the route first (native or
#                             emulated), on a line of its own before the route's line
#   wine-probe.sh --announce  the route's line, or the reason for going without, exit 0;
#                             exit 2 as above
#   wine-probe.sh --need WHAT WHY
#                             for what has nothing to fall back to: exit 0 with Wine;
#                             otherwise the reason and why WHAT cannot go on, on stderr, exit 1
#
# MENUPATCH_WINE_ROUTE, once a run has probed (scripts/run-tests.sh), carries the
# route to the many Wine commands of that run, so that each does not probe again.
# MENUPATCH_WINE_LOADER names another loader to start, for the tests of this script.
set -uo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
mode="${MENUPATCH_WINE:-auto}"
loader="${MENUPATCH_WINE_LOADER:-/usr/lib/wine/wine}"

still_works="What still works here: building the DLL and both checkers, the native tests (the
plug-in's logic against a recording fake of the game, menupatch-check on game executables and
on a fake running game, the executable reader's loader rules), the shape, package and
reproducibility checks, the fuzzing corpora, and a dry run of the plug-in's attach sequence
(make demo). What needs Wine: loading the DLL into the substitute host, the Windows checker's
tests, the comparison with Wine's loader, make check-demo and make bench."

installed() {
  if ! command -v wine >/dev/null 2>&1 || [ ! -e "$loader" ]; then
    echo "Wine is not installed here, or not its 32-bit part (${loader} is missing):"
    echo "scripts/install-deps.sh installs wine and wine32:i386 on Debian and Ubuntu."
    return 1
  fi
}

# Why the loader does not start natively; empty when it does.
why_not_native() {
  local output status
  output=$("$loader" --version 2>&1 </dev/null)
  status=$?
  [ $status -eq 0 ] && return
  case "$output" in
    *"Exec format error"*)
      cat <<WHY
This kernel does not run 32-bit x86 programs, so Wine cannot start natively: its 32-bit
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

# Why the loader does not start under the emulator; empty when it does.
why_not_emulated() {
  local output status
  output=$(bash "$root/scripts/qemu-i386.sh" run "$loader" --version 2>&1 </dev/null)
  status=$?
  [ $status -eq 0 ] && return
  if [ $status -eq 125 ]; then
    echo "QEMU's user-mode emulation cannot stand in: $(printf '%s\n' "$output" | head -n 1)"
  else
    echo "Wine's 32-bit loader does not start under QEMU's user-mode emulation either (exit status ${status}):"
    printf '%s\n' "$output" | head -n 3
  fi
}

emulated_line() {
  local qemu version
  qemu=$(bash "$root/scripts/qemu-i386.sh" find)
  version=$("$qemu" --version | head -n 1 | sed -E 's/^qemu-i386 version ([^ ]+).*/\1/')
  echo "Wine: emulated ($1): Wine's 32-bit side runs under QEMU's user-mode emulator" \
       "(qemu-i386 $version), registered for i386 programs only in a private namespace."
}

# Sets route (native, emulated or empty) and line: the route's one line, or
# one line of why Wine is not used followed by what stands in the way.
decide() {
  route=""
  if [ "$mode" = off ]; then
    line="Wine: not used: MENUPATCH_WINE=off."
    return
  fi
  local missing native="" emulated=""
  if ! missing=$(installed); then
    line=$(printf 'Wine: not used: it is not installed here.\n%s' "$missing")
    return
  fi
  case "${MENUPATCH_WINE_ROUTE:-}" in
    native|emulated)
      # A route this run has found already, if this setting allows it.
      if [ -z "${MENUPATCH_WINE_LOADER:-}" ] && { [ "$mode" = auto ] || [ "$mode" = required ] ||
                                                  [ "$mode" = "$MENUPATCH_WINE_ROUTE" ]; }; then
        route="$MENUPATCH_WINE_ROUTE"
        line="Wine: $route (found earlier in this run)."
        return
      fi ;;
  esac
  if [ "$mode" != emulated ]; then
    native=$(why_not_native)
    if [ -z "$native" ]; then
      route=native
      line="Wine: native: this kernel runs Wine's 32-bit side itself."
      return
    fi
    if [ "$mode" = native ]; then
      line=$(printf 'Wine: not used: it does not start natively.\n%s' "$native")
      return
    fi
  fi
  emulated=$(why_not_emulated)
  if [ -z "$emulated" ]; then
    route=emulated
    if [ "$mode" = emulated ]; then
      line=$(emulated_line "MENUPATCH_WINE=emulated")
    else
      line=$(emulated_line "this kernel does not run 32-bit x86 programs")
    fi
    return
  fi
  if [ -n "$native" ]; then
    line=$(printf 'Wine: not used: it starts neither natively nor under emulation.\n%s\n%s' "$native" "$emulated")
  else
    line=$(printf 'Wine: not used: it does not start under emulation.\n%s' "$emulated")
  fi
}

case "$mode" in
  auto|native|emulated|off|required) ;;
  *)
    echo "MENUPATCH_WINE=${mode}: choose auto (the default), native, emulated, off or required" >&2
    exit 2 ;;
esac

decide
if [ -n "$route" ]; then
  case "${1:-}" in
    --route) printf '%s\n%s\n' "$route" "$line" ;;
    --need) ;;
    *) echo "$line" ;;
  esac
  exit 0
fi
case "$mode" in
  required|native|emulated)
    how=""
    [ "$mode" = native ] && how=" natively"
    [ "$mode" = emulated ] && how=" under emulation"
    { echo "$line"; echo "MENUPATCH_WINE=${mode}: this machine must run Wine${how}, and it cannot."; } >&2
    exit 2 ;;
esac

case "${1:-}" in
  --announce)
    printf '%s\n%s\n' "$line" "$still_works"
    exit 0 ;;
  --need)
    { echo "$line"; echo "${2:-This} needs Wine (${3:-it runs Windows programs}): without it there is nothing honest to show."; } >&2
    exit 1 ;;
  *)
    printf '%s\n%s\n' "$line" "$still_works"
    exit 1 ;;
esac
