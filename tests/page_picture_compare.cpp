// Compares a screenshot of the page with the CPU ray cast, for the page's tests in node.
//
//   page-picture-compare SHOT.png [X Y]...
// The X Y pairs are the cursor positions the viewer got, in order. Prints one JSON line:
// {"compared":N,"mismatched":M,"lit":L,"firstMismatch":"..."}.
#include <stb_image.h>

#include <cstdio>
#include <exception>
#include <string>

#include "tests/picture_model.h"

int main(int argc, char** argv) {
  if (argc < 2 || argc % 2 != 0) {
    std::fprintf(stderr, "usage: %s SHOT.png [X Y]...\n", argv[0]);
    return 2;
  }
  try {
    const std::string assets = ZV_ASSET_DIR;
    const Picture first = loadPicture(assets + "/first.jpg", 3);
    const Picture second = loadPicture(assets + "/second.png", 4);
    // The screenshot is read as it is stored, top row first.
    stbi_set_flip_vertically_on_load(0);
    int width = 0;
    int height = 0;
    int stored = 0;
    stbi_uc* pixels = stbi_load(argv[1], &width, &height, &stored, 3);
    if (pixels == nullptr || width < kWindowWidth || height < kWindowHeight) {
      std::fprintf(stderr, "%s: not a screenshot of %dx%d or more\n", argv[1], kWindowWidth,
                   kWindowHeight);
      stbi_image_free(pixels);
      return 2;
    }
    std::vector<std::pair<double, double>> positions;
    for (int i = 2; i + 1 < argc; i += 2) {
      positions.emplace_back(std::stod(argv[i]), std::stod(argv[i + 1]));
    }
    const std::span<const std::uint8_t> rgb(pixels, static_cast<std::size_t>(width) * height * 3);
    const Comparison result =
        compareWithModel({width, rgb}, viewAfter(positions), first, second, 0.8f, 0.2f);
    stbi_image_free(pixels);
    std::printf("{\"compared\":%d,\"mismatched\":%d,\"lit\":%d,\"firstMismatch\":\"%s\"}\n",
                result.compared, result.mismatched, result.lit, result.firstMismatch.c_str());
    return 0;
  } catch (const std::exception& error) {
    std::fprintf(stderr, "%s\n", error.what());
    return 2;
  }
}
