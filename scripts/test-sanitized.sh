#!/usr/bin/env bash
# Builds everything under AddressSanitizer and UndefinedBehaviorSanitizer into build-asan/ and
# runs every test there; the first sanitizer report fails the test it happens in.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
# AddressSanitizer reserves terabytes of shadow address space up front, which a kernel that never
# overcommits memory (vm.overcommit_memory=2) refuses: there this stage cannot run at all.
if [ "$(cat /proc/sys/vm/overcommit_memory 2>/dev/null)" = 2 ]; then
  echo "test-sanitized: skipped: vm.overcommit_memory is 2, so AddressSanitizer cannot reserve its shadow memory" >&2
  exit 77
fi
"$root/scripts/setup.sh"
cmake --preset asan -S "$root" >/dev/null
cmake --build "$root/build-asan" -j 2
export UBSAN_OPTIONS=print_stacktrace=1
ctest --test-dir "$root/build-asan" --output-on-failure -j 2 --timeout 600
