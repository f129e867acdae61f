// Makes the desktop icons and the Windows .ico from the viewer's two pictures:
// make_icons FIRST.jpg SECOND.png OUTDIR.

#include <array>
#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include <stb_image.h>

#include "render/guarded_decode.h"
#include "tools/write_whole_file.h"

#define STB_IMAGE_WRITE_IMPLEMENTATION
#include <stb_image_write.h>

namespace {

constexpr std::array<int, 3> kSizes = {48, 128, 256};
// The sizes Explorer and the taskbar pick from. The large one is kept as PNG, which Windows reads
// inside an .ico since Vista; the small ones as 32-bit bitmaps, which every reader knows.
constexpr std::array<int, 4> kWindowsSizes = {16, 32, 48, 256};
constexpr int kLargestBitmapSize = 48;
constexpr char kWindowsIconName[] = "zoravarova.ico";
// The viewer mixes its second picture in at 0.2 of the first; in fifths that is 4 to 1.
constexpr std::uint64_t kFirstWeight = 4;
constexpr std::uint64_t kSecondWeight = 1;

struct Picture {
  int width = 0;
  int height = 0;
  std::vector<std::uint8_t> rgb;  // row 0 at the top
};

// Reads a picture as RGB; on failure returns the reason.
std::string load(const char* path, Picture& out) {
  std::FILE* file = std::fopen(path, "rb");
  if (file == nullptr) {
    return std::string("cannot open it: ") + std::strerror(errno);
  }
  std::vector<std::uint8_t> encoded;
  std::array<std::uint8_t, 65536> chunk;
  std::size_t got = 0;
  while ((got = std::fread(chunk.data(), 1, chunk.size(), file)) > 0) {
    encoded.insert(encoded.end(), chunk.begin(), chunk.begin() + static_cast<std::ptrdiff_t>(got));
  }
  const bool failed = std::ferror(file) != 0;
  const int readErrno = errno;
  std::fclose(file);
  if (failed) {
    return std::string("cannot read it: ") + std::strerror(readErrno);
  }
  int channels = 0;
  const GuardedDecode decoded = decodeGuarded(encoded, &out.width, &out.height, &channels, 3);
  std::unique_ptr<stbi_uc, void (*)(void*)> pixels(decoded.pixels, stbi_image_free);
  switch (decoded.refusal) {
    case DecodeRefusal::kTooLarge:
      return "cannot decode it: too large";
    case DecodeRefusal::kHuffmanTables:
      return "cannot decode it: damaged JPEG Huffman tables";
    case DecodeRefusal::kPngData:
      return "cannot decode it: damaged PNG data, or data that inflates past its picture";
    case DecodeRefusal::kChannels:
    case DecodeRefusal::kDecoder:
      return std::string("cannot decode it: ") + stbi_failure_reason();
    case DecodeRefusal::kNone:
      break;
  }
  if (out.width != out.height) {
    return "it is " + std::to_string(out.width) + "x" + std::to_string(out.height) + ", not square";
  }
  out.rgb.assign(pixels.get(), pixels.get() + static_cast<std::size_t>(out.width) * out.height * 3);
  return {};
}

// Length of the overlap of [a0, a1) and [b0, b1).
std::uint64_t overlap(std::uint64_t a0, std::uint64_t a1, std::uint64_t b0, std::uint64_t b1) {
  const std::uint64_t lo = a0 > b0 ? a0 : b0;
  const std::uint64_t hi = a1 < b1 ? a1 : b1;
  return hi > lo ? hi - lo : 0;
}

// Blends the two pictures and averages each icon pixel over the exact area of the source it
// covers. Whole numbers throughout, so every compiler and machine gives the same bytes.
std::vector<std::uint8_t> makeIcon(const Picture& first, const Picture& second, int size) {
  const auto source = static_cast<std::uint64_t>(first.width);
  const auto target = static_cast<std::uint64_t>(size);
  // Coordinates scaled by source * target: icon pixel i spans [i*source, (i+1)*source), source
  // pixel j spans [j*target, (j+1)*target).
  const std::uint64_t denominator = source * source * (kFirstWeight + kSecondWeight);
  std::vector<std::uint8_t> out(static_cast<std::size_t>(size) * size * 4);
  for (std::uint64_t y = 0; y < target; ++y) {
    const std::uint64_t rowFirst = y * source / target;
    const std::uint64_t rowLast = ((y + 1) * source - 1) / target;
    for (std::uint64_t x = 0; x < target; ++x) {
      const std::uint64_t columnFirst = x * source / target;
      const std::uint64_t columnLast = ((x + 1) * source - 1) / target;
      std::array<std::uint64_t, 3> sum{};
      for (std::uint64_t sy = rowFirst; sy <= rowLast; ++sy) {
        const std::uint64_t wy =
            overlap(y * source, (y + 1) * source, sy * target, (sy + 1) * target);
        for (std::uint64_t sx = columnFirst; sx <= columnLast; ++sx) {
          const std::uint64_t weight =
              wy * overlap(x * source, (x + 1) * source, sx * target, (sx + 1) * target);
          const std::size_t at = (sy * source + sx) * 3;
          for (std::size_t c = 0; c < 3; ++c) {
            sum[c] +=
                weight * (kFirstWeight * first.rgb[at + c] + kSecondWeight * second.rgb[at + c]);
          }
        }
      }
      const std::size_t at = (y * target + x) * 4;
      for (std::size_t c = 0; c < 3; ++c) {
        out[at + c] = static_cast<std::uint8_t>((sum[c] + denominator / 2) / denominator);
      }
      out[at + 3] = 255;
    }
  }
  return out;
}

void appendBytes(void* context, void* data, int size) {
  auto* out = static_cast<std::vector<std::uint8_t>*>(context);
  const auto* begin = static_cast<const std::uint8_t*>(data);
  out->insert(out->end(), begin, begin + size);
}

void put16(std::vector<std::uint8_t>& out, std::uint32_t value) {
  out.push_back(static_cast<std::uint8_t>(value));
  out.push_back(static_cast<std::uint8_t>(value >> 8));
}

void put32(std::vector<std::uint8_t>& out, std::uint32_t value) {
  put16(out, value & 0xFFFF);
  put16(out, value >> 16);
}

// An icon image as a bitmap: the info header with twice the height (colour rows, then the mask's),
// BGRA rows from the bottom up, then the 1-bit mask, all clear since alpha says what shows.
std::vector<std::uint8_t> iconBitmap(const std::vector<std::uint8_t>& rgba, int size) {
  const auto side = static_cast<std::uint32_t>(size);
  const std::uint32_t maskRowBytes = (side + 31) / 32 * 4;
  std::vector<std::uint8_t> out;
  put32(out, 40);        // header size
  put32(out, side);      // width
  put32(out, 2 * side);  // height of colour and mask together
  put16(out, 1);         // planes
  put16(out, 32);        // bits a pixel
  put32(out, 0);         // uncompressed
  put32(out, side * side * 4 + maskRowBytes * side);
  for (int i = 0; i < 4; ++i) {
    put32(out, 0);  // resolution both ways, palette sizes
  }
  for (int y = size - 1; y >= 0; --y) {
    for (int x = 0; x < size; ++x) {
      const std::size_t at = (static_cast<std::size_t>(y) * side + x) * 4;
      out.insert(out.end(), {rgba[at + 2], rgba[at + 1], rgba[at], rgba[at + 3]});
    }
  }
  out.resize(out.size() + static_cast<std::size_t>(maskRowBytes) * side, 0);
  return out;
}

// The icon file: its header, one 16-byte entry a size, then the images in that order.
std::vector<std::uint8_t> iconFile(const std::vector<std::vector<std::uint8_t>>& images) {
  std::vector<std::uint8_t> out;
  put16(out, 0);  // reserved
  put16(out, 1);  // an icon, not a cursor
  put16(out, static_cast<std::uint32_t>(images.size()));
  auto offset = static_cast<std::uint32_t>(6 + 16 * images.size());
  for (std::size_t i = 0; i < images.size(); ++i) {
    const int size = kWindowsSizes[i];
    // 256 does not fit the byte, and is written as 0.
    out.push_back(static_cast<std::uint8_t>(size == 256 ? 0 : size));
    out.push_back(static_cast<std::uint8_t>(size == 256 ? 0 : size));
    out.push_back(0);  // no palette
    out.push_back(0);  // reserved
    put16(out, 1);     // planes
    put16(out, 32);    // bits a pixel
    put32(out, static_cast<std::uint32_t>(images[i].size()));
    put32(out, offset);
    offset += static_cast<std::uint32_t>(images[i].size());
  }
  for (const std::vector<std::uint8_t>& image : images) {
    out.insert(out.end(), image.begin(), image.end());
  }
  return out;
}

// The PNG encoding of an RGBA icon; empty if the encoder fails.
std::vector<std::uint8_t> encodePng(const std::vector<std::uint8_t>& rgba, int size) {
  // Without a time stamp or text chunks the encoder's output depends on the pixels alone.
  std::vector<std::uint8_t> png;
  if (stbi_write_png_to_func(appendBytes, &png, size, size, 4, rgba.data(), size * 4) == 0) {
    return {};
  }
  return png;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: make_icons FIRST.jpg SECOND.png OUTDIR\n");
    return 2;
  }
  std::array<Picture, 2> pictures;
  for (int i = 0; i < 2; ++i) {
    const std::string reason = load(argv[1 + i], pictures[i]);
    if (!reason.empty()) {
      std::fprintf(stderr, "%s: %s\n", argv[1 + i], reason.c_str());
      return 1;
    }
  }
  if (pictures[1].width != pictures[0].width) {
    std::fprintf(stderr, "%s: it is %dx%d, not the %dx%d of %s\n", argv[2], pictures[1].width,
                 pictures[1].height, pictures[0].width, pictures[0].height, argv[1]);
    return 1;
  }
  std::vector<std::pair<std::string, std::vector<std::uint8_t>>> files;
  for (const int size : kSizes) {
    const std::string target =
        std::string(argv[3]) + "/org.zoravarova.Viewer-" + std::to_string(size) + ".png";
    files.emplace_back(target, encodePng(makeIcon(pictures[0], pictures[1], size), size));
    if (files.back().second.empty()) {
      std::fprintf(stderr, "%s: the PNG encoder failed\n", target.c_str());
      return 1;
    }
  }
  const std::string windowsTarget = std::string(argv[3]) + "/" + kWindowsIconName;
  std::vector<std::vector<std::uint8_t>> images;
  for (const int size : kWindowsSizes) {
    const std::vector<std::uint8_t> icon = makeIcon(pictures[0], pictures[1], size);
    images.push_back(size <= kLargestBitmapSize ? iconBitmap(icon, size) : encodePng(icon, size));
    if (images.back().empty()) {
      std::fprintf(stderr, "%s: the PNG encoder failed\n", windowsTarget.c_str());
      return 1;
    }
  }
  files.emplace_back(windowsTarget, iconFile(images));
  // Everything is encoded before the first file is written, so a refusal leaves none.
  for (const auto& [target, bytes] : files) {
    const std::string reason = writeWholeFile(target, bytes);
    if (!reason.empty()) {
      std::fprintf(stderr, "%s: %s\n", target.c_str(), reason.c_str());
      return 1;
    }
  }
  return 0;
}
