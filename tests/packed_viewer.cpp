// Reading a packed viewer in a test, independently of the packer's and the viewer's own code.
#include "tests/packed_viewer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <tuple>

#include "tests/little_endian.h"

void PrintTo(const DirectoryWords& words, std::ostream* out) {
  *out << "{texture2Size " << words.texture2Size << ", texture2Offset " << words.texture2Offset
       << ", texture1Size " << words.texture1Size << ", texture1Offset " << words.texture1Offset
       << ", trailingWord " << words.trailingWord << "}";
}

std::uint64_t elfDirectoryAt(const Bytes& elf) {
  const std::optional<ElfSection> directory = findSection(elf, ".zoravarova.assets");
  if (!directory || directory->size != 20) {
    ADD_FAILURE() << "no 20-byte .zoravarova.assets section";
    return 0;
  }
  return directory->offset;
}

std::uint64_t peDirectoryAt(const Bytes& pe) {
  const std::uint64_t headerArea = littleEndian(pe, littleEndian(pe, 0x3C, 4) + 0x54, 4);
  if (headerArea < 20) {
    ADD_FAILURE() << "a header area of " << headerArea << " bytes holds no directory";
    return 0;
  }
  return headerArea - 20;
}

DirectoryWords directoryWordsAt(const Bytes& file, std::uint64_t at) {
  const auto word = [&](std::uint64_t index) {
    return static_cast<std::uint32_t>(littleEndian(file, at + 4 * index, 4));
  };
  return {word(0), word(1), word(2), word(3), word(4)};
}

Bytes withWords(Bytes file, std::uint64_t at, const DirectoryWords& words) {
  putLittleEndian(file, at + 0, 4, words.texture2Size);
  putLittleEndian(file, at + 4, 4, words.texture2Offset);
  putLittleEndian(file, at + 8, 4, words.texture1Size);
  putLittleEndian(file, at + 12, 4, words.texture1Offset);
  putLittleEndian(file, at + 16, 4, words.trailingWord);
  return file;
}

DirectoryWords claimsFrom(std::uint64_t firstOffset, std::uint32_t firstSize,
                          std::uint64_t fileSize) {
  const std::uint64_t secondOffset = firstOffset + firstSize;
  return {static_cast<std::uint32_t>(fileSize - secondOffset),
          static_cast<std::uint32_t>(secondOffset), firstSize,
          static_cast<std::uint32_t>(firstOffset), 4};
}

std::optional<std::uint64_t> expectCarriesOurPictures(const Bytes& elf,
                                                      const std::string& assetDir) {
  const std::uint64_t at = elfDirectoryAt(elf);
  if (at == 0) {
    return std::nullopt;
  }
  const DirectoryWords words = directoryWordsAt(elf, at);
  std::uint64_t firstPicture = elf.size();
  bool carried = true;
  for (const auto& [size, offset, file] :
       {std::tuple{words.texture1Size, words.texture1Offset, "first.jpg"},
        {words.texture2Size, words.texture2Offset, "second.png"}}) {
    const Bytes expected = fileBytes(assetDir + "/" + file);
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
    firstPicture = std::min<std::uint64_t>(firstPicture, offset);
  }
  return carried ? std::optional(firstPicture) : std::nullopt;
}
