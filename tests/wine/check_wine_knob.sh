#!/usr/bin/env bash
# MENUPATCH_WINE and the probe behind it, on any machine: `off` goes without
# Wine (the demo's dry run, tests under Wine skipped with the reason);
# `required`, `native` or `emulated` where Wine cannot start so is an error with
# the reason. A loader the kernel refuses is stood in for by a file it cannot
# execute, an emulator that is not there by a path that names nothing. Where
# the emulated route runs, it leaves nothing registered for the machine.
# usage: check_wine_knob.sh SOURCE_DIR NATIVE_BUILD_DIR E2E_TESTS
set -uo pipefail
source_dir="$1"
native_build="$2"
e2e_tests="$3"
probe="$source_dir/scripts/wine-probe.sh"
failures=0
# The route the surrounding run found must not answer for the settings tried here.
unset MENUPATCH_WINE_ROUTE
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
expect_status() { # expect_status WHAT EXPECTED ACTUAL
  [ "$2" -eq "$3" ] || fail "$1: exit status $3, expected $2"
}
expect_text() { # expect_text WHAT FILE TEXT
  grep -qF -- "$3" "$2" || { fail "$1: no \"$3\" in:"; sed 's/^/    /' "$2"; }
}

# A 32-bit loader as a kernel without 32-bit support sees it: not a program it can run.
refused="$work/refused-loader"
printf '\177ELF\001\001\001\000\000\000\000\000\000\000\000\000' > "$refused"
chmod +x "$refused"

# off: the demo is the dry run, and says why.
MENUPATCH_WINE=off bash "$source_dir/scripts/demo.sh" unused "$native_build" C > "$work/demo" 2>&1
expect_status "demo, off" 0 $?
expect_text "demo, off" "$work/demo" "Wine: not used: MENUPATCH_WINE=off."
expect_text "demo, off" "$work/demo" "Dry run, not a load"
expect_text "demo, off" "$work/demo" "Build C: the plug-in will apply."
expect_text "demo, off" "$work/demo" "   9      34  FEDS_TB      0    33   320   353      3"

# off: a test under Wine ends as skipped (77 for CTest), with the reason.
MENUPATCH_WINE=off "$e2e_tests" --gtest_filter='CheckerUnderWine.FileVerdictsAndExitStatus' > "$work/e2e" 2>&1
expect_status "test under Wine, off" 77 $?
expect_text "test under Wine, off" "$work/e2e" "Skipped: Wine: not used: MENUPATCH_WINE=off."
MENUPATCH_WINE=off bash "$source_dir/scripts/wine-run.sh" --start > "$work/start" 2>&1
expect_status "wine server start, off" 77 $?

# Every test under Wine is one CTest counts as skipped on 77.
# Asked of a copy of the tree's test lists: CTest rewrites the tree's own log of
# the run this test is part of.
mkdir -p "$work/tree"
(cd "$native_build" && find . \( -name CTestTestfile.cmake -o -name '*_include.cmake' -o -name '*_tests.cmake' \) \
   -exec cp --parents -t "$work/tree" {} +)
ctest --show-only=json-v1 --test-dir "$work/tree" > "$work/tests.json"
python3 - "$work/tests.json" <<'PY' || fail "tests under Wine without SKIP_RETURN_CODE 77"
import json, sys
tests = json.load(open(sys.argv[1]))["tests"]
def props(t): return {p["name"]: p["value"] for p in t.get("properties", [])}
wine = [t for t in tests if "wine" in str(props(t).get("FIXTURES_REQUIRED", "")) or t["name"].startswith("wine_server")]
bad = [t["name"] for t in wine if props(t).get("SKIP_RETURN_CODE") != 77]
print(len(wine), "tests under Wine;", "all skip on 77" if not bad else "not skipping: " + ", ".join(bad[:5]))
sys.exit(1 if bad or not wine else 0)
PY

# required, where the kernel refuses the loader: an error, with the reason.
MENUPATCH_WINE=required MENUPATCH_WINE_LOADER="$refused" bash "$probe" > "$work/required" 2>&1
expect_status "probe, required" 2 $?
expect_text "probe, required" "$work/required" "This kernel does not run 32-bit x86 programs"
expect_text "probe, required" "$work/required" "WSL 1 (use"
expect_text "probe, required" "$work/required" "MENUPATCH_WINE=required: this machine must run Wine, and it cannot."
MENUPATCH_WINE=required MENUPATCH_WINE_LOADER="$refused" \
  "$e2e_tests" --gtest_filter='CheckerUnderWine.FileVerdictsAndExitStatus' > "$work/e2e-required" 2>&1
