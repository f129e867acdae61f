#!/usr/bin/env bash
# Builds everything under AddressSanitizer and UndefinedBehaviorSanitizer into build-asan/ and
# runs every test there; the first sanitizer report fails the test it happens in.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/setup.sh"
cmake --preset asan -S "$root" >/dev/null
cmake --build "$root/build-asan" -j 2
export UBSAN_OPTIONS=print_stacktrace=1
ctest --test-dir "$root/build-asan" --output-on-failure -j 2 --timeout 600
