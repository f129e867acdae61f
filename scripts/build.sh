#!/usr/bin/env bash
# Configures and builds everything, tests included, into build/ (after installing what is missing).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/setup.sh" test
cd "$root"
cmake --preset default >/dev/null
cmake --build --preset default
