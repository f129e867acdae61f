// What the icon generator draws: the 80/20 blend of the viewer's pictures, upright, averaged over
// the exact area each icon pixel covers, as PNGs and as the Windows .ico.
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
#include <utility>
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
  const std::vector<std::uint8_t> windowsIcon = fileBytes(dir + "/one/zoravarova.ico");
  EXPECT_FALSE(windowsIcon.empty());
  EXPECT_TRUE(windowsIcon == fileBytes(dir + "/two/zoravarova.ico"))
      << "the Windows icon differs between two runs";
}

// Little-endian words of the .ico, read here rather than with the generator's writer.
std::uint32_t word(const std::vector<std::uint8_t>& bytes, std::size_t at, int width) {
  std::uint32_t value = 0;
  for (int i = width - 1; i >= 0; --i) {
    value = value << 8 | bytes.at(at + static_cast<std::size_t>(i));
  }
  return value;
}

// The colour of pixel (x, y), counted from the top, of a 32-bit bitmap image: BGRA rows stored
// from the bottom up after its 40-byte header.
std::array<int, 4> bitmapPixel(const std::vector<std::uint8_t>& image, int size, int x, int y) {
  const std::size_t at = 40 + (static_cast<std::size_t>(size - 1 - y) * size + x) * 4;
  return {image.at(at + 2), image.at(at + 1), image.at(at), image.at(at + 3)};
}

TEST(Icons, TheWindowsIconHoldsBitmapsOf16To48AndA256Png) {
  const std::string dir = makeTestDirectory("IconsForWindows");
  const std::string assets = ZV_ASSET_DIR;
  const Icon icon48 = generate(assets + "/first.jpg", assets + "/second.png", dir, 48);
  ASSERT_EQ(icon48.size, 48);
  const std::vector<std::uint8_t> ico = fileBytes(dir + "/zoravarova.ico");
  ASSERT_GE(ico.size(), 6u + 4 * 16);
  EXPECT_EQ(word(ico, 0, 2), 0u) << "reserved";
  EXPECT_EQ(word(ico, 2, 2), 1u) << "an icon, not a cursor";
  ASSERT_EQ(word(ico, 4, 2), 4u) << "images";

  const std::array<int, 4> sizes = {16, 32, 48, 256};
  std::vector<std::pair<std::uint32_t, std::uint32_t>> spans;
  for (std::size_t i = 0; i < sizes.size(); ++i) {
    const int size = sizes[i];
    const std::size_t entry = 6 + 16 * i;
    const std::string where = "the " + std::to_string(size) + "-pixel image";
    // 256 is written as 0 in the entry's width and height bytes.
    EXPECT_EQ(ico[entry], size % 256) << where << ": width";
    EXPECT_EQ(ico[entry + 1], size % 256) << where << ": height";
    EXPECT_EQ(word(ico, entry + 2, 2), 0u) << where << ": palette and reserved";
    EXPECT_EQ(word(ico, entry + 4, 2), 1u) << where << ": planes";
    EXPECT_EQ(word(ico, entry + 6, 2), 32u) << where << ": bits a pixel";
    const std::uint32_t length = word(ico, entry + 8, 4);
    const std::uint32_t offset = word(ico, entry + 12, 4);
    ASSERT_GE(offset, 6u + 4 * 16) << where << " starts inside the entries";
    ASSERT_LE(offset, ico.size()) << where;
    ASSERT_LE(length, ico.size() - offset) << where << " runs past the file's end";
    spans.emplace_back(offset, length);
    const std::vector<std::uint8_t> image(ico.begin() + offset, ico.begin() + offset + length);

    if (size == 256) {
      // Byte for byte the Linux icon of that size.
      EXPECT_TRUE(image == fileBytes(dir + "/org.zoravarova.Viewer-256.png"))
          << where << " is not the 256-pixel PNG icon";
      continue;
    }
    // A bitmap info header of twice the height (colours, then the mask), 32 bits, uncompressed,
    // then the colours and a 1-bit mask whose rows are padded to 4 bytes.
    const std::size_t maskRow = (static_cast<std::size_t>(size) + 31) / 32 * 4;
    ASSERT_EQ(length, 40 + static_cast<std::size_t>(size) * size * 4 + maskRow * size) << where;
    EXPECT_EQ(word(image, 0, 4), 40u) << where << ": header size";
    EXPECT_EQ(word(image, 4, 4), static_cast<std::uint32_t>(size)) << where << ": width";
    EXPECT_EQ(word(image, 8, 4), 2u * size) << where << ": height";
    EXPECT_EQ(word(image, 12, 2), 1u) << where << ": planes";
    EXPECT_EQ(word(image, 14, 2), 32u) << where << ": bits a pixel";
    EXPECT_EQ(word(image, 16, 4), 0u) << where << ": compression";
    EXPECT_TRUE(std::all_of(image.end() - static_cast<std::ptrdiff_t>(maskRow * size), image.end(),
                            [](std::uint8_t b) { return b == 0; }))
        << where << ": the mask hides pixels";
    // Upright: the top-left corner is the first picture's red over the second's cyan (see the
    // first test), the bottom-left its blue over orange.
    expectNear(bitmapPixel(image, size, 0, 0), {180, 64, 74, 255}, 3, where + " top left");
    expectNear(bitmapPixel(image, size, 0, size - 1), {74, 76, 172, 255}, 3,
               where + " bottom left");
    if (size == 48) {
      for (int y = 0; y < 48; ++y) {
        for (int x = 0; x < 48; ++x) {
          ASSERT_EQ(bitmapPixel(image, 48, x, y), icon48.at(x, y))
              << where << " differs from the 48-pixel PNG icon at " << x << "," << y;
        }
      }
    }
  }
  std::sort(spans.begin(), spans.end());
  for (std::size_t i = 1; i < spans.size(); ++i) {
    EXPECT_LE(spans[i - 1].first + spans[i - 1].second, spans[i].first) << "images overlap";
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
