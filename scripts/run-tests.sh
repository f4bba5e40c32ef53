#!/usr/bin/env bash
# Runs the built test trees with CTest and closes with one summary: passed,
# failed and skipped over all of them. Where Wine cannot run, the tests under
# Wine are skipped and the summary says why; where it runs, a skipped test is a
# failure, so that nothing is left out unseen.
# usage: run-tests.sh JOBS TREE...
set -uo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
jobs="$1"
shift

wine=0
reason=$(bash "$root/scripts/wine-probe.sh" --route) || wine=$?
[ $wine -le 1 ] || exit 2
if [ $wine -eq 0 ]; then
  # Every Wine command of this run takes the same route without probing again.
  export MENUPATCH_WINE_ROUTE="${reason%%$'\n'*}"
  reason="${reason#*$'\n'}"
fi

passed=0
failed=0
skipped=0
status=0
skipped_list=$(mktemp)
trap 'rm -f "$skipped_list"' EXIT
for tree in "$@"; do
  log="$tree/Testing/ctest-output.txt"
  mkdir -p "$tree/Testing"
  (cd "$tree" && ctest --output-on-failure -j "$jobs") 2>&1 | tee "$log"
  [ "${PIPESTATUS[0]}" -eq 0 ] || status=1
  # One line per test: "N/M Test #K: name .... Passed", "***Skipped", "***Failed", ...
  results=$(grep -aE '^ *[0-9]+/[0-9]+ Test +#[0-9]+: ' "$log")
  ran=$(printf '%s\n' "$results" | grep -ac 'Test' || true)
  ok=$(printf '%s\n' "$results" | grep -acE ' Passed +[0-9.]+ sec' || true)
  skip=$(printf '%s\n' "$results" | grep -acE '\*\*\*Skipped +[0-9.]+ sec' || true)
  printf '%s\n' "$results" | grep -aE '\*\*\*Skipped' | sed -E 's/.*Test +#[0-9]+: ([^ ]+) .*/\1/' >> "$skipped_list"
  passed=$((passed + ok))
  skipped=$((skipped + skip))
  failed=$((failed + ran - ok - skip))
done
grep -ah "^seed \|^random hosts:\|^loader layouts:" "${@/%//Testing/Temporary/LastTest.log}" 2>/dev/null || true

echo
echo "tests: $passed passed, $failed failed, $skipped skipped"
[ $wine -eq 0 ] || echo "Skipped: every test under Wine."
echo "$reason"
if [ $wine -eq 0 ] && [ $skipped -ne 0 ]; then
  echo "Wine runs here, so no test may be skipped; these were:"
  sed 's/^/  /' "$skipped_list"
  status=1
fi
[ $failed -eq 0 ] || status=1
exit $status
