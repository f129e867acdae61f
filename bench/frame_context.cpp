// The frame benchmarks' window and resources, made with the viewer's own constructors.
#include "bench/frame_context.h"

#include <GLFW/glfw3.h>

#include "app/elf_asset_section.h"
#include "app/embedded_images.h"
#include "app/viewer.h"
#include "render/image_texture.h"

bool openFrameContext(FrameContext& context) {
  // Packed like the viewer, so its frames sample the same pictures.
  loadEmbeddedImages(copyDirectoryBytes(zoravarovaEmbeddedAssetDirectory), "/proc/self/exe");
  if (glfwInit() == GLFW_FALSE) {
    return false;
  }
  glfwWindowHint(GLFW_CONTEXT_VERSION_MAJOR, 3);
  glfwWindowHint(GLFW_CONTEXT_VERSION_MINOR, 3);
  glfwWindowHint(GLFW_OPENGL_PROFILE, GLFW_OPENGL_CORE_PROFILE);
  context.window = glfwCreateWindow(kWindowWidth, kWindowHeight, kWindowTitle, nullptr, nullptr);
  if (context.window == nullptr) {
    glfwTerminate();
    return false;
  }
  glfwMakeContextCurrent(context.window);
  if (gladLoadGL(glfwGetProcAddress) == 0) {
    glfwTerminate();
    return false;
  }
  glEnable(GL_DEPTH_TEST);

  context.program.emplace();
  context.mesh = createCubeMesh();
  flipImagesOnDecode();
  context.texture1Id = createImageTexture(texture1Bytes, GL_RGB);
  context.texture2Id = createImageTexture(texture2Bytes, GL_RGBA);
  context.program->activate();
  context.program->setSamplerUnit("texture1", 0);
  context.program->setSamplerUnit("texture2", 1);
  return true;
}

void closeFrameContext(FrameContext& context) {
  deleteCubeMesh(context.mesh);
  context.program.reset();
  glfwTerminate();
  context.window = nullptr;
}
