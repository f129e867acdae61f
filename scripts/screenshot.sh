#!/usr/bin/env bash
# Makes the README's picture: the packed viewer on a virtual display of its own, saved as a PNG.
# Usage: screenshot.sh [OUTPUT]   (default docs/screenshot.png; ZV_SHOT_BUILD_DIR picks another
# build directory than build/). Two runs give the same bytes, so a rerun never shows as a change.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
source "$root/scripts/lib.sh"
build="${ZV_SHOT_BUILD_DIR:-$root/build}"
out="${1:-$root/docs/screenshot.png}"

x_name=screenshot.sh
source "$root/scripts/x-session.sh"
trap x_stop EXIT

"$root/scripts/setup.sh" run
# Only the packed viewer and the packer it needs; the compiler's output is shown only on failure.
if ! { (cd "$root" && cmake --preset run -B "$build") &&
  cmake --build "$build" -j "$zv_jobs" --target zoravarova-packed; } >"$x_log/build.txt" 2>&1; then
  cat "$x_log/build.txt" >&2
  x_fail "building the viewer in $build failed"
fi
mkdir -p "$(dirname "$out")"

x_start_display
x_start_viewer "$build/zoravarova"
x_settled_shot "$x_log/picture.ppm"
# Without these the PNG carries a tIME chunk and date:create/date:modify text, which differ on
# every run; the explicit exclusion keeps them out even where -strip alone would not.
convert "$x_log/picture.ppm" -strip -define png:exclude-chunks=date,time "png:$x_log/shot.png"
mv "$x_log/shot.png" "$out"

x_end_viewer || x_fail "the viewer did not end on Escape within 20 s"
[ "$x_status" -eq 0 ] || x_fail "the viewer ended with exit code $x_status: $(tr '\n' ' ' <"$x_log/viewer.txt")"
echo "Screenshot: $out"
