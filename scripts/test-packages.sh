#!/usr/bin/env bash
# The packaging stage: builds the .deb, the two zips and the Windows installer (whose tests run in
# the Windows stage), lints and validates what the .deb installs, compares its file list with the
# one below, runs the package tests on the .deb and the Windows zip, and the page's tests on the
# page the web zip unpacks to.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
source "$root/scripts/lib.sh"
zv_utf8_locale
version=1.0.0
deb="$root/dist/zoravarova_${version}_amd64.deb"
zip="$root/dist/zoravarova-${version}-windows-x86_64.zip"
web_zip="$root/dist/zoravarova-${version}-web.zip"
setup="$root/dist/zoravarova-${version}-windows-x86_64-setup.exe"

if ! command -v dpkg >/dev/null; then
  echo "test-packages: not a Debian system (no dpkg), no .deb can be built here" >&2
  exit 77
fi
if [ "$(dpkg --print-architecture)" != amd64 ]; then
  echo "test-packages: the .deb is built for amd64, this machine is $(dpkg --print-architecture)" >&2
  exit 77
fi

"$root/scripts/package.sh"
for file in "$deb" "$zip" "$setup" "$web_zip"; do
  if [ ! -s "$file" ]; then
    echo "test-packages: $file was not made" >&2
    exit 1
  fi
done

# SHA256SUMS names every other file in dist/, once, in byte order, with its checksum.
sums_names=$(cd "$root/dist" && awk '{ print $2 }' SHA256SUMS)
dist_names=$(cd "$root/dist" && find . -maxdepth 1 -type f ! -name SHA256SUMS -printf '%f\n' |
  LC_ALL=C sort)
if [ "$sums_names" != "$dist_names" ] || ! (cd "$root/dist" && sha256sum --quiet -c SHA256SUMS); then
  echo "test-packages: dist/SHA256SUMS does not list the files in dist/ with their checksums" >&2
  exit 1
fi

work=$(mktemp -d)
cleanup() { rm -rf "$work"; }
trap cleanup EXIT

# Errors fail the stage; warnings and notes are printed so they stay in sight.
echo "lintian:"
status=0
lintian --fail-on error --display-info --pedantic "$deb" || status=$?
if [ "$status" -ne 0 ]; then
  echo "test-packages: lintian reports errors (exit $status)" >&2
  exit 1
fi

# GLFW's X11 or Wayland build, through packaging/debian/shlibs.local; the rest stays as
# dpkg-shlibdeps reads it off the binaries, libc among it.
depends=$(dpkg-deb -f "$deb" Depends)
glfw=$(echo "$depends" | tr ',' '\n' | sed 's/^ *//' | grep glfw || true)
if [ "$glfw" != "libglfw3 (>= 3.3) | libglfw3-wayland (>= 3.3)" ] ||
  ! echo "$depends" | grep -Eq '(^|, )libc6 \(>= [0-9.]+\)(,|$)'; then
  echo "test-packages: the .deb's Depends is \"$depends\"; it needs GLFW's X11 or Wayland build," \
    "and libc6 as dpkg-shlibdeps computes it" >&2
  exit 1
fi

# Exactly these paths, folders included: a file that goes missing or turns up fails here.
expected="$work/expected.txt"
cat >"$expected" <<'LIST'
./usr/
./usr/bin/
./usr/bin/zoravarova
./usr/bin/zoravarova-pack
./usr/share/
./usr/share/applications/
./usr/share/applications/org.zoravarova.Viewer.desktop
./usr/share/doc/
./usr/share/doc/zoravarova/
./usr/share/doc/zoravarova/LICENSE
./usr/share/doc/zoravarova/THIRD_PARTY_NOTICES.md
./usr/share/doc/zoravarova/changelog.gz
./usr/share/doc/zoravarova/copyright
./usr/share/icons/
./usr/share/icons/hicolor/
./usr/share/icons/hicolor/128x128/
./usr/share/icons/hicolor/128x128/apps/
./usr/share/icons/hicolor/128x128/apps/org.zoravarova.Viewer.png
./usr/share/icons/hicolor/256x256/
./usr/share/icons/hicolor/256x256/apps/
./usr/share/icons/hicolor/256x256/apps/org.zoravarova.Viewer.png
./usr/share/icons/hicolor/48x48/
./usr/share/icons/hicolor/48x48/apps/
./usr/share/icons/hicolor/48x48/apps/org.zoravarova.Viewer.png
./usr/share/man/
./usr/share/man/man1/
./usr/share/man/man1/zoravarova-pack.1.gz
./usr/share/man/man1/zoravarova.1.gz
./usr/share/metainfo/
./usr/share/metainfo/org.zoravarova.Viewer.metainfo.xml
LIST
actual="$work/actual.txt"
dpkg-deb -c "$deb" | awk '{ print $6 }' | LC_ALL=C sort >"$actual"
LC_ALL=C sort -o "$expected" "$expected"
if ! diff -u "$expected" "$actual"; then
  echo "test-packages: the .deb does not hold the expected files (- expected, + found)" >&2
  exit 1
fi

