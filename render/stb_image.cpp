// The one translation unit that compiles the image decoder, limited to JPEG and PNG.
#define STB_IMAGE_IMPLEMENTATION
#define STBI_ONLY_JPEG
#define STBI_ONLY_PNG
// The viewer's pictures are 512 by 512 (the packer demands it). A few damaged bytes can claim a
// picture of thousands of pixels a side that the decoder would then spend seconds filling from
// nothing, so anything over 2048 a side fails to decode, like any other damage.
#define STBI_MAX_DIMENSIONS 2048
#include <stb_image.h>

#include "render/decoder_failure.h"

void forgetDecoderFailure() {
  stbi__g_failure_reason = nullptr;
}
