// The packed viewer under an Xvfb and Mesa of the test's own: window, picture, exits.
#include <gtest/gtest.h>
#include <cstdlib>

#include "tests/viewer_test.h"
#include "tests/x_session.h"

namespace {

const std::string kViewer = ZV_VIEWER;
constexpr auto kExitLimit = 10s;

class ViewerWindow : public ViewerTest {
 protected:
  void SetUp() override {
    ViewerTest::SetUp();
    startViewer(nativeViewerCommand({kViewer}));
  }
};

TEST_F(ViewerWindow, OpensOneWindowTitledZoravarovaOf800By600) {
  EXPECT_EQ(windowsTitled(x(), "ZORAVAROVA").size(), 1u);
  EXPECT_EQ(windowTitle(x(), viewer_->window()), "ZORAVAROVA");
  XWindowAttributes attributes{};
  ASSERT_NE(XGetWindowAttributes(x(), viewer_->window(), &attributes), 0);
  EXPECT_EQ(attributes.width, 800);
  EXPECT_EQ(attributes.height, 600);
}

TEST_F(ViewerWindow, ItsCornersShowTheBackgroundColour) {
  const Screenshot shot = captureScreen(x());
  savePng(shot, outputDir_ + "/screen.png");
  // Written out here rather than taken from the viewer's constant, which the harness uses to see
  // the picture settle: 0.2, 0.3, 0.3 in 8 bits, give or take the rounding.
  const auto near = [](int seen, int expected) { return std::abs(seen - expected) <= 1; };
  for (const auto& [px, py] : {std::pair{2, 2}, {797, 2}, {2, 597}, {797, 597}}) {
    const Screenshot::Pixel p = shot.at(px, py);
    EXPECT_TRUE(near(p.r, 51) && near(p.g, 77) && near(p.b, 77))
        << "at " << px << "," << py << ": " << p.r << " " << p.g << " " << p.b;
  }
}

TEST_F(ViewerWindow, EscapeEndsItWithExitCodeZero) {
  EXPECT_EQ(viewer_->pressEscapeUntilExit(kExitLimit), std::optional<int>(0));
  EXPECT_EQ(viewer_->process().standardOutput(), "");
}

TEST_F(ViewerWindow, TheCloseBoxEndsItWithExitCodeZero) {
  requestClose(x(), viewer_->window());
  EXPECT_EQ(viewer_->process().waitForExit(kExitLimit), std::optional<int>(0));
  EXPECT_EQ(viewer_->process().standardOutput(), "");
}

TEST(ViewerWithoutDisplay, ExitsWith255AndPrintsNothing) {
  const std::string dir = makeTestDirectory("ViewerWithoutDisplay");
  ChildProcess viewer(kViewer, {}, {{"DISPLAY", ""}, {"WAYLAND_DISPLAY", ""}}, dir);
  EXPECT_EQ(viewer.waitForExit(kExitLimit), std::optional<int>(255));
  EXPECT_EQ(viewer.standardOutput(), "");
  EXPECT_EQ(viewer.standardError(), "");
}

}  // namespace
