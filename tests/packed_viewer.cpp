// Reading an installed or re-packed viewer in a test, independently of the packer's own code.
#include "tests/packed_viewer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <iterator>

std::vector<std::uint8_t> fileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::uint64_t littleEndian(const std::vector<std::uint8_t>& bytes, std::uint64_t at, int width) {
  if (at > bytes.size() || bytes.size() - at < static_cast<std::uint64_t>(width)) {
    ADD_FAILURE() << "read of " << width << " bytes at " << at << " runs past the file's end";
    return 0;
  }
  std::uint64_t value = 0;
  for (int i = width - 1; i >= 0; --i) {
    value = value << 8 | bytes[at + static_cast<std::uint64_t>(i)];
  }
  return value;
}

std::vector<ElfSection> elfSections(const std::vector<std::uint8_t>& elf) {
  std::vector<ElfSection> sections;
  if (elf.size() < 64 ||
      std::memcmp(elf.data(),
                  "\x7f"
                  "ELF",
                  4) != 0 ||
      elf[4] != 2 || elf[5] != 1) {
    ADD_FAILURE() << "not a 64-bit little-endian ELF file";
    return sections;
  }
  const std::uint64_t table = littleEndian(elf, 0x28, 8);
  const std::uint64_t entry = littleEndian(elf, 0x3A, 2);
  const std::uint64_t count = littleEndian(elf, 0x3C, 2);
  const std::uint64_t names = littleEndian(elf, 0x3E, 2);
  const std::uint64_t namesOffset = littleEndian(elf, table + names * entry + 0x18, 8);
  for (std::uint64_t i = 0; i < count; ++i) {
    const std::uint64_t header = table + i * entry;
    ElfSection section;
    std::uint64_t name = namesOffset + littleEndian(elf, header, 4);
    while (name < elf.size() && elf[name] != 0) {
      section.name += static_cast<char>(elf[name++]);
    }
    section.offset = littleEndian(elf, header + 0x18, 8);
    section.size = littleEndian(elf, header + 0x20, 8);
    sections.push_back(section);
  }
  return sections;
}

std::optional<ElfSection> findSection(const std::vector<ElfSection>& sections,
                                      const std::string& name) {
  for (const ElfSection& section : sections) {
    if (section.name == name) {
      return section;
    }
  }
  return std::nullopt;
}

std::optional<std::uint64_t> expectCarriesOurPictures(const std::vector<std::uint8_t>& elf,
                                                      const std::string& assetDir) {
  const std::optional<ElfSection> directory = findSection(elfSections(elf), ".zoravarova.assets");
  if (!directory || directory->size != 20) {
    ADD_FAILURE() << "no 20-byte .zoravarova.assets section";
    return std::nullopt;
  }
  std::uint64_t firstPicture = elf.size();
  bool carried = true;
  for (const auto& [wordAt, file] : {std::pair{8, "first.jpg"}, {0, "second.png"}}) {
    const std::uint64_t size = littleEndian(elf, directory->offset + wordAt, 4);
    const std::uint64_t offset = littleEndian(elf, directory->offset + wordAt + 4, 4);
    const std::vector<std::uint8_t> expected = fileBytes(assetDir + "/" + file);
    if (expected.empty() || size != expected.size() || offset > elf.size() ||
        size > elf.size() - offset) {
      ADD_FAILURE() << file << ": the words give " << size << " bytes at " << offset << " of "
                    << elf.size() << ", the picture has " << expected.size();
      carried = false;
      continue;
    }
    if (!std::equal(expected.begin(), expected.end(),
                    elf.begin() + static_cast<std::ptrdiff_t>(offset))) {
      ADD_FAILURE() << "the bytes at " << offset << " are not " << file;
      carried = false;
    }
    firstPicture = std::min(firstPicture, offset);
  }
  return carried ? std::optional(firstPicture) : std::nullopt;
}
