#!/usr/bin/env bash
# Measures the viewer with our field's tools, each part under an Xvfb of its own with llvmpipe:
#   frame     Google Benchmark: runFrame against two floors -> frame.json, frame.md, frame-times.png
#   start-up  the packed viewer timed from outside to its first frame -> startup-outside.md, and
#             uftrace on a build of the viewer compiled for tracing -> startup/, startup.md
#   memory    heaptrack on the packed viewer, and its peak RSS from /proc -> memory/, memory.md
# Writes bench-results/ (or --out DIR). The frame figures are compared, with compare.py, with
# those of the run before in the same folder, or with --baseline FILE.json. --smoke runs a short
# pass that shows all three work; other arguments go to the frame benchmark.
# ZV_BENCH_BUILD_DIR picks another build directory.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build="${ZV_BENCH_BUILD_DIR:-$root/build-bench}"
out="$root/bench-results"
smoke=0
baseline=""
frame_args=()
while [ $# -gt 0 ]; do
  case "$1" in
    --smoke) smoke=1 ;;
    --out) out=$(realpath -m "$2"); shift ;;
    --baseline) baseline=$(realpath "$2"); shift ;;
    *) frame_args+=("$1") ;;
  esac
  shift
done
if [ "$smoke" = 1 ]; then
  repetitions=20 startup_runs=1 short_seconds=1 long_seconds=2
else
  repetitions=600 startup_runs=10 short_seconds=2 long_seconds=6
fi

# Only a folder this script wrote (or an empty or new one) is emptied.
if [ -n "$(ls -A "$out" 2>/dev/null)" ] && [ ! -f "$out/when.txt" ]; then
  echo "bench.sh: $out is not empty and holds no earlier results; give another --out" >&2
  exit 2
fi

"$root/scripts/setup.sh" bench
source "$root/scripts/lib.sh"
(cd "$root" && cmake --preset bench -B "$build") >/dev/null
cmake --build "$build" -j "$zv_jobs" --target bench >/dev/null
# The same sources compiled for tracing (-pg), packed like the viewer.
(cd "$root" && cmake --preset bench-traced -B "$build/traced") >/dev/null
cmake --build "$build/traced" -j "$zv_jobs" --target zoravarova-packed >/dev/null

run="$build/bench/zoravarova-bench-run"
# Debian's own Python, whose packages compare.py and report.py use.
python=/usr/bin/python3
report="$root/bench/report.py"
previous=$(mktemp)
# uftrace keeps the traced program's path up to its first space, and then finds no symbols, and
# heaptrack's -o takes no path with a space at all: both work in a folder without one. The packed
# viewer carries its images, so a copy of it runs anywhere.
scratch=$(mktemp -d /tmp/zoravarova-bench.XXXXXX)
trap 'rm -rf "$previous" "$scratch"' EXIT
cp "$build/traced/zoravarova" "$scratch/zoravarova"
if [ -z "$baseline" ] && [ -s "$out/frame.json" ]; then
  cp "$out/frame.json" "$previous"
  baseline=$previous
fi
rm -rf "$out"
mkdir -p "$out/logs" "$out/startup" "$out/memory"
if [ -n "$baseline" ]; then
  cp "$baseline" "$out/frame-baseline.json"
fi
cd "$out/logs"
date -u '+%F %T UTC' >"$out/when.txt"
{ grep -m1 'model name' /proc/cpuinfo; echo "load at the start: $(cat /proc/loadavg)"; } >>"$out/when.txt"

echo "== frame: Google Benchmark, $repetitions frames of each kind, interleaved at random"
"$run" --until-exit "$out/logs" -- "$build/zoravarova-frame-bench" \
  --benchmark_repetitions="$repetitions" --benchmark_out="$out/frame.json" \
  --benchmark_out_format=json ${frame_args[@]+"${frame_args[@]}"} >"$out/frame-console.txt"
"$python" "$report" frames "$out/frame.json" "$out/frame-times.tsv" | tee "$out/frame.md"
if [ -n "$baseline" ]; then
  "$python" /usr/share/benchmark/compare.py -a --no-color benchmarks "$out/frame-baseline.json" \
    "$out/frame.json" >"$out/frame-compare.txt"
  echo "compared with the previous figures by compare.py: $out/frame-compare.txt"
fi
gnuplot -e "data='$out/frame-times.tsv'; output='$out/frame-times.png'" "$root/bench/frame_times.gp"

echo "== start-up: $startup_runs runs of the packed viewer, from its start to its first frame"
for i in $(seq "$startup_runs"); do
  "$run" --first-frame "$out/logs" -- "$build/zoravarova" >"$out/startup/outside-$i.run"
done
"$python" "$report" outside "$out"/startup/outside-*.run | tee "$out/startup-outside.md"

echo "== start-up: uftrace, $startup_runs runs of each kind, to the first presented frame"
for i in $(seq "$startup_runs"); do
  for kind in lean nested; do
    libcalls=()
    [ "$kind" = nested ] && libcalls=(--nest-libcall)
    # The decoder's insides are not ours to time, and tracing each of their calls would triple it.
    "$run" --first-frame "$out/logs" -- uftrace record -d "$out/startup/$kind-$i" \
      ${libcalls[@]+"${libcalls[@]}"} -T stbi_load_from_memory@depth=1 \
      "$scratch/zoravarova" >"$out/startup/$kind-$i.run"
    uftrace replay -d "$out/startup/$kind-$i" --no-pager -f elapsed,duration,tid -F main -D 6 -T '^glfw@depth=1' \
      >"$out/startup/$kind-$i.txt"
  done
done
uftrace report -d "$out/startup/nested-1" --no-pager >"$out/startup/nested-1.report"
"$python" "$report" startup "$out"/startup/lean-*.txt -- "$out"/startup/nested-*.txt |
  tee "$out/startup.md"

echo "== memory: heaptrack over $short_seconds s and $long_seconds s of frames, and peak RSS"
for length in short long; do
  seconds=$short_seconds
  [ "$length" = long ] && seconds=$long_seconds
  "$run" --seconds "$seconds" "$out/logs" -- heaptrack -o "$scratch/$length" \
    "$build/zoravarova" >"$out/memory/$length.run"
  # heaptrack writes .zst where zstd is installed, .gz otherwise.
  data="$out/memory/$length.gz"
  if [ -f "$scratch/$length.zst" ]; then
    data="$out/memory/$length.zst"
  fi
  mv "$scratch/$length".* "$out/memory/"
  heaptrack_print -f "$data" -F "$out/memory/$length.stacks" \
    --flamegraph-cost-type allocations >"$out/memory/$length.txt"
done
# Our own functions: everything the viewer's executable defines.
nm -C --defined-only "$build/zoravarova" | cut -d' ' -f3- | sed 's/(.*//' | sort -u \
  >"$out/memory/symbols"
"$run" --seconds "$long_seconds" "$out/logs" -- "$build/zoravarova" >"$out/memory/rss.run"
"$python" "$report" memory "$out/memory/short" "$out/memory/long" "$out/memory/rss.run" |
  tee "$out/memory.md"
echo "load at the end: $(cat /proc/loadavg)" >>"$out/when.txt"
echo "== results in $out"
