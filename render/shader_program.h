// The viewer's one GPU program, built from the two GLSL texts.
#pragma once

#include <glad/gl.h>
#include <glm/mat4x4.hpp>

class ShaderProgram {
 public:
  ShaderProgram();
  void activate() const;
  // Names are NUL-terminated literals, handed to GL as they are.
  void setSamplerUnit(const char* name, GLint unit) const;
  void setMatrixUniform(const char* name, const glm::mat4& matrix) const;

  GLuint programId = 0;
};
