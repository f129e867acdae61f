// A check run before the image decoder sees a JPEG: tables the decoder would overflow on.
#pragma once

#include <cstdint>
#include <span>

// False when `encoded` is a JPEG with a Huffman table segment (DHT) whose code counts add up to
// more than 256, which the decoder writes past its fixed arrays, or with a scan that decodes with
// a table not defined before it, which the decoder reads past its arrays and its memory. Any
// other bytes, JPEG or not, return true and are left to the decoder to accept or refuse.
bool jpegHuffmanTablesFit(std::span<const std::uint8_t> encoded);
