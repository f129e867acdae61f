// Reads the embedded images from a file by the directory words, with plain POSIX calls.
#include "app/embedded_images.h"

#include <fcntl.h>
#include <unistd.h>

#include <limits>
#include <new>
#include <stdexcept>

std::vector<std::uint8_t> texture1Bytes;
std::vector<std::uint8_t> texture2Bytes;

namespace {

// The kernel's name for the running executable: it resolves however long the real path is, so
// the file is never opened by a shortened name.
constexpr const char* kOwnExecutablePath = "/proc/self/exe";

std::uint32_t littleEndianWord(const volatile unsigned char* bytes) {
  return static_cast<std::uint32_t>(bytes[0]) | static_cast<std::uint32_t>(bytes[1]) << 8 |
         static_cast<std::uint32_t>(bytes[2]) << 16 | static_cast<std::uint32_t>(bytes[3]) << 24;
}

bool resizeZeroFilled(std::vector<std::uint8_t>& buffer, std::uint32_t size) {
  try {
    buffer.assign(size, 0);
    return true;
  } catch (const std::bad_alloc&) {
  } catch (const std::length_error&) {
  }
  buffer.clear();
  buffer.shrink_to_fit();
  return false;
}

}  // namespace

EmbeddedAssetDirectory decodeEmbeddedAssetDirectory(const volatile unsigned char* bytes) {
  EmbeddedAssetDirectory directory;
  directory.texture2Size = littleEndianWord(bytes + 0);
  directory.texture2Offset = littleEndianWord(bytes + 4);
  directory.texture1Size = littleEndianWord(bytes + 8);
  directory.texture1Offset = littleEndianWord(bytes + 12);
  // The trailing word at bytes 16..19 is left unread: nothing depends on it.
  return directory;
}

void readEmbeddedImage(const char* path, std::uint32_t offset, std::uint32_t size,
                       std::vector<std::uint8_t>& buffer) {
  if (!resizeZeroFilled(buffer, size)) {
    return;
  }
  const int file = open(path, O_RDONLY | O_CLOEXEC);
  if (file == -1) {
    return;
  }
  // The seek distance is a signed 32-bit value: larger offsets name no byte of the file.
  if (offset <= static_cast<std::uint32_t>(std::numeric_limits<std::int32_t>::max())) {
    // Results are not looked at: a failed seek or a short read leaves zeros behind.
    [[maybe_unused]] const off_t position = lseek(file, static_cast<off_t>(offset), SEEK_SET);
    [[maybe_unused]] const ssize_t delivered = read(file, buffer.data(), buffer.size());
  }
  close(file);
}

void readEmbeddedImages(const char* path, const EmbeddedAssetDirectory& directory,
                        std::vector<std::uint8_t>& first, std::vector<std::uint8_t>& second) {
  readEmbeddedImage(path, directory.texture1Offset, directory.texture1Size, first);
  readEmbeddedImage(path, directory.texture2Offset, directory.texture2Size, second);
}

void loadEmbeddedImages(const volatile unsigned char* directoryBytes) {
  const EmbeddedAssetDirectory directory = decodeEmbeddedAssetDirectory(directoryBytes);
  readEmbeddedImages(kOwnExecutablePath, directory, texture1Bytes, texture2Bytes);
}
