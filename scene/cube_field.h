// The fixed field of cubes and the pass that draws it.
#pragma once

#include <cstdint>
#include <vector>

#include <glm/mat4x4.hpp>

class ShaderProgram;

// 1019 positions, x, y, z each, flat.
extern const std::vector<float> kCubeField;

// (helper B: the model matrix of the cube whose first float sits at floatIndex)
glm::mat4 buildCubeModelMatrix(std::uint32_t floatIndex, float x, float y, float z);

// Uploads "model" and draws the bound cube mesh once per position of the field.
void drawCubeField(const ShaderProgram& program, const std::vector<float>& field = kCubeField);
