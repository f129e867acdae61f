// Draws the viewer's two pictures and writes them as assets: make_images <output-dir>.

#include <array>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#define STB_IMAGE_WRITE_IMPLEMENTATION
#include <stb_image_write.h>

#include "tools/write_whole_file.h"

namespace {

constexpr int kSize = 512;
constexpr int kHalf = kSize / 2;
// Every edge lies on the 8-pixel grid, so each JPEG block is one flat colour and decodes without
// ringing; the quadrant interiors then stay exactly flat.
constexpr int kStep = 8;
constexpr int kGlyphCell = 24;

struct Rgba {
  std::uint8_t r, g, b, a;
};

class Canvas {
 public:
  Canvas() : pixels_(static_cast<std::size_t>(kSize) * kSize) {}

  // Fills columns [x0, x1) of rows [y0, y1), row 0 being the top of the picture.
  void fill(int x0, int y0, int x1, int y1, Rgba colour) {
    for (int y = y0; y < y1; ++y) {
      for (int x = x0; x < x1; ++x) {
        pixels_[static_cast<std::size_t>(y) * kSize + x] = colour;
      }
    }
  }

  void quadrants(Rgba topLeft, Rgba topRight, Rgba bottomLeft, Rgba bottomRight) {
    fill(0, 0, kHalf, kHalf, topLeft);
    fill(kHalf, 0, kSize, kHalf, topRight);
    fill(0, kHalf, kHalf, kSize, bottomLeft);
    fill(kHalf, kHalf, kSize, kSize, bottomRight);
  }

  // A 5x7 block glyph, '#' marking filled cells, with its top-left corner at (x, y).
  void glyph(const std::array<std::string_view, 7>& rows, int x, int y, Rgba colour) {
    for (int row = 0; row < 7; ++row) {
      for (int column = 0; column < 5; ++column) {
        if (rows[row][column] == '#') {
          const int left = x + column * kGlyphCell;
          const int top = y + row * kGlyphCell;
          fill(left, top, left + kGlyphCell, top + kGlyphCell, colour);
        }
      }
    }
  }

  std::vector<std::uint8_t> bytes(int channels) const {
    std::vector<std::uint8_t> out;
    out.reserve(pixels_.size() * channels);
    for (const Rgba& p : pixels_) {
      out.insert(out.end(), {p.r, p.g, p.b});
      if (channels == 4) {
        out.push_back(p.a);
      }
    }
    return out;
  }

 private:
  std::vector<Rgba> pixels_;
};

constexpr std::array<std::string_view, 7> kOne = {"..#..", ".##..", "..#..", "..#..",
                                                  "..#..", "..#..", ".###."};
constexpr std::array<std::string_view, 7> kTwo = {".###.", "#...#", "....#", "...#.",
                                                  "..#..", ".#...", "#####"};

// Red, green, blue and yellow quadrants; a white arrow up the middle pointing to the top, and a
// black "1" across the right-hand border of the quadrants.
Canvas drawFirst() {
  Canvas c;
  c.quadrants({220, 30, 40, 255}, {30, 180, 60, 255}, {30, 60, 210, 255}, {240, 200, 20, 255});
  const Rgba white{255, 255, 255, 255};
  c.fill(240, 144, 272, 456, white);  // shaft
  for (int i = 0; i < 10; ++i) {      // stepped head, tip at row 64
    const int half = kStep + kStep * i;
    const int top = 64 + kStep * i;
    c.fill(kHalf - half, top, kHalf + half, top + kStep, white);
  }
  c.glyph(kOne, 328, 176, {0, 0, 0, 255});
  return c;
}

// Cyan, magenta, orange and light grey quadrants whose alpha falls 255, 170, 85, 0 in reading
// order; a dark arrow along the middle pointing right, and a black "2" across the lower border.
Canvas drawSecond() {
  Canvas c;
  c.quadrants({20, 200, 210, 255}, {210, 40, 190, 170}, {250, 140, 20, 85}, {235, 235, 235, 0});
  const Rgba dark{20, 20, 60, 255};
  c.fill(56, 240, 376, 272, dark);  // shaft
  for (int i = 0; i < 10; ++i) {    // stepped head, tip at column 448
    const int half = kStep + kStep * i;
    const int right = 448 - kStep * i;
    c.fill(right - kStep, kHalf - half, right, kHalf + half, dark);
  }
  c.glyph(kTwo, 200, 304, {0, 0, 0, 255});
  return c;
}

void appendBytes(void* context, void* data, int size) {
  auto* out = static_cast<std::vector<std::uint8_t>*>(context);
  const auto* begin = static_cast<const std::uint8_t*>(data);
  out->insert(out->end(), begin, begin + size);
}

struct Encoded {
  std::string name;
  std::vector<std::uint8_t> bytes;
};

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: make_images <output-dir>\n");
    return 2;
  }
  const std::string dir = argv[1];

  // Both are encoded before anything is written, so an encoder failure leaves the directory as
  // it was.
  std::array<Encoded, 2> files{Encoded{"first.jpg", {}}, Encoded{"second.png", {}}};
  const std::vector<std::uint8_t> first = drawFirst().bytes(3);
  const std::vector<std::uint8_t> second = drawSecond().bytes(4);
  // Quality above 90 keeps full-resolution chroma, which the flat colour edges need.
  if (stbi_write_jpg_to_func(appendBytes, &files[0].bytes, kSize, kSize, 3, first.data(), 95) ==
      0) {
    std::fprintf(stderr, "%s/first.jpg: the JPEG encoder failed\n", dir.c_str());
    return 1;
  }
  if (stbi_write_png_to_func(appendBytes, &files[1].bytes, kSize, kSize, 4, second.data(),
                             kSize * 4) == 0) {
    std::fprintf(stderr, "%s/second.png: the PNG encoder failed\n", dir.c_str());
    return 1;
  }
  for (const Encoded& file : files) {
    const std::string reason = writeWholeFile(dir + "/" + file.name, file.bytes);
    if (!reason.empty()) {
      std::fprintf(stderr, "%s/%s: %s\n", dir.c_str(), file.name.c_str(), reason.c_str());
      return 1;
    }
  }
  return 0;
}
