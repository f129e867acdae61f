// Test-only program, packed like the viewer: the viewer's own entry, with a runViewer that prints
// what the entry read of the images it carries.
#include <cinttypes>
#include <cstdio>

#include "app/embedded_images.h"
#include "app/viewer.h"
#include "tests/digest.h"

int runViewer() {
  std::printf("texture1Bytes %zu %016" PRIx64 "\n", texture1Bytes.size(),
              digestBytes(texture1Bytes.data(), texture1Bytes.size()));
  std::printf("texture2Bytes %zu %016" PRIx64 "\n", texture2Bytes.size(),
              digestBytes(texture2Bytes.data(), texture2Bytes.size()));
  return 0;
}
