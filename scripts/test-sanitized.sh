#!/usr/bin/env bash
# Builds everything under AddressSanitizer and UndefinedBehaviorSanitizer into build-asan/ and
# runs every test there; the first sanitizer report fails the test it happens in.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
source "$root/scripts/lib.sh"
zv_needs_overcommit test-sanitized
"$root/scripts/setup.sh" test
cd "$root"
cmake --preset asan >/dev/null
cmake --build --preset asan
export UBSAN_OPTIONS=print_stacktrace=1
ctest --preset asan
