// Walks a PNG's chunks the way the decoder does and inflates its image data against its header.
#include "render/png_data_bound.h"

#include "render/png_inflation.h"

#include <algorithm>
#include <cstring>
#include <limits>

namespace {

constexpr std::uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
constexpr std::size_t kChunkHeaderBytes = 8;
constexpr std::size_t kCrcBytes = 4;
constexpr std::size_t kHeaderDataBytes = 13;

std::uint32_t bigEndian32(const std::uint8_t* bytes) {
  return static_cast<std::uint32_t>(bytes[0]) << 24 | static_cast<std::uint32_t>(bytes[1]) << 16 |
         static_cast<std::uint32_t>(bytes[2]) << 8 | bytes[3];
}

std::uint64_t saturatingProduct(std::uint64_t a, std::uint64_t b) {
  constexpr std::uint64_t kMost = std::numeric_limits<std::uint64_t>::max();
  return b != 0 && a > kMost / b ? kMost : a * b;
}

std::uint64_t saturatingSum(std::uint64_t a, std::uint64_t b) {
  constexpr std::uint64_t kMost = std::numeric_limits<std::uint64_t>::max();
  return a > kMost - b ? kMost : a + b;
}

// Samples a pixel has, or 0 for a colour type PNG does not have.
int samplesOf(int colourType) {
  switch (colourType) {
    case 0:  // grey
    case 3:  // palette index
      return 1;
    case 4:  // grey and alpha
      return 2;
    case 2:  // RGB
      return 3;
    case 6:  // RGBA
      return 4;
    default:
      return 0;
  }
}

bool depthAllowed(int bitDepth, int colourType) {
  switch (colourType) {
    case 0:
      return bitDepth == 1 || bitDepth == 2 || bitDepth == 4 || bitDepth == 8 || bitDepth == 16;
    case 3:
      return bitDepth == 1 || bitDepth == 2 || bitDepth == 4 || bitDepth == 8;
    case 2:
    case 4:
    case 6:
      return bitDepth == 8 || bitDepth == 16;
    default:
      return false;
  }
}

// Rows of `columns` pixels, each a filter byte and its samples packed to whole bytes.
std::uint64_t passBytes(std::uint64_t columns, std::uint64_t rows, std::uint64_t bitsPerPixel) {
  if (columns == 0 || rows == 0) {
    return 0;
  }
  return saturatingProduct(rows, 1 + (columns * bitsPerPixel + 7) / 8);
}

PngDataBound refusal(PngDataVerdict verdict, const char* detail) {
  PngDataBound bound;
  bound.verdict = verdict;
  bound.detail = detail;
  return bound;
}

// What the walk up to IEND found: the header's fields, and how the image data is wrapped.
struct Walk {
  PngDataBound bound;
  bool reachedEnd = false;  // IEND, where the decoder inflates; without it, it inflates nothing
  bool rawDeflate = false;  // a CgBI chunk before IEND: the decoder then reads no zlib header
};

Walk walkChunks(std::span<const std::uint8_t> png) {
  Walk walk;
  bool sawHeader = false;
  for (std::size_t at = sizeof kSignature;;) {
    // Past the last chunk without an IEND the decoder reads a chunk of type 0 and refuses it.
    if (at == png.size()) {
      return walk;
    }
    const std::optional<PngChunk> chunk = pngChunkAt(png, at);
    if (!chunk) {
      return {refusal(PngDataVerdict::kChunkPastEnd, "a chunk header runs past the end")};
    }
    // The decoder reads nothing of IEND, nor anything after it.
    if (chunk->type == pngChunkType("IEND")) {
      if (!sawHeader) {
        return {refusal(PngDataVerdict::kInvalidHeader, "it has no IHDR chunk")};
      }
      walk.reachedEnd = true;
      return walk;
    }
    // The decoder reserves what an IDAT's length claims before it finds the data missing.
    if (chunk->pastEnd) {
      Walk pastEnd{refusal(PngDataVerdict::kChunkPastEnd, "a chunk runs past the end")};
      pastEnd.bound.chunkType = chunk->type;
      return pastEnd;
    }
    if (chunk->type == pngChunkType("CgBI")) {
      walk.rawDeflate = true;
    } else if (chunk->type == pngChunkType("IHDR") && !sawHeader) {
      sawHeader = true;
      if (chunk->length != kHeaderDataBytes) {
        return {refusal(PngDataVerdict::kInvalidHeader, "its IHDR chunk is not 13 bytes long")};
      }
      const std::uint8_t* fields = chunk->data.data();
      PngDataBound& bound = walk.bound;
      bound.width = bigEndian32(fields);
      bound.height = bigEndian32(fields + 4);
      const int bitDepth = fields[8];
      const int colourType = fields[9];
      if (fields[10] != 0 || fields[11] != 0 || fields[12] > 1) {
        return {refusal(PngDataVerdict::kInvalidHeader,
                        "its IHDR chunk names an unknown compression, filter or interlace method")};
      }
      const std::optional<std::uint64_t> need =
          pngInflatedNeed(bound.width, bound.height, bitDepth, colourType, fields[12] == 1);
      if (!need) {
        return {
            refusal(PngDataVerdict::kInvalidHeader,
                    "its IHDR chunk gives a size, bit depth or colour type PNG does not allow")};
      }
      bound.need = *need;
    } else if (chunk->type == pngChunkType("IDAT") && !sawHeader) {
      return {
          refusal(PngDataVerdict::kInvalidHeader, "its image data comes before its IHDR chunk")};
    }
    at = chunk->next;
  }
}

}  // namespace

