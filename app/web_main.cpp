// Process entry in a browser: read the images the .wasm carries, then run the viewer.
#include <array>

#include "app/embedded_images.h"
#include "app/viewer.h"
#include "app/web_file_access.h"

namespace {

// The name the page fetches the module by; the web file access reads that file alone.
constexpr const char* kOwnModulePath = "zoravarova.wasm";

}  // namespace

int main() {
  std::array<std::uint8_t, kEmbeddedAssetDirectoryBytes> directoryBytes{};
  zv_copy_asset_directory(directoryBytes.data());
  loadEmbeddedImages(directoryBytes, kOwnModulePath);
  const int exitCode = runViewer();
  // The page learns the ending from here, whichever way the runtime then exits.
  zv_viewer_ended(exitCode);
  return exitCode;
}
