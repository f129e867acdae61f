// The cube pass: per position, one model matrix, one "model" upload and one draw of the mesh.
#include "scene/cube_field.h"

#include <glad/gl.h>
#include <glm/ext/matrix_transform.hpp>
#include <glm/vec3.hpp>

#include "render/cube_mesh.h"
#include "render/shader_program.h"
#include "scene/angles.h"

namespace {

// Deliberately not of unit length: glm::rotate normalises it.
const glm::vec3 kCubeRotationAxis(1.0f, 0.3f, 0.5f);

// Per float index, not per cube, so cube k turns by 60 k degrees.
constexpr float kDegreesPerFloatIndex = 20.0f;

}  // namespace

glm::mat4 buildCubeModelMatrix(std::uint32_t floatIndex, float x, float y, float z) {
  glm::mat4 model = glm::mat4(1.0f);
  model = glm::translate(model, glm::vec3(x, y, z));
  // Degrees first, then radians: two single-precision products in this order.
  const float degrees = static_cast<float>(floatIndex) * kDegreesPerFloatIndex;
  const float radians = degrees * kDegreesToRadians;
  return glm::rotate(model, radians, kCubeRotationAxis);
}

void drawCubeField(const ShaderProgram& program, const std::vector<float>& field) {
  // The field holds whole positions, so i + 2 stays inside it; an empty one draws nothing.
  for (std::uint32_t i = 0; i < field.size(); i += 3) {
    const glm::mat4 model = buildCubeModelMatrix(i, field[i], field[i + 1], field[i + 2]);
    program.setMatrixUniform("model", model);
    glDrawArrays(GL_TRIANGLES, 0, kCubeVertexCount);
  }
}
