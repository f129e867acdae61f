#!/usr/bin/env bash
# Cross-builds the Windows viewer into build-windows/viewer (zoravarova.exe, packed), after a Linux
# build in build-win-host that supplies the packer and the tests that run the Windows programs.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/setup.sh" test
"$root/scripts/setup-windows.sh"
host="$root/build-win-host"
cross="$root/build-windows/viewer"

cd "$root"
cmake --preset windows-host >/dev/null
# The cross build runs the host's packer and takes the Windows icon the host's generator draws.
cmake --build --preset windows-host --target zoravarova-pack zv-icons

cmake --preset windows >/dev/null
cmake --build --preset windows
cmake --build --preset windows-host
echo "Windows viewer: $cross/zoravarova.exe"
