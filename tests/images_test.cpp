// The committed pictures: their file formats, and the facts in image_facts.h that tests rely on.
#include <gtest/gtest.h>
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#define STB_IMAGE_IMPLEMENTATION
#define STBI_ONLY_JPEG
#define STBI_ONLY_PNG
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wconversion"
#pragma GCC diagnostic ignored "-Wsign-conversion"
#pragma GCC diagnostic ignored "-Wshadow"
#pragma GCC diagnostic ignored "-Wunused-function"
#include <stb_image.h>
#pragma GCC diagnostic pop

#include "tests/image_facts.h"

namespace {

using namespace image_facts;
using Bytes = std::vector<std::uint8_t>;

const std::string kAssets = ZV_ASSET_DIR;

Bytes readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

struct Decoded {
  int width = 0;
  int height = 0;
  int stored = 0;  // components in the file
  int channels = 0;
  Bytes pixels;  // top row first unless decoded flipped

  const std::uint8_t* at(int x, int y) const {
    return &pixels[(static_cast<std::size_t>(y) * width + x) * channels];
  }
};

Decoded decode(const std::string& path, int channels, bool flip = false) {
  stbi_set_flip_vertically_on_load(flip ? 1 : 0);
  Decoded d;
  stbi_uc* data = stbi_load(path.c_str(), &d.width, &d.height, &d.stored, channels);
  stbi_set_flip_vertically_on_load(0);
  if (data == nullptr) {
    ADD_FAILURE() << path << ": " << stbi_failure_reason();
    return d;
  }
  d.channels = channels;
  d.pixels.assign(data, data + static_cast<std::size_t>(d.width) * d.height * channels);
  stbi_image_free(data);
  return d;
}

int distance(const Rgb8& a, const Rgb8& b) {
  return std::max({std::abs(a.r - b.r), std::abs(a.g - b.g), std::abs(a.b - b.b)});
}

int distanceAt(const Decoded& d, int x, int y, const Rgb8& c) {
  const std::uint8_t* p = d.at(x, y);
  return distance(Rgb8{p[0], p[1], p[2]}, c);
}

struct Colour {
  float r, g, b;
};

Colour blend(const Rgb8& a, float wa, const Rgb8& b, float wb) {
  return {wa * a.r + wb * b.r, wa * a.g + wb * b.g, wa * a.b + wb * b.b};
}

float distance(const Colour& a, const Colour& b) {
  return std::max({std::abs(a.r - b.r), std::abs(a.g - b.g), std::abs(a.b - b.b)});
}

// JPEG marker segments from SOI up to the start of the scan.
struct JpegHeader {
  std::vector<std::uint8_t> markers;
  Bytes frame;  // payload of the first SOFn
  bool wellFormed = false;
};

JpegHeader walkJpeg(const Bytes& file) {
  JpegHeader h;
  std::size_t at = 2;
  while (at + 4 <= file.size() && file[at] == 0xFF) {
    const std::uint8_t marker = file[at + 1];
    const std::size_t length = (file[at + 2] << 8) | file[at + 3];
    h.markers.push_back(marker);
    if (length < 2 || at + 2 + length > file.size()) {
      return h;
    }
    if ((marker & 0xF0) == 0xC0 && marker != 0xC4 && marker != 0xC8 && marker != 0xCC &&
        h.frame.empty()) {
      h.frame.assign(file.begin() + at + 4, file.begin() + at + 2 + length);
    }
    if (marker == 0xDA) {
      h.wellFormed = true;
      return h;
    }
    at += 2 + length;
  }
  return h;
}

TEST(FirstPicture, IsABaselineJpegOf512SquareWithFullResolutionChroma) {
  const Bytes file = readFile(kAssets + "/first.jpg");
  ASSERT_GT(file.size(), 4u);
  EXPECT_EQ(file[0], 0xFF);
  EXPECT_EQ(file[1], 0xD8);
  EXPECT_EQ(file[2], 0xFF);
  EXPECT_EQ(file[file.size() - 2], 0xFF);
  EXPECT_EQ(file[file.size() - 1], 0xD9);

  const JpegHeader h = walkJpeg(file);
  ASSERT_TRUE(h.wellFormed) << "marker segments do not lead to a scan";
  EXPECT_NE(std::find(h.markers.begin(), h.markers.end(), 0xC0), h.markers.end()) << "no SOF0";
  EXPECT_EQ(std::find(h.markers.begin(), h.markers.end(), 0xC2), h.markers.end()) << "progressive";
  // Precision, height, width, component count, then (id, sampling, table) per component.
  ASSERT_EQ(h.frame.size(), 6u + 3u * 3u);
  EXPECT_EQ(h.frame[0], 8);
  EXPECT_EQ((h.frame[1] << 8) | h.frame[2], kSize);
  EXPECT_EQ((h.frame[3] << 8) | h.frame[4], kSize);
  EXPECT_EQ(h.frame[5], 3);
  for (int c = 0; c < 3; ++c) {
    EXPECT_EQ(h.frame[6 + 3 * c + 1], 0x11) << "component " << c << " is subsampled";
  }

  const Decoded d = decode(kAssets + "/first.jpg", 3);
  EXPECT_EQ(d.width, kSize);
  EXPECT_EQ(d.height, kSize);
  EXPECT_EQ(d.stored, 3);
}

TEST(SecondPicture, IsAn8BitRgbaPngOf512Square) {
  const Bytes file = readFile(kAssets + "/second.png");
  const Bytes signature = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  ASSERT_GT(file.size(), 33u);
  ASSERT_TRUE(std::equal(signature.begin(), signature.end(), file.begin()));
  ASSERT_EQ(std::string(file.begin() + 12, file.begin() + 16), "IHDR");
  auto word = [&](std::size_t at) {
    return (file[at] << 24) | (file[at + 1] << 16) | (file[at + 2] << 8) | file[at + 3];
  };
  EXPECT_EQ(word(16), kSize);
  EXPECT_EQ(word(20), kSize);
  EXPECT_EQ(file[24], 8) << "bit depth";
  EXPECT_EQ(file[25], 6) << "colour type";
  EXPECT_EQ(file[28], 0) << "interlaced";

  const Decoded d = decode(kAssets + "/second.png", 4);
  EXPECT_EQ(d.width, kSize);
  EXPECT_EQ(d.height, kSize);
  EXPECT_EQ(d.stored, 4);
}

// Each flat box, and a band of 12 pixels around it inside the picture, holds the quadrant's
// colour and alpha: the margin that the end-to-end tests' flatness check needs.
void expectFlatBoxes(const Decoded& d, const std::array<Region, 4>& regions, int tolerance,
                     const char* name) {
  ASSERT_EQ(d.width, kSize);
  for (int q = 0; q < 4; ++q) {
    const PixelBox& b = regions[q].flat;
    // At least 96 pixels each way, so a face seen at 10 pixels still has samples inside.
    EXPECT_GE(b.x1 - b.x0, 96) << name << " quadrant " << q;
    EXPECT_GE(b.y1 - b.y0, 96) << name << " quadrant " << q;
    int worst = 0;
    int worstAlpha = 0;
    for (int y = std::max(0, b.y0 - 12); y < std::min(kSize, b.y1 + 12); ++y) {
      for (int x = std::max(0, b.x0 - 12); x < std::min(kSize, b.x1 + 12); ++x) {
        worst = std::max(worst, distanceAt(d, x, y, regions[q].colour));
        if (d.channels == 4) {
          worstAlpha = std::max(worstAlpha, std::abs(d.at(x, y)[3] - regions[q].alpha));
        }
      }
    }
    EXPECT_LE(worst, tolerance) << name << " quadrant " << q;
    EXPECT_EQ(worstAlpha, 0) << name << " quadrant " << q;
  }
}

TEST(FirstPicture, FlatBoxesHoldTheQuadrantColours) {
  expectFlatBoxes(decode(kAssets + "/first.jpg", 3), kFirst, kJpegTolerance, "first");
}

TEST(SecondPicture, FlatBoxesHoldTheQuadrantColoursAndAlpha) {
  expectFlatBoxes(decode(kAssets + "/second.png", 4), kSecond, 0, "second");
}

// The viewer flips rows on decode, so v = 0 is the bottom row; toUv must agree with that.
TEST(Pictures, UvBoxesNameTheSameTexelsAsTheViewersFlippedDecode) {
  const Decoded first = decode(kAssets + "/first.jpg", 3, true);
  const Decoded second = decode(kAssets + "/second.png", 4, true);
  ASSERT_EQ(first.width, kSize);
  ASSERT_EQ(second.width, kSize);
  for (int q = 0; q < 4; ++q) {
    for (const auto& [d, regions] : {std::pair{&first, &kFirst}, std::pair{&second, &kSecond}}) {
      const UvBox uv = toUv((*regions)[q].flat);
      const int x = static_cast<int>((uv.u0 + uv.u1) / 2 * kSize);
      const int row = static_cast<int>((uv.v0 + uv.v1) / 2 * kSize);  // bottom row first
      EXPECT_LE(distanceAt(*d, x, row, (*regions)[q].colour), kJpegTolerance) << "quadrant " << q;
    }
  }
}

// Strokes are present but thin, so most of each face is flat colour.
void expectStrokeShare(const Decoded& d, const std::array<Region, 4>& regions, const char* name) {
  ASSERT_EQ(d.width, kSize);
  int strokes = 0;
  for (int y = 0; y < kSize; ++y) {
    for (int x = 0; x < kSize; ++x) {
      const int q = (y >= kSize / 2 ? 2 : 0) + (x >= kSize / 2 ? 1 : 0);
      strokes += distanceAt(d, x, y, regions[q].colour) > kJpegTolerance ? 1 : 0;
    }
  }
  const double share = static_cast<double>(strokes) / (kSize * kSize);
  EXPECT_GT(share, 0.03) << name;
  EXPECT_LT(share, 0.15) << name;
}

TEST(Pictures, StrokesCoverLittleOfThePicture) {
  expectStrokeShare(decode(kAssets + "/first.jpg", 3), kFirst, "first");
  expectStrokeShare(decode(kAssets + "/second.png", 4), kSecond, "second");
}

// The arrowhead is the widest part of the arrow; where it lies says which way the arrow points.
TEST(FirstPicture, ArrowPointsUp) {
  const Decoded d = decode(kAssets + "/first.jpg", 3);
  ASSERT_EQ(d.width, kSize);
  int top = kSize, bottom = -1, widestRow = -1, widest = 0;
  for (int y = 0; y < kSize; ++y) {
    int width = 0;
    for (int x = 0; x < kSize; ++x) {
      width += distanceAt(d, x, y, {255, 255, 255}) <= 8 ? 1 : 0;
    }
    if (width > 0) {
      top = std::min(top, y);
      bottom = y;
    }
    if (width > widest) {
      widest = width;
      widestRow = y;
    }
  }
  ASSERT_GE(bottom, 0) << "no arrow";
  EXPECT_LT(widestRow, (top + bottom) / 2);
  EXPECT_GT(bottom - top, kSize / 2) << "arrow too short to see";
}

TEST(SecondPicture, ArrowPointsRight) {
  const Decoded d = decode(kAssets + "/second.png", 4);
  ASSERT_EQ(d.width, kSize);
  int left = kSize, right = -1, widestColumn = -1, widest = 0;
  for (int x = 0; x < kSize; ++x) {
    int height = 0;
    for (int y = 0; y < kSize; ++y) {
      height += distanceAt(d, x, y, {20, 20, 60}) == 0 ? 1 : 0;
    }
    if (height > 0) {
      left = std::min(left, x);
      right = x;
    }
    if (height > widest) {
      widest = height;
      widestColumn = x;
    }
  }
  ASSERT_GE(right, 0) << "no arrow";
  EXPECT_GT(widestColumn, (left + right) / 2);
  EXPECT_GT(right - left, kSize / 2) << "arrow too short to see";
}

TEST(Pictures, QuadrantColoursAreFarApartSoFlipsAndMirrorsShow) {
  for (const auto* regions : {&kFirst, &kSecond}) {
    for (int a = 0; a < 4; ++a) {
      for (int b = a + 1; b < 4; ++b) {
        // Even at a weight of 0.2 this stays well above the end-to-end tolerance of 3.
        EXPECT_GE(distance((*regions)[a].colour, (*regions)[b].colour), 60)
            << "quadrants " << a << " and " << b;
      }
    }
  }
}

// The true blend against what likely faults would draw instead, quadrant by quadrant.
TEST(Pictures, BlendDiffersFromBackgroundAndFromEveryLikelyFault) {
  const Colour background{0.2f * 255, 0.3f * 255, 0.3f * 255};
  constexpr int kFlipped[4] = {kBottomLeft, kBottomRight, kTopLeft, kTopRight};
  constexpr int kMirrored[4] = {kTopRight, kTopLeft, kBottomRight, kBottomLeft};
  constexpr float kApart = 8.0f;
  for (int q = 0; q < 4; ++q) {
    const Rgb8 a = kFirst[q].colour;
    const Rgb8 b = kSecond[q].colour;
    const Colour right = blend(a, kFirstWeight, b, kSecondWeight);
    EXPECT_GE(distance(right, background), kApart) << q;
    for (int other = q + 1; other < 4; ++other) {
      EXPECT_GE(distance(right, blend(kFirst[other].colour, kFirstWeight, kSecond[other].colour,
                                      kSecondWeight)),
                kApart)
          << q << " vs " << other;
    }
    const float alpha = kSecond[q].alpha / 255.0f;
    const Rgb8 premultiplied{static_cast<std::uint8_t>(b.r * alpha),
                             static_cast<std::uint8_t>(b.g * alpha),
                             static_cast<std::uint8_t>(b.b * alpha)};
    const std::pair<const char*, Colour> faults[] = {
        {"first flipped", blend(kFirst[kFlipped[q]].colour, kFirstWeight, b, kSecondWeight)},
        {"second flipped", blend(a, kFirstWeight, kSecond[kFlipped[q]].colour, kSecondWeight)},
        {"first mirrored", blend(kFirst[kMirrored[q]].colour, kFirstWeight, b, kSecondWeight)},
        {"second mirrored", blend(a, kFirstWeight, kSecond[kMirrored[q]].colour, kSecondWeight)},
        {"weights swapped", blend(a, kSecondWeight, b, kFirstWeight)},
        {"first alone", blend(a, 1.0f, b, 0.0f)},
        {"second alone", blend(a, 0.0f, b, 1.0f)},
        {"second lost", blend(a, kFirstWeight, b, 0.0f)},
    };
    for (const auto& [name, wrong] : faults) {
      EXPECT_GE(distance(right, wrong), kApart) << name << " in quadrant " << q;
    }
    // Alpha is not to be applied; where it is well below 255 that must change the colour.
    if (kSecond[q].alpha < 200) {
      EXPECT_GE(distance(right, blend(a, kFirstWeight, premultiplied, kSecondWeight)), kApart)
          << "alpha applied in quadrant " << q;
    }
    // Red and blue swapped in upload must show in every quadrant.
    EXPECT_GE(std::abs(right.r - right.b), kApart) << q;
  }
}

TEST(SecondPicture, AlphaVariesByRegionDownToNothing) {
  std::vector<int> alphas;
  for (const Region& r : kSecond) {
    alphas.push_back(r.alpha);
  }
  std::sort(alphas.begin(), alphas.end());
  EXPECT_EQ(std::unique(alphas.begin(), alphas.end()) - alphas.begin(), 4);
  EXPECT_EQ(alphas.front(), 0);
  EXPECT_EQ(alphas.back(), 255);
  for (const Region& r : kSecond) {
    // Colour kept where alpha is 0, so a viewer that ignores alpha still shows it.
    EXPECT_GE(std::max({r.colour.r, r.colour.g, r.colour.b}), 100);
  }
}

}  // namespace
