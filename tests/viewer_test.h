// A test fixture with one viewer on an Xvfb of its own, and a folder for the test's files.
#pragma once

#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "tests/x_session.h"

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
