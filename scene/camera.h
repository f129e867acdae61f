// The camera matrices uploaded every frame.
#pragma once

#include <glm/mat4x4.hpp>

#include "scene/view_state.h"

// The fixed perspective; the same matrix on every call, whatever the framebuffer's shape.
glm::mat4 buildProjectionMatrix();

// The look-at view from the global viewState as it stands now.
glm::mat4 buildViewMatrix();
// The same from any record, so the matrix is a pure function of plain data.
glm::mat4 buildViewMatrix(const ViewState& state);
