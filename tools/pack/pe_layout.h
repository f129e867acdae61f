// Where a PE/COFF executable keeps its asset directory: the last 20 bytes of its header area.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

#include "tools/pack/elf_layout.h"

struct PeLayout : ExecutableLayout {
  std::size_t checksumOffset = 0;  // file offset of the optional header's CheckSum word
};

// Whether the bytes begin like a PE executable (the DOS header's "MZ"), so that they are read as
// one.
bool looksLikePeExecutable(std::span<const std::uint8_t> file);

// Throws PackError naming `fileName` when the bytes are not a PE executable, when a header or
// table lies past the end, when the header area leaves no room for the 20 bytes after the section
// table, or when a signature would be broken by appending.
PeLayout locatePeAssetDirectory(std::span<const std::uint8_t> file, const std::string& fileName);
