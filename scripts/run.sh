#!/usr/bin/env bash
# Builds and runs the viewer. Without a display it runs in a virtual X server, saves a
# screenshot once the picture has settled, ends the viewer with Escape and says where it is.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
# Only what the packed viewer needs: the run preset configures no tests and no benchmarks, so
# their packages are not installed either.
"$root/scripts/setup.sh" run
cd "$root"
cmake --preset run >/dev/null
cmake --build --preset run
viewer="$root/build/zoravarova"

if [ -n "${DISPLAY:-}" ] && xdpyinfo >/dev/null 2>&1; then
  exec "$viewer"
fi

x_name=run.sh
source "$root/scripts/x-session.sh"
trap x_stop EXIT
shot="$root/build/screenshot.png"
x_start_display
x_start_viewer "$viewer"
x_settled_shot "$x_log/picture.ppm"
convert "$x_log/picture.ppm" "$shot"
x_end_viewer || x_fail "the viewer did not end on Escape within 20 s"
echo "The viewer ran on the virtual display $DISPLAY and ended with exit code $x_status."
echo "Screenshot: $shot"
exit "$x_status"
