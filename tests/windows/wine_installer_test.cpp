// The Windows installer under Wine: what its silent install puts where, and that its silent
// uninstall takes all of it away again.
#include <gtest/gtest.h>

#include <filesystem>
#include <set>

#include "tests/windows/wine_install.h"
#include "tests/windows/wine_session.h"
#include "tests/x_session.h"

namespace {

namespace fs = std::filesystem;

const std::string kSourceRoot = ZV_SOURCE_ROOT;

class WineInstaller : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = makeTestDirectory(std::string("WineInstaller.") +
                             ::testing::UnitTest::GetInstance()->current_test_info()->name());
    install_.emplace(dir_);
    ASSERT_EQ(install_->problem(), "");
  }

  std::string dir_;
  std::optional<SilentInstall> install_;
};

// The viewer exactly as the build packed it (a rewritten one loses its pictures), the licence
// files as the sources hold them, the uninstaller, and nothing else.
TEST_F(WineInstaller, PutsTheViewerLicencesAndUninstallerIntoProgramFiles) {
  const std::string folder = prefixPath(kInstallDir);
  std::set<std::string> names;
  for (const fs::directory_entry& entry : fs::directory_iterator(folder)) {
    names.insert(entry.path().filename().string());
  }
  EXPECT_EQ(names, (std::set<std::string>{"LICENSE", "THIRD_PARTY_NOTICES.md", "Uninstall.exe",
                                          "zoravarova.exe"}));

  const Bytes packed = fileBytes(kWindowsBuild + "/install/zoravarova.exe");
  ASSERT_FALSE(packed.empty());
  EXPECT_TRUE(fileBytes(folder + "/zoravarova.exe") == packed)
      << "the installed viewer is not the build's packed install/zoravarova.exe";
  for (const char* name : {"LICENSE", "THIRD_PARTY_NOTICES.md"}) {
    EXPECT_TRUE(fileBytes(folder + "/" + name) == fileBytes(kSourceRoot + "/" + name)) << name;
  }
  const Bytes uninstaller = fileBytes(folder + "/Uninstall.exe");
  EXPECT_TRUE(uninstaller.size() > 2 && uninstaller[0] == 'M' && uninstaller[1] == 'Z')
      << "Uninstall.exe is no program";
}

TEST_F(WineInstaller, MakesAStartMenuShortcutToTheInstalledViewerWithItsIcon) {
  const Bytes link = fileBytes(prefixPath(kShortcut));
  ASSERT_FALSE(link.empty()) << kShortcut << " was not made";
  const ShortcutFacts shortcut = readShortcut(link);
  EXPECT_EQ(shortcut.problem, "");
  EXPECT_EQ(shortcut.target, kInstallDir + "\\zoravarova.exe");
  EXPECT_EQ(shortcut.iconLocation, kInstallDir + "\\zoravarova.exe");
  EXPECT_EQ(shortcut.iconIndex, 0);
}

// Add/Remove Programs' entry. Its size is that of the installed folder in KiB, rounded down.
TEST_F(WineInstaller, WritesTheAddRemoveProgramsEntry) {
  const auto values = registryValues(kUninstallKey, dir_);
  ASSERT_TRUE(values.has_value()) << kUninstallKey << " is not in the registry";
  const auto value = [&](const std::string& name) {
    const auto found = values->find(name);
    return found == values->end() ? "(none)" : found->second;
  };
  EXPECT_EQ(value("DisplayName"), "zoravarova");
  EXPECT_EQ(value("DisplayVersion"), "1.0.0");
  EXPECT_EQ(value("Publisher"), "The zoravarova developers");
  EXPECT_EQ(value("DisplayIcon"), kInstallDir + "\\zoravarova.exe,0");
  EXPECT_EQ(value("UninstallString"), "\"" + kInstallDir + "\\Uninstall.exe\"");

  std::uintmax_t bytes = 0;
  for (const fs::directory_entry& entry :
       fs::recursive_directory_iterator(prefixPath(kInstallDir))) {
    bytes += entry.is_regular_file() ? entry.file_size() : 0;
  }
  char expected[16];
  std::snprintf(expected, sizeof expected, "0x%x", static_cast<unsigned>(bytes / 1024));
  EXPECT_GT(bytes / 1024, 100u) << "the installed folder holds too little to be the viewer";
  EXPECT_EQ(value("EstimatedSize"), expected);
}

TEST_F(WineInstaller, SilentUninstallLeavesNoFileShortcutOrRegistryEntry) {
  ASSERT_NE(leftoversOfInstall(dir_), "") << "the install left nothing to look for";
  EXPECT_EQ(install_->uninstall(), "");
}

}  // namespace
