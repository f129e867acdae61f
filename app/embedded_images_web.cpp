// The browser's file access of the embedded-image reader: ranges of the .wasm the page fetched.
#include "app/embedded_images.h"
#include "app/web_file_access.h"

// A page has no files: the one thing the viewer reads is its own module, whose bytes the page
// keeps from the fetch that instantiated it, so `path` names nothing here. A page that kept no
// bytes is a file that cannot be opened.
void readFileRange(const char* /*path*/, std::uint32_t offset, std::uint32_t size,
                   std::vector<std::uint8_t>& buffer) {
  const std::uint32_t fileSize = zv_module_size();
  if (fileSize == 0) {
    return;
  }
  resizeZeroFilled(buffer, bytesHeldFrom(fileSize, offset, size));
  if (!buffer.empty()) {
    zv_copy_module_range(offset, buffer.data(), static_cast<std::uint32_t>(buffer.size()));
  }
}
