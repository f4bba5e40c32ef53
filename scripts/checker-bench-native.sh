#!/usr/bin/env bash
# How long menupatch-check for Linux takes on the heaviest executable we can
# build for its reader: 65535 sections, all empty but the last, which holds a
# 1 MiB manifest; on a launcher, alone beside the game and among 1,000
# executables, whose largest it reads; and with nothing named, on a machine of
# hundreds of processes, a hundred of them Wine programs it opens and reads.
# Runs natively; prints the medians of RUNS.
# usage: checker-bench-native.sh NATIVE_BUILD_DIR [RUNS]
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
native_build="$(cd "$1" && pwd)"
runs="${2:-5}"
work="$root/build/check-bench"
mkdir -p "$work"
exe="$work/many-sections.exe"
"$native_build/write_game" --sections 65535 --manifest-kib 1024 "$exe"
# Median milliseconds of `menupatch-check ARGS` over $runs runs; exit 1 or 2 counts as done.
timed() {
  times=()
  for _ in $(seq "$runs"); do
    start=$(date +%s%N)
    "$native_build/menupatch-check" "$@" > /dev/null || [ $? -le 2 ]
    times+=($(( ($(date +%s%N) - start) / 1000000 )))
  done
  median=$(printf '%s\n' "${times[@]}" | sort -n | sed -n "$(( (runs + 1) / 2 ))p")
}

timed "$exe"
echo "menupatch-check (Linux) on $(stat -c %s "$exe") bytes of 65535 sections and a 1 MiB manifest:" \
     "median ${median} ms over $runs runs (each: ${times[*]} ms)"
rm -f "$exe"

# A launcher (none of the builds) beside the game, then beside 999 executables:
# copies of the game, as hard links, so that the folder costs no disk.
folder="$work/launcher"
rm -rf "$folder"
mkdir -p "$folder"
"$native_build/write_game" --sections 2 --manifest-kib 1 "$folder/launcher.exe"
"$native_build/write_game" A "$folder/game.exe"
timed "$folder/launcher.exe"
echo "menupatch-check (Linux) on a launcher beside the game: median ${median} ms over $runs runs (each: ${times[*]} ms)"
for i in $(seq 2 999); do ln "$folder/game.exe" "$folder/game-$i.exe"; done
timed "$folder/launcher.exe"
echo "menupatch-check (Linux) on a launcher among 1,000 executables (it reads the 16 largest):" \
     "median ${median} ms over $runs runs (each: ${times[*]} ms)"
rm -rf "$folder"

# With nothing named, on 500 more processes: 400 that are no Windows program,
# and 100 that Linux takes for Wine's (named wine*, a Windows program on their
# command line), each opened and read as a game would be. None is the game.
stand_in="$work/wine-stand-in"
cp /bin/sleep "$stand_in"
pids=()
for i in $(seq 400); do sleep 600 & pids+=($!); done
for i in $(seq 100); do (exec -a "C:\\Games\\other-$i.exe" "$stand_in" 600) & pids+=($!); done
sleep 1
processes=$(ls /proc | grep -c '^[0-9]*$')
looked=$("$native_build/menupatch-check" --json | sed -n 's/.*"looked_at": \([0-9]*\).*/\1/p') || true
timed
echo "menupatch-check (Linux) with nothing named, among $processes processes (it looked at $looked as Wine's):" \
     "median ${median} ms over $runs runs (each: ${times[*]} ms)"
kill "${pids[@]}" 2>/dev/null; wait 2>/dev/null || true
rm -f "$stand_in"
