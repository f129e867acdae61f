#!/usr/bin/env bash
# Builds the page into build-web/ (index.html, zoravarova.js, zoravarova.wasm) with Debian's
# Emscripten, packing the pictures into the .wasm with a packer built for this machine.
#
#   scripts/build-web.sh [--unpacked]
#     --unpacked  leave the pictures out (the cubes are then untextured): no packer is built
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
pack=ON
case "${1:-}" in
  "") ;;
  --unpacked) pack=OFF ;;
  *) echo "usage: $0 [--unpacked]" >&2; exit 2 ;;
esac
"$root/scripts/setup.sh" web
cd "$root"
# Debian's Emscripten finds its JavaScript parser among Debian's node modules, which a node that
# is not Debian's own does not search.
export NODE_PATH=/usr/share/nodejs
if [ "$pack" = ON ]; then
  cmake --preset web-host >/dev/null
  cmake --build --preset web-host
fi
cmake --preset web -DZV_WEB_PACK="$pack" >/dev/null
cmake --build --preset web
