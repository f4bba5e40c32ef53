#!/usr/bin/env bash
# How long menupatch-check for Linux takes on the heaviest executable we can
# build for its reader: 65535 sections, all empty but the last, which holds a
# 1 MiB manifest. Runs natively; prints the median of RUNS.
# usage: checker-bench-native.sh NATIVE_BUILD_DIR [RUNS]
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
native_build="$(cd "$1" && pwd)"
runs="${2:-5}"
work="$root/build/check-bench"
mkdir -p "$work"
exe="$work/many-sections.exe"
"$native_build/write_game" --sections 65535 --manifest-kib 1024 "$exe"
times=()
for _ in $(seq "$runs"); do
  start=$(date +%s%N)
  "$native_build/menupatch-check" "$exe" > /dev/null || [ $? -eq 1 ]
  times+=($(( ($(date +%s%N) - start) / 1000000 )))
done
median=$(printf '%s\n' "${times[@]}" | sort -n | sed -n "$(( (runs + 1) / 2 ))p")
echo "menupatch-check (Linux) on $(stat -c %s "$exe") bytes of 65535 sections and a 1 MiB manifest:" \
     "median ${median} ms over $runs runs (each: ${times[*]} ms)"
rm -f "$exe"
