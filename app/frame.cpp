// The body of one frame, in the order the viewer's picture depends on.
#include "app/frame.h"

#include <GLFW/glfw3.h>

#include "scene/camera.h"
#include "scene/cube_field.h"

void drawFrame(const FrameResources& resources) {
  glClearColor(kClearColour.red, kClearColour.green, kClearColour.blue, kClearColour.alpha);
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);

  glActiveTexture(GL_TEXTURE0);
  glBindTexture(GL_TEXTURE_2D, resources.texture1Id);
  glActiveTexture(GL_TEXTURE1);
  glBindTexture(GL_TEXTURE_2D, resources.texture2Id);

  resources.program.activate();
  resources.program.setMatrixUniform("projection", buildProjectionMatrix());
  resources.program.setMatrixUniform("view", buildViewMatrix());

  glBindVertexArray(resources.mesh.cubeVertexArray);
  drawCubeField(resources.program);
}

void runFrame(GLFWwindow* window, const FrameResources& resources) {
  // The frame that sees Escape still runs to its end and is presented.
  if (glfwGetKey(window, GLFW_KEY_ESCAPE) == GLFW_PRESS) {
    glfwSetWindowShouldClose(window, GLFW_TRUE);
  }
  drawFrame(resources);
  glfwSwapBuffers(window);
  glfwPollEvents();
}
