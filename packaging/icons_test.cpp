// What the icon generator draws: the 80/20 blend of the viewer's pictures, upright, averaged over
// the exact area each icon pixel covers.
#include <gtest/gtest.h>
#include <stb_image.h>
#include <stb_image_write.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "tests/file_bytes.h"
#include "tests/jpeg_edit.h"
#include "tests/made_png.h"
#include "tests/x_session.h"

namespace {

struct Icon {
  int size = 0;
  std::vector<std::uint8_t> rgba;

  std::array<int, 4> at(int x, int y) const {
    const std::size_t i = (static_cast<std::size_t>(y) * size + x) * 4;
    return {rgba[i], rgba[i + 1], rgba[i + 2], rgba[i + 3]};
  }
};

// Runs the generator on the two pictures into `dir` and reads back the icon of `size` pixels.
Icon generate(const std::string& first, const std::string& second, const std::string& dir,
              int size) {
  ChildProcess generator(ZV_MAKE_ICONS, {first, second, dir}, {}, dir);
  EXPECT_EQ(generator.waitForExit(60s), std::optional<int>(0)) << generator.standardError();
  const std::string path = dir + "/org.zoravarova.Viewer-" + std::to_string(size) + ".png";
  Icon icon;
  int height = 0;
  int channels = 0;
  std::unique_ptr<stbi_uc, void (*)(void*)> pixels(
      stbi_load(path.c_str(), &icon.size, &height, &channels, 4), stbi_image_free);
  if (pixels == nullptr) {
    ADD_FAILURE() << path << ": " << stbi_failure_reason();
    return {};
  }
  EXPECT_EQ(icon.size, height) << path;
  icon.rgba.assign(pixels.get(), pixels.get() + static_cast<std::size_t>(icon.size) * height * 4);
  return icon;
}

void expectNear(const std::array<int, 4>& got, const std::array<int, 4>& expected, int tolerance,
                const std::string& where) {
  for (int c = 0; c < 4; ++c) {
    EXPECT_NEAR(got[c], expected[c], tolerance) << where << ", channel " << c;
  }
}

TEST(Icons, BlendTheViewersPicturesUprightAndOpaque) {
  const std::string dir = makeTestDirectory("IconsFromAssets");
  const std::string assets = ZV_ASSET_DIR;
  // 0.8 of each quadrant of the first picture and 0.2 of the second (colours in assets/README.md),
  // worked out by hand; the second picture's alpha does not show on screen, so none here.
  const std::array<int, 4> topLeft{180, 64, 74, 255};       // red over cyan
  const std::array<int, 4> topRight{66, 152, 86, 255};      // green over magenta
  const std::array<int, 4> bottomLeft{74, 76, 172, 255};    // blue over orange
  const std::array<int, 4> bottomRight{239, 207, 63, 255};  // yellow over light grey
  for (const int size : {48, 128, 256}) {
    const Icon icon = generate(assets + "/first.jpg", assets + "/second.png", dir, size);
    ASSERT_EQ(icon.size, size);
    const int last = size - 1;
    // The JPEG's flat blocks decode within a step or two of the colours drawn.
    const std::string where = std::to_string(size) + "-pixel icon";
    expectNear(icon.at(0, 0), topLeft, 3, where + " top left");
    expectNear(icon.at(last, 0), topRight, 3, where + " top right");
    expectNear(icon.at(0, last), bottomLeft, 3, where + " bottom left");
    expectNear(icon.at(last, last), bottomRight, 3, where + " bottom right");
    for (int y = 0; y < size; ++y) {
      for (int x = 0; x < size; ++x) {
        ASSERT_EQ(icon.at(x, y)[3], 255) << where << " is not opaque at " << x << "," << y;
      }
    }
  }
}

// What an installed icon must be, read from its bytes: a PNG whose header (IHDR) gives `size`
// both ways, 8 bits a channel and colour type 6, RGBA.
std::vector<std::uint8_t> pngStart(int size) {
  const auto b = [size](int shift) { return static_cast<std::uint8_t>(size >> shift & 0xFF); };
  return {0x89, 'P', 'N', 'G',   '\r',  '\n', 0x1A, '\n',  0,     0,    0,    13, 'I',
          'H',  'D', 'R', b(24), b(16), b(8), b(0), b(24), b(16), b(8), b(0), 8,  6};
}

TEST(Icons, AreTheSame8BitRgbaPngsOnEveryRun) {
  const std::string dir = makeTestDirectory("IconsTwoRuns");
  const std::string assets = ZV_ASSET_DIR;
  for (const std::string run : {"/one", "/two"}) {
    std::filesystem::create_directory(dir + run);
    ChildProcess generator(ZV_MAKE_ICONS,
                           {assets + "/first.jpg", assets + "/second.png", dir + run}, {}, dir);
    ASSERT_EQ(generator.waitForExit(60s), std::optional<int>(0)) << generator.standardError();
  }
  for (const int size : {48, 128, 256}) {
    const std::string name = "/org.zoravarova.Viewer-" + std::to_string(size) + ".png";
    const std::vector<std::uint8_t> one = fileBytes(dir + "/one" + name);
    const std::vector<std::uint8_t> start = pngStart(size);
    ASSERT_GT(one.size(), start.size()) << name;
    EXPECT_TRUE(std::equal(start.begin(), start.end(), one.begin()))
        << name << " is not a " << size << "x" << size << " 8-bit RGBA PNG";
    EXPECT_TRUE(one == fileBytes(dir + "/two" + name)) << name << " differs between two runs";
  }
}

// A 512x512 picture, black but for white columns.
std::vector<std::uint8_t> columns(std::initializer_list<int> white, int channels) {
  std::vector<std::uint8_t> pixels(512 * 512 * static_cast<std::size_t>(channels), 0);
  for (int y = 0; y < 512; ++y) {
    for (const int x : white) {
      for (int c = 0; c < channels; ++c) {
        pixels[(static_cast<std::size_t>(y) * 512 + x) * channels + c] = 255;
      }
    }
  }
  return pixels;
}

TEST(Icons, AverageOverTheAreaEachPixelCovers) {
  const std::string dir = makeTestDirectory("IconsAreaAverage");
  const std::string first = dir + "/first.png";
  const std::string second = dir + "/second.png";
  // PNG for both, so no JPEG rounding blurs the expected values.
  ASSERT_NE(stbi_write_png(first.c_str(), 512, 512, 3, columns({5, 10}, 3).data(), 512 * 3), 0);
  ASSERT_NE(stbi_write_png(second.c_str(), 512, 512, 4, columns({20}, 4).data(), 512 * 4), 0);
  const Icon icon = generate(first, second, dir, 48);
  ASSERT_EQ(icon.size, 48);
  // An icon pixel spans 512/48 = 10 2/3 source columns, so a whole one adds 3/32 of its value.
  // Column 0: first's column 5 whole and two thirds of its column 10, at 0.8:
  //   255 * 0.8 * 3/32 * (1 + 2/3) = 31.875.
  // Column 1: the last third of first's column 10 at 0.8 and second's column 20 at 0.2:
  //   255 * 0.8 * 3/32 / 3 + 255 * 0.2 * 3/32 = 6.375 + 4.78125 = 11.15625.
  for (const int y : {0, 23, 47}) {
    const std::string row = "row " + std::to_string(y);
    EXPECT_EQ(icon.at(0, y), (std::array<int, 4>{32, 32, 32, 255})) << row;
    EXPECT_EQ(icon.at(1, y), (std::array<int, 4>{11, 11, 11, 255})) << row;
    EXPECT_EQ(icon.at(2, y), (std::array<int, 4>{0, 0, 0, 255})) << row;
    EXPECT_EQ(icon.at(47, y), (std::array<int, 4>{0, 0, 0, 255})) << row;
  }
}

TEST(Icons, RefusedInputsGetOneLineNamingTheFileAndNoIcon) {
  const std::string dir = makeTestDirectory("IconsRefused");
  const std::string assets = ZV_ASSET_DIR;
  const std::string first = assets + "/first.jpg";
  const std::string second = assets + "/second.png";
  const std::string wide = dir + "/wide.png";
  ASSERT_NE(stbi_write_png(wide.c_str(), 64, 32, 3, std::vector<std::uint8_t>(64 * 32 * 3).data(),
                           64 * 3),
            0);
  const std::string small = dir + "/small.png";
  ASSERT_NE(stbi_write_png(small.c_str(), 32, 32, 4, std::vector<std::uint8_t>(32 * 32 * 4).data(),
                           32 * 4),
            0);
  const std::string garbage = dir + "/garbage.png";
  ASSERT_TRUE(
      writeBytes(garbage, {'n', 'o', 't', ' ', 'a', ' ', 'p', 'i', 'c', 't', 'u', 'r', 'e'}));
  const std::string tableless = dir + "/tableless.jpg";
  ASSERT_TRUE(writeBytes(tableless, withoutHuffmanTables(fileBytes(first))));
  // 4 by 2 RGBA needs 2 rows of a filter byte and 16 bytes: one byte more would be inflated
  // into memory along with the rest, however much that is.
  const std::string inflating = dir + "/inflating.png";
  ASSERT_TRUE(writeBytes(inflating, makePng(pngHeaderData(4, 2, 8, 6), zlibZeros(2 * 17 + 1))));

  struct Case {
    std::string first, second, expected;
  };
  const std::vector<Case> cases = {
      {dir + "/absent.jpg", second, dir + "/absent.jpg: cannot open it: "},
      {first, garbage, garbage + ": cannot decode it: "},
      {tableless, second, tableless + ": cannot decode it: damaged JPEG Huffman tables"},
      {first, inflating,
       inflating + ": cannot decode it: damaged PNG data, or data that inflates past its picture"},
      {wide, wide, wide + ": it is 64x32, not square"},
      {first, small, small + ": it is 32x32, not the 512x512 of " + first},
  };
  const std::string output = dir + "/output";
  std::filesystem::create_directory(output);
  for (const Case& c : cases) {
    ChildProcess generator(ZV_MAKE_ICONS, {c.first, c.second, output}, {}, dir);
    EXPECT_EQ(generator.waitForExit(60s), std::optional<int>(1)) << c.expected;
    const std::string error = generator.standardError();
    EXPECT_EQ(error.rfind(c.expected, 0), 0u) << error;
    EXPECT_EQ(std::count(error.begin(), error.end(), '\n'), 1) << error;
    EXPECT_TRUE(std::filesystem::is_empty(output)) << c.expected << " left files behind";
  }

  // An output folder that is not there: the first icon it cannot write is named.
  ChildProcess generator(ZV_MAKE_ICONS, {first, second, dir + "/missing"}, {}, dir);
  EXPECT_EQ(generator.waitForExit(60s), std::optional<int>(1));
  EXPECT_EQ(generator.standardError().rfind(
                dir + "/missing/org.zoravarova.Viewer-48.png: cannot create it: ", 0),
            0u)
      << generator.standardError();
  EXPECT_FALSE(std::filesystem::exists(dir + "/missing"));
}

}  // namespace
