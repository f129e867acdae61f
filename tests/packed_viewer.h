// Reading an installed or re-packed viewer in a test, independently of the packer's own code:
// its ELF sections and the two pictures its directory words point at.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

std::vector<std::uint8_t> fileBytes(const std::string& path);

// A little-endian word of `width` bytes at `at`; a read past the end fails the test and gives 0.
std::uint64_t littleEndian(const std::vector<std::uint8_t>& bytes, std::uint64_t at, int width);

struct ElfSection {
  std::string name;
  std::uint64_t offset = 0;
  std::uint64_t size = 0;
};

// The section table of a 64-bit little-endian ELF file, names resolved through .shstrtab.
std::vector<ElfSection> elfSections(const std::vector<std::uint8_t>& elf);
std::optional<ElfSection> findSection(const std::vector<ElfSection>& sections,
                                      const std::string& name);

// Expects the 20-byte .zoravarova.assets section's words (the PNG's size and offset, then the
// JPEG's) to name exactly the bytes of assets/first.jpg and assets/second.png in `elf`. Returns
// where the first of the two pictures starts, or nullopt when the check failed.
std::optional<std::uint64_t> expectCarriesOurPictures(const std::vector<std::uint8_t>& elf,
                                                      const std::string& assetDir);
