// The camera matrices uploaded every frame.
#pragma once

#include <glm/mat4x4.hpp>

glm::mat4 buildProjectionMatrix();
glm::mat4 buildViewMatrix();
