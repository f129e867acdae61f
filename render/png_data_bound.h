// A check run before the image decoder sees a PNG: image data that inflates past its picture.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

// One chunk as the decoder reads it: a big-endian length, a type, the data, a CRC it skips.
struct PngChunk {
  std::uint32_t type = 0;  // the four type bytes, big-endian
  std::uint32_t length = 0;
  bool pastEnd = false;                // its data or CRC run past the end; then `data` is empty
  std::span<const std::uint8_t> data;  // `length` bytes
  std::size_t next = 0;                // where the chunk after it starts
};

// The chunk that starts at `at`, or nothing when fewer than its 8 header bytes remain there.
std::optional<PngChunk> pngChunkAt(std::span<const std::uint8_t> png, std::size_t at);

constexpr std::uint32_t pngChunkType(const char (&name)[5]) {
  return static_cast<std::uint32_t>(static_cast<unsigned char>(name[0])) << 24 |
         static_cast<std::uint32_t>(static_cast<unsigned char>(name[1])) << 16 |
         static_cast<std::uint32_t>(static_cast<unsigned char>(name[2])) << 8 |
         static_cast<unsigned char>(name[3]);
}

// The bytes of inflated image data a picture needs: a filter byte and the packed samples of each
// row, row by row, or pass by pass of Adam7 when interlaced (a pass without pixels adds nothing).
// Nothing when the fields are not a valid PNG's: a side of 0 or past 2^31 - 1, or a bit depth its
// colour type does not allow. Saturates where the product would pass 2^64 - 1.
std::optional<std::uint64_t> pngInflatedNeed(std::uint32_t width, std::uint32_t height,
                                             int bitDepth, int colourType, bool interlaced);

enum class PngDataVerdict {
  kFits,              // not a PNG, or image data that inflates to at most what its picture needs
  kInvalidHeader,     // no valid IHDR before the image data
  kChunkPastEnd,      // a chunk before IEND runs past the end of the data
  kUndecodableData,   // image data that inflate cannot follow, and so cannot be bounded
  kInflatesPastNeed,  // image data that inflates past what its picture needs
};

struct PngDataBound {
  PngDataVerdict verdict = PngDataVerdict::kFits;
  std::uint32_t width = 0;  // from IHDR, once read
  std::uint32_t height = 0;
  std::uint64_t need = 0;       // inflated bytes the header calls for, once read
  std::uint32_t chunkType = 0;  // the chunk that runs past the end; 0 when its header does
  const char* detail = "";      // why the header or the data was refused
};

// Walks the chunks of `encoded` up to IEND as the decoder does and, when they are sound, inflates
// the IDAT data through a buffer of fixed size, stopping as soon as the output passes the
// header's need: the decoder would inflate it all into memory, however much that is.
PngDataBound checkPngDataBound(std::span<const std::uint8_t> encoded);
