// The platform-neutral half of the embedded-image reader: the directory words and the buffers.
#include "app/embedded_images.h"

#include <algorithm>
#include <limits>
#include <new>

std::vector<std::uint8_t> texture1Bytes;
std::vector<std::uint8_t> texture2Bytes;

namespace {

// Where a PE file keeps e_lfanew, and SizeOfHeaders relative to the PE signature.
constexpr std::size_t kPeSignatureOffsetAt = 0x3C;
constexpr std::size_t kSizeOfHeadersAfterSignature = 0x54;

std::uint32_t littleEndianWord(const volatile unsigned char* bytes) {
  return static_cast<std::uint32_t>(bytes[0]) | static_cast<std::uint32_t>(bytes[1]) << 8 |
         static_cast<std::uint32_t>(bytes[2]) << 16 | static_cast<std::uint32_t>(bytes[3]) << 24;
}

}  // namespace

std::uint32_t bytesHeldFrom(std::uint64_t fileSize, std::uint32_t offset, std::uint32_t size) {
  if (offset >= fileSize) {
    return 0;
  }
  return static_cast<std::uint32_t>(std::min<std::uint64_t>(size, fileSize - offset));
}

// A 32-bit count is far below the largest vector of a 64-bit target, so only the allocation
// itself can fail.
void resizeZeroFilled(std::vector<std::uint8_t>& buffer, std::uint32_t count) {
  try {
    buffer.assign(count, 0);
  } catch (const std::bad_alloc&) {
    buffer.clear();
    buffer.shrink_to_fit();
  }
}

EmbeddedAssetDirectory decodeEmbeddedAssetDirectory(const volatile unsigned char* bytes) {
  EmbeddedAssetDirectory directory;
  directory.texture2Size = littleEndianWord(bytes + 0);
  directory.texture2Offset = littleEndianWord(bytes + 4);
  directory.texture1Size = littleEndianWord(bytes + 8);
  directory.texture1Offset = littleEndianWord(bytes + 12);
  // The trailing word at bytes 16..19 is left unread: nothing depends on it.
  return directory;
}

const volatile unsigned char* headerAreaDirectory(const volatile unsigned char* imageBase) {
  const std::uint32_t signatureOffset = littleEndianWord(imageBase + kPeSignatureOffsetAt);
  const std::uint32_t sizeOfHeaders =
      littleEndianWord(imageBase + signatureOffset + kSizeOfHeadersAfterSignature);
  return imageBase + sizeOfHeaders - kEmbeddedAssetDirectoryBytes;
}

void readEmbeddedImage(const char* path, std::uint32_t offset, std::uint32_t size,
                       std::vector<std::uint8_t>& buffer) {
  // Whatever the buffer held before is gone, also when the file cannot be opened: an empty
  // buffer then says that nothing of the file is held, where zeros would claim a picture.
  buffer.clear();
  // The seek distance is a signed 32-bit value: larger offsets name no byte it can reach, and a
  // negative distance would leave the read at the file's start.
  if (offset > static_cast<std::uint32_t>(std::numeric_limits<std::int32_t>::max())) {
    return;
  }
  readFileRange(path, offset, size, buffer);
}

void readEmbeddedImages(const char* path, const EmbeddedAssetDirectory& directory,
                        std::vector<std::uint8_t>& first, std::vector<std::uint8_t>& second) {
  readEmbeddedImage(path, directory.texture1Offset, directory.texture1Size, first);
  readEmbeddedImage(path, directory.texture2Offset, directory.texture2Size, second);
}
