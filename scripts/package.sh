#!/usr/bin/env bash
# Builds the release packages into dist/: the Debian package (CPack), the Windows zip and
# installer (CPack) and the page's zip.
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
mkdir -p "$dist"

# Debian's hardening: checked buffer functions, and every symbol bound at start-up so that the
# relocation table can be made read-only.
# (The package preset.)
cd "$root"
cmake --preset package >/dev/null
cmake --build --preset package
(cd "$build" && cpack -G DEB -B "$build/cpack")
cp "$build/cpack/zoravarova_${version}_amd64.deb" "$dist/"

# The Windows viewer, cross-built in Release and packed by the packer just built for this host.
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
rm -f "$zip"
(cd "$stage" && cmake -E tar cf "$zip" --format=zip "$name")

# The Windows installer: CPack's NSIS generator on the same cross build, its viewer installed as
# the build packed it.
setup="$name-setup.exe"
(cd "$cross" && cpack -G NSIS -B "$cross/cpack" >/dev/null)
cp "$cross/cpack/$setup" "$dist/"

# The page, as scripts/build-web.sh makes it: its .wasm packed with the pictures. Any static
# server serves it; the README says how.
"$root/scripts/build-web.sh"
web="zoravarova-${version}-web"
stage="$build/web-zip"
rm -rf "$stage"
mkdir -p "$stage/$web"
cp "$root/build-web/index.html" "$root/build-web/zoravarova.js" "$root/build-web/zoravarova.wasm" \
  "$root/LICENSE" "$root/THIRD_PARTY_NOTICES.md" "$stage/$web/"
web_zip="$dist/$web.zip"
rm -f "$web_zip"
(cd "$stage" && cmake -E tar cf "$web_zip" --format=zip "$web")
echo "Packages: $dist/zoravarova_${version}_amd64.deb $zip $dist/$setup $web_zip"
