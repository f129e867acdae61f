// A check run before the image decoder sees a JPEG: tables the decoder would overflow on.
#pragma once

#include <cstdint>
#include <span>

// False when `encoded` is a JPEG with a Huffman table segment (DHT) whose code counts add up to
// more than 256: the decoder writes such a table past its fixed arrays. Any other bytes, JPEG or
// not, return true and are left to the decoder to accept or refuse.
bool jpegHuffmanTablesFit(std::span<const std::uint8_t> encoded);
