#!/usr/bin/env bash
# make bench: natively, menupatch-check for Linux on the heaviest executable
# for its reader and on a launcher among 1,000 executables, and the entropy of
# code against packed and encrypted bytes; then, under Wine, what starting a
# Wine program costs on each route this machine has (native, emulated), what
# loading the plug-in costs against the floor of its system calls, and how
# long menupatch-check.exe takes on a large executable.
# usage: bench.sh WINDOWS_BUILD_DIR NATIVE_BUILD_DIR CYCLES
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
windows_build="$1"
native_build="$2"
cycles="$3"
wine_run="$root/scripts/wine-run.sh"
probe="$root/scripts/wine-probe.sh"

bash "$root/scripts/checker-bench-native.sh" "$native_build"
bash "$root/scripts/entropy-survey.sh" "$native_build"
bash "$root/scripts/code-survey.sh" "$native_build"
bash "$probe" --need "The rest of make bench" "it times loads by Wine's loader"
route=$(bash "$probe" --route)
printf '%s\n' "${route#*$'\n'}"
route="${route%%$'\n'*}"

# A Wine program's start, with the prefix's server up, on each route there is.
for each in native emulated; do
  MENUPATCH_WINE=$each bash "$probe" >/dev/null 2>&1 || continue
  export MENUPATCH_WINE_ROUTE=$each
  "$wine_run" --start
  times=()
  for _ in 1 2 3 4 5; do
    start=$(date +%s%N)
    "$wine_run" cmd /c exit
    times+=($(( ($(date +%s%N) - start) / 1000000 )))
  done
  "$wine_run" --stop
  echo "a Wine program's start and end ($each): median $(printf '%s\n' "${times[@]}" | sort -n | sed -n 3p) ms" \
       "over 5 runs (each: ${times[*]} ms)"
done

export MENUPATCH_WINE_ROUTE=$route
"$wine_run" --start
trap '"$wine_run" --stop' EXIT
label() { cat; }
if [ "$route" = emulated ]; then
  echo "Under QEMU's emulation the figures below are the emulator's cost, not the game's: the plug-in's"
  echo "work and the floor's system calls are both emulated, so their ratio is printed but says little."
  label() { sed -E 's/^(  ratio )/\1(under emulation) /'; }
fi
"$wine_run" "$windows_build/attach_bench.exe" "$root/dist/menupatch.dll" \
  "$windows_build/empty_plugin.dll" "$windows_build/empty_with_imports.dll" \
  "$windows_build/empty_plugin_startup.dll" "$cycles" | label
bash "$root/scripts/check-bench.sh" "$windows_build"
