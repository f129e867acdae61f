// Reading a packed viewer in a test, independently of the packer's and the viewer's own code:
// where its asset directory lies, the directory's five words, and the pictures they point at.
#pragma once

#include <cstdint>
#include <optional>
#include <ostream>
#include <string>

#include "tests/elf_sections.h"
#include "tests/file_bytes.h"

// The 20-byte asset directory: five little-endian 32-bit words in this file order.
struct DirectoryWords {
  std::uint32_t texture2Size = 0;
  std::uint32_t texture2Offset = 0;
  std::uint32_t texture1Size = 0;
  std::uint32_t texture1Offset = 0;
  std::uint32_t trailingWord = 0;
  bool operator==(const DirectoryWords&) const = default;
};
void PrintTo(const DirectoryWords& words, std::ostream* out);

// Where the directory lies: in an ELF file, its 20-byte .zoravarova.assets section; in a PE file,
// the last 20 bytes of the header area, whose size SizeOfHeaders sits 0x54 bytes after the PE
// signature that the word at 0x3C points at. 0, failing the test, when there is none.
std::uint64_t elfDirectoryAt(const Bytes& elf);
std::uint64_t peDirectoryAt(const Bytes& pe);

DirectoryWords directoryWordsAt(const Bytes& file, std::uint64_t at);
Bytes withWords(Bytes file, std::uint64_t at, const DirectoryWords& words);
// Words that claim a first image of `firstSize` bytes at `firstOffset` and a second one from
// there to the file's end: what an earlier packing leaves, if `firstOffset` is where it began.
DirectoryWords claimsFrom(std::uint64_t firstOffset, std::uint32_t firstSize,
                          std::uint64_t fileSize);

// Expects the directory words of the ELF viewer `elf` to name exactly the bytes of
// assets/first.jpg and assets/second.png in it. Returns where the first of the two pictures
// starts, or nullopt when the check failed.
std::optional<std::uint64_t> expectCarriesOurPictures(const Bytes& elf,
                                                      const std::string& assetDir);
