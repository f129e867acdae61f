#!/usr/bin/env bash
# Builds the release packages into dist/: the Debian package (CPack), the Windows zip and
# installer (CPack) and the page's zip, the same bytes from the same sources, with their checksums
# in dist/SHA256SUMS.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
source "$root/scripts/lib.sh"
zv_utf8_locale
"$root/scripts/setup.sh" package
"$root/scripts/setup-windows.sh"
# Files and folders made here go into the packages: their modes must not follow the caller's umask.
umask 022
build="$root/build-package"
dist="$root/dist"
version=1.0.0
cd "$root"
# Only what this run makes goes into SHA256SUMS.
rm -rf "$dist"
mkdir -p "$dist"

# ---- What every step shares: the time stamp the sources carry, and the build flags.
# The date of the latest changelog entry, not the clock's nor git's: a clone and a tarball of the
# same release stamp the same time. Every tool below that writes a time reads it from here.
SOURCE_DATE_EPOCH=$(dpkg-parsechangelog -l "$root/packaging/debian/changelog" -STimestamp)
export SOURCE_DATE_EPOCH
# Zip entries hold local time; the time zone must not change their bytes.
export TZ=UTC

# Debian's own flags for the host build, with all its hardening (stack protector, checked buffer
# functions, read-only relocations bound at start-up), and one step past Debian 12's defaults. Run
# from the source root, dpkg-buildflags maps the checkout folder to "." in every recorded path.
# CMake reads no CPPFLAGS, so they go in front of the compile flags. Given to the package preset's
# configure on every run, never left in the cache from an earlier one.
# It maps only a path of plain letters (A-Z, a-z), digits and -+:.~/_ , to keep the flags safe in
# any shell: from elsewhere the programs record the folder, which the warning says.
if [[ "$root" =~ [^-+:.0-9a-zA-Z~/_] ]]; then
  echo "package.sh: warning: dpkg-buildflags maps no path with other letters than A-Z, a-z," \
    "0-9 and -+:.~/_, so the .deb's programs depend on where $root is;" \
    "build in such a folder to get the released bytes" >&2
fi
# The caller's own flags reach no build: the cross and browser builds would take them on a fresh
# configure.
unset CFLAGS CXXFLAGS CPPFLAGS LDFLAGS
hardening="-fstack-clash-protection -fcf-protection"
buildflag() { DEB_BUILD_MAINT_OPTIONS=hardening=+all dpkg-buildflags --get "$1"; }
cppflags=$(buildflag CPPFLAGS)
host_cflags="$cppflags $(buildflag CFLAGS) $hardening"
host_cxxflags="$cppflags $(buildflag CXXFLAGS) $hardening"
host_ldflags=$(buildflag LDFLAGS)

# zv_zip ARCHIVE FOLDER: zips FOLDER (a name inside the current directory) into ARCHIVE with the
# same bytes every time: every file stamped SOURCE_DATE_EPOCH, modes 0644 and 0755 whatever the
# checkout's umask gave, entries in byte order of their names. Info-ZIP's -X leaves out the extra
# fields (owner, access and change times of the file on this disk), -D the folder entries.
zv_zip() {
  local archive=$1 folder=$2
  find "$folder" -type f ! -perm -u+x -exec chmod 0644 {} +
  find "$folder" -type f -perm -u+x -exec chmod 0755 {} +
  find "$folder" -type f -exec touch -d "@$SOURCE_DATE_EPOCH" {} +
  rm -f "$archive"
  find "$folder" -type f | LC_ALL=C sort | zip -q -X -D -9 "$archive" -@
}

# ---- The .deb: the host build under /usr, packaged by CPack (cmake/Package.cmake).
CPPFLAGS="" CFLAGS="$host_cflags" CXXFLAGS="$host_cxxflags" LDFLAGS="$host_ldflags" \
  cmake --preset package >/dev/null
cmake --build --preset package
(cd "$build" && cpack -G DEB -B "$build/cpack")
cp "$build/cpack/zoravarova_${version}_amd64.deb" "$dist/"

# ---- The Windows zip: the viewer cross-built in Release, packed by the packer just built for
# this host, with the licence, the notices and a README.
cross="$build/windows"
cmake --preset package-windows >/dev/null
cmake --build --preset package-windows

name="zoravarova-${version}-windows-x86_64"
stage="$build/zip"
rm -rf "$stage"
mkdir -p "$stage/$name"
cp "$cross/install/zoravarova.exe" "$root/LICENSE" "$root/THIRD_PARTY_NOTICES.md" "$stage/$name/"
cat >"$stage/$name/README.txt" <<'TEXT'
zoravarova 1.0.0 for 64-bit Windows

Run zoravarova.exe (double-click it, or start it from a command prompt). It opens
one 800x600 window showing a field of textured cubes; move the mouse to turn it.
Escape or the window's close box ends it.

It needs a graphics driver with OpenGL 3.3 (core profile). It needs no DLL
beside it and no installation: the pictures travel inside the .exe itself, so
do not strip or otherwise rewrite the file.

zoravarova-pack, the tool that packs the pictures into the viewer, is a Linux
tool and is not in this zip.

LICENSE holds the viewer's licence, THIRD_PARTY_NOTICES.md those of what it
is built with. https://zoravarova.org/
TEXT
zip="$dist/$name.zip"
(cd "$stage" && zv_zip "$zip" "$name")

# ---- The Windows installer: CPack's NSIS generator on the same cross build, its viewer installed
# as the build packed it; NSIS records no file times.
setup="$name-setup.exe"
(cd "$cross" && cpack -G NSIS -B "$cross/cpack" >/dev/null)
cp "$cross/cpack/$setup" "$dist/"

# ---- The page's zip: the page as scripts/build-web.sh makes it, its .wasm packed with the
# pictures. Any static server serves it; the README says how.
"$root/scripts/build-web.sh"
web="zoravarova-${version}-web"
stage="$build/web-zip"
rm -rf "$stage"
mkdir -p "$stage/$web"
cp "$root/build-web/index.html" "$root/build-web/zoravarova.js" "$root/build-web/zoravarova.wasm" \
  "$root/LICENSE" "$root/THIRD_PARTY_NOTICES.md" "$stage/$web/"
web_zip="$dist/$web.zip"
(cd "$stage" && zv_zip "$web_zip" "$web")

# ---- The checksums of everything in dist/, which two builds of the same sources share. Every
# step that adds a package comes before this one.
(cd "$dist" && find . -maxdepth 1 -type f ! -name SHA256SUMS -printf '%f\n' | LC_ALL=C sort |
  xargs -d '\n' sha256sum >SHA256SUMS)
echo "Packages in $dist:"
cat "$dist/SHA256SUMS"
