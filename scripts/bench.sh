#!/usr/bin/env bash
# Builds the benchmarks into build-bench/ (Release) and runs them under an Xvfb of their own with
# Mesa's llvmpipe. --smoke runs a short pass that only shows everything works; other arguments
# go to zoravarova-bench (see its usage line). ZV_BENCH_BUILD_DIR picks another build directory.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build="${ZV_BENCH_BUILD_DIR:-$root/build-bench}"
"$root/scripts/setup.sh"
# Tests are not needed here, so their build (or a half-edited test list) never holds this up.
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DZV_BUILD_TESTS=OFF >/dev/null
cmake --build "$build" -j 2 --target bench >/dev/null

log=$(mktemp -d)
Xvfb -displayfd 3 -screen 0 800x600x24 -noreset -nolisten tcp 3>"$log/display" >"$log/xvfb.txt" 2>&1 &
xvfb=$!
cleanup() {
  kill "$xvfb" 2>/dev/null || true
  wait "$xvfb" 2>/dev/null || true
  rm -rf "$log"
}
trap cleanup EXIT
for _ in $(seq 100); do [ -s "$log/display" ] && break; sleep 0.1; done
if [ ! -s "$log/display" ]; then
  echo "bench.sh: Xvfb did not start: $(cat "$log/xvfb.txt")" >&2
  exit 1
fi
export DISPLAY=":$(head -n1 "$log/display")"
export LIBGL_ALWAYS_SOFTWARE=1 GALLIUM_DRIVER=llvmpipe
# A bound on the whole run, so a hung GL call cannot hold CI.
timeout 900 "$build/zoravarova-bench" "$@"
