// What tests may rely on in the two committed pictures: quadrant colours, alpha and flat areas.
#pragma once

#include <array>
#include <cstdint>

namespace image_facts {

inline constexpr int kSize = 512;  // both pictures are kSize x kSize

struct Rgb8 {
  std::uint8_t r, g, b;
};

// Pixel columns [x0, x1) and rows [y0, y1), row 0 being the top row as stored in the file (the
// viewer flips on decode, so that row ends up at v = 1).
struct PixelBox {
  int x0, y0, x1, y1;
};

// The same box in texture coordinates, v = 0 at the picture's bottom.
struct UvBox {
  float u0, v0, u1, v1;
};

constexpr UvBox toUv(const PixelBox& box) {
  constexpr float size = static_cast<float>(kSize);
  return {static_cast<float>(box.x0) / size, 1.0f - static_cast<float>(box.y1) / size,
          static_cast<float>(box.x1) / size, 1.0f - static_cast<float>(box.y0) / size};
}

enum Quadrant { kTopLeft, kTopRight, kBottomLeft, kBottomRight };

struct Region {
  Rgb8 colour;
  std::uint8_t alpha;  // 255 throughout the first picture, which has no alpha
  PixelBox flat;       // every pixel in here is `colour`, at least 12 pixels clear of any edge
};

// Indexed by Quadrant. Red, green, blue, yellow; a white arrow pointing up runs down the middle
// and a black "1" sits across the border of the two right-hand quadrants.
inline constexpr std::array<Region, 4> kFirst = {{
    {{220, 30, 40}, 255, {16, 16, 160, 240}},
    {{30, 180, 60}, 255, {352, 16, 496, 160}},
    {{30, 60, 210}, 255, {16, 272, 224, 496}},
    {{240, 200, 20}, 255, {288, 360, 496, 496}},
}};

// Indexed by Quadrant. Cyan, magenta, orange, light grey, alpha falling by quadrant to 0; a dark
// arrow pointing right runs along the middle and a black "2" sits across the lower border.
inline constexpr std::array<Region, 4> kSecond = {{
    {{20, 200, 210}, 255, {16, 16, 240, 224}},
    {{210, 40, 190}, 170, {272, 16, 496, 160}},
    {{250, 140, 20}, 85, {16, 288, 184, 496}},
    {{235, 235, 235}, 0, {336, 352, 496, 496}},
}};

// How far a decoded JPEG pixel inside a flat box may be from its colour, per channel; the PNG is
// exact.
inline constexpr int kJpegTolerance = 2;

// The viewer's weights: 0.8 x first + 0.2 x second, alpha ignored.
inline constexpr float kFirstWeight = 0.8f;
inline constexpr float kSecondWeight = 0.2f;

}  // namespace image_facts
