// Start-up of the viewer step by step: the calls of main, runViewer and createImageTexture.
#include "bench/viewer_startup.h"

#include <climits>
#include <cstdint>
#include <span>

#include <GLFW/glfw3.h>
#include <stb_image.h>

#include "app/embedded_asset_directory.h"
#include "app/embedded_images.h"
#include "app/viewer.h"
#include "render/image_texture.h"
#include "scene/view_state.h"

GLuint replayImageTexture(std::span<const std::uint8_t> encoded, GLenum pixelFormat,
                          const TextureStages& stages, const StageDone& stageDone) {
  GLuint textureId = 0;
  glGenTextures(1, &textureId);
  glBindTexture(GL_TEXTURE_2D, textureId);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_REPEAT);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_REPEAT);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
  stageDone(stages.name, "ours");

  // The decoder is asked for the channels of the upload format, under the viewer's guards.
  const int channels = pixelFormat == GL_RGB ? 3 : pixelFormat == GL_RGBA ? 4 : 0;
  int width = 0;
  int height = 0;
  int fileChannels = 0;
  stbi_uc* pixels = nullptr;
  if (!encoded.empty() && encoded.size() <= static_cast<std::size_t>(INT_MAX) && channels != 0) {
    pixels = stbi_load_from_memory(encoded.data(), static_cast<int>(encoded.size()), &width,
                                   &height, &fileChannels, channels);
  }
  stageDone(stages.decode, "ours");
  if (pixels != nullptr) {
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGB, width, height, 0, pixelFormat, GL_UNSIGNED_BYTE, pixels);
    stageDone(stages.upload, "driver");
    glGenerateMipmap(GL_TEXTURE_2D);
  }
  stbi_image_free(pixels);
  stageDone(stages.mipmaps, "mipmaps");
  return textureId;
}

bool startViewer(BenchViewer& viewer, const StageDone& stageDone, bool firstFrame) {
  loadEmbeddedImages(zoravarovaEmbeddedAssetDirectory);
  stageDone("read embedded images", "ours");

  glfwInit();
  stageDone("GLFW init", "GLFW");
  glfwWindowHint(GLFW_CONTEXT_VERSION_MAJOR, 3);
  glfwWindowHint(GLFW_CONTEXT_VERSION_MINOR, 3);
  glfwWindowHint(GLFW_OPENGL_PROFILE, GLFW_OPENGL_CORE_PROFILE);
  viewer.window = glfwCreateWindow(800, 600, "ZORAVAROVA", nullptr, nullptr);
  if (viewer.window == nullptr) {
    glfwTerminate();
    return false;
  }
  glfwMakeContextCurrent(viewer.window);
  stageDone("window and context", "GLFW");
  glfwSetFramebufferSizeCallback(viewer.window, onFramebufferResized);
  glfwSetCursorPosCallback(viewer.window, onCursorMoved);
  glfwSetInputMode(viewer.window, GLFW_CURSOR, GLFW_CURSOR_DISABLED);
  stageDone("callbacks, cursor capture", "GLFW");

  if (gladLoadGL(glfwGetProcAddress) == 0) {
    return false;
  }
  stageDone("GL loader", "ours");
  glEnable(GL_DEPTH_TEST);
  viewer.program.emplace();
  stageDone("depth test, shader build", "driver");
  viewer.mesh = createCubeMesh();
  stageDone("cube mesh", "ours");

  flipImagesOnDecode();
  viewer.texture1Id = replayImageTexture(texture1Bytes, GL_RGB,
                                         {"texture 1 name, parameters", "texture 1 decode (JPEG)",
                                          "texture 1 upload", "texture 1 mipmaps, free"},
                                         stageDone);
  viewer.texture2Id = replayImageTexture(texture2Bytes, GL_RGBA,
                                         {"texture 2 name, parameters", "texture 2 decode (PNG)",
                                          "texture 2 upload", "texture 2 mipmaps, free"},
                                         stageDone);
  viewer.program->activate();
  viewer.program->setSamplerUnit("texture1", 0);
  viewer.program->setSamplerUnit("texture2", 1);
  stageDone("program, samplers", "ours");

  if (firstFrame) {
    runFrame(viewer.window, viewer.resources());
    glFinish();
    stageDone("first frame (draw, swap, poll)", "driver");
  }
  return true;
}

void stopViewer(BenchViewer& viewer) {
  deleteCubeMesh(viewer.mesh);
  viewer.program.reset();
  glfwTerminate();
  viewer.window = nullptr;
}
