// Where a 64-bit little-endian ELF executable keeps its asset directory and where its content ends.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

struct ExecutableLayout {
  std::size_t directoryOffset = 0;  // file offset of the 20 directory bytes
  std::size_t contentEnd = 0;       // first byte after every header, section and table
};

// Throws PackError naming `fileName` when the bytes are not such an executable or lack the
// directory section of exactly 20 bytes.
ExecutableLayout locateElfAssetDirectory(std::span<const std::uint8_t> file,
                                         const std::string& fileName);
