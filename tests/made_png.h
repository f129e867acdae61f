// PNGs put together chunk by chunk in tests, with image data deflated by zlib.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

using Bytes = std::vector<std::uint8_t>;

// A chunk: its length, type, data and CRC.
Bytes pngChunk(const std::string& type, const Bytes& data);

// The 13 bytes of IHDR: sides, bit depth, colour type, methods 0, interlacing.
Bytes pngHeaderData(std::uint32_t width, std::uint32_t height, int bitDepth, int colourType,
                    bool interlaced = false);

// A zlib stream that inflates to `count` zero bytes, checksum included. Cheap for any count:
// past the first MiB, each MiB of zeros deflates to the same few bytes, written again.
Bytes zlibZeros(std::uint64_t count);

// The same stream without its 2-byte header and 4-byte checksum: bare deflate.
Bytes rawDeflate(const Bytes& zlibStream);

// The signature, IHDR, the chunks of `before`, `imageData` cut into `idatChunks` IDAT chunks of
// about equal size, then IEND.
Bytes makePng(const Bytes& headerData, const Bytes& imageData, int idatChunks = 1,
              const Bytes& before = {});
