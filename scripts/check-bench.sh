#!/usr/bin/env bash
# How long menupatch-check takes on a large executable: build A's game with
# MEGABYTES of data beside it, checked RUNS times under Wine; prints the median.
# usage: check-bench.sh WINDOWS_BUILD_DIR [MEGABYTES] [RUNS]
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="$(cd "$1" && pwd)"
megabytes="${2:-256}"
runs="${3:-5}"
work="$root/build/check-bench"
wine_run="$root/scripts/wine-run.sh"
mkdir -p "$work"
cd "$work"

"$wine_run" "$build/substitute_host.exe" --build A --write-exe large.exe --data-mb "$megabytes"
"$wine_run" "$root/dist/menupatch-check.exe" large.exe > /dev/null  # once, so the file is cached
times=()
for _ in $(seq "$runs"); do
  start=$(date +%s%N)
  "$wine_run" "$root/dist/menupatch-check.exe" large.exe > /dev/null
  times+=($(( ($(date +%s%N) - start) / 1000000 )))
done
median=$(printf '%s\n' "${times[@]}" | sort -n | sed -n "$(( (runs + 1) / 2 ))p")
echo "menupatch-check on a $(stat -c %s large.exe)-byte executable: median ${median} ms over $runs runs" \
     "(each: ${times[*]} ms), Wine start-up included"
rm -f large.exe
