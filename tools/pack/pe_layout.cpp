// Finds the asset directory of a PE/COFF executable in its header padding, checking every bound.
#include "tools/pack/pe_layout.h"

#include <algorithm>
#include <cstdio>

#include "app/asset_directory.h"
#include "app/pe_header.h"
#include "tools/pack/pack_error.h"

namespace {

constexpr std::size_t kDosHeaderBytes = 0x40;
constexpr std::size_t kSectionHeaderBytes = 40;
constexpr std::size_t kSymbolBytes = 18;
constexpr std::uint16_t kPe32Magic = 0x10B;
constexpr std::uint16_t kPe32PlusMagic = 0x20B;
constexpr std::size_t kCertificateEntry = 4;

std::uint64_t word16(std::span<const std::uint8_t> file, std::size_t at) {
  return static_cast<std::uint64_t>(file[at]) | static_cast<std::uint64_t>(file[at + 1]) << 8;
}

std::string hex(std::uint64_t value) {
  char text[24];
  std::snprintf(text, sizeof text, "0x%llX", static_cast<unsigned long long>(value));
  return text;
}

// Fails naming what lies past the end unless [offset, offset + length) is inside the file.
void requireInside(std::span<const std::uint8_t> file, std::uint64_t offset, std::uint64_t length,
                   const std::string& fileName, const char* what) {
  if (offset > file.size() || length > file.size() - offset) {
    throw PackError(fileName, std::string("is truncated: its ") + what + " lies past the end");
  }
}

}  // namespace

bool looksLikePeExecutable(std::span<const std::uint8_t> file) {
  return file.size() >= 2 && file[0] == 'M' && file[1] == 'Z';
}

PeLayout locatePeAssetDirectory(std::span<const std::uint8_t> file, const std::string& fileName) {
  if (!looksLikePeExecutable(file)) {
    throw PackError(fileName, "is not a PE executable");
  }
  requireInside(file, 0, kDosHeaderBytes, fileName, "DOS header");
  const std::uint64_t signature = loadLittleEndian32(file, kPeSignatureOffsetAt);
  requireInside(file, signature, kPeOptionalHeaderAfterSignature, fileName, "PE header");
  if (file[signature] != 'P' || file[signature + 1] != 'E' || file[signature + 2] != 0 ||
      file[signature + 3] != 0) {
    throw PackError(fileName, "has no PE signature where its DOS header points");
  }
  const std::size_t coff = static_cast<std::size_t>(signature) + kPeSignatureBytes;
  const std::uint64_t sectionCount = word16(file, coff + 2);
  const std::uint64_t symbolTable = loadLittleEndian32(file, coff + 8);
  const std::uint64_t symbolCount = loadLittleEndian32(file, coff + 12);
  const std::uint64_t optionalBytes = word16(file, coff + 16);
  const std::size_t optional = coff + kPeCoffHeaderBytes;
  requireInside(file, optional, optionalBytes, fileName, "optional header");
  if (optionalBytes < 2) {
    throw PackError(fileName, "has no optional header, so it is not an executable image");
  }
  const std::uint64_t magic = word16(file, optional);
  if (magic != kPe32Magic && magic != kPe32PlusMagic) {
    throw PackError(fileName, "has an optional header of unknown kind " + hex(magic));
  }
  // The data directories follow the fixed fields, whose length differs between the two kinds.
  const std::size_t directoriesAt = magic == kPe32PlusMagic ? 112 : 96;
  if (optionalBytes < directoriesAt) {
    throw PackError(fileName, "has an optional header too short for its kind");
  }
  const std::uint64_t directoryCount = loadLittleEndian32(file, optional + directoriesAt - 4);
  const std::uint64_t sizeOfHeaders = loadLittleEndian32(file, optional + kPeSizeOfHeadersAt);

  const std::uint64_t tableStart = optional + optionalBytes;
  requireInside(file, tableStart, sectionCount * kSectionHeaderBytes, fileName, "section table");
  const std::uint64_t tableEnd = tableStart + sectionCount * kSectionHeaderBytes;
  requireInside(file, 0, sizeOfHeaders, fileName, "header area");
  if (sizeOfHeaders < kEmbeddedAssetDirectoryBytes ||
      sizeOfHeaders - kEmbeddedAssetDirectoryBytes < tableEnd) {
    throw PackError(fileName,
                    "has no room for the 20 directory bytes in its header area: the "
                    "section table ends at " +
                        hex(tableEnd) + ", the header area at " + hex(sizeOfHeaders));
  }
  const std::uint64_t directoryOffset = sizeOfHeaders - kEmbeddedAssetDirectoryBytes;

  if (directoryCount > kCertificateEntry &&
      directoriesAt + (kCertificateEntry + 1) * 8 <= optionalBytes &&
      loadLittleEndian32(file, optional + directoriesAt + kCertificateEntry * 8 + 4) != 0) {
    throw PackError(fileName,
                    "carries a signature, which appended images would break; sign it "
                    "after packing");
  }

  std::uint64_t contentEnd = sizeOfHeaders;
  for (std::uint64_t index = 0; index < sectionCount; ++index) {
    const std::size_t header = static_cast<std::size_t>(tableStart + index * kSectionHeaderBytes);
    const std::uint64_t rawSize = loadLittleEndian32(file, header + 16);
    const std::uint64_t rawOffset = loadLittleEndian32(file, header + 20);
    if (rawSize == 0) {
      continue;
    }
    requireInside(file, rawOffset, rawSize, fileName, "section data");
    if (rawOffset < sizeOfHeaders) {
      throw PackError(fileName, "has section data inside its header area at " + hex(rawOffset));
    }
    contentEnd = std::max(contentEnd, rawOffset + rawSize);
  }
  // A symbol table, and the string table right after it whose first word is its own length.
  if (symbolTable != 0) {
    requireInside(file, symbolTable, symbolCount * kSymbolBytes + 4, fileName, "symbol table");
    const std::uint64_t strings = symbolTable + symbolCount * kSymbolBytes;
    const std::uint64_t stringBytes = std::max<std::uint64_t>(loadLittleEndian32(file, strings), 4);
    requireInside(file, strings, stringBytes, fileName, "string table");
    contentEnd = std::max(contentEnd, strings + stringBytes);
  }

  PeLayout layout;
  layout.directoryOffset = static_cast<std::size_t>(directoryOffset);
  layout.contentEnd = static_cast<std::size_t>(contentEnd);
  layout.checksumOffset = optional + kPeCheckSumAt;
  return layout;
}
