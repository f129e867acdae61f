// The committed pictures, for what the packer does not check: chroma, interlacing, arrows, alpha.
#include <gtest/gtest.h>
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <set>
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

#include "tests/file_bytes.h"

namespace {

// Their size, format and component count are the packer's to check: every build packs them, and
// refuses them otherwise. Here the loops only follow what decodes.
const std::string kAssets = ZV_ASSET_DIR;

struct Decoded {
  int width = 0;
  int height = 0;
  int channels = 0;
  Bytes pixels;  // top row first

  const std::uint8_t* at(int x, int y) const {
    return &pixels[(static_cast<std::size_t>(y) * width + x) * channels];
  }
};

Decoded decode(const std::string& path, int channels) {
  Decoded d;
  int stored = 0;
  stbi_uc* data = stbi_load(path.c_str(), &d.width, &d.height, &stored, channels);
  if (data == nullptr) {
    ADD_FAILURE() << path << ": " << stbi_failure_reason();
    return d;
  }
  d.channels = channels;
  d.pixels.assign(data, data + static_cast<std::size_t>(d.width) * d.height * channels);
  stbi_image_free(data);
  return d;
}

// Per channel, the largest difference from an 8-bit colour.
int distanceAt(const Decoded& d, int x, int y, std::uint8_t r, std::uint8_t g, std::uint8_t b) {
  const std::uint8_t* p = d.at(x, y);
  return std::max({std::abs(p[0] - r), std::abs(p[1] - g), std::abs(p[2] - b)});
}

// The payload of the first frame header (SOFn), read through the segments before the scan.
Bytes jpegFrame(const Bytes& file) {
  std::size_t at = 2;
  while (at + 4 <= file.size() && file[at] == 0xFF) {
    const std::uint8_t marker = file[at + 1];
    const std::size_t length = (file[at + 2] << 8) | file[at + 3];
    if (length < 2 || at + 2 + length > file.size() || marker == 0xDA) {
      break;
    }
    if ((marker & 0xF0) == 0xC0 && marker != 0xC4 && marker != 0xC8 && marker != 0xCC) {
      return Bytes(file.begin() + at + 4, file.begin() + at + 2 + length);
    }
    at += 2 + length;
  }
  return {};
}

TEST(FirstPicture, KeepsItsChromaAtFullResolution) {
  const Bytes frame = jpegFrame(fileBytes(kAssets + "/first.jpg"));
  // Precision, height, width, component count, then (id, sampling, table) per component.
  ASSERT_GE(frame.size(), 6u) << "no frame header";
  const int components = frame[5];
  ASSERT_EQ(frame.size(), 6u + 3u * components) << "a frame header of the wrong length";
  for (int c = 0; c < components; ++c) {
    EXPECT_EQ(frame[6 + 3 * c + 1], 0x11) << "component " << c << " is subsampled";
  }
}

TEST(SecondPicture, IsNotInterlaced) {
  const Bytes file = fileBytes(kAssets + "/second.png");
  ASSERT_GT(file.size(), 28u);
  ASSERT_EQ(std::string(file.begin() + 12, file.begin() + 16), "IHDR");
  EXPECT_EQ(file[28], 0) << "interlace method";
}

// The arrowhead is the widest part of the arrow; where it lies says which way the arrow points.
TEST(FirstPicture, ArrowPointsUp) {
  const Decoded d = decode(kAssets + "/first.jpg", 3);
  int top = d.height, bottom = -1, widestRow = -1, widest = 0;
  for (int y = 0; y < d.height; ++y) {
    int width = 0;
    for (int x = 0; x < d.width; ++x) {
      width += distanceAt(d, x, y, 255, 255, 255) <= 8 ? 1 : 0;
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
  EXPECT_GT(bottom - top, d.height / 2) << "arrow too short to see";
}

TEST(SecondPicture, ArrowPointsRight) {
  const Decoded d = decode(kAssets + "/second.png", 4);
  int left = d.width, right = -1, widestColumn = -1, widest = 0;
  for (int x = 0; x < d.width; ++x) {
    int height = 0;
    for (int y = 0; y < d.height; ++y) {
      height += distanceAt(d, x, y, 20, 20, 60) == 0 ? 1 : 0;
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
  EXPECT_GT(right - left, d.width / 2) << "arrow too short to see";
}

// The viewer drops the alpha: only a picture whose alpha runs down to nothing, over colours kept
// bright, shows on screen whether it did.
TEST(SecondPicture, AlphaRunsFromOpaqueDownToNothingOverBrightColours) {
  const Decoded d = decode(kAssets + "/second.png", 4);
  std::set<int> alphas;
  int clear = 0;
  int clearAndBright = 0;
  for (int y = 0; y < d.height; ++y) {
    for (int x = 0; x < d.width; ++x) {
      const std::uint8_t* p = d.at(x, y);
      alphas.insert(p[3]);
      if (p[3] == 0) {
        ++clear;
        clearAndBright += std::max({p[0], p[1], p[2]}) >= 100 ? 1 : 0;
      }
    }
  }
  for (const int alpha : {0, 85, 170, 255}) {
    EXPECT_TRUE(alphas.count(alpha) != 0) << "no pixel of alpha " << alpha;
  }
  EXPECT_GT(clear, d.width * d.height / 8) << "a quadrant's worth of fully clear pixels";
  EXPECT_GT(clearAndBright, clear * 9 / 10);
}

}  // namespace
