// Decodes an encoded image from memory into a new 2D texture with mipmaps.
#include "render/image_texture.h"

#include <climits>

#include <stb_image.h>

#include "render/jpeg_tables.h"
#include "render/png_data_bound.h"

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
      return 0;
  }
}

stbi_uc* decode(std::span<const std::uint8_t> encoded, int channels) {
  // A length the decoder cannot take, or a format it cannot produce: both count as a failed
  // decode. An empty buffer needs no test of its own: the decoder finds no picture in it.
  if (encoded.size() > static_cast<std::size_t>(INT_MAX) || channels == 0) {
    return nullptr;
  }
  // The decoder would write an oversized Huffman table past its own arrays, and would inflate
  // PNG data into memory however far it runs past its picture.
  if (!jpegHuffmanTablesFit(encoded) || !pngDataFits(encoded)) {
    return nullptr;
  }
  return stbi_load_from_memory(encoded.data(), static_cast<int>(encoded.size()), &decodedWidth,
                               &decodedHeight, &decodedChannels, channels);
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

  const int channels = channelsOf(pixelFormat);
  stbi_uc* pixels = decode(encoded, channels);
  // GL reads rows padded to its default unpack alignment of 4 while the decoder packs them
  // without gaps: rows that are not whole words would have GL read past the pixels, so such a
  // picture counts as a failed decode (512 pixels a row, as the packer demands, always are).
  const bool rowsAreWords = static_cast<long long>(decodedWidth) * channels % 4 == 0;
  if (pixels != nullptr && rowsAreWords) {
    // GL_RGB inside for both images: the second image's alpha is dropped on purpose.
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGB, decodedWidth, decodedHeight, 0, pixelFormat,
                 GL_UNSIGNED_BYTE, pixels);
    glGenerateMipmap(GL_TEXTURE_2D);
  }
  // A failed decode leaves the name without storage: an incomplete texture that samples black.
  stbi_image_free(pixels);
  return textureId;
}
