#!/usr/bin/env bash
# Builds the Windows viewer and its installer, then runs the PE packer tests and, under Wine and
# Xvfb, the tests of the cross-built programs and of the installer. Wine runs in its own prefix
# under build-windows/, prepared here once.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/build-windows.sh"
# The installer, made from this cross build as scripts/package.sh makes it, for the tests below.
(cd "$root/build-windows/viewer" && cpack -G NSIS -B "$root/build-windows/viewer/cpack" >/dev/null)

# One Wine server and its services for the whole run, up before the first test.
source "$root/scripts/wine-session.sh"
trap stop_wine EXIT
start_wine "$root/build-windows/wine-log"

cd "$root"
ctest --preset windows-host
