// Ray casting of the cube field for the end-to-end pixel tests; independent of GL.
#include "tests/picture_model.h"

#include <stb_image.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <stdexcept>

#include <glm/gtc/matrix_inverse.hpp>

#include "scene/camera.h"
#include "scene/cube_field.h"
#include "scene/view_state.h"

Picture loadPicture(const std::string& path, int channels) {
  stbi_set_flip_vertically_on_load(1);
  int width = 0;
  int height = 0;
  int stored = 0;
  stbi_uc* pixels = stbi_load(path.c_str(), &width, &height, &stored, channels);
  if (pixels == nullptr) {
    throw std::runtime_error(path + ": " + stbi_failure_reason());
  }
  Picture picture{width, height, channels,
                  std::vector<std::uint8_t>(
                      pixels, pixels + static_cast<std::size_t>(width) * height * channels)};
  stbi_image_free(pixels);
  return picture;
}

namespace {

// Slab test of a model-space ray against the unit cube centred on the origin.
std::optional<std::pair<float, int>> enterCube(const glm::vec3& origin,
                                               const glm::vec3& direction) {
  float enter = -std::numeric_limits<float>::infinity();
  float leave = std::numeric_limits<float>::infinity();
  int face = -1;
  for (int axis = 0; axis < 3; ++axis) {
    if (std::abs(direction[axis]) < 1e-12f) {
      if (std::abs(origin[axis]) > 0.5f) {
        return std::nullopt;
      }
      continue;
    }
    float near = (-0.5f - origin[axis]) / direction[axis];
    float far = (0.5f - origin[axis]) / direction[axis];
    int nearFace = axis * 2;  // entering through the minus side
    if (near > far) {
      std::swap(near, far);
      nearFace = axis * 2 + 1;
    }
    if (near > enter) {
      enter = near;
      face = nearFace;
    }
    leave = std::min(leave, far);
  }
  if (enter > leave || leave < 0 || enter < 0) {
    return std::nullopt;
  }
  return std::pair{enter, face};
}

// Texture coordinates on each face; every face maps the whole picture once.
std::pair<float, float> faceCoordinates(int face, const glm::vec3& p) {
  switch (face / 2) {
    case 2:  // the two z faces: u along x, v along y
      return {p.x + 0.5f, p.y + 0.5f};
    case 0:  // the two x faces: u along y, v against z
      return {p.y + 0.5f, 0.5f - p.z};
    default:  // the two y faces: u along x, v against z
      return {p.x + 0.5f, 0.5f - p.z};
  }
}

}  // namespace

std::optional<SurfaceHit> castPixel(const glm::mat4& view, int x, int y, int viewportWidth,
                                    int viewportHeight) {
  const glm::mat4 inverse = glm::inverse(buildProjectionMatrix() * view);
  // Window rows run downwards, GL's upwards from the viewport's origin at the bottom left.
  const float ndcX =
      (static_cast<float>(x) + 0.5f) / (static_cast<float>(viewportWidth) / 2.0f) - 1.0f;
  const float ndcY =
      1.0f - (static_cast<float>(y) + 0.5f) / (static_cast<float>(viewportHeight) / 2.0f);
  glm::vec4 nearPoint = inverse * glm::vec4(ndcX, ndcY, -1.0f, 1.0f);
  glm::vec4 farPoint = inverse * glm::vec4(ndcX, ndcY, 1.0f, 1.0f);
  nearPoint /= nearPoint.w;
  farPoint /= farPoint.w;
  const glm::vec3 origin(nearPoint);
  const glm::vec3 direction = glm::vec3(farPoint) - origin;  // t in [0, 1] spans near to far

  std::optional<SurfaceHit> best;
  float bestT = std::numeric_limits<float>::infinity();
  const std::size_t cubes = kCubeField.size() / 3;
  for (std::size_t k = 0; k < cubes; ++k) {
    const glm::vec3 centre(kCubeField[3 * k], kCubeField[3 * k + 1], kCubeField[3 * k + 2]);
    // Cheap rejection by the bounding sphere before the exact test in model space.
    const glm::vec3 toCentre = centre - origin;
    const float along = glm::dot(toCentre, direction) / glm::dot(direction, direction);
    const glm::vec3 closest = origin + along * direction - centre;
    if (glm::dot(closest, closest) > 0.76f) {
      continue;
    }
    const glm::mat4 toModel = glm::inverse(
        buildCubeModelMatrix(static_cast<std::uint32_t>(3 * k), centre.x, centre.y, centre.z));
    const glm::vec3 modelOrigin(toModel * glm::vec4(origin, 1.0f));
    const glm::vec3 modelDirection(toModel * glm::vec4(direction, 0.0f));
    const auto entry = enterCube(modelOrigin, modelDirection);
    if (entry && entry->first < bestT && entry->first <= 1.0f) {
      bestT = entry->first;
      const glm::vec3 p = modelOrigin + entry->first * modelDirection;
      const auto [u, v] = faceCoordinates(entry->second, p);
      best = SurfaceHit{static_cast<int>(k), entry->second, u, v};
    }
  }
  return best;
}

