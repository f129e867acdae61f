#!/usr/bin/env bash
# Builds the page and runs its tests in Debian's headless chromium, through puppeteer-core as
# pinned in tests/web/package-lock.json. Arguments go to build-web.sh (--unpacked).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/setup.sh" web web-test
"$root/scripts/build-web.sh" "$@"
cd "$root/tests/web"
npm ci --no-audit --no-fund --loglevel=error
node --test
