#!/usr/bin/env bash
# Builds the viewer, the tools and every test with Clang into build-clang/ (warnings as errors, as
# with GCC) and runs the CTest suite there. Release here, the type the packages ship, and
# RelWithDebInfo in the GCC stage: a test that holds in only one build type fails in CI.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/setup.sh"
cmake -S "$root" -B "$root/build-clang" -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ >/dev/null
cmake --build "$root/build-clang" -j "$(nproc)"
ctest --test-dir "$root/build-clang" --output-on-failure -j 2 --timeout 300
