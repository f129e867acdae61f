// The platform-neutral half of the embedded-image reader: the directory words and the buffers.
#include "app/embedded_images.h"

#include <algorithm>
#include <limits>
#include <new>

std::vector<std::uint8_t> texture1Bytes;
std::vector<std::uint8_t> texture2Bytes;

std::array<std::uint8_t, kEmbeddedAssetDirectoryBytes> copyDirectoryBytes(
    const volatile unsigned char* bytes) {
  std::array<std::uint8_t, kEmbeddedAssetDirectoryBytes> copy{};
  for (std::size_t i = 0; i < copy.size(); ++i) {
    copy[i] = bytes[i];
  }
  return copy;
}

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

void loadEmbeddedImages(DirectoryBytes directoryBytes, const char* executablePath) {
  // The trailing word is decoded with the rest but nothing here follows it.
  const EmbeddedAssetDirectory directory = decodeEmbeddedAssetDirectory(directoryBytes);
  readEmbeddedImages(executablePath, directory, texture1Bytes, texture2Bytes);
}
