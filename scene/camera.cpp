// Projection and view matrices of the fixed eye.
#include "scene/camera.h"

#include <glm/ext/matrix_clip_space.hpp>
#include <glm/ext/matrix_transform.hpp>

#include "scene/angles.h"

namespace {
constexpr float kVerticalFieldOfViewDegrees = 45.0f;
// 800 / 600 in float; fixed, so a resized window stretches the picture rather than reframing it.
constexpr float kAspectRatio = 1.3333334f;
constexpr float kNearPlane = 0.1f;
constexpr float kFarPlane = 100.0f;
}  // namespace

glm::mat4 buildProjectionMatrix() {
  return glm::perspective(kVerticalFieldOfViewDegrees * kDegreesToRadians, kAspectRatio, kNearPlane,
                          kFarPlane);
}

glm::mat4 buildViewMatrix(const ViewState& state) {
  const glm::vec3 center = state.eyePosition + state.lookDirection;
  return glm::lookAt(state.eyePosition, center, state.upVector);
}

glm::mat4 buildViewMatrix() {
  return buildViewMatrix(viewState);
}
