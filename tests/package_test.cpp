// The programs the packages ship, run from where scripts/test-packages.sh unpacked them: the
// .deb's viewer and packer, and the zip's viewer under Wine.
#include <X11/keysym.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "tests/packed_viewer.h"
#include "tests/x_session.h"

namespace {

const std::string kBuildViewer = ZV_VIEWER;
const std::string kAssets = ZV_ASSET_DIR;
// Looked for on PATH when the test runs: the build may be configured before Wine is installed,
// as it is on a new machine, where Wine comes with the Windows stage.
const std::string kWine = "wine";
constexpr auto kStartLimit = 20s;
constexpr auto kExitLimit = 10s;
// Wine makes its prefix's services ready before the first window, which can take a while.
constexpr auto kWineStartLimit = 60s;
constexpr auto kWineExitLimit = 20s;

// The variable's value, or empty when it is unset; the tests skip on empty.
std::string fromEnvironment(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr ? value : "";
}

std::string testName() {
  return ::testing::UnitTest::GetInstance()->current_test_info()->name();
}

// A viewer on an Xvfb of its own, its first frames presented. Members end in reverse order: the
// watch before the connection it uses, the viewer before its X server.
struct RunningViewer {
  RunningViewer(const std::string& program, const std::string& outputDir) {
    // With the pointer at the window's centre from the start, capturing it turns nothing, so both
    // viewers look straight ahead.
    XWarpPointer(x(), None, DefaultRootWindow(x()), 0, 0, 0, 0, 400, 300);
    XSync(x(), False);
    process = std::make_unique<ChildProcess>(
        program, std::vector<std::string>{},
        std::map<std::string, std::string>{{"DISPLAY", display.name()}}, outputDir);
    window = waitForWindow(x(), "ZORAVAROVA", kStartLimit);
    if (window != 0) {
      frames = std::make_unique<FrameWatch>(x(), window);
    }
  }

  Display* x() const { return display.connection(); }

  // The screen once two frames presented after this call have reached it, so that what is seen
  // is a steady picture and not the first clear.
  std::optional<Screenshot> presentedScreen() {
    if (frames == nullptr ||
        !waitUntil([&] { return isBackground(captureScreen(x()).at(5, 5)); }, kStartLimit)) {
      return std::nullopt;
    }
    frames->forget();
    if (!frames->waitForFrames(2, kStartLimit)) {
      return std::nullopt;
    }
    return captureScreen(x());
  }

  VirtualDisplay display;
  std::unique_ptr<ChildProcess> process;
  Window window = 0;
  std::unique_ptr<FrameWatch> frames;
};

class DebViewer : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = fromEnvironment("ZV_PACKAGE_ROOT");
    if (root_.empty()) {
      GTEST_SKIP() << "needs ZV_PACKAGE_ROOT, the folder the .deb was unpacked into";
    }
    outputDir_ = makeTestDirectory("DebViewer" + testName());
    viewer_ = std::make_unique<RunningViewer>(root_ + "/usr/bin/zoravarova", outputDir_);
    ASSERT_NE(viewer_->window, 0u) << "no window; stderr: " << viewer_->process->standardError();
  }

  std::string root_;
  std::string outputDir_;
  std::unique_ptr<RunningViewer> viewer_;
};

// Both are the same program drawing through Mesa from the same matrices; as with the Windows
// build, only a one-pixel move of a cube's edge may differ, far below 0.1% of the pixels (480).
TEST_F(DebViewer, ShowsThePictureOfTheBuild) {
  const std::optional<Screenshot> installed = viewer_->presentedScreen();
  ASSERT_TRUE(installed.has_value()) << "the installed viewer presented no frames";
  RunningViewer reference(kBuildViewer, makeTestDirectory("DebViewerReference"));
  ASSERT_NE(reference.window, 0u) << reference.process->standardError();
  const std::optional<Screenshot> built = reference.presentedScreen();
  ASSERT_TRUE(built.has_value()) << "the built viewer presented no frames";
  savePng(*installed, outputDir_ + "/installed.png");
  savePng(*built, outputDir_ + "/built.png");

  int differing = 0;
  int drawn = 0;
  for (int y = 0; y < 600; ++y) {
    for (int x = 0; x < 800; ++x) {
      const Screenshot::Pixel a = installed->at(x, y);
      const Screenshot::Pixel b = built->at(x, y);
      const int difference =
          std::max({std::abs(a.r - b.r), std::abs(a.g - b.g), std::abs(a.b - b.b)});
      differing += difference > 3 ? 1 : 0;
      drawn += isBackground(b) ? 0 : 1;
    }
  }
  EXPECT_GT(drawn, 20000) << "the built viewer drew no cubes to compare with";
  EXPECT_LE(differing, 480) << "pictures saved in " << outputDir_;
}

TEST_F(DebViewer, EscapeEndsItWithExitCodeZero) {
  ASSERT_TRUE(viewer_->presentedScreen().has_value()) << "the installed viewer presented no frames";
  EXPECT_EQ(
      pressKeyUntilExit(viewer_->x(), XK_Escape, *viewer_->process, *viewer_->frames, kExitLimit),
      std::optional<int>(0));
}

// The zip's viewer under Wine, in the prefix and with the Wine settings of the caller's
// environment. The screen is larger than the window, so Wine's frame fits around it.
class ZipViewer : public ::testing::Test {
 protected:
  void SetUp() override {
    const std::string folder = fromEnvironment("ZV_PACKAGE_ZIP");
    if (folder.empty()) {
      GTEST_SKIP() << "needs ZV_PACKAGE_ZIP, the folder the zip was unpacked into";
    }
    if (fromEnvironment("WINEPREFIX").empty()) {
      GTEST_SKIP() << "needs WINEPREFIX, a prepared Wine prefix, and Wine on PATH";
    }
    XSetErrorHandler(ignoreVanishedWindows);
    outputDir_ = makeTestDirectory("ZipViewer" + testName());
    display_ = std::make_unique<VirtualDisplay>("1024x768x24");
    viewer_ = std::make_unique<ChildProcess>(
        kWine, std::vector<std::string>{folder + "/zoravarova.exe"},
        std::map<std::string, std::string>{{"DISPLAY", display_->name()}, {"WAYLAND_DISPLAY", ""}},
        outputDir_);
    window_ = waitForWindow(x(), "ZORAVAROVA", kWineStartLimit);
    ASSERT_NE(window_, 0u) << "no window appeared; stderr: " << viewer_->standardError();
    ASSERT_TRUE(waitForWineClientArea(x(), kWineStartLimit))
        << "the client area never showed the clear colour across 800 pixels";
  }
  void TearDown() override {
    viewer_.reset();
    display_.reset();
  }

  Display* x() const { return display_->connection(); }

  std::string outputDir_;
  std::unique_ptr<VirtualDisplay> display_;
  std::unique_ptr<ChildProcess> viewer_;
  Window window_ = 0;
};

TEST_F(ZipViewer, OpensOneWindowTitledZoravarovaWithAClientAreaOf800By600) {
  EXPECT_EQ(windowsTitled(x(), "ZORAVAROVA").size(), 1u);
  const Screenshot shot = captureScreen(x());
  savePng(shot, outputDir_ + "/screen.png");
  const ScreenRectangle client = backgroundBounds(shot);
  EXPECT_EQ(client.width, 800);
  EXPECT_EQ(client.height, 600);
}

TEST_F(ZipViewer, EscapeEndsItWithExitCodeZero) {
  EXPECT_EQ(pressEscapeUntilExitUnderWine(x(), *viewer_, kWineExitLimit), std::optional<int>(0));
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
