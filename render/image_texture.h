// 2D textures made from the encoded images the executable carries.
#pragma once

#include <cstdint>
#include <span>

#include <glad/gl.h>

// Switched on once before the first decode: rows then come bottom row first, as GL expects.
void flipImagesOnDecode();

GLuint createImageTexture(std::span<const std::uint8_t> encoded, GLenum pixelFormat);
