// Finds the asset directory section of an ELF executable, checking every bound it reads.
#include "tools/pack/elf_layout.h"

#include <elf.h>

#include <algorithm>
#include <cstring>
#include <optional>

#include "app/elf_asset_section.h"
#include "tools/pack/pack_error.h"

namespace {

// Reads a plain header struct at `offset`, or fails naming what it was looking for.
template <typename T>
T readStruct(std::span<const std::uint8_t> file, std::uint64_t offset, const std::string& fileName,
             const char* what) {
  if (offset > file.size() || file.size() - offset < sizeof(T)) {
    throw PackError(fileName, std::string("is truncated: its ") + what + " lies past the end");
  }
  T value;
  std::memcpy(&value, file.data() + offset, sizeof(T));
  return value;
}

// The end of a table of `count` entries of `entrySize` bytes at `offset`, checked to fit the file.
std::uint64_t tableEnd(std::span<const std::uint8_t> file, std::uint64_t offset,
                       std::uint64_t count, std::uint64_t entrySize, const std::string& fileName,
                       const char* what) {
  if (offset > file.size() ||
      count > (file.size() - offset) / std::max<std::uint64_t>(entrySize, 1)) {
    throw PackError(fileName, std::string("is truncated: its ") + what + " lies past the end");
  }
  return offset + count * entrySize;
}

}  // namespace

ExecutableLayout locateElfAssetDirectory(std::span<const std::uint8_t> file,
                                         const std::string& fileName) {
  if (file.size() < EI_NIDENT || std::memcmp(file.data(), ELFMAG, SELFMAG) != 0) {
    throw PackError(fileName, "is not an ELF executable");
  }
  if (file[EI_CLASS] != ELFCLASS64) {
    throw PackError(fileName, "is not a 64-bit ELF executable");
  }
  if (file[EI_DATA] != ELFDATA2LSB) {
    throw PackError(fileName, "is not a little-endian ELF executable");
  }
  const auto header = readStruct<Elf64_Ehdr>(file, 0, fileName, "ELF header");
  if (header.e_shentsize != sizeof(Elf64_Shdr) ||
      (header.e_phnum != 0 && header.e_phentsize != sizeof(Elf64_Phdr))) {
    throw PackError(fileName, "has ELF tables of an unexpected entry size");
  }

  std::uint64_t contentEnd = sizeof(Elf64_Ehdr);
  contentEnd = std::max(contentEnd, tableEnd(file, header.e_phoff, header.e_phnum,
                                             sizeof(Elf64_Phdr), fileName, "program header table"));
  contentEnd = std::max(contentEnd, tableEnd(file, header.e_shoff, header.e_shnum,
                                             sizeof(Elf64_Shdr), fileName, "section header table"));
  if (header.e_shnum == 0 || header.e_shstrndx >= header.e_shnum) {
    throw PackError(fileName, "has no section names, so no asset directory section");
  }

  const auto sectionAt = [&](std::uint64_t index) {
    return readStruct<Elf64_Shdr>(file, header.e_shoff + index * sizeof(Elf64_Shdr), fileName,
                                  "section header");
  };
  const Elf64_Shdr names = sectionAt(header.e_shstrndx);
  const std::uint64_t namesEnd =
      tableEnd(file, names.sh_offset, names.sh_size, 1, fileName, "section name table");

  const std::string wanted = kEmbeddedAssetSectionName;
  std::optional<Elf64_Shdr> directory;
  for (std::uint64_t index = 0; index < header.e_shnum; ++index) {
    const Elf64_Shdr section = sectionAt(index);
    if (section.sh_type != SHT_NOBITS) {
      contentEnd = std::max(contentEnd, tableEnd(file, section.sh_offset, section.sh_size, 1,
                                                 fileName, "section data"));
    }
    if (section.sh_name >= names.sh_size) {
      continue;
    }
    const auto* name =
        reinterpret_cast<const char*>(file.data() + names.sh_offset + section.sh_name);
    const std::size_t room = namesEnd - (names.sh_offset + section.sh_name);
    if (strnlen(name, room) == wanted.size() &&
        wanted.compare(0, wanted.size(), name, wanted.size()) == 0) {
      directory = section;
    }
  }
  if (!directory) {
    throw PackError(fileName, std::string("has no ") + kEmbeddedAssetSectionName + " section");
  }
  if (directory->sh_type != SHT_PROGBITS) {
    throw PackError(
        fileName, std::string("has a ") + kEmbeddedAssetSectionName + " section without file data");
  }
  if (directory->sh_size != kEmbeddedAssetDirectoryBytes) {
    throw PackError(fileName, std::string("has a ") + kEmbeddedAssetSectionName + " section of " +
                                  std::to_string(directory->sh_size) + " bytes, expected 20");
  }
  return ExecutableLayout{static_cast<std::size_t>(directory->sh_offset),
                          static_cast<std::size_t>(contentEnd)};
}
