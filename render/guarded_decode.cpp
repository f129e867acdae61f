// Checks an encoded image against what the decoder mishandles before letting it decode.
#include "render/guarded_decode.h"

#include <climits>

#include "render/jpeg_tables.h"

GuardedDecode decodeGuarded(std::span<const std::uint8_t> encoded, int* width, int* height,
                            int* storedChannels, int channels) {
  GuardedDecode result;
  // An empty buffer needs no test of its own: the decoder finds no picture in it.
  if (encoded.size() > static_cast<std::size_t>(INT_MAX)) {
    result.refusal = DecodeRefusal::kTooLarge;
  } else if (channels < 1 || channels > 4) {
    // 0 would ask for what the file stores, which no caller could size its use of in advance.
    result.refusal = DecodeRefusal::kChannels;
  } else if (!jpegHuffmanTablesFit(encoded)) {
    // The decoder would write an oversized Huffman table past its own arrays, or read one never
    // defined past them.
    result.refusal = DecodeRefusal::kHuffmanTables;
  } else if (result.png = checkPngDataBound(encoded); result.png.verdict != PngDataVerdict::kFits) {
    // It would inflate PNG data into memory however far it runs past its picture.
    result.refusal = DecodeRefusal::kPngData;
  } else {
    result.pixels = stbi_load_from_memory(encoded.data(), static_cast<int>(encoded.size()), width,
                                          height, storedChannels, channels);
    result.refusal = result.pixels != nullptr ? DecodeRefusal::kNone : DecodeRefusal::kDecoder;
  }
  return result;
}
