// The camera and mouse-look record, and the cursor callback that alone writes it.
#pragma once

#include <glm/vec3.hpp>

struct GLFWwindow;

struct ViewState {
  // (helper C fills in the fields and their initial values)
};

// The one camera record of the viewer; written only by onCursorMoved.
extern ViewState viewState;

// Cursor-position callback installed on the viewer's window.
void onCursorMoved(GLFWwindow* window, double x, double y);
