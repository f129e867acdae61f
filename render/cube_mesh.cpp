// The unit cube as a plain triangle list: its vertex table, its upload and its deletion.
#include "render/cube_mesh.h"

#include <cstddef>
#include <cstdint>
#include <iterator>

// Six faces (z-, z+, x-, x+, y-, y+) of two triangles each, interleaved position and texture
// coordinate. Every value is exact in binary, so the uploaded bytes are fixed.
static const float kCubeVertices[] = {
    // x     y      z      u     v
    -0.5f, -0.5f, -0.5f, 0.0f, 0.0f,  //
    0.5f,  -0.5f, -0.5f, 1.0f, 0.0f,  //
    0.5f,  0.5f,  -0.5f, 1.0f, 1.0f,  //
    0.5f,  0.5f,  -0.5f, 1.0f, 1.0f,  //
    -0.5f, 0.5f,  -0.5f, 0.0f, 1.0f,  //
    -0.5f, -0.5f, -0.5f, 0.0f, 0.0f,  //

    -0.5f, -0.5f, 0.5f,  0.0f, 0.0f,  //
    0.5f,  -0.5f, 0.5f,  1.0f, 0.0f,  //
    0.5f,  0.5f,  0.5f,  1.0f, 1.0f,  //
    0.5f,  0.5f,  0.5f,  1.0f, 1.0f,  //
    -0.5f, 0.5f,  0.5f,  0.0f, 1.0f,  //
    -0.5f, -0.5f, 0.5f,  0.0f, 0.0f,  //

    -0.5f, 0.5f,  0.5f,  1.0f, 0.0f,  //
    -0.5f, 0.5f,  -0.5f, 1.0f, 1.0f,  //
    -0.5f, -0.5f, -0.5f, 0.0f, 1.0f,  //
    -0.5f, -0.5f, -0.5f, 0.0f, 1.0f,  //
    -0.5f, -0.5f, 0.5f,  0.0f, 0.0f,  //
    -0.5f, 0.5f,  0.5f,  1.0f, 0.0f,  //

    0.5f,  0.5f,  0.5f,  1.0f, 0.0f,  //
    0.5f,  0.5f,  -0.5f, 1.0f, 1.0f,  //
    0.5f,  -0.5f, -0.5f, 0.0f, 1.0f,  //
    0.5f,  -0.5f, -0.5f, 0.0f, 1.0f,  //
    0.5f,  -0.5f, 0.5f,  0.0f, 0.0f,  //
    0.5f,  0.5f,  0.5f,  1.0f, 0.0f,  //

    -0.5f, -0.5f, -0.5f, 0.0f, 1.0f,  //
    0.5f,  -0.5f, -0.5f, 1.0f, 1.0f,  //
    0.5f,  -0.5f, 0.5f,  1.0f, 0.0f,  //
    0.5f,  -0.5f, 0.5f,  1.0f, 0.0f,  //
    -0.5f, -0.5f, 0.5f,  0.0f, 0.0f,  //
    -0.5f, -0.5f, -0.5f, 0.0f, 1.0f,  //

    -0.5f, 0.5f,  -0.5f, 0.0f, 1.0f,  //
    0.5f,  0.5f,  -0.5f, 1.0f, 1.0f,  //
    0.5f,  0.5f,  0.5f,  1.0f, 0.0f,  //
    0.5f,  0.5f,  0.5f,  1.0f, 0.0f,  //
    -0.5f, 0.5f,  0.5f,  0.0f, 0.0f,  //
    -0.5f, 0.5f,  -0.5f, 0.0f, 1.0f,  //
};

namespace {

constexpr std::size_t kFloatsPerVertex = 5;
constexpr GLsizei kVertexStride = kFloatsPerVertex * sizeof(float);
constexpr std::uintptr_t kTexCoordOffset = 3 * sizeof(float);

static_assert(std::size(kCubeVertices) % kFloatsPerVertex == 0);

}  // namespace

const GLsizei kCubeVertexCount = static_cast<GLsizei>(std::size(kCubeVertices) / kFloatsPerVertex);

CubeMesh createCubeMesh() {
  CubeMesh mesh;
  glGenVertexArrays(1, &mesh.cubeVertexArray);
  glGenBuffers(1, &mesh.cubeVertexBuffer);
  glBindVertexArray(mesh.cubeVertexArray);
  glBindBuffer(GL_ARRAY_BUFFER, mesh.cubeVertexBuffer);
  glBufferData(GL_ARRAY_BUFFER, static_cast<GLsizeiptr>(sizeof(kCubeVertices)), kCubeVertices,
               GL_STATIC_DRAW);
  glVertexAttribPointer(0, 3, GL_FLOAT, GL_FALSE, kVertexStride, nullptr);
  glEnableVertexAttribArray(0);
  glVertexAttribPointer(1, 2, GL_FLOAT, GL_FALSE, kVertexStride,
                        reinterpret_cast<const void*>(kTexCoordOffset));
  glEnableVertexAttribArray(1);
  // Left bound: the frame binds the array again before every cube pass, and nothing in between
  // binds another.
  return mesh;
}

void deleteCubeMesh(const CubeMesh& mesh) {
  glDeleteVertexArrays(1, &mesh.cubeVertexArray);
  glDeleteBuffers(1, &mesh.cubeVertexBuffer);
}
