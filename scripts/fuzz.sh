#!/usr/bin/env bash
# Builds the libFuzzer targets into build-fuzz/ (clang) and runs each from its committed seeds
# and kept crash inputs for a share of the time; fails when any target finds a crash.
#
#   scripts/fuzz.sh [--seconds N]   total time over all targets, 60 by default
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
seconds=60
while [ $# -gt 0 ]; do
  case "$1" in
    --seconds) seconds=$2; shift 2 ;;
    *) echo "usage: $0 [--seconds N]" >&2; exit 2 ;;
  esac
done
source "$root/scripts/lib.sh"
zv_needs_overcommit fuzz
"$root/scripts/setup.sh" test
command -v clang++ >/dev/null || { echo "fuzz: clang++ is missing (scripts/setup.sh installs it)" >&2; exit 2; }

targets=(embedded_reader image_decode pack_checks)
build="$root/build-fuzz"
(cd "$root" && cmake --preset fuzz >/dev/null &&
  cmake --build --preset fuzz --target "${targets[@]/#/fuzz-}" >/dev/null)

share=$(( seconds / ${#targets[@]} ))
[ "$share" -ge 1 ] || share=1
failed=()
for target in "${targets[@]}"; do
  # The corpus grows in the build tree; the committed seeds stay as they are.
  work="$build/corpus/$target"
  artifacts="$build/artifacts/$target"
  log="$build/logs/$target.txt"
  mkdir -p "$work" "$artifacts" "$(dirname "$log")"
  status=0
  # One process, one job: the machine is small and shared. A unit that runs over 10 s is a
  # finding, and so is one that needs more memory than the largest picture the decoder's checks
  # let through (HARDENING.md): sides of 2048 at most, 16-bit RGBA, interlaced. Its inflated data
  # needs 33,558,272 bytes, into a buffer the decoder sizes at 2048 x (1 + 2048 x 8) = 33,556,480
  # and doubles once, so 67,112,960 bytes is the largest single allocation: -malloc_limit_mb=65.
  # Live at once then: that buffer, the 32 MiB picture and its 16 MiB last Adam7 pass, and the
  # 12 MiB the other image uploaded, 124 MiB; with AddressSanitizer's 256 MiB quarantine of freed
  # blocks, its shadow of an eighth of both, and the 45 MiB of a run on a small input, 473 MiB
  # (397 MiB measured on two such pictures): -rss_limit_mb=512. A bomb the checks miss runs past
  # both.
  "$build/fuzz/fuzz-$target" -max_total_time="$share" -timeout=10 -rss_limit_mb=512 \
    -malloc_limit_mb=65 \
    -print_final_stats=1 -artifact_prefix="$artifacts/" \
    "$work" "$root/fuzz/corpus/$target" "$root/fuzz/regressions/$target" >"$log" 2>&1 || status=$?
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
  coverage=$(grep -o 'cov: [0-9]*' "$log" | tail -n1)
  if [ "$status" -ne 0 ]; then
    failed+=("$target")
    echo "fuzz: $target FOUND A CRASH after ${runs:-?} runs; input in $artifacts, log in $log" >&2
  else
    echo "fuzz: $target ran ${runs:-?} inputs in ${share} s, ${coverage:-cov: ?}, no crash"
  fi
done
if [ ${#failed[@]} -ne 0 ]; then
  echo "fuzz: crashes in ${failed[*]}; fix them and keep each input in fuzz/regressions/<target>/" >&2
  exit 1
fi
echo "fuzz: all ${#targets[@]} targets ran clean"