expect_status "test under Wine, required" 1 $?
expect_text "test under Wine, required" "$work/e2e-required" "MENUPATCH_WINE=required"
MENUPATCH_WINE=required MENUPATCH_WINE_LOADER="$refused" \
  bash "$source_dir/scripts/demo.sh" unused "$native_build" A > "$work/demo-required" 2>&1
expect_status "demo, required" 2 $?

# native or emulated, where that route cannot run: an error, with the reason.
MENUPATCH_WINE=native MENUPATCH_WINE_LOADER="$refused" bash "$probe" > "$work/native" 2>&1
expect_status "probe, native" 2 $?
expect_text "probe, native" "$work/native" "MENUPATCH_WINE=native: this machine must run Wine natively, and it cannot."
MENUPATCH_WINE=emulated MENUPATCH_QEMU="$work/no-qemu-i386" bash "$probe" > "$work/emulated" 2>&1
expect_status "probe, emulated" 2 $?
expect_text "probe, emulated" "$work/emulated" "QEMU's user-mode emulation cannot stand in: no qemu-i386 at $work/no-qemu-i386"
expect_text "probe, emulated" "$work/emulated" "MENUPATCH_WINE=emulated: this machine must run Wine under emulation, and it cannot."

# The emulated route, where it runs: it says so in one line, and afterwards
# nothing is registered for the machine and an i386 program runs as before.
outside() { /usr/lib/wine/wine --version 2>&1 | head -n 1; }
before=$(outside)
if MENUPATCH_WINE=emulated bash "$probe" > "$work/emulated-route" 2>&1; then
  expect_text "probe, emulated" "$work/emulated-route" "Wine: emulated (MENUPATCH_WINE=emulated): Wine's 32-bit side runs under QEMU's user-mode emulator"
  [ ! -e /proc/sys/fs/binfmt_misc/menupatch-i386 ] || fail "the emulator stayed registered for the machine"
  [ "$(outside)" = "$before" ] || fail "an i386 program outside ran differently after the emulated route: $(outside)"
fi

# auto (also when unset or empty), where the kernel refuses the loader and no
# emulator stands in: go without Wine, with the reason.
MENUPATCH_WINE=auto MENUPATCH_WINE_LOADER="$refused" bash "$probe" > "$work/auto" 2>&1
expect_status "probe, auto" 1 $?
expect_text "probe, auto" "$work/auto" "Wine: not used: it starts neither natively nor under emulation."
expect_text "probe, auto" "$work/auto" "fails with \"Exec format error\""
expect_text "probe, auto" "$work/auto" "What still works here"
MENUPATCH_WINE=auto MENUPATCH_WINE_LOADER="$refused" MENUPATCH_QEMU="$work/no-qemu-i386" bash "$probe" --need "make bench" "it times loads" > "$work/need" 2>&1
expect_status "probe --need, auto" 1 $?
expect_text "probe --need, auto" "$work/need" "make bench needs Wine (it times loads)"
MENUPATCH_WINE= MENUPATCH_WINE_LOADER="$refused" bash "$probe" --announce > "$work/announce" 2>&1
expect_status "probe --announce, auto" 0 $?
expect_text "probe --announce, auto" "$work/announce" "This kernel does not run 32-bit x86 programs"

# Wine taken for usable but failing to start is no silent failure: it says what
# Wine said (where Wine does start, in a scratch prefix, it starts and stops).
scratch="$work/scratch-prefix"
MENUPATCH_WINE=auto MENUPATCH_WINE_LOADER=/bin/echo MENUPATCH_WINEPREFIX="$scratch" \
  bash "$source_dir/scripts/wine-run.sh" --start > "$work/start-fails" 2>&1
started=$?
if [ $started -ne 0 ]; then
  expect_text "wine server start, failing" "$work/start-fails" "wine-run.sh: Wine could not"
  expect_text "wine server start, failing" "$work/start-fails" "Wine said:"
else
  MENUPATCH_WINEPREFIX="$scratch" bash "$source_dir/scripts/wine-run.sh" --stop
fi

# A setting the probe does not know.
MENUPATCH_WINE=sometimes bash "$probe" > "$work/unknown" 2>&1
expect_status "probe, unknown setting" 2 $?
expect_text "probe, unknown setting" "$work/unknown" "choose auto (the default), native, emulated, off or required"

[ $failures -eq 0 ] && echo "MENUPATCH_WINE: off, required, native, emulated and auto behave"
exit $((failures != 0))
