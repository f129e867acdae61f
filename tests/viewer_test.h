// A test fixture with one viewer on an Xvfb of its own, and a folder for the test's files.
#pragma once

#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "tests/x_session.h"

// The picture tests' one check: `seen`, whose 800x600 client area lies at (left, top), against
// the picture that `referenceViewer` (a Linux build) presents on an Xvfb of its own. Both draw
// through Mesa from the same matrices; they may differ only where a single rounding step moves a
// cube's edge by a pixel. Measured: 13 of 480,000 pixels differ by more than 3 in a channel, so
// more than 0.1% of them (480) fails. Both screenshots are saved in `dir`.
inline void expectThePictureOf(const std::string& referenceViewer, const Screenshot& seen, int left,
                               int top, const std::string& dir) {
  savePng(seen, dir + "/seen.png");
  RunningViewer reference(nativeViewerCommand({referenceViewer}), dir + "/reference");
  ASSERT_EQ(reference.startProblem(), "");
  const std::optional<Screenshot> expected = reference.presentedScreen(60s);
  ASSERT_TRUE(expected.has_value()) << referenceViewer << " presented no frames";
  savePng(*expected, dir + "/reference.png");

  const PictureDifference difference = comparePictures(seen, left, top, *expected);
  EXPECT_GT(difference.drawn, 20000) << referenceViewer << " drew no cubes to compare with";
  EXPECT_LE(difference.differing, 480) << "pictures saved in " << dir;
}

class ViewerTest : public ::testing::Test {
 protected:
  // Named after the fixture and the test, so that tests of one name in two fixtures keep apart.
  void SetUp() override {
    const ::testing::TestInfo* test = ::testing::UnitTest::GetInstance()->current_test_info();
    outputDir_ = makeTestDirectory(std::string(test->test_suite_name()) + "." + test->name());
  }

  // Fails the test when the viewer's window does not come up presenting frames.
  void startViewer(const ViewerCommand& command) {
    viewer_.emplace(command, outputDir_);
    ASSERT_EQ(viewer_->startProblem(), "");
  }

  Display* x() const { return viewer_->x(); }

  // The Windows build under Wine, whose frame surrounds the window: one window titled ZORAVAROVA
  // and a client area of 800x600, found by the clear colour at its edges.
  void expectOneWineWindowOf800By600() {
    EXPECT_EQ(windowsTitled(x(), "ZORAVAROVA").size(), 1u);
    const Screenshot shot = captureScreen(x());
    savePng(shot, outputDir_ + "/screen.png");
    const ScreenRectangle client = backgroundBounds(shot);
    EXPECT_EQ(client.width, 800);
    EXPECT_EQ(client.height, 600);
  }

  std::string outputDir_;
  std::optional<RunningViewer> viewer_;
};
