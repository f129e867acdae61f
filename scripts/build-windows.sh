#!/usr/bin/env bash
# Cross-builds the Windows viewer into build-windows/viewer (zoravarova.exe, packed), after a Linux
# build in build-win-host that supplies the packer and the tests that run the Windows programs.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/setup.sh"
"$root/scripts/setup-windows.sh"
host="$root/build-win-host"
cross="$root/build-windows/viewer"
jobs=$(( $(nproc) < 2 ? $(nproc) : 2 ))

cmake -S "$root" -B "$host" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DZV_BUILD_TESTS=ON \
  -DZV_WINDOWS_BUILD_DIR="$cross" \
  -DZV_WINE_PREFIX="$root/build-windows/wine" >/dev/null
cmake --build "$host" -j "$jobs" --target zoravarova-pack

cmake -S "$root" -B "$cross" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo -Dglfw3_DIR="$root/build-windows/glfw/lib/cmake/glfw3" \
  -DZV_HOST_PACKER="$host/tools/zoravarova-pack" >/dev/null
cmake --build "$cross" -j "$jobs"
cmake --build "$host" -j "$jobs"
echo "Windows viewer: $cross/zoravarova.exe"
