// The packed viewer under an Xvfb and Mesa of the test's own: window, picture, exits.
#include <X11/keysym.h>

#include <gtest/gtest.h>
#include <cstdlib>

#include "tests/x_session.h"

namespace {

const std::string kViewer = ZV_VIEWER;
constexpr auto kStartLimit = 20s;
constexpr auto kExitLimit = 10s;

class ViewerWindow : public ::testing::Test {
 protected:
  void SetUp() override {
    outputDir_ = makeTestDirectory(::testing::UnitTest::GetInstance()->current_test_info()->name());
    display_ = std::make_unique<VirtualDisplay>();
    viewer_ = std::make_unique<ChildProcess>(
        kViewer, std::vector<std::string>{},
        std::map<std::string, std::string>{{"DISPLAY", display_->name()}}, outputDir_);
    window_ = waitForWindow(x(), "ZORAVAROVA", kStartLimit);
    ASSERT_NE(window_, 0u) << "no window appeared; stderr: " << viewer_->standardError();
    frames_ = std::make_unique<FrameWatch>(x(), window_);
    // The first frames have been presented once the corner shows the clear colour.
    ASSERT_TRUE(waitUntil([&] { return isBackground(captureScreen(x()).at(5, 5)); }, kStartLimit));
  }
  // The watch goes before the connection it uses, the viewer before its X server, whatever
  // happened in the test.
  void TearDown() override {
    frames_.reset();
    viewer_.reset();
    display_.reset();
  }

  Display* x() const { return display_->connection(); }

  std::string outputDir_;
  std::unique_ptr<VirtualDisplay> display_;
  std::unique_ptr<ChildProcess> viewer_;
  std::unique_ptr<FrameWatch> frames_;
  Window window_ = 0;
};

TEST_F(ViewerWindow, OpensOneWindowTitledZoravarovaOf800By600) {
  EXPECT_EQ(windowsTitled(x(), "ZORAVAROVA").size(), 1u);
  EXPECT_EQ(windowTitle(x(), window_), "ZORAVAROVA");
  XWindowAttributes attributes{};
  ASSERT_NE(XGetWindowAttributes(x(), window_, &attributes), 0);
  EXPECT_EQ(attributes.width, 800);
  EXPECT_EQ(attributes.height, 600);
}

TEST_F(ViewerWindow, ItsCornersShowTheBackgroundColour) {
  const Screenshot shot = captureScreen(x());
  savePng(shot, outputDir_ + "/screen.png");
  for (const auto& [px, py] : {std::pair{2, 2}, {797, 2}, {2, 597}, {797, 597}}) {
    const Screenshot::Pixel p = shot.at(px, py);
    EXPECT_TRUE(isBackground(p)) << "at " << px << "," << py << ": " << p.r << " " << p.g << " "
                                 << p.b;
  }
}

TEST_F(ViewerWindow, EscapeEndsItWithExitCodeZero) {
  EXPECT_EQ(pressKeyUntilExit(x(), XK_Escape, *viewer_, *frames_, kExitLimit),
            std::optional<int>(0));
  EXPECT_EQ(viewer_->standardOutput(), "");
}

TEST_F(ViewerWindow, TheCloseBoxEndsItWithExitCodeZero) {
  requestClose(x(), window_);
  EXPECT_EQ(viewer_->waitForExit(kExitLimit), std::optional<int>(0));
  EXPECT_EQ(viewer_->standardOutput(), "");
}

TEST(ViewerWithoutDisplay, ExitsWith255AndPrintsNothing) {
  const std::string dir = makeTestDirectory("ViewerWithoutDisplay");
  ChildProcess viewer(kViewer, {}, {{"DISPLAY", ""}, {"WAYLAND_DISPLAY", ""}}, dir);
  EXPECT_EQ(viewer.waitForExit(kExitLimit), std::optional<int>(255));
  EXPECT_EQ(viewer.standardOutput(), "");
  EXPECT_EQ(viewer.standardError(), "");
}

}  // namespace
