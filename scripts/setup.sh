#!/usr/bin/env bash
# Installs the Debian packages one or more purposes need, and no others; idempotent.
#
#   scripts/setup.sh PURPOSE...
#     run      build the viewer and its packer, and show it (on a virtual display if there is none)
#     format   the format check over our own sources
#     bench    build the benchmarks and the tests' X harness they use, and profile the viewer
#     package  build the .deb and validate the files it installs
#     web      build the page, the viewer for browsers (scripts/build-web.sh)
#     web-test the page's tests in a headless browser (scripts/test-web.sh)
#     test     everything CI's stages need: all of the above, the tests, Clang and the sanitizers,
#              and Debian's Wayland build of GLFW, fetched into build/debs but never installed
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
source "$root/scripts/lib.sh"

run=(
  cmake g++ make binutils python3 python3-glad          # build, and the GL loader generator
  libglfw3-dev libglm-dev libstb-dev zlib1g-dev         # window, math, image decoding, inflate
  libgl1-mesa-dri libglx-mesa0 libgl1                   # OpenGL in software (llvmpipe)
  xvfb x11-xkb-utils x11-utils xdotool imagemagick     # without a display: Xvfb, Escape, screenshot
)
format=(clang-format)
web=(emscripten)                                        # the viewer as WebAssembly for WebGL 2
web_tests=(chromium)                                    # the page's tests: a headless browser
# npm installs the pinned browser driver. A Node.js from elsewhere brings its own npm, beside
# which Debian's would not install.
command -v npm >/dev/null || web_tests+=(npm)
tests=(
  libgtest-dev libx11-dev libxtst-dev libxdamage-dev    # tests: X input, screenshots, frame damage
  clang libclang-rt-14-dev                              # fuzzing, and sanitizers on every compiler
  wabt                                                  # validates the packed WebAssembly module
  weston                                                # a headless compositor for the Wayland GLFW
)
bench=(
  libbenchmark-dev libbenchmark-tools python3-scipy     # frame benchmarks, compare.py
  uftrace heaptrack gnuplot-nox                         # start-up trace, heap profile, plot
)
package=(
  desktop-file-utils appstream groff-base man-db        # validators of the files in packaging/
  dpkg-dev lintian                                      # the .deb: its dependencies, its checks
  devscripts zip                                        # hardening-check; the zips
)

usage="usage: $0 PURPOSE... (run, format, bench, package, web, web-test, test)"
[ $# -gt 0 ] || { echo "$usage" >&2; exit 2; }
wanted=()
fetch_wayland_glfw=0
for purpose in "$@"; do
  case "$purpose" in
    run) wanted+=("${run[@]}") ;;
    format) wanted+=("${format[@]}") ;;
    # The benchmarks are built with the tests, whose X harness runs the viewer for them.
    bench) wanted+=("${run[@]}" "${tests[@]}" "${bench[@]}") ;;
    package) wanted+=("${run[@]}" "${package[@]}") ;;
    # The packer that packs the page is built for this machine.
    web) wanted+=("${run[@]}" "${web[@]}") ;;
    # The page's pictures are compared by a program of the test build.
    web-test) wanted+=("${web_tests[@]}" "${tests[@]}") ;;
    test) wanted+=("${run[@]}" "${format[@]}" "${tests[@]}" "${bench[@]}" "${package[@]}"
                   "${web[@]}" "${web_tests[@]}")
          fetch_wayland_glfw=1 ;;
    *) echo "setup.sh: unknown purpose \"$purpose\"; $usage" >&2; exit 2 ;;
  esac
done

mapfile -t missing < <(zv_missing "${wanted[@]}" | sort -u)
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  zv_as_root apt-get update -qq
  DEBIAN_FRONTEND=noninteractive zv_as_root apt-get install -y -qq --no-install-recommends \
    "${missing[@]}" >/dev/null
fi

# libglfw3-wayland conflicts with the libglfw3 the build needs: the GCC stage's test of it
# (tests/wayland_viewer_test.cpp) unpacks this copy in build/, that stage's folder, and skips
# without one. The package lists may be missing on a machine that needed no install above.
debs="$root/build/debs"
if [ "$fetch_wayland_glfw" -eq 1 ] && ! compgen -G "$debs/libglfw3-wayland_*.deb" >/dev/null; then
  mkdir -p "$debs"
  fetch() { (cd "$debs" && apt-get download -qq libglfw3-wayland); }
  if ! fetch 2>/dev/null; then
    zv_as_root apt-get update -qq
    fetch || echo "setup.sh: could not fetch libglfw3-wayland into $debs; its test will skip" >&2
  fi
fi
