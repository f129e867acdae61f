// Start-up, frame loop and shutdown of the viewer, top to bottom.
#include "app/viewer.h"

#include <GLFW/glfw3.h>
#include <glad/gl.h>

#include "app/embedded_images.h"
#include "app/frame.h"
#include "render/cube_mesh.h"
#include "render/image_texture.h"
#include "render/shader_program.h"
#include "scene/view_state.h"

void onFramebufferResized(GLFWwindow* /*window*/, int width, int height) {
  glViewport(0, 0, width, height);
}

int runViewer() {
  // A failed init makes the library ignore what follows, so window creation fails below.
  glfwInit();
  glfwWindowHint(GLFW_CONTEXT_VERSION_MAJOR, 3);
  glfwWindowHint(GLFW_CONTEXT_VERSION_MINOR, 3);
  glfwWindowHint(GLFW_OPENGL_PROFILE, GLFW_OPENGL_CORE_PROFILE);

  GLFWwindow* window =
      glfwCreateWindow(kWindowWidth, kWindowHeight, kWindowTitle, nullptr, nullptr);
  if (window == nullptr) {
    glfwTerminate();
    return -1;
  }
  glfwMakeContextCurrent(window);
  glfwSetFramebufferSizeCallback(window, onFramebufferResized);
  glfwSetCursorPosCallback(window, onCursorMoved);
  glfwSetInputMode(window, GLFW_CURSOR, GLFW_CURSOR_DISABLED);

  // The window goes away with the process on this path.
  if (gladLoadGL(glfwGetProcAddress) == 0) {
    return -1;
  }
  glEnable(GL_DEPTH_TEST);

  const ShaderProgram program;
  const CubeMesh mesh = createCubeMesh();
  flipImagesOnDecode();
  const GLuint texture1Id = createImageTexture(texture1Bytes, GL_RGB);
  const GLuint texture2Id = createImageTexture(texture2Bytes, GL_RGBA);
  program.activate();
  program.setSamplerUnit("texture1", 0);
  program.setSamplerUnit("texture2", 1);

  const FrameResources resources{program, mesh, texture1Id, texture2Id};
  while (!glfwWindowShouldClose(window)) {
    runFrame(window, resources);
  }

  deleteCubeMesh(mesh);
  // Ends the window and its context, and with it the program and both textures.
  glfwTerminate();
  return 0;
}
