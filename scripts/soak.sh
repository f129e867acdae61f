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
for tool in Xvfb xdotool; do
  command -v "$tool" >/dev/null || { echo "soak: $tool is missing (scripts/setup.sh installs it)" >&2; exit 2; }
done

screen_w=1280
screen_h=1024
log=$(mktemp -d)
xvfb=
viewer_pid=
cleanup() {
  [ -n "$viewer_pid" ] && kill "$viewer_pid" 2>/dev/null || true
  [ -n "$xvfb" ] && kill "$xvfb" 2>/dev/null || true
  wait 2>/dev/null || true
  rm -rf "$log"
}
trap cleanup EXIT

Xvfb -displayfd 3 -screen 0 "${screen_w}x${screen_h}x24" -noreset -nolisten tcp 3>"$log/display" \
  >"$log/xvfb.txt" 2>&1 &
xvfb=$!
for _ in $(seq 100); do [ -s "$log/display" ] && break; sleep 0.1; done
[ -s "$log/display" ] || { echo "soak: Xvfb did not start" >&2; exit 1; }
export DISPLAY=":$(head -n1 "$log/display")"

"$viewer" >"$log/viewer.txt" 2>&1 &
viewer_pid=$!
window=
for _ in $(seq 100); do
  window=$(xdotool search --name '^ZORAVAROVA$' 2>/dev/null | head -n1) && [ -n "$window" ] && break
  sleep 0.1
done
[ -n "$window" ] || { echo "soak: the viewer's window never appeared" >&2; exit 1; }

alive() { kill -0 "$viewer_pid" 2>/dev/null; }
rss_kib() { awk '/^VmRSS:/ { print $2 }' "/proc/$viewer_pid/status"; }
# A window of 0 by 0 does not exist in X (the server answers BadValue; xdotool leaves a 0
# dimension as it is), so the 0 by 0 request is followed by 1 by 1, the smallest the window can
# be, and an unmap, which leaves nothing to draw into.
resize() { xdotool windowsize "$window" "$1" "$2" >/dev/null 2>&1 || true; }

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
         sleep 0.2
         xdotool windowmap "$window" >/dev/null 2>&1 || true ;;
      *) ;;
    esac
    alive || return 1
  done
  resize 800 600
  sleep 0.5
}

echo "# seconds rss_kib (viewer $viewer, pid $viewer_pid, $(date -u +%FT%TZ))" >"$output"
# The largest and smallest sizes come first, so that the driver's peak buffers exist before
# the first minute is over.
resize "$screen_w" "$screen_h"; sleep 0.5; resize 0 0; resize 1 1; sleep 0.5; resize 800 600
start=$SECONDS
failure=
while [ $((SECONDS - start)) -lt "$seconds" ]; do
  if ! cycle || ! alive; then
    failure="the viewer died after $((SECONDS - start)) s"
    break
  fi
  echo "$((SECONDS - start)) $(rss_kib)" >>"$output"
done

if [ -z "$failure" ]; then
  # A key can be missed before the window has the focus: press Escape until the viewer ends.
  for _ in $(seq 10); do
    xdotool key --window "$window" Escape >/dev/null 2>&1 || true
    xdotool key Escape >/dev/null 2>&1 || true
    for _ in $(seq 10); do alive || break 2; sleep 0.1; done
  done
fi
status=0
if alive; then
  failure=${failure:-"the viewer did not end on Escape"}
  kill "$viewer_pid"
fi
wait "$viewer_pid" || status=$?
viewer_pid=
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
