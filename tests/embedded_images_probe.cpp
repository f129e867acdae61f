// Test-only program, packed like the viewer: the viewer's own entry, with a runViewer that prints
// what the entry read of the images it carries.
#include <cstdio>

#include "app/embedded_images.h"
#include "app/viewer.h"
#include "tests/digest.h"

int runViewer() {
  std::fputs(digestLine("texture1Bytes", texture1Bytes.data(), texture1Bytes.size()).c_str(),
             stdout);
  std::fputs(digestLine("texture2Bytes", texture2Bytes.data(), texture2Bytes.size()).c_str(),
             stdout);
  return 0;
}