bool isFlatAround(const Picture& picture, float u, float v, int radius, int spread) {
  const int cx = static_cast<int>(u * static_cast<float>(picture.width));
  const int cy = static_cast<int>(v * static_cast<float>(picture.height));
  for (int c = 0; c < 3; ++c) {
    int low = 255;
    int high = 0;
    for (int y = cy - radius; y <= cy + radius; ++y) {
      for (int x = cx - radius; x <= cx + radius; ++x) {
        const int tx = std::clamp(x, 0, picture.width - 1);
        const int ty = std::clamp(y, 0, picture.height - 1);
        const int value =
            picture
                .pixels[(static_cast<std::size_t>(ty) * picture.width + tx) * picture.channels + c];
        low = std::min(low, value);
        high = std::max(high, value);
      }
    }
    if (high - low > spread) {
      return false;
    }
  }
  return true;
}

Rgb sampleTexel(const Picture& picture, float u, float v) {
  const int x =
      std::clamp(static_cast<int>(u * static_cast<float>(picture.width)), 0, picture.width - 1);
  const int y =
      std::clamp(static_cast<int>(v * static_cast<float>(picture.height)), 0, picture.height - 1);
  const std::uint8_t* texel =
      &picture.pixels[(static_cast<std::size_t>(y) * picture.width + x) * picture.channels];
  return {static_cast<float>(texel[0]), static_cast<float>(texel[1]), static_cast<float>(texel[2])};
}

namespace {

// A lit pixel is compared only where its neighbours land on the same face and both pictures are
// flat for this many texels around the sample, so filtering and the few-texel difference between
// GL's interpolation and the ray cast cannot change the colour. What is left is 8-bit rounding
// of the blend (at most 1) and of the decoded pixels, so 3 per channel is ample and still far
// below the difference a flip, a swap or a lost image makes.
constexpr int kFlatRadius = 12;
constexpr int kFlatSpread = 2;
constexpr float kColourTolerance = 3.0f;
constexpr int kGridStep = 3;

}  // namespace

Comparison compareWithModel(const ShotPixels& shot, const glm::mat4& view, const Picture& first,
                            const Picture& second, float weightFirst, float weightSecond, int width,
                            int height) {
  Comparison result;
  for (int y = 4; y < height - 4; y += kGridStep) {
    for (int x = 4; x < width - 4; x += kGridStep) {
      const auto hit = castPixel(view, x, y, width, height);
      if (!hit) {
        continue;
      }
      ++result.lit;
      if (hit->u < 0.05f || hit->u > 0.95f || hit->v < 0.05f || hit->v > 0.95f) {
        continue;
      }
      bool inside = true;
      for (const auto& [dx, dy] : {std::pair{-2, 0}, {2, 0}, {0, -2}, {0, 2}}) {
        const auto near = castPixel(view, x + dx, y + dy, width, height);
        inside = inside && near && near->cube == hit->cube && near->face == hit->face;
      }
      if (!inside || !isFlatAround(first, hit->u, hit->v, kFlatRadius, kFlatSpread) ||
          !isFlatAround(second, hit->u, hit->v, kFlatRadius, kFlatSpread)) {
        continue;
      }
      const Rgb a = sampleTexel(first, hit->u, hit->v);
      const Rgb b = sampleTexel(second, hit->u, hit->v);
      const float expected[3] = {weightFirst * a.r + weightSecond * b.r,
                                 weightFirst * a.g + weightSecond * b.g,
                                 weightFirst * a.b + weightSecond * b.b};
      const std::size_t at = (static_cast<std::size_t>(y) * shot.width + x) * 3;
      const int seen[3] = {shot.rgb[at], shot.rgb[at + 1], shot.rgb[at + 2]};
      ++result.compared;
      bool matches = true;
      for (int c = 0; c < 3; ++c) {
        matches =
            matches && std::abs(static_cast<float>(seen[c]) - expected[c]) <= kColourTolerance;
      }
      if (!matches && result.mismatched++ == 0) {
        result.firstMismatch = "at " + std::to_string(x) + "," + std::to_string(y) + " cube " +
                               std::to_string(hit->cube) + " face " + std::to_string(hit->face) +
                               ": saw " + std::to_string(seen[0]) + " " + std::to_string(seen[1]) +
                               " " + std::to_string(seen[2]) + ", expected " +
                               std::to_string(expected[0]) + " " + std::to_string(expected[1]) +
                               " " + std::to_string(expected[2]);
      }
    }
  }
  return result;
}

glm::mat4 viewAfter(const std::vector<std::pair<double, double>>& positions) {
  viewState = ViewState{};
  for (const auto& [px, py] : positions) {
    onCursorMoved(nullptr, px, py);
  }
  const glm::mat4 view = buildViewMatrix();
  viewState = ViewState{};
  return view;
}
