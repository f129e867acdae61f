# Sourced by the scripts that run the Windows viewer: Wine in the project's own prefix under
# build-windows/, one server and its services up before the first program, ended by stop_wine.
# Not a program of its own.

# start_wine <folder for Wine's output>
start_wine() {
  local log=$1
  # Wine turns Unix paths into Windows ones through the locale's character set; in the plain
  # POSIX locale of a minimal system a checkout path with a non-ASCII letter becomes unreadable
  # to it and the prefix cannot even load kernel32.dll. C.UTF-8 is always there.
  source "$root/scripts/lib.sh"
  zv_utf8_locale
  export WINEPREFIX="$root/build-windows/wine"
  export WINEDEBUG=-all
  # No crash debugger, no offer to download .NET or a browser engine while the prefix is made,
  # and no menu entries on this machine for the shortcuts installers make in the prefix.
  export WINEDLLOVERRIDES="mscoree,mshtml=;winedbg.exe,winemenubuilder.exe=d"
  mkdir -p "$log" "$(dirname "$WINEPREFIX")"
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    echo "Preparing the Wine prefix"
    DISPLAY= timeout 300 wineboot -i >"$log/wineboot.txt" 2>&1
  fi
  # Wine's X11 driver otherwise waits for a window manager that Xvfb does not have, two seconds
  # at every window close.
  DISPLAY= timeout 60 wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f \
    >"$log/reg.txt" 2>&1
  # The server the commands above started, or one an earlier run left, goes first: only one may
  # serve a prefix.
  timeout 60 wineserver -k 2>/dev/null || true
  timeout 60 wineserver -p
  DISPLAY= timeout 120 wineboot >"$log/services.txt" 2>&1
  # The desktop process that came up with the services has no display and leaves by itself
  # within seconds; a window asked for before then waits a minute on it.
  for _ in $(seq 60); do
    pgrep -f 'system32.explorer.exe /desktop' >/dev/null || break
    sleep 0.5
  done
}

stop_wine() {
  timeout 60 wineserver -k 2>/dev/null || true
}
