// The installer's tests' view of a Wine prefix: silent install and uninstall, `wine reg query`
// read back, and a small reader of shell links written from the format's description.
#include "tests/windows/wine_install.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>

#include "tests/little_endian.h"
#include "tests/windows/wine_session.h"
#include "tests/x_session.h"

namespace fs = std::filesystem;

namespace {

const std::string kInstaller = ZV_WINDOWS_INSTALLER;
constexpr auto kInstallLimit = 120s;
constexpr auto kRegistryLimit = 30s;

std::string uninstallerPath() {
  return prefixPath(kInstallDir + "\\Uninstall.exe");
}

// A NUL-terminated string of single bytes at `at`; empty past the end.
std::string narrowString(const Bytes& bytes, std::size_t at) {
  std::string text;
  for (; at < bytes.size() && bytes[at] != 0; ++at) {
    text += static_cast<char>(bytes[at]);
  }
  return text;
}

}  // namespace

std::string prefixPath(const std::string& windowsPath) {
  std::string path = std::string(ZV_WINE_PREFIX) + "/drive_c";
  for (char c : windowsPath.substr(2)) {  // after "C:"
    path += c == '\\' ? '/' : c;
  }
  return path;
}

std::optional<std::map<std::string, std::string>> registryValues(
    const std::string& key, const std::string& dir,
    const std::map<std::string, std::string>& environment) {
  ChildProcess query(kWine, {"reg", "query", key},
                     environment.empty() ? wineEnvironment("") : environment, dir);
  const std::optional<int> status = query.waitForExit(kRegistryLimit);
  if (status != 0) {
    EXPECT_EQ(status, std::optional<int>(1))
        << "reg query " << key << ": " << query.standardError();
    return std::nullopt;
  }
  // Value lines: four spaces, the name, four spaces, the type, four spaces, the data.
  std::map<std::string, std::string> values;
  std::istringstream lines(query.standardOutput());
  for (std::string line; std::getline(lines, line);) {
    std::erase(line, '\r');
    const std::size_t type = line.find("    REG_", 4);
    if (!line.starts_with("    ") || type == std::string::npos) {
      continue;
    }
    const std::size_t data = line.find("    ", type + 4);
    values[line.substr(4, type - 4)] =
        data == std::string::npos ? std::string() : line.substr(data + 4);
  }
  return values;
}

ShortcutFacts readShortcut(const Bytes& link) {
  ShortcutFacts facts;
  constexpr std::uint32_t kHasIdList = 0x1, kHasLinkInfo = 0x2, kIsUnicode = 0x80;
  constexpr std::uint32_t kHasIconLocation = 0x40;
  if (link.size() < 0x4C || littleEndian(link, 0, 4) != 0x4C) {
    facts.problem = "no shell link header";
    return facts;
  }
  const auto flags = static_cast<std::uint32_t>(littleEndian(link, 0x14, 4));
  facts.iconIndex = static_cast<std::int32_t>(littleEndian(link, 0x38, 4));
  std::size_t at = 0x4C;
  if (flags & kHasIdList) {
    at += 2 + littleEndian(link, at, 2);
  }
  if (flags & kHasLinkInfo) {
    // The local base path and the common suffix, when the target is on a local volume.
    const std::size_t size = littleEndian(link, at, 4);
    if (littleEndian(link, at + 8, 4) & 0x1) {
      facts.target = narrowString(link, at + littleEndian(link, at + 16, 4)) +
                     narrowString(link, at + littleEndian(link, at + 24, 4));
    }
    at += size;
  } else {
    facts.problem = "no LinkInfo";
  }
  // The strings that follow, in this order, each a count of characters and the characters.
  const std::size_t charWidth = flags & kIsUnicode ? 2 : 1;
  for (std::uint32_t bit = 0x4; bit <= kHasIconLocation && at + 2 <= link.size(); bit <<= 1) {
    if (!(flags & bit)) {
      continue;
    }
    const std::size_t count = littleEndian(link, at, 2);
    std::string text;
    for (std::size_t i = 0; i < count; ++i) {
      const std::uint64_t c =
          littleEndian(link, at + 2 + i * charWidth, static_cast<int>(charWidth));
      text += c < 0x80 ? static_cast<char>(c) : '?';
    }
    // Wine counts a terminating NUL too.
    while (!text.empty() && text.back() == '\0') {
      text.pop_back();
    }
    if (bit == kHasIconLocation) {
      facts.iconLocation = text;
    }
    at += 2 + count * charWidth;
  }
  return facts;
}

SilentInstall::SilentInstall(const std::string& dir) : dir_(dir) {
  if (!fs::exists(kInstaller)) {
    problem_ = kInstaller + " is not built: scripts/test-windows.sh makes it";
    return;
  }
  // One that a test which did not finish left behind goes first.
  if (fs::exists(uninstallerPath())) {
    const std::string left = uninstall();
    if (!left.empty()) {
      problem_ = "an earlier installation could not be removed: " + left;
      return;
    }
  }
  ChildProcess installer(kWine, {kInstaller, "/S"}, wineEnvironment(""), dir_ + "/install");
  const std::optional<int> status = installer.waitForExit(kInstallLimit);
  installed_ = true;
  if (status != 0) {
    problem_ = "the silent install ended with " +
               (status ? std::to_string(*status) : std::string("no exit in time")) + ": " +
               installer.standardError();
  }
}

SilentInstall::~SilentInstall() {
  if (installed_) {
    const std::string left = uninstall();
    EXPECT_EQ(left, "") << "after the silent uninstall";
  }
}

std::string SilentInstall::uninstall(std::chrono::milliseconds limit) {
  installed_ = false;
  if (!fs::exists(uninstallerPath())) {
    return leftoversOfInstall(dir_);
  }
  // It copies itself to the temporary folder, starts that copy and ends at once: what it removes
  // goes some time later.
  ChildProcess uninstaller(kWine, {uninstallerPath(), "/S"}, wineEnvironment(""),
                           dir_ + "/uninstall");
  const std::optional<int> status = uninstaller.waitForExit(limit);
  if (status != 0) {
    return "the uninstaller ended with " +
           (status ? std::to_string(*status) : std::string("no exit in time"));
  }
  std::string left;
  waitUntil([&] { return (left = leftoversOfInstall(dir_)).empty(); }, limit, 250ms);
  return left;
}

std::string leftoversOfInstall(const std::string& dir) {
  std::string left;
  for (const std::string& path : {kInstallDir, kShortcut.substr(0, kShortcut.rfind('\\'))}) {
    if (fs::exists(prefixPath(path))) {
      left += path + " ";
    }
  }
  for (const std::string& key : {kUninstallKey, kPublisherKey}) {
    if (registryValues(key, dir)) {
      left += key + " ";
    }
  }
  return left;
}
