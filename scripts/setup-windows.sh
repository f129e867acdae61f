#!/usr/bin/env bash
# Installs what the Windows build needs and builds GLFW for Windows from Debian's own source
# package into build-windows/glfw (never committed); idempotent.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
out="$root/build-windows"
prefix="$out/glfw"

source "$root/scripts/lib.sh"
sudo=()
if [ "$(id -u)" -ne 0 ]; then
  sudo=(sudo)
fi

# icoutils: wrestool, with which the tests read the viewer's icon and version resources; nsis:
# makensis, which CPack runs for the installer.
mapfile -t missing < <(zv_missing g++-mingw-w64-x86-64-posix libz-mingw-w64-dev wine wine64 dpkg-dev cmake make \
  icoutils nsis)

# `apt-get source` needs source entries for the archive the machine already installs from.
has_sources() {
  grep -rqsE '^(Types:.*deb-src|deb-src )' /etc/apt/sources.list /etc/apt/sources.list.d/
}
updated=0
if ! has_sources; then
  if [ -f /etc/apt/sources.list.d/debian.sources ]; then
    list=/etc/apt/sources.list.d/zv-src.sources
    sed 's/^Types:.*/Types: deb-src/' /etc/apt/sources.list.d/debian.sources |
      "${sudo[@]}" tee "$list" >/dev/null
  else
    list=/etc/apt/sources.list.d/zv-src.list
    sed -n 's/^deb \(.*\)/deb-src \1/p' /etc/apt/sources.list | "${sudo[@]}" tee "$list" >/dev/null
  fi
  # Made under the caller's umask (077 leaves it to root alone), yet `apt-get source` below runs
  # as the caller and must read it.
  "${sudo[@]}" chmod 0644 "$list"
  "${sudo[@]}" apt-get update -qq
  updated=1
fi
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  [ $updated -eq 1 ] || "${sudo[@]}" apt-get update -qq
  DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -qq \
    "${missing[@]}" >/dev/null
fi

if [ -f "$prefix/lib/libglfw3.a" ] && [ -f "$prefix/lib/cmake/glfw3/glfw3Config.cmake" ]; then
  exit 0
fi

echo "Building GLFW for Windows from Debian's source package"
source_dir="$out/glfw-source"
rm -rf "$source_dir" "$out/glfw-build" "$prefix"
mkdir -p "$source_dir"
# Its unpacking talk goes to a log, shown only when no source came of it.
(cd "$source_dir" && apt-get source -qq glfw3 >"$out/glfw-source.log" 2>&1) || true
glfw_src=$(find "$source_dir" -mindepth 1 -maxdepth 1 -type d -name 'glfw3-*' | head -n 1)
if [ -z "$glfw_src" ] || [ ! -f "$glfw_src/CMakeLists.txt" ]; then
  cat "$out/glfw-source.log" >&2
  echo "setup-windows.sh: apt-get source glfw3 gave no unpacked source in $source_dir" >&2
  exit 1
fi
cmake -S "$glfw_src" -B "$out/glfw-build" \
  -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_INSTALL_PREFIX="$prefix" -DBUILD_SHARED_LIBS=OFF -DGLFW_BUILD_EXAMPLES=OFF \
  -DGLFW_BUILD_TESTS=OFF -DGLFW_BUILD_DOCS=OFF -DGLFW_INSTALL=ON >/dev/null
cmake --build "$out/glfw-build" -j 2 >/dev/null
cmake --install "$out/glfw-build" >/dev/null
