// The 20-byte directory of the two appended images: its words, and their bytes in the file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

inline constexpr std::size_t kEmbeddedAssetDirectoryBytes = 20;

// Five little-endian words in this file order; the viewer follows the four pair words only.
struct EmbeddedAssetDirectory {
  std::uint32_t texture2Size = 0;
  std::uint32_t texture2Offset = 0;
  std::uint32_t texture1Size = 0;
  std::uint32_t texture1Offset = 0;
  std::uint32_t trailingWord = 0;
};

using DirectoryBytes = std::span<const std::uint8_t, kEmbeddedAssetDirectoryBytes>;

inline std::uint32_t loadLittleEndian32(std::span<const std::uint8_t> bytes, std::size_t at) {
  return static_cast<std::uint32_t>(bytes[at]) | static_cast<std::uint32_t>(bytes[at + 1]) << 8 |
         static_cast<std::uint32_t>(bytes[at + 2]) << 16 |
         static_cast<std::uint32_t>(bytes[at + 3]) << 24;
}

inline void storeLittleEndian32(std::span<std::uint8_t> bytes, std::size_t at, std::uint32_t word) {
  for (int shift = 0; shift < 32; shift += 8) {
    bytes[at++] = static_cast<std::uint8_t>(word >> shift);
  }
}

inline EmbeddedAssetDirectory decodeEmbeddedAssetDirectory(DirectoryBytes bytes) {
  return {loadLittleEndian32(bytes, 0), loadLittleEndian32(bytes, 4), loadLittleEndian32(bytes, 8),
          loadLittleEndian32(bytes, 12), loadLittleEndian32(bytes, 16)};
}

inline void encodeEmbeddedAssetDirectory(
    const EmbeddedAssetDirectory& directory,
    std::span<std::uint8_t, kEmbeddedAssetDirectoryBytes> bytes) {
  storeLittleEndian32(bytes, 0, directory.texture2Size);
  storeLittleEndian32(bytes, 4, directory.texture2Offset);
  storeLittleEndian32(bytes, 8, directory.texture1Size);
  storeLittleEndian32(bytes, 12, directory.texture1Offset);
  storeLittleEndian32(bytes, 16, directory.trailingWord);
}
