// Checks the two images by their headers and by decoding them the way the viewer will.
#include "tools/pack/image_checks.h"

#include <stb_image.h>

#include <algorithm>
#include <cstring>
#include <iterator>
#include <optional>
#include <string_view>

#include "render/guarded_decode.h"
#include "render/jpeg_segments.h"
#include "render/png_data_bound.h"
#include "tools/pack/pack_error.h"

namespace {

constexpr int kPictureSize = 512;
constexpr std::uint8_t kPngSignature[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};

// Text that came from the file, fit for one line on a terminal: printable ASCII as it is, any
// other byte, and the backslash that starts an escape, as \xNN.
std::string printable(std::string_view text) {
  std::string shown;
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte >= 0x20 && byte < 0x7F && byte != '\\') {
      shown += c;
    } else {
      constexpr char kDigits[] = "0123456789abcdef";
      shown += {'\\', 'x', kDigits[byte >> 4], kDigits[byte & 15]};
    }
  }
  return shown;
}

// A chunk's four type bytes, escaped unless `escaped` is false.
std::string chunkName(std::uint32_t type, bool escaped = true) {
  const char bytes[4] = {static_cast<char>(type >> 24), static_cast<char>(type >> 16),
                         static_cast<char>(type >> 8), static_cast<char>(type)};
  return escaped ? printable({bytes, 4}) : std::string(bytes, 4);
}

// What the PNG guard refused, said for the person who made the file.
std::string pngRefusal(const PngDataBound& bound) {
  switch (bound.verdict) {
    case PngDataVerdict::kChunkPastEnd:
      return bound.chunkType != 0 ? "is damaged or truncated: its " + chunkName(bound.chunkType) +
                                        " chunk runs past the end of the file"
                                  : "is damaged or truncated: a chunk header runs past the end "
                                    "of the file";
    case PngDataVerdict::kInvalidHeader:
      return std::string("does not decode: ") + bound.detail;
    case PngDataVerdict::kUndecodableData:
      return std::string("does not decode: its image data does not inflate (") + bound.detail + ")";
    case PngDataVerdict::kInflatesPastNeed:
      return "does not decode: its image data inflates past the " + std::to_string(bound.need) +
             " bytes that its " + std::to_string(bound.width) + " by " +
             std::to_string(bound.height) + " picture needs";
    case PngDataVerdict::kFits:
      break;
  }
  return "";
}

// The chunk at which the decoder gives up as on one it does not know: the first critical chunk
// of a type it does not read before IEND, or, in a file without IEND, the chunk of type 0 it
// reads past the end.
struct UnknownChunk {
  std::uint32_t type = 0;
  bool pastTheEnd = false;
};

std::optional<UnknownChunk> unknownChunk(std::span<const std::uint8_t> png) {
  constexpr std::uint32_t kRead[] = {pngChunkType("IHDR"), pngChunkType("PLTE"),
                                     pngChunkType("IDAT"), pngChunkType("CgBI")};
  for (std::size_t at = sizeof kPngSignature;;) {
    const std::optional<PngChunk> chunk = pngChunkAt(png, at);
    if (!chunk) {
      return at == png.size() ? std::optional(UnknownChunk{0, true}) : std::nullopt;
    }
    if (chunk->type == pngChunkType("IEND") || chunk->pastEnd) {
      return std::nullopt;
    }
    // A lower-case first letter (bit 5 of the first byte) marks a chunk a decoder may skip.
    const bool critical = (chunk->type & (1u << 29)) == 0;
    if (critical && std::find(std::begin(kRead), std::end(kRead), chunk->type) == std::end(kRead)) {
      return UnknownChunk{chunk->type, false};
    }
    at = chunk->next;
  }
}

enum class Format { kJpeg, kPng };