package_root="$work/deb"
dpkg-deb -x "$deb" "$package_root"
# The viewers byte for byte as the builds packed them: a strip after packing drops the pictures.
if ! cmp "$root/build-package/install/zoravarova" "$package_root/usr/bin/zoravarova"; then
  echo "test-packages: the .deb's viewer is not the packed one the build made" >&2
  exit 1
fi

# Debian's hardening, as hardening-check (devscripts) reads it off the installed programs: any "no"
# fails, except the two the README explains, each taken only while its reason still holds.
flags=$(sed -n 's/^CMAKE_CXX_FLAGS:STRING=//p' "$root/build-package/CMakeCache.txt")
right_no() {
  local program=$1 line=$2
  case "$line" in
    # Compiled with the checked variants on, but no call in it has a size the compiler knows.
    " Fortify Source functions: no, only unprotected functions found!")
      [ "$program" = zoravarova ] && [[ "$flags" == *-D_FORTIFY_SOURCE=2* ]] ;;
    # Our code carries the branch targets (endbr64), but the link marks a program only when every
    # object has them, and Debian 12's C start-up files (Scrt1.o) have none.
    " Control flow integrity: no, not found!")
      [ "$(readelf -n "$(gcc -print-file-name=Scrt1.o)" | grep -c 'x86 feature: IBT')" = 0 ] &&
        [ "$(objdump -d "$package_root/usr/bin/$program" | grep -c endbr64)" != 0 ] ;;
    *) return 1 ;;
  esac
}
echo "hardening-check:"
for program in zoravarova zoravarova-pack; do
  report=$(hardening-check "$package_root/usr/bin/$program") || true
  echo "$report"
  while IFS= read -r line; do
    if [[ "$line" == *": no"* ]] && ! right_no "$program" "$line"; then
      echo "test-packages: hardening-check: $program:$line" >&2
      exit 1
    fi
  done <<<"$report"
done
desktop="$package_root/usr/share/applications/org.zoravarova.Viewer.desktop"
out=$(desktop-file-validate "$desktop" 2>&1) || { echo "$out" >&2; exit 1; }
if [ -n "$out" ]; then
  echo "test-packages: desktop-file-validate objects to the installed entry:" >&2
  echo "$out" >&2
  exit 1
fi
appstreamcli validate --no-net "$package_root/usr/share/metainfo/org.zoravarova.Viewer.metainfo.xml"

zip_root="$work/zip"
mkdir -p "$zip_root"
(cd "$zip_root" && cmake -E tar xf "$zip")
zip_dir="$zip_root/zoravarova-${version}-windows-x86_64"
for file in zoravarova.exe LICENSE THIRD_PARTY_NOTICES.md README.txt; do
  if [ ! -s "$zip_dir/$file" ]; then
    echo "test-packages: the zip lacks $file" >&2
    exit 1
  fi
done

if ! cmp "$root/build-package/windows/install/zoravarova.exe" "$zip_dir/zoravarova.exe"; then
  echo "test-packages: the zip's viewer is not the packed one the cross build made" >&2
  exit 1
fi

# The page's zip: exactly its five files, the page's three as the web build made them, and served
# from where it unpacked they pass the page's tests.
web_root="$work/web"
mkdir -p "$web_root"
(cd "$web_root" && cmake -E tar xf "$web_zip")
web_dir="$web_root/zoravarova-${version}-web"
found=$(cd "$web_root" && find . -mindepth 1 | LC_ALL=C sort | tr '\n' ' ')
wanted="./zoravarova-${version}-web ./zoravarova-${version}-web/LICENSE"
wanted+=" ./zoravarova-${version}-web/THIRD_PARTY_NOTICES.md ./zoravarova-${version}-web/index.html"
wanted+=" ./zoravarova-${version}-web/zoravarova.js ./zoravarova-${version}-web/zoravarova.wasm "
if [ "$found" != "$wanted" ]; then
  echo "test-packages: the web zip holds $found, not $wanted" >&2
  exit 1
fi
for file in index.html zoravarova.js zoravarova.wasm; do
  if ! cmp "$root/build-web/$file" "$web_dir/$file"; then
    echo "test-packages: the web zip's $file is not the one the web build made" >&2
    exit 1
  fi
done
"$root/scripts/setup.sh" web-test
(cd "$root/tests/web" && npm ci --no-audit --no-fund --loglevel=error &&
  ZV_PAGE_DIR="$web_dir" ZV_PICTURE_COMPARE="$root/build/tests/page-picture-compare" node --test)

# The normal build makes it; ZV_PACKAGE_TEST names another build's copy.
tests="${ZV_PACKAGE_TEST:-$root/build/tests/package_test}"
if [ ! -x "$tests" ]; then
  echo "test-packages: $tests is not built; the packages were checked but not run"
  exit 0
fi
# Wine as the Windows stage runs it, in the prefix that stage prepared.
source "$root/scripts/wine-session.sh"
trap 'stop_wine; cleanup' EXIT
start_wine "$work/wine-log"
ZV_PACKAGE_ROOT="$package_root" ZV_PACKAGE_ZIP="$zip_dir" "$tests"
