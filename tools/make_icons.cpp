// Makes the desktop icons from the viewer's two pictures: make_icons FIRST.jpg SECOND.png OUTDIR.

#include <array>
#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include <stb_image.h>

#include "render/guarded_decode.h"
#include "tools/write_whole_file.h"

#define STB_IMAGE_WRITE_IMPLEMENTATION
#include <stb_image_write.h>

namespace {

constexpr std::array<int, 3> kSizes = {48, 128, 256};
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
  // Without a time stamp or text chunks the encoder's output depends on the pixels alone.
  for (const int size : kSizes) {
    const std::vector<std::uint8_t> icon = makeIcon(pictures[0], pictures[1], size);
    std::vector<std::uint8_t> png;
    const std::string target =
        std::string(argv[3]) + "/org.zoravarova.Viewer-" + std::to_string(size) + ".png";
    if (stbi_write_png_to_func(appendBytes, &png, size, size, 4, icon.data(), size * 4) == 0) {
      std::fprintf(stderr, "%s: the PNG encoder failed\n", target.c_str());
      return 1;
    }
    const std::string reason = writeWholeFile(target, png);
    if (!reason.empty()) {
      std::fprintf(stderr, "%s: %s\n", target.c_str(), reason.c_str());
      return 1;
    }
  }
  return 0;
}
