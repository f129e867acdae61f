// One frame of the viewer: the GL work, and the whole frame with its window steps.
#pragma once

#include <glad/gl.h>

#include "render/cube_mesh.h"
#include "render/shader_program.h"

struct GLFWwindow;

struct RgbaColour {
  float red, green, blue, alpha;
};

// What every frame clears the colour buffer to; it shows wherever no cube is drawn.
inline constexpr RgbaColour kClearColour{0.2f, 0.3f, 0.3f, 1.0f};

// What every frame draws with; made once at start-up by runViewer.
struct FrameResources {
  const ShaderProgram& program;
  CubeMesh mesh;
  GLuint texture1Id = 0;
  GLuint texture2Id = 0;
};

// Clears, binds both textures, uploads the camera and draws the cube field.
void drawFrame(const FrameResources& resources);

// Escape test, drawFrame, present, then the event poll that runs the callbacks.
void runFrame(GLFWwindow* window, const FrameResources& resources);
