// The one unit cube mesh that every draw uses.
#pragma once

#include <glad/gl.h>

struct CubeMesh {
  GLuint cubeVertexArray = 0;
  GLuint cubeVertexBuffer = 0;
};

// The vertices of the mesh, as every draw of it counts them: the length of its vertex table.
extern const GLsizei kCubeVertexCount;

CubeMesh createCubeMesh();
void deleteCubeMesh(const CubeMesh& mesh);
