// Process entry: read the images the executable carries, then run the viewer.
#include "app/embedded_asset_directory.h"
#include "app/embedded_images.h"
#include "app/viewer.h"

int main() {
  loadEmbeddedImages(zoravarovaEmbeddedAssetDirectory);
  return runViewer();
}
