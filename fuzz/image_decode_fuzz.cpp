// Fuzzes the viewer's image decode and upload: a 4-byte length, the first image, the second.
#include <algorithm>
#include <cstdint>
#include <string>

#include "fuzz/fuzz_input.h"
#include "render/image_texture.h"
#include "tests/fake_gl.h"

namespace {

bool startsWith(const std::string& text, const char* prefix) {
  return text.rfind(prefix, 0) == 0;
}

// An upload comes with its mipmaps and never alone; a failed decode makes neither call.
void checkUploadPairs() {
  const auto& calls = fakeGl().calls;
  const auto uploads = std::count_if(calls.begin(), calls.end(), [](const std::string& call) {
    return startsWith(call, "glTexImage2D(");
  });
  const auto mipmaps = std::count_if(calls.begin(), calls.end(), [](const std::string& call) {
    return startsWith(call, "glGenerateMipmap(");
  });
  fuzzCheck(uploads == mipmaps, "every upload builds its mipmaps");
  fuzzCheck(fakeGl().textureUploads.size() == static_cast<std::size_t>(uploads),
            "every upload is recorded");
  for (const std::string& call : calls) {
    fuzzCheck(!startsWith(call, "unexpected "), "only modelled GL entry points are called");
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // As the viewer does at start-up: entry points loaded, the flip switched on once.
  static const bool ready = [] {
    fuzzCheck(loadFakeGl() != 0, "the fake GL loads");
    flipImagesOnDecode();
    return true;
  }();
  static_cast<void>(ready);
  resetFakeGl();

  FuzzInput input({data, size});
  const std::span<const std::uint8_t> first = input.take(input.takeWord());
  const std::span<const std::uint8_t> second = input.rest();
  // The fake copies exactly the bytes GL would read from the decoded pixels, so a buffer shorter
  // than the upload claims is an ASan report here.
  const GLuint texture1 = createImageTexture(first, GL_RGB);
  const GLuint texture2 = createImageTexture(second, GL_RGBA);
  fuzzCheck(texture1 == 1 && texture2 == 2, "each image gets a texture name of its own");
  checkUploadPairs();
  return 0;
}
