#!/usr/bin/env bash
# Builds the viewer, the tools and every test with Clang into build-clang/ (warnings as errors, as
# with GCC) and runs the CTest suite there. Release here, the type the packages ship, and
# RelWithDebInfo in the GCC stage: a test that holds in only one build type fails in CI.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/setup.sh" test
cd "$root"
cmake --preset clang >/dev/null
cmake --build --preset clang
ctest --preset clang
