#!/usr/bin/env bash
# Builds and runs every test: the format check, the CTest suite built with GCC and again with Clang,
# the suite under AddressSanitizer and UndefinedBehaviorSanitizer, a minute of fuzzing, a short
# benchmark pass, the Windows build under Wine, the packages, the page in a headless browser, and
# the packages built again from a tarball in another folder, which must give the same bytes.
# `--quick` runs the GCC CTest suite only.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
quick=0
case "${1:-}" in
  "") ;;
  --quick) quick=1 ;;
  *) echo "usage: $0 [--quick]" >&2; exit 2 ;;
esac

# Each stage is named and timed, so a slow or failing one is plain in CI's output. A stage that
# cannot run on this machine at all exits with 77 and says why; it is reported as skipped.
stage() {
  local name=$1
  shift
  local start=$SECONDS
  echo "== $name"
  local status=0
  "$@" || status=$?
  if [ "$status" -eq 77 ]; then
    echo "== $name: skipped"
  elif [ "$status" -ne 0 ]; then
    echo "== $name: FAILED after $(( SECONDS - start )) s" >&2
    exit "$status"
  else
    echo "== $name: passed in $(( SECONDS - start )) s"
  fi
}

# Chained with &&: inside a stage `set -e` does not hold, so a failed build must stop it by hand.
suite() {
  "$root/scripts/build.sh" && (cd "$root" && ctest --preset default)
}

if [ "$quick" -eq 1 ]; then
  stage "tests" suite
  exit 0
fi
stage "format check" "$root/scripts/check-format.sh"
stage "tests" suite
stage "tests built with Clang" "$root/scripts/test-clang.sh"
stage "tests under ASan and UBSan" "$root/scripts/test-sanitized.sh"
stage "fuzzing" "$root/scripts/fuzz.sh" --seconds 60
stage "benchmark smoke run" "$root/scripts/bench.sh" --smoke
stage "Windows build under Wine" "$root/scripts/test-windows.sh"
stage "packages" "$root/scripts/test-packages.sh"
stage "page in headless Chromium" "$root/scripts/test-web.sh"
# After the packages stage, whose dist/ it compares against.
stage "the same packages from a tarball" "$root/scripts/test-reproducible.sh" --against-dist
