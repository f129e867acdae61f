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
  // Throws PackError naming the path when it cannot be opened or is not a regular file; a FIFO
  // is refused at once instead of waiting for a writer.
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

// Throws PackError when `path` cannot name the file to write: it is empty, ends in '/', or names
// something that is not a regular file (a directory, device, FIFO, socket or symbolic link),
// which is never replaced.
void checkOutputPath(const std::string& path);

// Writes `bytes` with the executable mode to a temporary in `path`'s folder, then renames it over
// `path`. The temporary has no name while it is written where the file system allows (Linux's
// O_TMPFILE), and gets one only just before the rename; a named temporary is removed on any
// failure and by SIGHUP, SIGINT, SIGTERM or SIGXFSZ, which then end the process as they would
// have. So `path` is either untouched or complete, and no temporary stays unless the process is
// killed by SIGKILL while one has a name.
void writeExecutableAtomically(const std::string& path, std::span<const std::uint8_t> bytes);

// Whether both paths name the same existing file.
bool sameFile(const std::string& first, const std::string& second);
