#!/usr/bin/env bash
# Soak run: the viewer under an Xvfb of its own with random mouse motion and window resizes
# (0 by 0 included), its RSS sampled every 10 s into a file. Fails if the viewer dies, does not
# end cleanly on Escape, or its RSS grows after the first minute. Not part of the default CI.
#
#   scripts/soak.sh [--seconds N] [--viewer PATH] [--output FILE] [--tolerance-kib N]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
seconds=600
viewer="$root/build/zoravarova"
output=""
tolerance_kib=4096  # more than allocator noise moves the floors and the trend
while [ $# -gt 0 ]; do
  case "$1" in
    --seconds) seconds=$2; shift 2 ;;
    --viewer) viewer=$2; shift 2 ;;
    --output) output=$2; shift 2 ;;
    --tolerance-kib) tolerance_kib=$2; shift 2 ;;
    *) echo "usage: $0 [--seconds N] [--viewer PATH] [--output FILE] [--tolerance-kib N]" >&2; exit 2 ;;
  esac
done
[ -x "$viewer" ] || { echo "soak: $viewer: no viewer there; build it first (scripts/build.sh)" >&2; exit 2; }
output=${output:-$(dirname "$viewer")/soak-rss.txt}
for tool in Xvfb xdotool xwininfo import; do
  command -v "$tool" >/dev/null || { echo "soak: $tool is missing (scripts/setup.sh installs it)" >&2; exit 2; }
done

screen_w=1280
screen_h=1024
x_name=soak
source "$root/scripts/x-session.sh"
trap x_stop EXIT
x_start_display "${screen_w}x${screen_h}x24"
x_start_viewer "$viewer"
window=$x_window
viewer_pid=$x_viewer

alive() { x_alive; }
rss_kib() { awk '/^VmRSS:/ { print $2 }' "/proc/$viewer_pid/status"; }
# A window of 0 by 0 does not exist in X (the server answers BadValue; xdotool leaves a 0
# dimension as it is), so the 0 by 0 request is followed by 1 by 1, the smallest the window can
# be, and an unmap, which leaves nothing to draw into.
resize() { xdotool windowsize "$window" "$1" "$2" >/dev/null 2>&1 || true; }
map_state() { xwininfo -id "$window" 2>/dev/null | grep -q "Map State: $1"; }
# Back at 800 by 600 and drawn there: the client area's corner shows the clear colour.
drawn_at_800x600() {
  alive && xwininfo -id "$window" 2>/dev/null | grep -q 'Width: 800' &&
    xwininfo -id "$window" 2>/dev/null | grep -q 'Height: 600' &&
    x_is_clear "$(x_pixel 799 599)"
}
settle() {
  resize 800 600
  x_wait 10 drawn_at_800x600 || true
}

# One cycle of 10 s: bursts of random motion, each followed by a random resize, an unmap and
# map, or nothing; the window goes back to 800 by 600 before the sample so that every sample
# measures the same framebuffers.
cycle() {
  local until=$((SECONDS + 9))
  while [ "$SECONDS" -lt "$until" ]; do
    local moves=()
    for _ in $(seq 20); do
      moves+=(mousemove $((RANDOM % screen_w)) $((RANDOM % screen_h)) sleep 0.02)
    done
    xdotool "${moves[@]}" >/dev/null 2>&1 || true
    case $((RANDOM % 6)) in
      0) resize 0 0; resize 1 1 ;;
      1) resize $((RANDOM % screen_w + 1)) $((RANDOM % screen_h + 1)) ;;
      2) resize "$screen_w" "$screen_h" ;;
      3) xdotool windowunmap "$window" >/dev/null 2>&1 || true
         x_wait 5 map_state IsUnMapped || true
         xdotool windowmap "$window" >/dev/null 2>&1 || true
         x_wait 5 map_state IsViewable || true ;;
      *) ;;
    esac
    alive || return 1
  done
  settle
}

echo "# seconds rss_kib (viewer $viewer, pid $viewer_pid, $(date -u +%FT%TZ))" >"$output"
# The largest and smallest sizes come first, so that the driver's peak buffers exist before
# the first minute is over.
resize "$screen_w" "$screen_h"
x_wait 10 eval 'xwininfo -id "$window" | grep -q "Width: $screen_w"' || true
resize 0 0
resize 1 1
x_wait 10 eval 'xwininfo -id "$window" | grep -q "Width: 1\$"' || true
settle
start=$SECONDS
failure=
while [ $((SECONDS - start)) -lt "$seconds" ]; do
  if ! cycle || ! alive; then
    failure="the viewer died after $((SECONDS - start)) s"
    break
  fi
  echo "$((SECONDS - start)) $(rss_kib)" >>"$output"
done

status=0
if [ -z "$failure" ] && x_end_viewer; then
  status=$x_status
else
  failure=${failure:-"the viewer did not end on Escape"}
  if alive; then kill "$x_viewer"; fi
  wait "$x_viewer" || true
  x_viewer=
fi
[ -z "$failure" ] && [ "$status" -ne 0 ] && failure="the viewer ended with exit code $status"

# Growth after the first minute. RSS moves between plateaus several MiB apart as the driver
# and the allocator keep or hand back pages, so single samples prove nothing; judged are the
# peak of the second half of the run against the peak from 60 s to the middle, and the
# least-squares trend of every sample after 60 s over the time they span. A leak lifts both.
verdict=$(awk -v tolerance="$tolerance_kib" '
  BEGIN { n = 0 }
  !/^#/ && $1 >= 60 { t[n] = $1; r[n] = $2; n++; last = $1 }
  END {
    if (n < 4 || last < 120) { print "short"; exit }
    middle = (t[0] + last) / 2
    for (i = 0; i < n; i++) {
      if (t[i] < middle && r[i] > early) early = r[i]
      if (t[i] >= middle && r[i] > late) late = r[i]
      st += t[i]; sr += r[i]
    }
    mt = st / n; mr = sr / n
    for (i = 0; i < n; i++) { num += (t[i] - mt) * (r[i] - mr); den += (t[i] - mt) ^ 2 }
    drift = num / den * (last - t[0])
    printf "%s %d %d %.0f\n", (late - early > tolerance || drift > tolerance ? "grew" : "flat"),
           early, late, drift
  }' "$output")
echo "soak: $(grep -vc '^#' "$output") samples in $output"
case "$verdict" in
  short) echo "soak: too short for a verdict on RSS (it needs samples past 120 s)" ;;
  *) read -r kind early late drift <<<"$verdict"
     summary="RSS peak ${early} KiB from 60 s to the middle, ${late} KiB after; trend ${drift} KiB after 60 s"
     echo "soak: $summary"
     if [ "$kind" = grew ]; then
       failure=${failure:-"RSS grew after the first minute: $summary"}
     fi ;;
esac
if [ -n "$failure" ]; then
  echo "soak: FAILED: $failure" >&2
  exit 1
fi
echo "soak: passed: the viewer ran $seconds s and ended cleanly on Escape"
