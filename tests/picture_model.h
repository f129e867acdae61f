// What the viewer should show, worked out on the CPU: a ray per pixel against every cube of the
// field, and the two pictures sampled where it lands, for comparison with screenshots.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include <glm/mat4x4.hpp>

#include "app/viewer.h"

struct Picture {
  int width = 0;
  int height = 0;
  int channels = 0;
  std::vector<std::uint8_t> pixels;  // bottom row first, as the viewer uploads them
};

// Decodes an image file with the viewer's vertical flip and the given channel count.
Picture loadPicture(const std::string& path, int channels);

struct SurfaceHit {
  int cube = -1;  // index into the field
  int face = -1;  // axis * 2 + side: 0 -x, 1 +x, 2 -y, 3 +y, 4 -z, 5 +z
  float u = 0;
  float v = 0;
};

// The nearest cube face that the ray through the centre of window pixel (x, y) meets, for the
// given view and a viewport covering the whole window; nullopt where only background shows. The
// projection keeps its aspect whatever the viewport's, so another shape stretches the picture.
std::optional<SurfaceHit> castPixel(const glm::mat4& view, int x, int y,
                                    int viewportWidth = kWindowWidth,
                                    int viewportHeight = kWindowHeight);

struct Rgb {
  float r, g, b;
};

// Whether the picture is flat (every channel within `spread`) over the square of `radius` texels
// around (u, v), so that any filtering of it gives the same colour.
bool isFlatAround(const Picture& picture, float u, float v, int radius, int spread);

// The texel at (u, v): v = 0 is the picture's bottom row.
Rgb sampleTexel(const Picture& picture, float u, float v);

// A screenshot's pixels: rows top to bottom, 3 bytes a pixel, `width` pixels a row.
struct ShotPixels {
  int width = 0;
  std::span<const std::uint8_t> rgb;
};

struct Comparison {
  int compared = 0;
  int mismatched = 0;
  int lit = 0;  // screen pixels the ray cast finds a cube under
  std::string firstMismatch;
};

// How the shot compares with `weightFirst` x first picture + `weightSecond` x second, pixel by
// pixel on a grid, in a window of `width` x `height` at the shot's top left whose viewport covers
// all of it. Only pixels whose colour any filtering would give alike are compared; a pixel
// mismatches when a channel is off by more than the tolerance the viewer's tests share.
Comparison compareWithModel(const ShotPixels& shot, const glm::mat4& view, const Picture& first,
                            const Picture& second, float weightFirst, float weightSecond,
                            int width = kWindowWidth, int height = kWindowHeight);

// The view the viewer should show after its cursor callback got these positions, in order,
// replayed through the callback itself; the camera state is left as it was at start.
glm::mat4 viewAfter(const std::vector<std::pair<double, double>>& positions);
