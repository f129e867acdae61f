#!/usr/bin/env bash
# Builds and runs the viewer. Without a display it runs in a virtual X server, saves a
# screenshot, ends the viewer with Escape and says where the picture is.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
# Only the packed viewer and what it needs (the packer): the tests and benchmarks are not built.
"$root/scripts/setup.sh"
cmake -S "$root" -B "$root/build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$root/build" -j "$(nproc)" --target zoravarova-packed
viewer="$root/build/zoravarova"

if [ -n "${DISPLAY:-}" ] && xdpyinfo >/dev/null 2>&1; then
  exec "$viewer"
fi

shot="$root/build/screenshot.png"
log=$(mktemp -d)
Xvfb -displayfd 3 -screen 0 800x600x24 -noreset -nolisten tcp 3>"$log/display" >"$log/xvfb.txt" 2>&1 &
xvfb=$!
viewer_pid=
cleanup() {
  [ -n "$viewer_pid" ] && kill "$viewer_pid" 2>/dev/null || true
  kill "$xvfb" 2>/dev/null || true
  wait 2>/dev/null || true
}
trap cleanup EXIT
# Xvfb writes its display number once it accepts connections; it may also end before that.
for _ in $(seq 100); do
  grep -q '^[0-9][0-9]*$' "$log/display" 2>/dev/null && break
  kill -0 "$xvfb" 2>/dev/null || break
  sleep 0.1
done
if ! grep -q '^[0-9][0-9]*$' "$log/display" 2>/dev/null; then
  if kill -0 "$xvfb" 2>/dev/null; then
    echo "Xvfb gave no display number within 10 s; its output:" >&2
  else
    echo "Xvfb ended without giving a display number; its output:" >&2
  fi
  cat "$log/xvfb.txt" >&2
  exit 1
fi
export DISPLAY=":$(head -n1 "$log/display")"

"$viewer" >"$log/viewer.txt" 2>&1 &
viewer_pid=$!
for _ in $(seq 100); do xdotool search --name '^ZORAVAROVA$' >/dev/null 2>&1 && break; sleep 0.1; done
sleep 2  # let a few hundred frames pass
import -window root "$shot"
# A key can be missed before the window has the focus, and the viewer only sees a key that is
# down when a frame starts: hold Escape while waiting for the viewer to end, and press it again
# until it does.
status=0
for _ in $(seq 10); do
  xdotool keydown Escape
  for _ in $(seq 10); do kill -0 "$viewer_pid" 2>/dev/null || break; sleep 0.1; done
  xdotool keyup Escape
  kill -0 "$viewer_pid" 2>/dev/null || break
done
if kill -0 "$viewer_pid" 2>/dev/null; then
  echo "The viewer did not end on Escape; stopping it." >&2
  kill "$viewer_pid"
fi
wait "$viewer_pid" || status=$?
viewer_pid=
echo "The viewer ran on the virtual display $DISPLAY and ended with exit code $status."
echo "Screenshot: $shot"
exit "$status"
