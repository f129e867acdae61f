// The programs the packages ship, run from where scripts/test-packages.sh unpacked them: the
// .deb's viewer and packer, and the zip's viewer under Wine.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "tests/packed_viewer.h"
#include "tests/viewer_test.h"
#include "tests/x_session.h"

namespace {

const std::string kBuildViewer = ZV_VIEWER;
const std::string kAssets = ZV_ASSET_DIR;
// Looked for on PATH when the test runs: the build may be configured before Wine is installed,
// as it is on a new machine, where Wine comes with the Windows stage.
const std::string kWine = "wine";
constexpr auto kStartLimit = 20s;
constexpr auto kExitLimit = 10s;
constexpr auto kWineExitLimit = 20s;

// The variable's value, or empty when it is unset; the tests skip on empty.
std::string fromEnvironment(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr ? value : "";
}

class DebViewer : public ViewerTest {
 protected:
  void SetUp() override {
    const std::string root = fromEnvironment("ZV_PACKAGE_ROOT");
    if (root.empty()) {
      GTEST_SKIP() << "needs ZV_PACKAGE_ROOT, the folder the .deb was unpacked into";
    }
    ViewerTest::SetUp();
    startViewer(nativeViewerCommand({root + "/usr/bin/zoravarova"}));
  }
};

TEST_F(DebViewer, ShowsThePictureOfTheBuild) {
  const std::optional<Screenshot> installed = viewer_->presentedScreen(kStartLimit);
  ASSERT_TRUE(installed.has_value()) << "the installed viewer presented no frames";
  expectThePictureOf(kBuildViewer, *installed, 0, 0, outputDir_);
}

TEST_F(DebViewer, EscapeEndsItWithExitCodeZero) {
  ASSERT_TRUE(viewer_->presentedScreen(kStartLimit).has_value())
      << "the installed viewer presented no frames";
  EXPECT_EQ(viewer_->pressEscapeUntilExit(kExitLimit), std::optional<int>(0));
}

// The zip's viewer under Wine, in the prefix and with the Wine settings of the caller's
// environment. The screen is larger than the window, so Wine's frame fits around it.
class ZipViewer : public ViewerTest {
 protected:
  void SetUp() override {
    const std::string folder = fromEnvironment("ZV_PACKAGE_ZIP");
    if (folder.empty()) {
      GTEST_SKIP() << "needs ZV_PACKAGE_ZIP, the folder the zip was unpacked into";
    }
    if (fromEnvironment("WINEPREFIX").empty()) {
      GTEST_SKIP() << "needs WINEPREFIX, a prepared Wine prefix, and Wine on PATH";
    }
    ViewerTest::SetUp();
    startViewer(wineViewerCommand(kWine, folder + "/zoravarova.exe", {{"WAYLAND_DISPLAY", ""}}));
  }
};

TEST_F(ZipViewer, OpensOneWindowTitledZoravarovaWithAClientAreaOf800By600) {
  expectOneWineWindowOf800By600();
}

TEST_F(ZipViewer, EscapeEndsItWithExitCodeZero) {
  EXPECT_EQ(viewer_->pressEscapeUntilExit(kWineExitLimit), std::optional<int>(0));
}

// The .deb's packer given the .deb's own viewer and the committed pictures: the viewer comes
// back carrying them, and unchanged before them.
TEST(DebPacker, RepacksTheInstalledViewerWithThePictures) {
  const std::string root = fromEnvironment("ZV_PACKAGE_ROOT");
  if (root.empty()) {
    GTEST_SKIP() << "needs ZV_PACKAGE_ROOT, the folder the .deb was unpacked into";
  }
  const std::string dir = makeTestDirectory("DebPacker");
  const std::string viewer = root + "/usr/bin/zoravarova";
  const std::string output = dir + "/zoravarova-repacked";
  ChildProcess packer(root + "/usr/bin/zoravarova-pack",
                      {viewer, kAssets + "/first.jpg", kAssets + "/second.png", output}, {}, dir);
  ASSERT_EQ(packer.waitForExit(30s), std::optional<int>(0)) << packer.standardError();

  const std::vector<std::uint8_t> repacked = fileBytes(output);
  const std::optional<std::uint64_t> firstPicture = expectCarriesOurPictures(repacked, kAssets);
  ASSERT_TRUE(firstPicture.has_value()) << output;

  const std::vector<std::uint8_t> installed = fileBytes(viewer);
  ASSERT_LE(*firstPicture, installed.size());
  const auto end = static_cast<std::ptrdiff_t>(*firstPicture);
  const auto mismatch =
      std::mismatch(installed.begin(), installed.begin() + end, repacked.begin()).first;
  EXPECT_TRUE(mismatch == installed.begin() + end)
      << "the re-packed viewer differs from the installed one at byte "
      << (mismatch - installed.begin()) << ", before the first picture at " << end;
}

}  // namespace
