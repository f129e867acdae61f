#!/usr/bin/env bash
# Builds the viewer, the tools and every test with Clang into build-clang/ (warnings as errors, as
# with GCC) and runs the CTest suite there.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/setup.sh"
cmake -S "$root" -B "$root/build-clang" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ >/dev/null
cmake --build "$root/build-clang" -j "$(nproc)"
ctest --test-dir "$root/build-clang" --output-on-failure -j 2 --timeout 300
