// Checks the two images by their headers and by decoding them the way the viewer will.
#include "tools/pack/image_checks.h"

#include <stb_image.h>

#include <climits>
#include <cstring>

#include "render/jpeg_tables.h"
#include "tools/pack/pack_error.h"

namespace {

constexpr int kPictureSize = 512;
constexpr std::uint8_t kPngSignature[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};

// Decodes fully, as the viewer does, asking for `channels`; a failure names the decoder's reason.
void checkDecodes(std::span<const std::uint8_t> bytes, int channels, const std::string& fileName) {
  if (bytes.size() > static_cast<std::size_t>(INT_MAX)) {
    throw PackError(fileName, "is too large to decode");
  }
  if (!jpegHuffmanTablesFit(bytes)) {
    throw PackError(fileName, "does not decode: a Huffman table is oversized or missing");
  }
  int width = 0;
  int height = 0;
  int stored = 0;
  stbi_uc* pixels = stbi_load_from_memory(bytes.data(), static_cast<int>(bytes.size()), &width,
                                          &height, &stored, channels);
  if (pixels == nullptr) {
    // The decoder tries PNG before JPEG, and a JPEG that fails without a reason of its own
    // leaves that probe's complaint behind, which would misname the problem.
    const std::string reason = stbi_failure_reason();
    throw PackError(
        fileName,
        "does not decode: " +
            (reason == "bad png sig" ? std::string("damaged or truncated JPEG data") : reason));
  }
  stbi_image_free(pixels);
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

// The first frame marker of a JPEG, FF C0 for baseline; 0 when none is found.
int firstFrameMarker(std::span<const std::uint8_t> bytes) {
  std::size_t at = 2;
  while (at + 4 <= bytes.size()) {
    if (bytes[at] != 0xFF) {
      return 0;
    }
    const int marker = bytes[at + 1];
    if (marker == 0xFF) {  // fill byte
      ++at;
      continue;
    }
    const bool isFrame =
        marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
    if (isFrame) {
      return marker;
    }
    if (marker == 0xDA || marker == 0xD9) {  // scan or end before any frame
      return 0;
    }
    const std::size_t length = static_cast<std::size_t>(bytes[at + 2]) << 8 | bytes[at + 3];
    at += 2 + length;
  }
  return 0;
}

}  // namespace

void checkFirstImage(std::span<const std::uint8_t> bytes, const std::string& fileName) {
  if (bytes.empty()) {
    throw PackError(fileName, "is empty");
  }
  if (bytes.size() < 3 || bytes[0] != 0xFF || bytes[1] != 0xD8 || bytes[2] != 0xFF) {
    throw PackError(fileName, "is not a JPEG");
  }
  const int frame = firstFrameMarker(bytes);
  if (frame == 0) {
    throw PackError(fileName, "is a JPEG without a frame header");
  }
  if (frame != 0xC0) {
    throw PackError(fileName, "is not a baseline JPEG (progressive or another coding)");
  }
  checkDecodes(bytes, 3, fileName);
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
  checkDecodes(bytes, 4, fileName);
}