std::optional<PngChunk> pngChunkAt(std::span<const std::uint8_t> png, std::size_t at) {
  if (at > png.size() || png.size() - at < kChunkHeaderBytes) {
    return std::nullopt;
  }
  PngChunk chunk;
  chunk.length = bigEndian32(png.data() + at);
  chunk.type = bigEndian32(png.data() + at + 4);
  const std::size_t dataAt = at + kChunkHeaderBytes;
  // Compared by what is left, so no sum can wrap.
  if (png.size() - dataAt < kCrcBytes || png.size() - dataAt - kCrcBytes < chunk.length) {
    chunk.pastEnd = true;
    chunk.next = png.size();
    return chunk;
  }
  chunk.data = png.subspan(dataAt, chunk.length);
  chunk.next = dataAt + chunk.length + kCrcBytes;
  return chunk;
}

std::optional<std::uint64_t> pngInflatedNeed(std::uint32_t width, std::uint32_t height,
                                             int bitDepth, int colourType, bool interlaced) {
  constexpr std::uint32_t kLargestSide = 0x7FFFFFFF;
  if (width == 0 || height == 0 || width > kLargestSide || height > kLargestSide ||
      !depthAllowed(bitDepth, colourType)) {
    return std::nullopt;
  }
  const std::uint64_t bitsPerPixel = static_cast<std::uint64_t>(samplesOf(colourType)) * bitDepth;
  if (!interlaced) {
    return passBytes(width, height, bitsPerPixel);
  }
  // Adam7: each pass takes every `step`th pixel from `start` across and down.
  constexpr struct {
    std::uint32_t startX, startY, stepX, stepY;
  } kPasses[7] = {{0, 0, 8, 8}, {4, 0, 8, 8}, {0, 4, 4, 8}, {2, 0, 4, 4},
                  {0, 2, 2, 4}, {1, 0, 2, 2}, {0, 1, 1, 2}};
  std::uint64_t need = 0;
  for (const auto& pass : kPasses) {
    const std::uint64_t columns =
        width > pass.startX ? (width - pass.startX + pass.stepX - 1) / pass.stepX : 0;
    const std::uint64_t rows =
        height > pass.startY ? (height - pass.startY + pass.stepY - 1) / pass.stepY : 0;
    need = saturatingSum(need, passBytes(columns, rows, bitsPerPixel));
  }
  return need;
}

PngDataBound checkPngDataBound(std::span<const std::uint8_t> encoded) {
  // Not a PNG to the decoder: nothing to say.
  if (encoded.size() < sizeof kSignature ||
      std::memcmp(encoded.data(), kSignature, sizeof kSignature) != 0) {
    return {};
  }
  const Walk walk = walkChunks(encoded);
  if (walk.bound.verdict != PngDataVerdict::kFits || !walk.reachedEnd) {
    return walk.bound;
  }
  PngDataBound bound = walk.bound;
  PngInflation inflation(walk.rawDeflate, bound.need);
  // Each state but kGoing settles the verdict.
  const auto settled = [&bound, &inflation](PngInflation::State state) {
    switch (state) {
      case PngInflation::State::kGoing:
        return false;
      case PngInflation::State::kEnded:
        break;
      case PngInflation::State::kPastNeed:
        bound.verdict = PngDataVerdict::kInflatesPastNeed;
        break;
      case PngInflation::State::kFailed:
        bound.verdict = PngDataVerdict::kUndecodableData;
        bound.detail = inflation.detail();
        break;
    }
    return true;
  };
  for (std::size_t at = sizeof kSignature; at < encoded.size();) {
    const PngChunk chunk = *pngChunkAt(encoded, at);
    if (chunk.type == pngChunkType("IEND")) {
      break;
    }
    if (chunk.type == pngChunkType("IDAT") && settled(inflation.feed(chunk.data))) {
      return bound;
    }
    at = chunk.next;
  }
  // Data that ends before its stream does inflates to less: the decoder's to refuse.
  settled(inflation.finish());
  return bound;
}
