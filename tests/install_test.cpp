// What `cmake --install` puts into a prefix: a stripped viewer that still carries both pictures,
// with --strip and without, and a packer that runs.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdint>
#include <cstring>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include "tests/packed_viewer.h"
#include "tests/x_session.h"

namespace {

const std::string kBuildDir = ZV_INSTALL_BUILD_DIR;
const std::string kCMake = ZV_CMAKE;
const std::string kAssets = ZV_ASSET_DIR;

// Installs the build tree into a fresh prefix of the test's own; DESTDIR from the caller's
// environment would send the files elsewhere, so the child runs without it.
std::string installInto(const std::string& testName, const std::vector<std::string>& extra) {
  const std::string dir = makeTestDirectory(testName);
  const std::string prefix = dir + "/prefix";
  std::vector<std::string> arguments{"--install", kBuildDir, "--prefix", prefix};
  arguments.insert(arguments.end(), extra.begin(), extra.end());
  ChildProcess install(kCMake, arguments, {{"DESTDIR", ""}}, dir);
  EXPECT_EQ(install.waitForExit(120s), std::optional<int>(0)) << install.standardError();
  return prefix;
}

// The installed viewer is executable, stripped, and still carries both pictures.
void expectPackedAndStripped(const std::string& prefix) {
  const std::string viewer = prefix + "/bin/zoravarova";
  struct stat info {};
  ASSERT_EQ(stat(viewer.c_str(), &info), 0) << viewer << " was not installed";
  EXPECT_NE(info.st_mode & S_IXUSR, 0u) << "the installed viewer is not executable";

  const std::vector<std::uint8_t> elf = fileBytes(viewer);
  EXPECT_FALSE(findSection(elfSections(elf), ".symtab").has_value())
      << "the viewer keeps its symbols";
  EXPECT_TRUE(expectCarriesOurPictures(elf, kAssets).has_value());
}

void expectPackerRuns(const std::string& prefix, const std::string& outputDir) {
  ChildProcess packer(prefix + "/bin/zoravarova-pack", {}, {}, outputDir);
  EXPECT_EQ(packer.waitForExit(10s), std::optional<int>(2));
  EXPECT_EQ(packer.standardError().rfind("usage: zoravarova-pack ", 0), 0u)
      << packer.standardError();
}

TEST(Install, ShipsAStrippedViewerThatCarriesBothPictures) {
  const std::string prefix = installInto("InstallPlain", {});
  expectPackedAndStripped(prefix);
  expectPackerRuns(prefix, prefix + "/..");
}

// --strip strips what is installed as a target; the viewer must not be one.
TEST(Install, StripOptionKeepsTheViewersPictures) {
  const std::string prefix = installInto("InstallStrip", {"--strip"});
  expectPackedAndStripped(prefix);
  expectPackerRuns(prefix, prefix + "/..");
}

TEST(Install, ShipsTheLicenceAndNotices) {
  const std::string prefix = installInto("InstallDocs", {});
  for (const char* name : {"LICENSE", "THIRD_PARTY_NOTICES.md"}) {
    const std::vector<std::uint8_t> installed =
        fileBytes(prefix + "/" ZV_INSTALL_DOCDIR "/" + name);
    EXPECT_FALSE(installed.empty()) << name;
    EXPECT_TRUE(installed == fileBytes(std::string(ZV_SOURCE_ROOT) + "/" + name)) << name;
  }
}

}  // namespace
