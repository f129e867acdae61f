// Process entry on Windows: read the images the executable carries, then run the viewer.
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include "app/embedded_images.h"
#include "app/viewer.h"

// Only the instance is used: it is the base of the loaded image, whose header area holds the
// directory of the images. runViewer's -1 becomes the exit status 0xFFFFFFFF.
int WINAPI WinMain(HINSTANCE instance, HINSTANCE /*previous*/, LPSTR /*commandLine*/,
                   int /*showMode*/) {
  loadEmbeddedImages(instance);
  return runViewer();
}
