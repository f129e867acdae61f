// What the packer's tests share: a folder of their own, copies of the inputs, the real tool.
#pragma once

#include <elf.h>

#include <gtest/gtest.h>
#include <array>
#include <cstdint>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "tests/packer_run.h"

using Bytes = std::vector<std::uint8_t>;

extern const std::string kPacker;
extern const std::string kLinked;  // a linked program with the directory section, never packed
extern const std::string kFirst;   // the committed pictures
extern const std::string kSecond;
extern const std::string kInputs;  // pictures wrong in one way each

// Read and written without the packer's own file code, which is under test.
Bytes readBytes(const std::string& path);
void writeBytes(const std::string& path, const Bytes& bytes);

// Pictures of one grey made in memory.
Bytes encodePng(int width, int height, int components);
Bytes encodeJpeg(int width, int height);

std::uint32_t word32(const Bytes& bytes, std::size_t at);
void putWord32(Bytes& bytes, std::size_t at, std::uint32_t word);

// Found by walking the ELF tables here, not with the packer's code.
Elf64_Ehdr elfHeader(const Bytes& elf);
Elf64_Shdr* elfSection(Bytes& elf, const std::string& name);
std::size_t elfDirectoryOffset(Bytes elf);

// The five directory words in file order: second size and offset, first size and offset, the
// trailing word.
using DirectoryWords = std::array<std::uint32_t, 5>;
Bytes withWords(Bytes bytes, std::size_t directoryAt, const DirectoryWords& words);
// Words that claim a first image of `firstSize` bytes at `firstOffset` and a second one from
// there to the file's end: what an earlier packing leaves, if `firstOffset` is where it began.
DirectoryWords claimsFrom(std::uint64_t firstOffset, std::uint32_t firstSize,
                          std::uint64_t fileSize);

class PackFixture : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // A file of mode 0644 in the inputs' folder.
  std::string place(const std::string& name, const Bytes& bytes);

  // Runs the real tool with its standard error in a file outside the output's folder; an
  // unprivileged run uses the copy of the tool in our folder.
  PackRun run(const std::vector<std::string>& arguments, const PackRunOptions& options = {});

  // Why nothing can be run here as a user whom the mode 000 of `lockedFile` stops, or "".
  std::string unprivilegedUnavailable(const std::string& lockedFile);

  // What the output's folder holds, by name and content (a description for what is not a file).
  std::map<std::string, Bytes> outputDirectory();

  // Packs and expects exit code 0 with nothing on standard error.
  void expectPacked(const std::string& viewer, const std::string& first, const std::string& second,
                    const std::string& output);

  // Packs and expects exactly "zoravarova-pack: <file>: <reason>", exit code 1, and the output's
  // folder as it was: no output, no temporary, nothing that was there changed.
  void expectRefused(const std::string& viewer, const std::string& first, const std::string& second,
                     const std::string& output, const std::string& file, const std::string& reason,
                     const PackRunOptions& options = {});
  void expectViewerRefused(const std::string& viewer, const std::string& reason);
  void expectFirstRefused(const std::string& first, const std::string& reason);
  void expectSecondRefused(const std::string& second, const std::string& reason);

  std::filesystem::path root_;  // made for this test alone, mode 0755
  std::string output_;          // in root_/out
  std::string viewer_;          // copies in root_/in of kLinked, kFirst and kSecond
  std::string first_;
  std::string second_;
};
