// The one way into the image decoder: the checks that keep damaging bytes from it, then the decode.
#pragma once

#include <cstdint>
#include <span>

#include <stb_image.h>

#include "render/png_data_bound.h"

// Why a guarded decode gave no pixels.
enum class DecodeRefusal {
  kNone,           // the pixels came back
  kTooLarge,       // a length the decoder cannot take
  kChannels,       // a channel count the decoder cannot produce
  kHuffmanTables,  // a JPEG Huffman table oversized or missing; see jpegHuffmanTablesFit
  kPngData,        // PNG data that cannot be shown to inflate within its picture; see `png`
  kDecoder,        // the decoder refused by itself; stbi_failure_reason() says why
};

struct GuardedDecode {
  stbi_uc* pixels = nullptr;  // for stbi_image_free, which also takes none
  DecodeRefusal refusal = DecodeRefusal::kNone;
  PngDataBound png;  // the PNG check's findings
};

// stbi_load_from_memory into exactly `channels` channels, 1 to 4, once the checks pass. Like the
// decoder it writes the picture's size and its stored channel count to the three outputs.
GuardedDecode decodeGuarded(std::span<const std::uint8_t> encoded, int* width, int* height,
                            int* storedChannels, int channels);
