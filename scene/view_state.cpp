// Mouse look: turns cursor positions into heading, elevation and a unit look direction.
#include "scene/view_state.h"

#include <cmath>

#include "scene/angles.h"

namespace {
// Degrees per pixel, both axes.
constexpr float kLookSensitivity = 0.1f;
// Headings strictly inside (-70, 70) face away from the field and are refused.
constexpr float kInnerHeadingLimit = 70.0f;
constexpr float kOuterHeadingLimit = 110.0f;
constexpr float kElevationWindow = 30.0f;
// Keeps the look direction off the up vector, where the look-at basis degenerates.
constexpr float kElevationClamp = 89.0f;

// Cursor offsets are formed in double from the widened stored float, then rounded, so a stored
// position that lost bits to float still yields the true distance to the event.
float roundedDifference(double minuend, double subtrahend) {
  return static_cast<float>(minuend - subtrahend);
}
}  // namespace

// Constant-initialised, so it holds its starting values before any code runs.
constinit ViewState viewState;

void onCursorMoved(GLFWwindow* /*window*/, double x, double y) {
  ViewState& view = viewState;

  // Seeding: the first event, wherever it lands, becomes the origin of the windows.
  if (view.awaitingFirstCursor) {
    view.awaitingFirstCursor = false;
    view.acceptedCursorX = static_cast<float>(x);
    view.anchorCursorX = static_cast<float>(x);
    view.acceptedCursorY = static_cast<float>(y);
    view.anchorCursorY = static_cast<float>(y);
  }

  // Candidates are measured from the anchor; screen y grows downwards, elevation upwards.
  const float candidateHeading =
      view.headingReference + kLookSensitivity * roundedDifference(x, view.anchorCursorX);
  const float candidateElevation =
      view.elevationReference + kLookSensitivity * roundedDifference(view.anchorCursorY, y);

  // Windows: a refused event changes nothing, not even the accepted position.
  if (-kInnerHeadingLimit < candidateHeading && candidateHeading < kInnerHeadingLimit) {
    return;
  }
  if (candidateHeading > kOuterHeadingLimit) {
    return;
  }
  if (candidateHeading < -kOuterHeadingLimit) {
    return;
  }
  if (candidateElevation > kElevationWindow) {
    return;
  }
  if (candidateElevation < -kElevationWindow) {
    return;
  }

  // Update from the last accepted position, so movement during refused events is applied now.
  view.heading += kLookSensitivity * roundedDifference(x, view.acceptedCursorX);
  view.elevation += kLookSensitivity * roundedDifference(view.acceptedCursorY, y);
  view.acceptedCursorX = static_cast<float>(x);
  view.acceptedCursorY = static_cast<float>(y);

  // Clamp before the direction, so the direction never comes from an elevation past 89.
  if (view.elevation > kElevationClamp) {
    view.elevation = kElevationClamp;
  } else if (view.elevation < -kElevationClamp) {
    view.elevation = -kElevationClamp;
  }

  // Direction: float radians, double sine and cosine rounded to float, float squares and sum,
  // double square root rounded to float, float reciprocal.
  const float h = view.heading * kDegreesToRadians;
  const float e = view.elevation * kDegreesToRadians;
  const float cosH = static_cast<float>(std::cos(static_cast<double>(h)));
  const float sinH = static_cast<float>(std::sin(static_cast<double>(h)));
  const float cosE = static_cast<float>(std::cos(static_cast<double>(e)));
  const float sinE = static_cast<float>(std::sin(static_cast<double>(e)));
  const float lookX = cosH * cosE;
  const float lookY = sinE;
  const float lookZ = sinH * cosE;
  const float sumOfSquares = lookX * lookX + lookY * lookY + lookZ * lookZ;
  const float length = static_cast<float>(std::sqrt(static_cast<double>(sumOfSquares)));
  const float inverseLength = 1.0f / length;
  view.lookDirection.x = lookX * inverseLength;
  view.lookDirection.y = lookY * inverseLength;
  view.lookDirection.z = lookZ * inverseLength;
}
