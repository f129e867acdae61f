// The POSIX file access of the embedded-image reader: plain open, seek, read and close.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "app/embedded_images.h"

void readFileRange(const char* path, std::uint32_t offset, std::uint32_t size,
                   std::vector<std::uint8_t>& buffer) {
  const int file = open(path, O_RDONLY | O_CLOEXEC);
  if (file == -1) {
    return;
  }
  // A file whose size cannot be had is taken as holding nothing.
  struct stat status {};
  const std::uint64_t fileSize =
      fstat(file, &status) == 0 ? static_cast<std::uint64_t>(status.st_size) : 0;
  resizeZeroFilled(buffer, bytesHeldFrom(fileSize, offset, size));
  // Results are not looked at: a failed seek or a short read leaves zeros behind.
  [[maybe_unused]] const off_t position = lseek(file, static_cast<off_t>(offset), SEEK_SET);
  [[maybe_unused]] const ssize_t delivered = read(file, buffer.data(), buffer.size());
  close(file);
}
