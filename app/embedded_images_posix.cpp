// The POSIX half of the embedded-image reader: plain file calls on the kernel's name for itself.
#include <fcntl.h>
#include <unistd.h>

#include "app/embedded_images.h"

namespace {

// The kernel's name for the running executable: it resolves however long the real path is, so
// the file is never opened by a shortened name.
constexpr const char* kOwnExecutablePath = "/proc/self/exe";

}  // namespace

void readFileRange(const char* path, std::uint32_t offset, std::uint8_t* data, std::size_t size) {
  const int file = open(path, O_RDONLY | O_CLOEXEC);
  if (file == -1) {
    return;
  }
  // Results are not looked at: a failed seek or a short read leaves zeros behind.
  [[maybe_unused]] const off_t position = lseek(file, static_cast<off_t>(offset), SEEK_SET);
  [[maybe_unused]] const ssize_t delivered = read(file, data, size);
  close(file);
}

void loadEmbeddedImages(const volatile unsigned char* directoryBytes) {
  const EmbeddedAssetDirectory directory = decodeEmbeddedAssetDirectory(directoryBytes);
  readEmbeddedImages(kOwnExecutablePath, directory, texture1Bytes, texture2Bytes);
}
