// Process entry: read the images the executable carries, then run the viewer.
#include "app/elf_asset_section.h"
#include "app/embedded_images.h"
#include "app/viewer.h"

namespace {

// The kernel's name for the running executable: it resolves however long the real path is, so
// the file is never opened by a shortened name.
constexpr const char* kOwnExecutablePath = "/proc/self/exe";

}  // namespace

int main() {
  loadEmbeddedImages(copyDirectoryBytes(zoravarovaEmbeddedAssetDirectory), kOwnExecutablePath);
  return runViewer();
}
