#!/usr/bin/env bash
# Checks zoravarova-bench-run: the start-up it reports is timed from the command's start to the
# first frame, a command that ends without a frame is reported, and bad arguments get one line.
#   bench_run_test.sh RUNNER VIEWER
set -uo pipefail
runner=$1 viewer=$2
failures=0
check() {
  if eval "$2"; then echo "ok: $1"; else echo "FAILED: $1" >&2; failures=$((failures + 1)); fi
}
logs=$(mktemp -d)
trap 'rm -rf "$logs"' EXIT

# Half a second passes before the viewer even starts: a clock started at its window, or at a
# frame after the first, reads less.
"$runner" --first-frame "$logs" -- sh -c 'sleep 0.5; exec "$0"' "$viewer" >"$logs/delayed.out" \
  2>"$logs/delayed.err"
status=$?
cat "$logs/delayed.out" "$logs/delayed.err"
first=$(awk '$1 == "first_frame_ms" { print $2 }' "$logs/delayed.out")
check "the delayed viewer ends on Escape with 0" '[ "$status" -eq 0 ] && grep -qx "exit_code 0" "$logs/delayed.out"'
check "its first frame is timed from the command's start" \
  'awk -v ms="$first" "BEGIN { exit !(ms >= 500) }" </dev/null'

# A command that ends at once draws no frame: said at once, not after a wait for a window.
"$runner" --first-frame "$logs" -- sh -c 'echo gone >&2' >"$logs/gone.out" 2>"$logs/gone.err"
status=$?
check "a command without a frame fails, with what it said" \
  '[ "$status" -ne 0 ] && [ "$(wc -l <"$logs/gone.err")" -eq 1 ] && grep -q "ended without a frame; it said: gone$" "$logs/gone.err"'

for case in "--seconds abc $logs -- true|--seconds wants a number of seconds" \
            "--seconds 3600 $logs -- true|--seconds wants a number of seconds" \
            "--first-frame $logs/none -- true|no folder $logs/none" \
            "--first-frame $logs true|usage:"; do
  IFS='|' read -r arguments reason <<<"$case"
  # shellcheck disable=SC2086 # the arguments are words on purpose
  "$runner" $arguments >/dev/null 2>"$logs/bad.err"
  status=$?
  check "\"$arguments\" fails with one line: $reason" \
    '[ "$status" -ne 0 ] && [ "$(wc -l <"$logs/bad.err")" -eq 1 ] && grep -qF -- "$reason" "$logs/bad.err"'
done
exit $((failures > 0))
