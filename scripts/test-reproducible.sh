#!/usr/bin/env bash
# Release check: builds the packages of the committed HEAD twice, in two fresh folders that differ
# in every way a builder's machine may, and fails unless both dist/SHA256SUMS are the same; where
# they differ, diffoscope shows how.
#
#   scripts/test-reproducible.sh [--against-dist] [--out DIR]
#     --against-dist  take this checkout's dist/, which package.sh made from HEAD, as the first
#                     build (CI's packaging stage leaves it), and build only the second
#     --out DIR       also copy both builds' SHA256SUMS into DIR (SHA256SUMS.first, .second)
#
# The first build is a git clone in a short folder, under umask 022, LC_ALL=C and TZ=UTC. The
# second is a `git archive` tarball (no .git) unpacked under umask 077 into a folder with a longer
# name, built under umask 077, LC_ALL=C.UTF-8 and a time zone 14
# hours ahead, minutes later. Needs git (it clones); uncommitted changes are not in either build.
# Both folders' paths are of plain letters: dpkg-buildflags maps no other (see package.sh).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
source "$root/scripts/lib.sh"
out=""
against_dist=0
while [ $# -gt 0 ]; do
  case "$1" in
    --against-dist) against_dist=1; shift ;;
    --out) out=$(realpath -m "${2:?--out needs a folder}"); shift 2 ;;
    *) echo "usage: $0 [--against-dist] [--out DIR]" >&2; exit 2 ;;
  esac
done
if ! git -C "$root" rev-parse --verify -q HEAD >/dev/null; then
  echo "test-reproducible: $root is not a git checkout; this check builds its HEAD twice" >&2
  exit 77
fi
if [ -n "$(git -C "$root" status --porcelain --untracked-files=no)" ]; then
  echo "test-reproducible: note: uncommitted changes are not built; HEAD is"
fi
commit=$(git -C "$root" rev-parse HEAD)
if [ "$against_dist" -eq 1 ] && [ ! -s "$root/dist/SHA256SUMS" ]; then
  # Where no packages could be built here (the packaging stage skipped), there is nothing to match.
  echo "test-reproducible: --against-dist needs $root/dist/SHA256SUMS, which package.sh makes" >&2
  exit 77
fi
"$root/scripts/setup.sh" package

work=$(mktemp -d "${TMPDIR:-/tmp}/zv-repro.XXXXXX")
trap 'rm -rf "$work"' EXIT
if [ "$against_dist" -eq 1 ]; then
  first="$root"
else
  first="$work/a"
fi
second="$work/second-checkout_unpacked-from-git-archive"

# Each build sees none of the caller's compiler flags, only what package.sh gives it.
build() {
  local folder=$1 mask=$2 locale=$3 zone=$4 start=$SECONDS
  echo "== building $commit in $folder (umask $mask, LC_ALL=$locale, TZ=$zone)"
  (umask "$mask" && cd "$folder" &&
    env -u CFLAGS -u CXXFLAGS -u CPPFLAGS -u LDFLAGS -u SOURCE_DATE_EPOCH \
      LC_ALL="$locale" TZ="$zone" ./scripts/package.sh >"$work/$(basename "$folder").log" 2>&1) || {
    tail -n 40 "$work/$(basename "$folder").log" >&2
    echo "test-reproducible: the build in $folder failed" >&2
    exit 1
  }
  echo "== built in $(( SECONDS - start )) s"
}

if [ "$against_dist" -eq 0 ]; then
  (umask 022 && git clone -q --no-checkout "$root" "$first" && git -C "$first" checkout -q "$commit")
  build "$first" 022 C UTC
fi
(umask 077 && mkdir -p "$second" &&
  git -C "$root" archive "$commit" | tar -x --no-same-permissions -C "$second")
build "$second" 077 C.UTF-8 Etc/GMT-14

if [ -n "$out" ]; then
  mkdir -p "$out"
  cp "$first/dist/SHA256SUMS" "$out/SHA256SUMS.first"
  cp "$second/dist/SHA256SUMS" "$out/SHA256SUMS.second"
fi
cat "$first/dist/SHA256SUMS"
if cmp -s "$first/dist/SHA256SUMS" "$second/dist/SHA256SUMS"; then
  echo "test-reproducible: both builds made the same $(wc -l <"$first/dist/SHA256SUMS") packages"
  exit 0
fi
diff -u "$first/dist/SHA256SUMS" "$second/dist/SHA256SUMS" || true
# diffoscope is big and only shows what differs, so it is installed only when something does.
mapfile -t missing < <(zv_missing diffoscope)
if [ ${#missing[@]} -gt 0 ]; then
  zv_as_root apt-get update -qq
  DEBIAN_FRONTEND=noninteractive zv_as_root apt-get install -y -qq --no-install-recommends \
    diffoscope >/dev/null
fi
# Every package either build made; one the other lacks is shown as missing.
for file in $( (cd "$first/dist" && ls; cd "$second/dist" && ls) | LC_ALL=C sort -u); do
  [ "$file" != SHA256SUMS ] || continue
  if [ ! -f "$first/dist/$file" ] || [ ! -f "$second/dist/$file" ]; then
    echo "test-reproducible: $file was made by one build only" >&2
  elif ! cmp -s "$first/dist/$file" "$second/dist/$file"; then
    echo "== diffoscope $file"
    diffoscope --no-progress --text - "$first/dist/$file" "$second/dist/$file" || true
  fi
done
echo "test-reproducible: the two builds differ" >&2
exit 1
