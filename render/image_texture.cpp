// Decodes an encoded image from memory into a new 2D texture with mipmaps.
#include "render/image_texture.h"

#include <stb_image.h>

#include "render/guarded_decode.h"

namespace {

// One set of decoder outputs serves every decode; each upload reads the decode just before it.
int decodedWidth = 0;
int decodedHeight = 0;
int decodedChannels = 0;  // What the file stores; written by the decoder, never read.

// The decoder is asked for exactly the channels the upload format has, so GL never reads past
// the decoded pixels (a grey JPEG, say, would otherwise come back with one channel for GL_RGB).
int channelsOf(GLenum pixelFormat) {
  switch (pixelFormat) {
    case GL_RGB:
      return 3;
    case GL_RGBA:
      return 4;
    default:
      return 0;  // which the decode refuses
  }
}

// The format the pixels go up in. WebGL 2 refuses RGBA data for an RGB texture, so a browser
// decodes to three channels, which drops the same alpha the desktop's upload drops, and the
// texture holds the same values.
GLenum uploadFormat(GLenum pixelFormat) {
#ifdef __EMSCRIPTEN__
  return pixelFormat == GL_RGBA ? GL_RGB : pixelFormat;
#else
  return pixelFormat;
#endif
}

}  // namespace

void flipImagesOnDecode() {
  stbi_set_flip_vertically_on_load(1);
}

GLuint createImageTexture(std::span<const std::uint8_t> encoded, GLenum pixelFormat) {
  GLuint textureId = 0;
  glGenTextures(1, &textureId);
  // On whichever unit is active: at start-up that is unit 0.
  glBindTexture(GL_TEXTURE_2D, textureId);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_REPEAT);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_REPEAT);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);

  const GLenum format = uploadFormat(pixelFormat);
  const int channels = channelsOf(format);
  // Refused bytes count as a failed decode, silently.
  stbi_uc* pixels =
      decodeGuarded(encoded, &decodedWidth, &decodedHeight, &decodedChannels, channels).pixels;
  // GL reads rows padded to its default unpack alignment of 4 while the decoder packs them
  // without gaps: rows that are not whole words would have GL read past the pixels, so such a
  // picture counts as a failed decode (512 pixels a row, as the packer demands, always are).
  const bool rowsAreWords = static_cast<long long>(decodedWidth) * channels % 4 == 0;
  if (pixels != nullptr && rowsAreWords) {
    // GL_RGB inside for both images: the second image's alpha is dropped on purpose.
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGB, decodedWidth, decodedHeight, 0, format, GL_UNSIGNED_BYTE,
                 pixels);
    glGenerateMipmap(GL_TEXTURE_2D);
  }
  // A failed decode leaves the name without storage: an incomplete texture that samples black.
  stbi_image_free(pixels);
  return textureId;
}
