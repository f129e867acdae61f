// Builds the program from the two GLSL texts and prints what the driver says when a step fails.
#include "render/shader_program.h"

#include <iostream>

#include <glm/gtc/type_ptr.hpp>

#include "render/shader_sources.h"

namespace {

constexpr GLsizei kBuildLogCapacity = 1024;
constexpr const char* kShaderErrorPrefix = "ERROR::SHADER_COMPILATION_ERROR of type: ";
constexpr const char* kProgramErrorPrefix = "ERROR::PROGRAM_LINKING_ERROR of type: ";
constexpr const char* kBuildLogSeparator =
    "\n -- --------------------------------------------------- -- ";

GLuint compileShader(GLenum stage, const char* text, const char* label) {
  const GLuint shader = glCreateShader(stage);
  // One string and no length array: the text ends at its NUL.
  glShaderSource(shader, 1, &text, nullptr);
  glCompileShader(shader);
  ShaderProgram::reportBuildLog(shader, label);
  return shader;
}

}  // namespace

ShaderProgram::ShaderProgram() {
  const GLuint vertexShader = compileShader(GL_VERTEX_SHADER, kVertexShaderSource, "VERTEX");
  const GLuint fragmentShader =
      compileShader(GL_FRAGMENT_SHADER, kFragmentShaderSource, "FRAGMENT");

  // Nothing here depends on an earlier step succeeding: a failed compile still gets linked, so
  // its link failure is reported too.
  programId = glCreateProgram();
  glAttachShader(programId, vertexShader);
  glAttachShader(programId, fragmentShader);
  glLinkProgram(programId);
  reportBuildLog(programId, "PROGRAM");

  // Still attached, so GL only flags them; they go with the program.
  glDeleteShader(vertexShader);
  glDeleteShader(fragmentShader);
}

void ShaderProgram::reportBuildLog(GLuint objectId, std::string label) {
  // A query that fails writes nothing; starting from "failed" and an empty log still prints a
  // block for it rather than passing it over as a success.
  GLint status = 0;
  GLchar log[kBuildLogCapacity] = {};

  const bool isProgram = label == "PROGRAM";
  if (isProgram) {
    glGetProgramiv(objectId, GL_LINK_STATUS, &status);
  } else {
    glGetShaderiv(objectId, GL_COMPILE_STATUS, &status);
  }
  if (status != 0) {
    return;
  }
  if (isProgram) {
    glGetProgramInfoLog(objectId, kBuildLogCapacity, nullptr, log);
  } else {
    glGetShaderInfoLog(objectId, kBuildLogCapacity, nullptr, log);
  }
  // GL always terminates the log; this only keeps a faulty driver from running the print past it.
  log[kBuildLogCapacity - 1] = '\0';

  std::cout << (isProgram ? kProgramErrorPrefix : kShaderErrorPrefix) << label << "\n"
            << log << kBuildLogSeparator << std::endl;
}

void ShaderProgram::activate() const {
  glUseProgram(programId);
}

void ShaderProgram::setSamplerUnit(const char* name, GLint unit) const {
  glUniform1i(glGetUniformLocation(programId, name), unit);
}

void ShaderProgram::setMatrixUniform(const char* name, const glm::mat4& matrix) const {
  glUniformMatrix4fv(glGetUniformLocation(programId, name), 1, GL_FALSE, glm::value_ptr(matrix));
}
