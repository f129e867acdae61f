// Whole-file reading and all-or-nothing writing for the packer.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

// A regular file open for reading, whose size is known before any byte of it is read, so that
// an input too large to pack is refused without reading it.
class InputFile {
 public:
  // Throws PackError naming the path when it cannot be opened or is not a regular file.
  explicit InputFile(std::string path);
  ~InputFile();
  InputFile(const InputFile&) = delete;
  InputFile& operator=(const InputFile&) = delete;

  std::uint64_t size() const { return size_; }

  // The whole file; throws PackError naming the path when it cannot be read in full.
  std::vector<std::uint8_t> readAll();

 private:
  std::string path_;
  int descriptor_ = -1;
  std::uint64_t size_ = 0;
};

// Throws PackError naming the path when it cannot be opened or read in full.
std::vector<std::uint8_t> readWholeFile(const std::string& path);

// Writes a temporary file beside `path`, gives it the executable mode, then renames it over
// `path`; on any failure the temporary is removed and `path` is untouched.
void writeExecutableAtomically(const std::string& path, std::span<const std::uint8_t> bytes);

// Whether both paths name the same existing file.
bool sameFile(const std::string& first, const std::string& second);
