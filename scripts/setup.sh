#!/usr/bin/env bash
# Installs the Debian packages that building, running and testing the viewer need; idempotent.
set -euo pipefail

packages=(
  cmake g++ make binutils python3 python3-glad          # build, and the GL loader generator
  libglfw3-dev libglm-dev libstb-dev zlib1g-dev         # window, math, image decoding, inflate
  libgl1-mesa-dri libglx-mesa0 libgl1                   # OpenGL in software (llvmpipe)
  libgtest-dev libx11-dev libxtst-dev libxdamage-dev    # tests: X input, screenshots, frame damage
  xvfb x11-xkb-utils x11-utils xdotool imagemagick     # a virtual display for running headless
  clang libclang-rt-14-dev                              # fuzzing, and sanitizers on every compiler
  clang-format git                                      # the format check over our own sources
  libbenchmark-dev libbenchmark-tools python3-scipy     # frame benchmarks, compare.py
  uftrace heaptrack gnuplot-nox                         # start-up trace, heap profile, plot
  desktop-file-utils appstream groff-base man-db        # validators of the files in packaging/
  dpkg-dev lintian                                      # the .deb: its dependencies, its checks
)

missing=()
for package in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$package")
  fi
done
if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

sudo=()
if [ "$(id -u)" -ne 0 ]; then
  sudo=(sudo)
fi
echo "Installing: ${missing[*]}"
"${sudo[@]}" apt-get update -qq
DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
