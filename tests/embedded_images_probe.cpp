// Test-only program, packed like the viewer: prints what it read of the images it carries.
#include <cinttypes>
#include <cstdio>

#ifdef _WIN32
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#else
#include "app/embedded_asset_directory.h"
#endif
#include "app/embedded_images.h"
#include "tests/digest.h"

int main() {
#ifdef _WIN32
  loadEmbeddedImages(GetModuleHandleA(nullptr));
#else
  loadEmbeddedImages(zoravarovaEmbeddedAssetDirectory);
#endif
  std::printf("texture1Bytes %zu %016" PRIx64 "\n", texture1Bytes.size(),
              digestBytes(texture1Bytes.data(), texture1Bytes.size()));
  std::printf("texture2Bytes %zu %016" PRIx64 "\n", texture2Bytes.size(),
              digestBytes(texture2Bytes.data(), texture2Bytes.size()));
  return 0;
}
