// The tests' own walk over an ELF file's section table.
#include "tests/elf_sections.h"

#include <gtest/gtest.h>

#include <cstring>

#include "tests/little_endian.h"

std::vector<ElfSection> elfSections(const Bytes& elf) {
  std::vector<ElfSection> sections;
  constexpr std::uint8_t kMagic[4] = {0x7F, 'E', 'L', 'F'};
  if (elf.size() < 64 || std::memcmp(elf.data(), kMagic, 4) != 0 || elf[4] != 2 || elf[5] != 1) {
    ADD_FAILURE() << "not a 64-bit little-endian ELF file";
    return sections;
  }
  const std::uint64_t table = littleEndian(elf, 0x28, 8);
  const std::uint64_t entry = littleEndian(elf, 0x3A, 2);
  const std::uint64_t count = littleEndian(elf, 0x3C, 2);
  const std::uint64_t names = littleEndian(elf, 0x3E, 2);
  const std::uint64_t namesOffset = littleEndian(elf, table + names * entry + 0x18, 8);
  for (std::uint64_t i = 0; i < count; ++i) {
    ElfSection section;
    section.headerAt = table + i * entry;
    section.nameAt = littleEndian(elf, section.headerAt, 4);
    for (std::uint64_t at = namesOffset + section.nameAt; at < elf.size() && elf[at] != 0; ++at) {
      section.name += static_cast<char>(elf[at]);
    }
    section.offset = littleEndian(elf, section.headerAt + 0x18, 8);
    section.size = littleEndian(elf, section.headerAt + 0x20, 8);
    sections.push_back(section);
  }
  return sections;
}

std::optional<ElfSection> findSection(const Bytes& elf, const std::string& name) {
  for (const ElfSection& section : elfSections(elf)) {
    if (section.name == name) {
      return section;
    }
  }
  return std::nullopt;
}
