// A window, GL context and the viewer's frame resources for the frame benchmarks to draw with.
// Not the viewer's start-up (bench.sh times that on the real viewer): only what a frame needs.
#pragma once

#include <optional>

#include <glad/gl.h>

#include "app/frame.h"
#include "render/cube_mesh.h"
#include "render/shader_program.h"

struct GLFWwindow;

struct FrameContext {
  GLFWwindow* window = nullptr;
  std::optional<ShaderProgram> program;
  CubeMesh mesh;
  GLuint texture1Id = 0;
  GLuint texture2Id = 0;

  FrameResources resources() const {
    return FrameResources{*program, mesh, texture1Id, texture2Id};
  }
};

// A window of the viewer's size with a GL 3.3 core context, depth test on, and the viewer's
// program, mesh and textures from the pictures this executable carries, samplers set; false
// when there is no such window or context.
bool openFrameContext(FrameContext& context);

// Ends GLFW, and with it the window, the context and everything made on it.
void closeFrameContext(FrameContext& context);