// The decoder's reason for the failure just seen, about the format being checked. It keeps its
// last reason across calls and some failures set none, so the caller starts it from one that no
// decode of a JPEG or PNG gives; that one, or the complaint its PNG probe leaves on a JPEG,
// means the decoder had nothing to say of its own. It names an unknown chunk by the chunk's type
// bytes, as a C string, which a 0 among them cuts short or empties: such a chunk is named here.
std::string decoderReason(std::span<const std::uint8_t> bytes, Format format) {
  const std::string damaged =
      format == Format::kJpeg ? "damaged or truncated JPEG data" : "damaged or truncated PNG data";
  const std::string reason = stbi_failure_reason();
  if (reason == "unknown image type" || reason == "bad png sig") {
    return damaged;
  }
  if (const std::optional<UnknownChunk> chunk =
          format == Format::kPng ? unknownChunk(bytes) : std::nullopt) {
    const std::string named = chunkName(chunk->type, false) + " PNG chunk not known";
    if (reason == named.c_str()) {
      return chunk->pastTheEnd
                 ? "it ends without an IEND chunk"
                 : "it has a critical chunk of unknown type \"" + chunkName(chunk->type) + "\"";
    }
  }
  return reason.empty() ? damaged : printable(reason);
}

// Decodes fully, as the viewer does, asking for `channels`; a failure names the decoder's reason.
void checkDecodes(std::span<const std::uint8_t> bytes, Format format, int channels,
                  const std::string& fileName) {
  int width = 0;
  int height = 0;
  int stored = 0;
  const std::uint8_t nothing = 0;
  stbi_info_from_memory(&nothing, 1, &width, &height, &stored);  // "unknown image type"
  const GuardedDecode decoded = decodeGuarded(bytes, &width, &height, &stored, channels);
  switch (decoded.refusal) {
    case DecodeRefusal::kTooLarge:
      throw PackError(fileName, "is too large to decode");
    case DecodeRefusal::kHuffmanTables:
      throw PackError(fileName, "does not decode: a Huffman table is oversized or missing");
    case DecodeRefusal::kPngData:
      throw PackError(fileName, pngRefusal(decoded.png));
    case DecodeRefusal::kChannels:  // never asked for here
    case DecodeRefusal::kDecoder:
      throw PackError(fileName, "does not decode: " + decoderReason(bytes, format));
    case DecodeRefusal::kNone:
      break;
  }
  stbi_image_free(decoded.pixels);
  if (stored != channels) {
    throw PackError(fileName, "has " + std::to_string(stored) + " components, expected " +
                                  std::to_string(channels));
  }
  // The viewer uploads with GL's default row alignment of 4, which only rows of whole words
  // satisfy; 512 pixels a row, as the viewer's pictures are, always do.
  if (width != kPictureSize || height != kPictureSize) {
    throw PackError(fileName, "is " + std::to_string(width) + " by " + std::to_string(height) +
                                  " pixels, expected 512 by 512");
  }
}

}  // namespace

void checkFirstImage(std::span<const std::uint8_t> bytes, const std::string& fileName) {
  if (bytes.empty()) {
    throw PackError(fileName, "is empty");
  }
  if (bytes.size() < 3 || bytes[0] != 0xFF || bytes[1] != 0xD8 || bytes[2] != 0xFF) {
    throw PackError(fileName, "is not a JPEG");
  }
  const int frame = jpegFirstFrameMarker(bytes);
  if (frame == 0) {
    throw PackError(fileName, "is a JPEG without a frame header");
  }
  if (frame != 0xC0) {
    throw PackError(fileName, "is not a baseline JPEG (progressive or another coding)");
  }
  checkDecodes(bytes, Format::kJpeg, 3, fileName);
}

void checkSecondImage(std::span<const std::uint8_t> bytes, const std::string& fileName) {
  if (bytes.empty()) {
    throw PackError(fileName, "is empty");
  }
  if (bytes.size() < sizeof kPngSignature ||
      std::memcmp(bytes.data(), kPngSignature, sizeof kPngSignature) != 0) {
    throw PackError(fileName, "is not a PNG");
  }
  // The header chunk comes first: length, "IHDR", width, height, bit depth, colour type.
  if (bytes.size() < 26 || std::memcmp(bytes.data() + 12, "IHDR", 4) != 0) {
    throw PackError(fileName, "is a PNG without its header chunk");
  }
  const int bitDepth = bytes[24];
  const int colourType = bytes[25];
  if (bitDepth != 8) {
    throw PackError(fileName, "has " + std::to_string(bitDepth) + "-bit samples, expected 8-bit");
  }
  if (colourType != 6) {
    throw PackError(
        fileName, "is a PNG of colour type " + std::to_string(colourType) + ", expected 6 (RGBA)");
  }
  checkDecodes(bytes, Format::kPng, 4, fileName);
}
