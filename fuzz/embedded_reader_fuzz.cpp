// Fuzzes the embedded-image reader: 20 directory bytes, then the bytes of the file it reads from.
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "app/embedded_images.h"
#include "fuzz/fuzz_input.h"

namespace {

// The file lives in memory and is reached by a path, as the viewer reaches its own file.
int memoryFile() {
  static const int file = memfd_create("zv-fuzz-reader", MFD_CLOEXEC);
  fuzzCheck(file != -1, "memfd_create works");
  return file;
}

// What the reader must leave: the file's bytes from `offset` on, at most `size` of them, when the
// seek can reach `offset`; nothing otherwise. Whatever the size word, nothing past the file's end.
void checkRead(const std::vector<std::uint8_t>& buffer, std::span<const std::uint8_t> file,
               std::uint32_t offset, std::uint32_t size) {
  const bool reachable =
      offset <= static_cast<std::uint32_t>(std::numeric_limits<std::int32_t>::max());
  const std::span<const std::uint8_t> held =
      reachable && offset < file.size()
          ? file.subspan(offset, std::min<std::size_t>(size, file.size() - offset))
          : std::span<const std::uint8_t>();
  fuzzCheck(buffer.size() == held.size(),
            "the buffer holds exactly what the file has, at most the size");
  fuzzCheck(std::equal(held.begin(), held.end(), buffer.begin()),
            "each byte is the file's byte at the offset");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzInput input({data, size});
  const std::span<const std::uint8_t> words = input.take(kEmbeddedAssetDirectoryBytes);
  if (words.size() < kEmbeddedAssetDirectoryBytes) {
    return 0;
  }
  const EmbeddedAssetDirectory directory =
      decodeEmbeddedAssetDirectory(words.first<kEmbeddedAssetDirectoryBytes>());
  const std::span<const std::uint8_t> file = input.rest();
  const int handle = memoryFile();
  fuzzCheck(ftruncate(handle, 0) == 0, "the memory file empties");
  fuzzCheck(pwrite(handle, file.data(), file.size(), 0) == static_cast<ssize_t>(file.size()),
            "the memory file takes the bytes");
  const std::string path = "/proc/self/fd/" + std::to_string(handle);

  // Buffers that already hold something, as on a second load: nothing of it may survive.
  std::vector<std::uint8_t> first(37, 0xA5);
  std::vector<std::uint8_t> second(3, 0x5A);
  readEmbeddedImages(path.c_str(), directory, first, second);
  checkRead(first, file, directory.texture1Offset, directory.texture1Size);
  checkRead(second, file, directory.texture2Offset, directory.texture2Size);
  return 0;
}
