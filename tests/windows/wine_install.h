// The Windows installer under Wine: a silent install for one test, what it leaves in the prefix
// (files, registry values, the shortcut's target), and the silent uninstall.
#pragma once

#include <chrono>
#include <map>
#include <optional>
#include <string>

#include "tests/file_bytes.h"

using namespace std::chrono_literals;

// Where the installer says it installs, as Windows names it; the uninstall entry's key; and the
// key the installer keeps its folder in, under its publisher's.
inline const std::string kInstallDir = "C:\\Program Files\\zoravarova";
inline const std::string kUninstallKey =
    "HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\zoravarova";
inline const std::string kPublisherKey = "HKLM\\Software\\The zoravarova developers";
inline const std::string kShortcut =
    "C:\\ProgramData\\Microsoft\\Windows\\Start Menu\\Programs\\zoravarova\\ZORAVAROVA.lnk";

// The file behind a Windows path of the test's Wine prefix, e.g. C:\a\b -> <prefix>/drive_c/a/b.
std::string prefixPath(const std::string& windowsPath);

// The values under `key` by name, as `wine reg query` prints them (DWORDs as 0x...); nullopt when
// the key is not there. `environment` is Wine's for the query; by default the tests' own.
std::optional<std::map<std::string, std::string>> registryValues(
    const std::string& key, const std::string& dir,
    const std::map<std::string, std::string>& environment = {});

// What a shell link (.lnk) names: its target's local path, from its LinkInfo, and its icon's
// location; empty when the link has none. `problem` says what could not be read.
struct ShortcutFacts {
  std::string target;
  std::string iconLocation;
  int iconIndex = 0;
  std::string problem;
};
ShortcutFacts readShortcut(const Bytes& link);

// The installer run with /S for one test, its output in `dir`; the destructor uninstalls
// silently what it installed, and waits until it is gone.
class SilentInstall {
 public:
  explicit SilentInstall(const std::string& dir);
  ~SilentInstall();
  SilentInstall(const SilentInstall&) = delete;
  SilentInstall& operator=(const SilentInstall&) = delete;

  // Empty once the installer ended with 0; otherwise what went wrong.
  const std::string& problem() const { return problem_; }

  // Runs the installed uninstaller with /S and waits, up to `limit`, until nothing of ours is
  // left; empty then, otherwise what is left.
  std::string uninstall(std::chrono::milliseconds limit = 60s);

 private:
  std::string dir_;
  std::string problem_;
  bool installed_ = false;
};

// What is left of an installation: files, folders, the shortcut, registry keys; empty when none.
std::string leftoversOfInstall(const std::string& dir);
