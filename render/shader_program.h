// The viewer's one GPU program, built from the two GLSL texts.
#pragma once

#include <string>

#include <glad/gl.h>
#include <glm/mat4x4.hpp>

class ShaderProgram {
 public:
  // Always completes: compile and link failures are printed on standard output, not raised.
  ShaderProgram();
  // The program object ends with the context; a copy would only alias the same name.
  ShaderProgram(const ShaderProgram&) = delete;
  ShaderProgram& operator=(const ShaderProgram&) = delete;

  void activate() const;
  // Names are NUL-terminated literals, handed to GL as they are.
  void setSamplerUnit(const char* name, GLint unit) const;
  void setMatrixUniform(const char* name, const glm::mat4& matrix) const;

  // Prints one error block when the shader's compile (or, for the label "PROGRAM" exactly, the
  // program's link) did not succeed; silent otherwise.
  static void reportBuildLog(GLuint objectId, std::string label);

  GLuint programId = 0;
};
