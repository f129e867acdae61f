// The viewer's start-up replayed in its own order with its own calls, with a hook after each step.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <span>

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

struct TextureStages {
  const char* name;  // the texture name and its parameters
  const char* decode;
  const char* upload;   // reported only when the decode gave pixels
  const char* mipmaps;  // the mipmap build and the freeing of the pixels
};

// createImageTexture's calls in its order, with a report after each of its steps, so the decode,
// the upload and the mipmap build can be timed apart without changing the viewer.
GLuint replayImageTexture(std::span<const std::uint8_t> encoded, GLenum pixelFormat,
                          const TextureStages& stages, const StageDone& stageDone);

// From reading the embedded images to the samplers, as main and runViewer do it; the texture
// steps go through replayImageTexture. With `firstFrame` it also runs one runFrame and waits for
// it with glFinish. False if the window, the context or the loader failed (the viewer would
// return -1).
bool startViewer(BenchViewer& viewer, const StageDone& stageDone, bool firstFrame);

// Deletes the mesh and ends GLFW, as the viewer's shutdown does.
void stopViewer(BenchViewer& viewer);
