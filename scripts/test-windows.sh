#!/usr/bin/env bash
# Builds the Windows viewer, then runs the PE packer tests and, under Wine and Xvfb, the tests of
# the cross-built programs. Wine runs in its own prefix under build-windows/, prepared here once.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/build-windows.sh"

# Wine turns Unix paths into Windows ones through the locale's character set; in the plain POSIX
# locale of a minimal system a checkout path with a non-ASCII letter becomes unreadable to it and
# the prefix cannot even load kernel32.dll. C.UTF-8 is always there.
if [ "$(locale charmap 2>/dev/null)" != UTF-8 ]; then
  export LC_ALL=C.UTF-8
fi
export WINEPREFIX="$root/build-windows/wine"
export WINEDEBUG=-all
# No crash debugger, and no offer to download .NET or a browser engine while the prefix is made.
export WINEDLLOVERRIDES="mscoree,mshtml=;winedbg.exe=d"
log="$root/build-windows/wine-log"
mkdir -p "$log"
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  echo "Preparing the Wine prefix"
  DISPLAY= timeout 300 wineboot -i >"$log/wineboot.txt" 2>&1
fi
# Wine's X11 driver otherwise waits for a window manager that Xvfb does not have, two seconds at
# every window close.
DISPLAY= timeout 60 wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f \
  >"$log/reg.txt" 2>&1
# One server and its services for the whole run, up before the first test; ended at the end.
# The server the commands above started, or one an earlier run left, goes first: only one may
# serve a prefix.
timeout 60 wineserver -k 2>/dev/null || true
timeout 60 wineserver -p
stop_wine() { timeout 60 wineserver -k 2>/dev/null || true; }
trap stop_wine EXIT
DISPLAY= timeout 120 wineboot >"$log/services.txt" 2>&1
# The desktop process that came up with them has no display and leaves by itself within seconds;
# a window asked for before then waits a minute on it.
for _ in $(seq 60); do
  pgrep -f 'system32.explorer.exe /desktop' >/dev/null || break
  sleep 0.5
done

ctest --test-dir "$root/build-win-host" --output-on-failure -j 2 --timeout 300 \
  -R '^(PePacker|WineProbe|WineViewer)'
