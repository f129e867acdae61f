#!/usr/bin/env bash
# Checks scripts/x-session.sh, the X driver of run.sh, screenshot.sh and soak.sh: a screen the
# viewer has not drawn is no picture, a program that ignores Escape is reported, nothing is left
# running, and the real viewer gives a settled picture of cubes and ends on Escape with 0.
#   x_session_sh_test.sh SOURCE_DIR VIEWER
set -uo pipefail
source_dir=$1 viewer=$2
failures=0
check() {
  if eval "$2"; then echo "ok: $1"; else echo "FAILED: $1" >&2; failures=$((failures + 1)); fi
}

# Cases that end the sourcing shell run in a subshell each, which reports what it left behind.
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT

(
  x_name=case1
  source "$source_dir/scripts/x-session.sh"
  trap x_stop EXIT
  x_start_display
  echo "$x_xvfb" >"$out/xvfb1"
  # Alive but drawing nothing: the black screen must not pass for a picture.
  sleep 60 &
  x_viewer=$!
  x_settle_seconds=2
  x_settled_shot "$out/black.ppm"
) 2>"$out/case1.txt"
check "an undrawn screen fails, saying so" \
  '[ ! -e "$out/black.ppm" ] && grep -q "^case1: the picture did not settle on cubes" "$out/case1.txt"'
check "Xvfb ends with the failing caller" '! kill -0 "$(cat "$out/xvfb1")" 2>/dev/null'

(
  x_name=case2
  source "$source_dir/scripts/x-session.sh"
  trap x_stop EXIT
  x_start_display
  sleep 60 &
  x_viewer=$!
  echo "$x_viewer" >"$out/ignorer"
  x_escape_seconds=2
  if x_end_viewer; then echo ended; else echo "still running"; fi
) >"$out/case2.txt" 2>&1
check "a program that ignores Escape is reported" 'grep -qx "still running" "$out/case2.txt"'
check "and stopped on exit" '! kill -0 "$(cat "$out/ignorer")" 2>/dev/null'

(
  x_name=case3
  source "$source_dir/scripts/x-session.sh"
  trap x_stop EXIT
  x_start_display
  x_start_viewer "$viewer"
  x_settled_shot "$out/picture.ppm"
  x_end_viewer || exit 1
  echo "exit $x_status"
) >"$out/case3.txt" 2>&1
check "the viewer's picture settles and it ends on Escape with 0" \
  'grep -qx "exit 0" "$out/case3.txt" && [ -s "$out/picture.ppm" ]'
[ "$failures" -eq 0 ] || { cat "$out"/case*.txt >&2; exit 1; }
