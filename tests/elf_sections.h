// The section table of a 64-bit little-endian ELF file, walked by hand in the tests so that no
// code under test finds what a test checks.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "tests/file_bytes.h"

struct ElfSection {
  std::string name;
  std::uint64_t headerAt = 0;  // the file offset of its section header, for tests that change it
  std::uint64_t nameAt = 0;    // its name's offset in the section name table
  std::uint64_t offset = 0;
  std::uint64_t size = 0;
};

// Names resolved through the section name table; a file that is no such ELF fails the test.
std::vector<ElfSection> elfSections(const Bytes& elf);
std::optional<ElfSection> findSection(const Bytes& elf, const std::string& name);
