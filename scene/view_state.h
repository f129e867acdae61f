// The camera and mouse-look record, and the cursor callback that alone writes it.
#pragma once

#include <glm/vec3.hpp>

struct GLFWwindow;

struct ViewState {
  glm::vec3 eyePosition{0.0f, 0.0f, 3.0f};
  glm::vec3 lookDirection{0.0f, 0.0f, -1.0f};
  glm::vec3 upVector{0.0f, 1.0f, 0.0f};
  // Degrees; -90 looks along -z. Never wrapped or clamped.
  float heading = -90.0f;
  // Degrees; positive looks up. Kept within [-89, 89].
  float elevation = 0.0f;
  // Cursor position, in window pixels, of the last event that was applied.
  float acceptedCursorX = 400.0f;
  float acceptedCursorY = 300.0f;
  // Cursor position of the first event, the origin of the angular windows. The first event
  // overwrites these before they are read; they start as copies so no value is invented here.
  float anchorCursorX = acceptedCursorX;
  float anchorCursorY = acceptedCursorY;
  // The heading and elevation that belong to the anchor.
  float headingReference = heading;
  float elevationReference = elevation;
  bool awaitingFirstCursor = true;
};

// The one camera record of the viewer; written only by onCursorMoved.
extern ViewState viewState;

// Cursor-position callback installed on the viewer's window.
void onCursorMoved(GLFWwindow* window, double x, double y);
