// The benchmark's lower bounds for a frame: clear and swap only, and the whole field in one
// instanced draw. Neither exists in the viewer.
#pragma once

#include <glad/gl.h>

#include "bench/frame_context.h"

// One draw of all the field's cubes: same mesh buffer, textures, blend and model matrices as
// the viewer, but the matrices travel as a per-instance attribute.
class InstancedField {
 public:
  // Needs the viewer's mesh and textures already made, on the current context.
  explicit InstancedField(const FrameContext& context);
  InstancedField(const InstancedField&) = delete;
  InstancedField& operator=(const InstancedField&) = delete;
  ~InstancedField();

  // The same clear, bindings and camera as drawFrame, then one glDrawArraysInstanced.
  void draw() const;
  // draw, then the viewer frame's swap and poll.
  void runFrame() const;

 private:
  const FrameContext& context_;
  GLuint program_ = 0;
  GLuint vertexArray_ = 0;
  GLuint instanceBuffer_ = 0;
  GLint projectionLocation_ = -1;
  GLint viewLocation_ = -1;
  GLsizei instances_ = 0;
};

// Clears as the viewer does, then swaps and polls.
void runClearFrame(const FrameContext& context);
