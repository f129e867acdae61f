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

  std::string outputDir_;
  std::optional<RunningViewer> viewer_;
};
