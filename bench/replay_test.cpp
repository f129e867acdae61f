// The benchmark's stand-ins against the viewer's own code, on the recording fake GL: the timed
// texture replay must make createImageTexture's calls, and the instanced floor must draw the
// viewer's cubes with the viewer's bindings.
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "bench/instanced_floor.h"
#include "bench/viewer_startup.h"
#include "render/image_texture.h"
#include "scene/cube_field.h"
#include "tests/fake_gl.h"

namespace {

std::vector<std::uint8_t> asset(const std::string& name) {
  std::ifstream file(std::string(ZV_ASSET_DIR) + "/" + name, std::ios::binary);
  return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

struct Recording {
  std::vector<std::string> calls;
  std::vector<std::vector<std::uint8_t>> pixels;
  std::vector<std::string> stages;
};

Recording viewerTexture(const std::vector<std::uint8_t>& encoded, GLenum format) {
  EXPECT_NE(loadFakeGl(), 0);
  flipImagesOnDecode();
  createImageTexture(encoded, format);
  return {fakeGl().calls, fakeGl().textureUploads, {}};
}

Recording replayedTexture(const std::vector<std::uint8_t>& encoded, GLenum format) {
  EXPECT_NE(loadFakeGl(), 0);
  flipImagesOnDecode();
  std::vector<std::string> stages;
  replayImageTexture(encoded, format, {"name", "decode", "upload", "mipmaps"},
                     [&](const char* stage, const char*) { stages.emplace_back(stage); });
  return {fakeGl().calls, fakeGl().textureUploads, stages};
}

TEST(TextureReplay, MakesTheViewersCallsAndUploadsTheSamePixels) {
  const std::pair<const char*, GLenum> images[] = {{"first.jpg", GL_RGB}, {"second.png", GL_RGBA}};
  for (const auto& [name, format] : images) {
    SCOPED_TRACE(name);
    const std::vector<std::uint8_t> encoded = asset(name);
    ASSERT_FALSE(encoded.empty());
    const Recording viewer = viewerTexture(encoded, format);
    const Recording replay = replayedTexture(encoded, format);
    EXPECT_EQ(replay.calls, viewer.calls);
    ASSERT_EQ(viewer.pixels.size(), 1u);
    EXPECT_TRUE(replay.pixels == viewer.pixels) << "same decode, flip and channels";
    EXPECT_EQ(replay.stages, (std::vector<std::string>{"name", "decode", "upload", "mipmaps"}));
  }
}

TEST(TextureReplay, FailedDecodesMatchTheViewerAndReportNoUpload) {
  const std::vector<std::uint8_t> png = asset("second.png");
  const std::vector<std::uint8_t> garbage(64, 0x5a);
  const std::pair<std::vector<std::uint8_t>, GLenum> inputs[] = {
      {garbage, GL_RGB}, {{}, GL_RGBA}, {png, GL_BGRA}};
  for (const auto& [encoded, format] : inputs) {
    const Recording viewer = viewerTexture(encoded, format);
    const Recording replay = replayedTexture(encoded, format);
    EXPECT_EQ(replay.calls, viewer.calls);
    EXPECT_TRUE(replay.pixels.empty());
    EXPECT_EQ(replay.stages, (std::vector<std::string>{"name", "decode", "mipmaps"}));
  }
}

TEST(InstancedFloor, UploadsTheViewersModelMatricesAndDrawsOnceWithItsBindings) {
  ASSERT_NE(loadFakeGl(), 0);
  fakeGl().uniformLocations = {{"view", 8}, {"projection", 9}};
  BenchViewer viewer;
  viewer.program.emplace();
  viewer.mesh = createCubeMesh();
  viewer.texture1Id = 11;
  viewer.texture2Id = 12;
  const InstancedField instanced(viewer);

  std::vector<float> expected;
  for (std::uint32_t i = 0; i < kCubeField.size(); i += 3) {
    const glm::mat4 model =
        buildCubeModelMatrix(i, kCubeField[i], kCubeField[i + 1], kCubeField[i + 2]);
    expected.insert(expected.end(), &model[0][0], &model[0][0] + 16);
  }
  ASSERT_FALSE(fakeGl().bufferUploads.empty());
  const std::vector<std::uint8_t>& uploaded = fakeGl().bufferUploads.back();
  ASSERT_EQ(uploaded.size(), expected.size() * sizeof(float));
  EXPECT_EQ(std::memcmp(uploaded.data(), expected.data(), uploaded.size()), 0);

  fakeGl().calls.clear();
  instanced.draw();
  const std::vector<std::string>& calls = fakeGl().calls;
  const std::vector<std::string> bindings = {
      "glClearColor(0.2, 0.3, 0.3, 1)", "glClear(16640)",         "glActiveTexture(33984)",
      "glBindTexture(3553, 11)",        "glActiveTexture(33985)", "glBindTexture(3553, 12)"};
  ASSERT_GT(calls.size(), bindings.size());
  EXPECT_EQ(std::vector<std::string>(calls.begin(), calls.begin() + 6), bindings);
  EXPECT_EQ(calls.back(), "unexpected glDrawArraysInstanced") << "the one draw, last";
  for (const std::string& call : calls) {
    EXPECT_EQ(call.find("glDrawArrays("), std::string::npos) << call;
    EXPECT_EQ(call.find("glGetUniformLocation"), std::string::npos) << "looked up once, before";
  }
}

}  // namespace
