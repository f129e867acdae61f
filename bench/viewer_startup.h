// The viewer's start-up replayed in its own order with its own calls, with a hook after each step.
#pragma once

#include <functional>
#include <optional>

#include <glad/gl.h>

#include "app/frame.h"
#include "render/cube_mesh.h"
#include "render/shader_program.h"

struct GLFWwindow;

// Everything runViewer holds in its locals, kept alive for the benchmark's own frame loop.
struct BenchViewer {
  GLFWwindow* window = nullptr;
  std::optional<ShaderProgram> program;
  CubeMesh mesh;
  GLuint texture1Id = 0;
  GLuint texture2Id = 0;

  FrameResources resources() const {
    return FrameResources{*program, mesh, texture1Id, texture2Id};
  }
};

// One named step just finished; `owner` is "ours", "GLFW", "driver" or "mipmaps": whose work
// the step's time mostly is, and so whether it counts against our own code's budget.
using StageDone = std::function<void(const char* stage, const char* owner)>;

// From reading the embedded images to the samplers, as main and runViewer do it. The texture
// step is split (name and parameters, decode, upload, mipmaps) by making createImageTexture's
// calls here in its order. With `firstFrame` it also runs one runFrame and waits for it with
// glFinish. False if the window, the context or the loader failed (the viewer would return -1).
bool startViewer(BenchViewer& viewer, const StageDone& stageDone, bool firstFrame);

// Deletes the mesh and ends GLFW, as the viewer's shutdown does.
void stopViewer(BenchViewer& viewer);
