// The viewer's window, context and frame resources, made with runViewer's calls in its order, so
// that a benchmark can run the viewer's frames and its own beside them.
#pragma once

#include <optional>

#include <glad/gl.h>

#include "app/frame.h"
#include "render/cube_mesh.h"
#include "render/shader_program.h"

struct GLFWwindow;

struct ViewerContext {
  GLFWwindow* window = nullptr;
  std::optional<ShaderProgram> program;
  CubeMesh mesh;
  GLuint texture1Id = 0;
  GLuint texture2Id = 0;

  FrameResources resources() const {
    return FrameResources{*program, mesh, texture1Id, texture2Id};
  }
};

// From reading the embedded images to the samplers; false where the viewer would return -1.
bool openViewerContext(ViewerContext& viewer);

// The viewer's shutdown: the mesh, then GLFW with the window, context, program and textures.
void closeViewerContext(ViewerContext& viewer);
