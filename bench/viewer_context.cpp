// The viewer's start-up without its frame loop: main's and runViewer's calls, in their order.
#include "bench/viewer_context.h"

#include <GLFW/glfw3.h>

#include "app/elf_asset_section.h"
#include "app/embedded_images.h"
#include "app/viewer.h"
#include "render/image_texture.h"
#include "scene/view_state.h"

bool openViewerContext(ViewerContext& viewer) {
  loadEmbeddedImages(copyDirectoryBytes(zoravarovaEmbeddedAssetDirectory), "/proc/self/exe");
  glfwInit();
  glfwWindowHint(GLFW_CONTEXT_VERSION_MAJOR, 3);
  glfwWindowHint(GLFW_CONTEXT_VERSION_MINOR, 3);
  glfwWindowHint(GLFW_OPENGL_PROFILE, GLFW_OPENGL_CORE_PROFILE);
  viewer.window = glfwCreateWindow(800, 600, "ZORAVAROVA", nullptr, nullptr);
  if (viewer.window == nullptr) {
    glfwTerminate();
    return false;
  }
  glfwMakeContextCurrent(viewer.window);
  glfwSetFramebufferSizeCallback(viewer.window, onFramebufferResized);
  glfwSetCursorPosCallback(viewer.window, onCursorMoved);
  glfwSetInputMode(viewer.window, GLFW_CURSOR, GLFW_CURSOR_DISABLED);
  if (gladLoadGL(glfwGetProcAddress) == 0) {
    glfwTerminate();
    return false;
  }
  glEnable(GL_DEPTH_TEST);

  viewer.program.emplace();
  viewer.mesh = createCubeMesh();
  flipImagesOnDecode();
  viewer.texture1Id = createImageTexture(texture1Bytes, GL_RGB);
  viewer.texture2Id = createImageTexture(texture2Bytes, GL_RGBA);
  viewer.program->activate();
  viewer.program->setSamplerUnit("texture1", 0);
  viewer.program->setSamplerUnit("texture2", 1);
  return true;
}

void closeViewerContext(ViewerContext& viewer) {
  deleteCubeMesh(viewer.mesh);
  viewer.program.reset();
  glfwTerminate();
  viewer.window = nullptr;
}
