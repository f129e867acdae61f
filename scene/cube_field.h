// The fixed field of cubes and the pass that draws it.
#pragma once

#include <cstdint>
#include <vector>

#include <glm/mat4x4.hpp>

class ShaderProgram;

// 1019 positions, x, y, z each, flat; generated from tools/cube_field.txt.
extern const std::vector<float> kCubeField;

// The model matrix of the cube whose x, y and z are the floats at floatIndex, floatIndex + 1 and
// floatIndex + 2 of the field: moved to its position, after being turned 20 degrees per float
// index about a fixed axis.
glm::mat4 buildCubeModelMatrix(std::uint32_t floatIndex, float x, float y, float z);

// Uploads "model" and draws the bound cube mesh once per position of the field.
void drawCubeField(const ShaderProgram& program, const std::vector<float>& field = kCubeField);
