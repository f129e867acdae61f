// One whole frame and the shutdown, against the recording fake GL.
#include <gtest/gtest.h>
#include <glm/gtc/type_ptr.hpp>

#include "app/frame.h"
#include "scene/camera.h"
#include "scene/cube_field.h"
#include "scene/view_state.h"
#include "tests/fake_gl.h"

namespace {

using Calls = std::vector<std::string>;

std::string matrixUpload(GLint location, const glm::mat4& matrix) {
  return "glUniformMatrix4fv(" + std::to_string(location) + ", 1, 0, " +
         fakeGlFloats(std::span<const float>(glm::value_ptr(matrix), 16)) + ")";
}

class Frame : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_NE(loadFakeGl(), 0);
    viewState = ViewState{};
    fakeGl().uniformLocations = {{"model", 7}, {"view", 8}, {"projection", 9}};
    program_ = std::make_unique<ShaderProgram>();
    mesh_ = createCubeMesh();
    fakeGl().calls.clear();
  }

  std::unique_ptr<ShaderProgram> program_;
  CubeMesh mesh_;
};

TEST_F(Frame, ClearsBindsUploadsAndDrawsEveryCubeInTableOrder) {
  const FrameResources resources{*program_, mesh_, 11, 12};
  drawFrame(resources);

  const std::string program = std::to_string(program_->programId);
  Calls expected = {
      "glClearColor(0.2, 0.3, 0.3, 1)",
      "glClear(16640)",
      "glActiveTexture(33984)",
      "glBindTexture(3553, 11)",
      "glActiveTexture(33985)",
      "glBindTexture(3553, 12)",
      "glUseProgram(" + program + ")",
      "glGetUniformLocation(" + program + ", \"projection\") -> 9",
      matrixUpload(9, buildProjectionMatrix()),
      "glGetUniformLocation(" + program + ", \"view\") -> 8",
      matrixUpload(8, buildViewMatrix()),
      "glBindVertexArray(" + std::to_string(mesh_.cubeVertexArray) + ")",
  };
  for (std::uint32_t i = 0; i < kCubeField.size(); i += 3) {
    expected.push_back("glGetUniformLocation(" + program + ", \"model\") -> 7");
    expected.push_back(matrixUpload(
        7, buildCubeModelMatrix(i, kCubeField[i], kCubeField[i + 1], kCubeField[i + 2])));
    expected.push_back("glDrawArrays(4, 0, 36)");
  }
  ASSERT_EQ(fakeGl().calls.size(), expected.size()) << "2 + 1019 lookups, 1019 draws";
  EXPECT_EQ(fakeGl().calls, expected);
}

TEST_F(Frame, TheViewUploadFollowsTheCameraRecord) {
  onCursorMoved(nullptr, 400.0, 300.0);
  onCursorMoved(nullptr, 450.0, 280.0);
  drawFrame(FrameResources{*program_, mesh_, 1, 2});
  EXPECT_EQ(fakeGl().calls[10], matrixUpload(8, buildViewMatrix()));
  EXPECT_NE(fakeGl().calls[10], matrixUpload(8, buildViewMatrix(ViewState{})));
}

TEST_F(Frame, AnEmptyFieldUploadsNoModelAndDrawsNothing) {
  drawCubeField(*program_, {});
  EXPECT_EQ(fakeGl().calls, Calls{});
}

TEST_F(Frame, ShutdownDeletesTheVertexArrayThenTheBufferAndNothingElse) {
  deleteCubeMesh(mesh_);
  EXPECT_EQ(fakeGl().calls,
            (Calls{"glDeleteVertexArrays(1, [" + std::to_string(mesh_.cubeVertexArray) + "])",
                   "glDeleteBuffers(1, [" + std::to_string(mesh_.cubeVertexBuffer) + "])"}));
}

}  // namespace
