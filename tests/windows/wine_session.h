// Running the cross-built Windows programs under Wine for the tests, the same way every time.
#pragma once

#include <map>
#include <string>

// Wine's loader, where configuration found it: Windows programs are its arguments.
inline const std::string kWine = ZV_WINE;
inline const std::string kWindowsBuild = ZV_WINDOWS_BUILD_DIR;

// The prepared prefix, no crash debugger and no download prompts for .NET or a browser engine,
// no menu entries on this machine for the prefix's shortcuts, and Wine's own chatter off, so a
// program's output is its own. Empty `display`: no X at all.
inline std::map<std::string, std::string> wineEnvironment(const std::string& display) {
  return {{"WINEPREFIX", ZV_WINE_PREFIX},
          {"WINEDEBUG", "-all"},
          {"WINEDLLOVERRIDES", "mscoree,mshtml=;winedbg.exe,winemenubuilder.exe=d"},
          {"DISPLAY", display},
          {"WAYLAND_DISPLAY", ""}};
}
