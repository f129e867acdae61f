#!/usr/bin/env bash
# Builds the page and runs its tests in Debian's headless chromium, through puppeteer-core as
# pinned in tests/web/package-lock.json. Arguments go to build-web.sh (--unpacked).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/setup.sh" web web-test
"$root/scripts/build-web.sh" "$@"
# The page's pictures are held against the desktop tests' model, which the test build compiles.
cd "$root"
cmake --preset default >/dev/null
cmake --build --preset default --target page-picture-compare
cd "$root/tests/web"
npm ci --no-audit --no-fund --loglevel=error
ZV_PICTURE_COMPARE="$root/build/tests/page-picture-compare" node --test
