// The one unit cube mesh that every draw uses.
#pragma once

#include <glad/gl.h>

struct CubeMesh {
  GLuint cubeVertexArray = 0;
  GLuint cubeVertexBuffer = 0;
};

CubeMesh createCubeMesh();
void deleteCubeMesh(const CubeMesh& mesh);
