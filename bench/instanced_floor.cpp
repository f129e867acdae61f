// The instanced floor: its own vertex shader, with the viewer's fragment shader and mesh.
#include "bench/instanced_floor.h"

#include <cstdint>
#include <vector>

#include <GLFW/glfw3.h>
#include <glm/gtc/type_ptr.hpp>

#include "app/frame.h"
#include "render/cube_mesh.h"
#include "render/shader_sources.h"
#include "scene/camera.h"
#include "scene/cube_field.h"

namespace {

// The viewer's vertex shader with "model" moved from a uniform to attributes 2..5.
const char kInstancedVertexShader[] =
    "#version 330 core\n"
    "layout (location = 0) in vec3 aPos;\n"
    "layout (location = 1) in vec2 aTexCoord;\n"
    "layout (location = 2) in mat4 aModel;\n"
    "out vec2 TexCoord;\n"
    "uniform mat4 view;\n"
    "uniform mat4 projection;\n"
    "void main()\n"
    "{\n"
    "\tgl_Position = projection * view * aModel * vec4(aPos, 1.0f);\n"
    "\tTexCoord = vec2(aTexCoord.x, aTexCoord.y);\n"
    "}\n";

GLuint compiled(GLenum stage, const char* text) {
  const GLuint shader = glCreateShader(stage);
  glShaderSource(shader, 1, &text, nullptr);
  glCompileShader(shader);
  return shader;
}

void clearLikeTheViewer() {
  glClearColor(kClearColour.red, kClearColour.green, kClearColour.blue, kClearColour.alpha);
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
}

}  // namespace

InstancedField::InstancedField(const FrameContext& context) : context_(context) {
  const GLuint vertexShader = compiled(GL_VERTEX_SHADER, kInstancedVertexShader);
  const GLuint fragmentShader = compiled(GL_FRAGMENT_SHADER, kFragmentShaderSource);
  program_ = glCreateProgram();
  glAttachShader(program_, vertexShader);
  glAttachShader(program_, fragmentShader);
  glLinkProgram(program_);
  glDeleteShader(vertexShader);
  glDeleteShader(fragmentShader);
  glUseProgram(program_);
  glUniform1i(glGetUniformLocation(program_, "texture1"), 0);
  glUniform1i(glGetUniformLocation(program_, "texture2"), 1);
  projectionLocation_ = glGetUniformLocation(program_, "projection");
  viewLocation_ = glGetUniformLocation(program_, "view");

  std::vector<glm::mat4> models;
  for (std::uint32_t i = 0; i < kCubeField.size(); i += 3) {
    models.push_back(buildCubeModelMatrix(i, kCubeField[i], kCubeField[i + 1], kCubeField[i + 2]));
  }
  instances_ = static_cast<GLsizei>(models.size());

  glGenVertexArrays(1, &vertexArray_);
  glBindVertexArray(vertexArray_);
  // The viewer's own vertex buffer, read with the viewer's layout.
  constexpr GLsizei kStride = 5 * sizeof(float);
  glBindBuffer(GL_ARRAY_BUFFER, context.mesh.cubeVertexBuffer);
  glVertexAttribPointer(0, 3, GL_FLOAT, GL_FALSE, kStride, nullptr);
  glEnableVertexAttribArray(0);
  glVertexAttribPointer(1, 2, GL_FLOAT, GL_FALSE, kStride,
                        reinterpret_cast<const void*>(3 * sizeof(float)));
  glEnableVertexAttribArray(1);

  glGenBuffers(1, &instanceBuffer_);
  glBindBuffer(GL_ARRAY_BUFFER, instanceBuffer_);
  glBufferData(GL_ARRAY_BUFFER, static_cast<GLsizeiptr>(models.size() * sizeof(glm::mat4)),
               models.data(), GL_STATIC_DRAW);
  for (GLuint column = 0; column < 4; ++column) {
    const GLuint location = 2 + column;
    glVertexAttribPointer(location, 4, GL_FLOAT, GL_FALSE, sizeof(glm::mat4),
                          reinterpret_cast<const void*>(column * sizeof(glm::vec4)));
    glEnableVertexAttribArray(location);
    glVertexAttribDivisor(location, 1);
  }
  glBindVertexArray(0);
}

InstancedField::~InstancedField() {
  glDeleteVertexArrays(1, &vertexArray_);
  glDeleteBuffers(1, &instanceBuffer_);
  glDeleteProgram(program_);
}

void InstancedField::draw() const {
  clearLikeTheViewer();
  glActiveTexture(GL_TEXTURE0);
  glBindTexture(GL_TEXTURE_2D, context_.texture1Id);
  glActiveTexture(GL_TEXTURE1);
  glBindTexture(GL_TEXTURE_2D, context_.texture2Id);
  glUseProgram(program_);
  glUniformMatrix4fv(projectionLocation_, 1, GL_FALSE, glm::value_ptr(buildProjectionMatrix()));
  glUniformMatrix4fv(viewLocation_, 1, GL_FALSE, glm::value_ptr(buildViewMatrix()));
  glBindVertexArray(vertexArray_);
  glDrawArraysInstanced(GL_TRIANGLES, 0, kCubeVertexCount, instances_);
}

void InstancedField::runFrame() const {
  draw();
  glfwSwapBuffers(context_.window);
  glfwPollEvents();
}

void runClearFrame(const FrameContext& context) {
  clearLikeTheViewer();
  glfwSwapBuffers(context.window);
  glfwPollEvents();
}
