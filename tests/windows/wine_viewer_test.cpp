// The packed Windows viewer under Wine, Xvfb and Mesa: its window, its picture against the Linux
// build's, and its exit codes.
#include <gtest/gtest.h>

#include "tests/windows/wine_session.h"
#include "tests/x_session.h"

namespace {

const std::string kWindowsViewer = kWindowsBuild + "/zoravarova.exe";
const std::string kLinuxViewer = ZV_VIEWER;
constexpr auto kStartLimit = 60s;
constexpr auto kExitLimit = 20s;
// Larger than the window, so that Wine's own frame around the 800x600 client area fits on it.
const std::string kWineScreen = "1024x768x24";

std::string testName() {
  return ::testing::UnitTest::GetInstance()->current_test_info()->name();
}

class WineViewer : public ::testing::Test {
 protected:
  void SetUp() override {
    XSetErrorHandler(ignoreVanishedWindows);
    outputDir_ = makeTestDirectory(testName());
    display_ = std::make_unique<VirtualDisplay>(kWineScreen);
    viewer_ = std::make_unique<ChildProcess>(kWine, std::vector<std::string>{kWindowsViewer},
                                             wineEnvironment(display_->name()), outputDir_);
    window_ = waitForWindow(x(), "ZORAVAROVA", kStartLimit);
    ASSERT_NE(window_, 0u) << "no window appeared; stderr: " << viewer_->standardError();
    ASSERT_TRUE(waitForWineClientArea(x(), kStartLimit))
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

TEST_F(WineViewer, OpensOneWindowTitledZoravarovaWithAClientAreaOf800By600) {
  EXPECT_EQ(windowsTitled(x(), "ZORAVAROVA").size(), 1u);
  const Screenshot shot = captureScreen(x());
  savePng(shot, outputDir_ + "/screen.png");
  const ScreenRectangle client = backgroundBounds(shot);
  EXPECT_EQ(client.width, 800);
  EXPECT_EQ(client.height, 600);
}

// Both builds draw through Mesa from the same matrices; they may differ only where a single
// rounding step moves a cube's edge by a pixel. Measured: 13 of 480,000 pixels differ by more
// than 3 in a channel, so more than 0.1% of them (480) fails.
TEST_F(WineViewer, ShowsThePictureOfTheLinuxBuild) {
  const Screenshot wine = captureScreen(x());
  const ScreenRectangle client = backgroundBounds(wine);
  ASSERT_EQ(client.width, 800);
  ASSERT_EQ(client.height, 600);

  const std::string linuxDir = makeTestDirectory(testName() + "-linux");
  VirtualDisplay linuxDisplay;
  ChildProcess linuxViewer(kLinuxViewer, {}, {{"DISPLAY", linuxDisplay.name()}}, linuxDir);
  ASSERT_NE(waitForWindow(linuxDisplay.connection(), "ZORAVAROVA", kStartLimit), 0u);
  Screenshot linux;
  ASSERT_TRUE(waitUntil(
      [&] {
        linux = captureScreen(linuxDisplay.connection());
        return backgroundBounds(linux).width == 800;
      },
      kStartLimit));
  savePng(wine, outputDir_ + "/wine.png");
  savePng(linux, outputDir_ + "/linux.png");

  int differing = 0;
  int drawn = 0;
  for (int y = 0; y < 600; ++y) {
    for (int x = 0; x < 800; ++x) {
      const Screenshot::Pixel a = wine.at(client.left + x, client.top + y);
      const Screenshot::Pixel b = linux.at(x, y);
      const int difference =
          std::max({std::abs(a.r - b.r), std::abs(a.g - b.g), std::abs(a.b - b.b)});
      differing += difference > 3 ? 1 : 0;
      drawn += isBackground(b) ? 0 : 1;
    }
  }
  EXPECT_GT(drawn, 20000) << "the Linux build drew no cubes to compare with";
  EXPECT_LE(differing, 480) << "pictures saved in " << outputDir_;
}

TEST_F(WineViewer, EscapeEndsItWithExitCodeZero) {
  EXPECT_EQ(pressEscapeUntilExitUnderWine(x(), *viewer_, kExitLimit), std::optional<int>(0));
  EXPECT_EQ(viewer_->standardOutput(), "");
}

TEST_F(WineViewer, TheCloseBoxEndsItWithExitCodeZero) {
  requestClose(x(), window_);
  EXPECT_EQ(viewer_->waitForExit(kExitLimit), std::optional<int>(0));
  EXPECT_EQ(viewer_->standardOutput(), "");
}

// -1 from WinMain is the exit status 0xFFFFFFFF, of which Linux sees the low byte.
TEST(WineViewerFailing, WithoutOpenGL33CoreItExitsWith255AndPrintsNothing) {
  const std::string dir = makeTestDirectory("WineViewerWithoutCore");
  VirtualDisplay display(kWineScreen);
  std::map<std::string, std::string> environment = wineEnvironment(display.name());
  environment["MESA_GL_VERSION_OVERRIDE"] = "3.0";
  ChildProcess viewer(kWine, {kWindowsViewer}, environment, dir);
  EXPECT_EQ(viewer.waitForExit(kExitLimit), std::optional<int>(255));
  EXPECT_EQ(viewer.standardOutput(), "");
}

TEST(WineViewerFailing, WithoutADisplayItExitsWith255AndPrintsNothing) {
  const std::string dir = makeTestDirectory("WineViewerWithoutDisplay");
  ChildProcess viewer(kWine, {kWindowsViewer}, wineEnvironment(""), dir);
  EXPECT_EQ(viewer.waitForExit(kExitLimit), std::optional<int>(255));
  EXPECT_EQ(viewer.standardOutput(), "");
}

}  // namespace
