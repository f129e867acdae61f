// Walks a WebAssembly module's top-level sections, checking every size against what remains.
#include "tools/pack/wasm_layout.h"

#include <cstdio>
#include <cstring>
#include <limits>
#include <optional>

#include "app/asset_directory.h"
#include "tools/pack/pack_error.h"

namespace {

constexpr std::uint8_t kHeader[] = {0x00, 'a', 's', 'm', 0x01, 0x00, 0x00, 0x00};
constexpr std::uint8_t kCustomSection = 0;
constexpr std::size_t kNameBytes = sizeof kWasmAssetSectionName - 1;
// Name length, name and the directory: what the section holds besides the images.
constexpr std::uint64_t kFixedPayloadBytes = 1 + kNameBytes + kEmbeddedAssetDirectoryBytes;

std::string hex(std::uint64_t value) {
  char text[24];
  std::snprintf(text, sizeof text, "0x%llX", static_cast<unsigned long long>(value));
  return text;
}

enum class Leb { kRead, kPastEnd, kOverlong, kTooLarge };

// Reads an unsigned 32-bit LEB128 from bytes [at, end), advancing `at` past it. Padding is
// allowed up to the 5 bytes that 32 bits need; a 6th byte or bits past 32 are not.
Leb readLeb32(std::span<const std::uint8_t> file, std::size_t& at, std::size_t end,
              std::uint32_t& value) {
  value = 0;
  for (int index = 0; index < 5; ++index) {
    if (at >= end) {
      return Leb::kPastEnd;
    }
    const std::uint8_t byte = file[at++];
    if (index == 4) {
      if ((byte & 0x80) != 0) {
        return Leb::kOverlong;
      }
      if (byte > 0x0F) {
        return Leb::kTooLarge;
      }
    }
    value |= static_cast<std::uint32_t>(byte & 0x7F) << (7 * index);
    if ((byte & 0x80) == 0) {
      return Leb::kRead;
    }
  }
  return Leb::kRead;  // not reached: the 5th byte returns above
}

std::string lebFault(Leb fault) {
  return fault == Leb::kOverlong ? "is longer than 5 bytes" : "does not fit 32 bits";
}

}  // namespace

bool looksLikeWasmModule(std::span<const std::uint8_t> file) {
  return file.size() >= sizeof kHeader && std::memcmp(file.data(), kHeader, sizeof kHeader) == 0;
}

std::size_t wasmContentEnd(std::span<const std::uint8_t> file, const std::string& fileName) {
  if (!looksLikeWasmModule(file)) {
    throw PackError(fileName, "is not a WebAssembly module of version 1");
  }
  std::optional<std::size_t> assets;
  std::size_t at = sizeof kHeader;
  while (at < file.size()) {
    const std::size_t start = at;
    const std::uint8_t id = file[at++];
    if (assets) {
      throw PackError(fileName, std::string("has a ") + kWasmAssetSectionName + " section at " +
                                    hex(*assets) + " that is not its last section");
    }
    std::uint32_t size = 0;
    if (const Leb read = readLeb32(file, at, file.size(), size); read == Leb::kPastEnd) {
      throw PackError(fileName,
                      "is truncated: its section header at " + hex(start) + " lies past the end");
    } else if (read != Leb::kRead) {
      throw PackError(fileName, "has a section at " + hex(start) + " whose size " + lebFault(read));
    }
    if (size > file.size() - at) {
      throw PackError(fileName, "is truncated: its section at " + hex(start) + " of " +
                                    std::to_string(size) + " bytes runs past the end");
    }
    const std::size_t end = at + size;
    if (id == kCustomSection) {
      std::uint32_t nameBytes = 0;
      const Leb read = readLeb32(file, at, end, nameBytes);
      if (read == Leb::kOverlong || read == Leb::kTooLarge) {
        throw PackError(fileName, "has a custom section at " + hex(start) + " whose name length " +
                                      lebFault(read));
      }
      if (read == Leb::kPastEnd || nameBytes > end - at) {
        throw PackError(fileName,
                        "has a custom section at " + hex(start) + " whose name runs past it");
      }
      if (nameBytes == kNameBytes &&
          std::memcmp(file.data() + at, kWasmAssetSectionName, kNameBytes) == 0) {
        assets = start;
      }
    }
    at = end;
  }
  return assets.value_or(file.size());
}

bool wasmSectionTooLarge(std::uint64_t firstSize, std::uint64_t secondSize) {
  // Subtracting in turn keeps sizes near 2^64 from wrapping the sum below the limit.
  const std::uint64_t room = std::numeric_limits<std::uint32_t>::max() - kFixedPayloadBytes;
  return firstSize > room || secondSize > room - firstSize;
}

std::vector<std::uint8_t> wasmAssetSectionHeader(std::uint64_t contentBytes) {
  std::uint64_t size = kFixedPayloadBytes - kEmbeddedAssetDirectoryBytes + contentBytes;
  std::vector<std::uint8_t> header{kCustomSection};
  for (std::size_t index = 0; index < kWasmSectionSizeBytes; ++index) {
    const bool more = index + 1 < kWasmSectionSizeBytes;
    header.push_back(static_cast<std::uint8_t>((size & 0x7F) | (more ? 0x80 : 0)));
    size >>= 7;
  }
  header.push_back(static_cast<std::uint8_t>(kNameBytes));
  header.insert(header.end(), kWasmAssetSectionName, kWasmAssetSectionName + kNameBytes);
  return header;
}
