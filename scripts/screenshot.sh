#!/usr/bin/env bash
# Makes the README's picture: the packed viewer on a virtual display of its own, saved as a PNG.
# Usage: screenshot.sh [OUTPUT]   (default docs/screenshot.png; ZV_SHOT_BUILD_DIR picks another
# build directory than build/). Two runs give the same bytes, so a rerun never shows as a change.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build="${ZV_SHOT_BUILD_DIR:-$root/build}"
out="${1:-$root/docs/screenshot.png}"

fail() {
  echo "screenshot.sh: $*" >&2
  exit 1
}

log=$(mktemp -d)
xvfb=
viewer=
cleanup() {
  if [ -n "$viewer" ]; then kill "$viewer" 2>/dev/null || true; fi
  if [ -n "$xvfb" ]; then
    kill "$xvfb" 2>/dev/null || true
    wait "$xvfb" 2>/dev/null || true
  fi
  rm -rf "$log"
}
trap cleanup EXIT

"$root/scripts/setup.sh"
# Only the packed viewer and the packer it needs; the compiler's output is shown only on failure.
if ! { cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo &&
  cmake --build "$build" -j "$(nproc)" --target zoravarova-packed; } >"$log/build.txt" 2>&1; then
  cat "$log/build.txt" >&2
  fail "building the viewer in $build failed"
fi
mkdir -p "$(dirname "$out")"

# Waits are bounded by a deadline in seconds, polled every tenth of a second.
deadline() { echo $(($(date +%s) + $1)); }
before() { [ "$(date +%s)" -lt "$1" ]; }

Xvfb -displayfd 3 -screen 0 800x600x24 -noreset -nolisten tcp 3>"$log/display" >"$log/xvfb.txt" 2>&1 &
xvfb=$!
# Xvfb writes its display number once it accepts connections; it may also end before that.
until_=$(deadline 10)
until grep -q '^[0-9][0-9]*$' "$log/display" 2>/dev/null; do
  kill -0 "$xvfb" 2>/dev/null || fail "Xvfb ended without giving a display number: $(tr '\n' ' ' <"$log/xvfb.txt")"
  before "$until_" || fail "Xvfb gave no display number within 10 s"
  sleep 0.1
done
display=$(head -n1 "$log/display")
export DISPLAY=":$display"
# Software rendering, so the picture does not depend on the machine's GPU.
export LIBGL_ALWAYS_SOFTWARE=1 GALLIUM_DRIVER=llvmpipe

"$build/zoravarova" >"$log/viewer.txt" 2>&1 &
viewer=$!
until_=$(deadline 30)
until xdotool search --name '^ZORAVAROVA$' >/dev/null 2>&1; do
  kill -0 "$viewer" 2>/dev/null || fail "the viewer ended before its window appeared: $(tr '\n' ' ' <"$log/viewer.txt")"
  before "$until_" || fail "no window titled ZORAVAROVA within 30 s"
  sleep 0.1
done

# The window maps before its first frame is drawn: the picture is ready once the centre shows a
# cube rather than the clear colour, and two shots in a row agree (PPM carries no metadata, so
# equal files mean equal pixels).
until_=$(deadline 30)
previous=
while :; do
  import -window root "ppm:$log/shot.ppm"
  centre=$(convert "$log/shot.ppm" -crop 1x1+400+300 -depth 8 rgb:- | od -An -tu1 | xargs | tr ' ' ,)
  if [ "$centre" != "51,77,77" ] && [ -n "$previous" ] && cmp -s "$log/shot.ppm" "$log/previous.ppm"; then
    break
  fi
  previous=yes
  mv "$log/shot.ppm" "$log/previous.ppm"
  before "$until_" || fail "the picture did not settle on cubes within 30 s (centre pixel $centre)"
  sleep 0.1
done

# Without these the PNG carries a tIME chunk and date:create/date:modify text, which differ on
# every run; the explicit exclusion keeps them out even where -strip alone would not.
convert "$log/shot.ppm" -strip -define png:exclude-chunks=date,time "png:$log/shot.png"
mv "$log/shot.png" "$out"

# A key can be missed before the window has the focus, and the viewer only sees a key that is
# down when a frame starts: hold Escape a while, and press it again until the viewer ends.
until_=$(deadline 10)
while kill -0 "$viewer" 2>/dev/null; do
  before "$until_" || fail "the viewer did not end on Escape within 10 s"
  xdotool keydown Escape 2>/dev/null || true
  for _ in $(seq 5); do kill -0 "$viewer" 2>/dev/null || break; sleep 0.1; done
  xdotool keyup Escape 2>/dev/null || true
done
status=0
wait "$viewer" || status=$?
viewer=
[ "$status" -eq 0 ] || fail "the viewer ended with exit code $status: $(tr '\n' ' ' <"$log/viewer.txt")"
echo "Screenshot: $out"
