# Sourced by run.sh, screenshot.sh and soak.sh: the viewer on an Xvfb of their own, its window,
# a settled screenshot and the end by Escape. Every wait has a deadline. Not a program of its own.
#
# The caller sets x_name (the prefix of its messages) and calls x_stop on exit. A failure prints
# one line, "x_name: reason", and ends the caller with 1.

x_log=$(mktemp -d)
x_xvfb=
x_viewer=
x_window=
x_status=
# The deadlines of the waits that depend on the viewer, in seconds.
x_settle_seconds=30
x_escape_seconds=20

x_fail() {
  echo "$x_name: $*" >&2
  exit 1
}

# x_wait SECONDS COMMAND...: polls COMMAND every tenth of a second until it succeeds; false once
# SECONDS have passed.
x_wait() {
  local until=$(($(date +%s%N) + $1 * 1000000000))
  shift
  until "$@"; do
    [ "$(date +%s%N)" -lt "$until" ] || return 1
    sleep 0.1
  done
}

x_alive() { [ -n "$x_viewer" ] && kill -0 "$x_viewer" 2>/dev/null; }
x_has_display() { grep -q '^[0-9][0-9]*$' "$x_log/display" 2>/dev/null; }
x_found_window() {
  x_alive || x_fail "the viewer ended before its window appeared: $(tr '\n' ' ' <"$x_log/viewer.txt")"
  x_window=$(xdotool search --name '^ZORAVAROVA$' 2>/dev/null | head -n1)
  [ -n "$x_window" ]
}

# x_start_display [SCREEN]: an Xvfb (800x600x24 unless told otherwise) on a display number it
# picks itself; exports DISPLAY.
x_start_display() {
  Xvfb -displayfd 3 -screen 0 "${1:-800x600x24}" -noreset -nolisten tcp 3>"$x_log/display" \
    >"$x_log/xvfb.txt" 2>&1 &
  x_xvfb=$!
  # Xvfb writes its display number once it accepts connections; it may also end before that.
  x_wait 30 eval 'x_has_display || ! kill -0 "$x_xvfb" 2>/dev/null' || true
  x_has_display || x_fail "Xvfb gave no display number: $(tr '\n' ' ' <"$x_log/xvfb.txt")"
  export DISPLAY=":$(head -n1 "$x_log/display")"
}

# x_start_viewer VIEWER: starts it in software rendering, so that the picture does not depend on
# the machine's GPU, and waits for its window (x_window).
x_start_viewer() {
  LIBGL_ALWAYS_SOFTWARE=1 GALLIUM_DRIVER=llvmpipe "$1" >"$x_log/viewer.txt" 2>&1 &
  x_viewer=$!
  x_wait 30 x_found_window || x_fail "no window titled ZORAVAROVA within 30 s"
}

# x_pixel X Y: the screen's pixel there as R,G,B.
x_pixel() {
  x_shoot "$x_log/pixel.ppm"
  x_pixel_of "$x_log/pixel.ppm" "$1" "$2"
}

# The root window as PPM, which carries no metadata: equal files mean equal pixels.
x_shoot() { import -window root "ppm:$1"; }
x_pixel_of() { convert "$1" -crop "1x1+$2+$3" -depth 8 rgb:- | od -An -tu1 | xargs | tr ' ' ,; }
# The clear colour (0.2, 0.3, 0.3) as llvmpipe writes it: 0.3 x 255 = 76.5 rounds either way.
x_is_clear() { [[ "$1" =~ ^51,7[67],7[67]$ ]]; }
x_settled() {
  x_alive || x_fail "the viewer ended before its picture settled: $(tr '\n' ' ' <"$x_log/viewer.txt")"
  mv -f "$x_log/shot.ppm" "$x_log/previous.ppm" 2>/dev/null || true
  x_shoot "$x_log/shot.ppm"
  # Drawn: the corner shows the clear colour, not the screen's black; cubes: the centre does not.
  x_is_clear "$(x_pixel_of "$x_log/shot.ppm" 0 0)" &&
    ! x_is_clear "$(x_pixel_of "$x_log/shot.ppm" 400 300)" &&
    cmp -s "$x_log/shot.ppm" "$x_log/previous.ppm"
}

# x_settled_shot FILE: the window maps before its first frame is drawn, so the picture is ready
# once the centre of the 800 by 600 screen shows a cube rather than the clear colour and two shots
# in a row agree. Saves that picture as PPM.
x_settled_shot() {
  rm -f "$x_log/shot.ppm" "$x_log/previous.ppm"
  x_wait "$x_settle_seconds" x_settled ||
    x_fail "the picture did not settle on cubes within $x_settle_seconds s (centre pixel $(x_pixel_of "$x_log/shot.ppm" 400 300))"
  mv "$x_log/shot.ppm" "$1"
}

# x_end_viewer: ends the viewer as a user does and sets x_status to its exit code; false when it
# goes on running for x_escape_seconds, which the caller reports. A key can be
# missed before the window has the focus, and the viewer only sees a key that is down when a
# frame starts: the window gets the focus and Escape is held a while, again until the viewer ends.
x_escape() {
  xdotool windowfocus "$x_window" >/dev/null 2>&1 || true
  xdotool keydown Escape >/dev/null 2>&1 || true
  x_wait 1 eval '! x_alive' || true
  xdotool keyup Escape >/dev/null 2>&1 || true
  ! x_alive
}
x_end_viewer() {
  x_wait "$x_escape_seconds" x_escape || return 1
  x_status=0
  wait "$x_viewer" || x_status=$?
  x_viewer=
}

# x_stop: ends what is still running, for the caller's EXIT trap.
x_stop() {
  if x_alive; then kill "$x_viewer" 2>/dev/null || true; fi
  if [ -n "$x_xvfb" ]; then
    kill "$x_xvfb" 2>/dev/null || true
    wait "$x_xvfb" 2>/dev/null || true
  fi
  rm -rf "$x_log"
}
