// POSIX file handling for the packer, with every failure turned into one clear line.
#include "tools/pack/file_io.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <utility>

#include "tools/pack/pack_error.h"

namespace {

std::string systemReason(const char* what) {
  return std::string(what) + ": " + std::strerror(errno);
}

}  // namespace

InputFile::InputFile(std::string path) : path_(std::move(path)) {
  descriptor_ = open(path_.c_str(), O_RDONLY | O_CLOEXEC);
  if (descriptor_ == -1) {
    throw PackError(path_, systemReason("cannot be opened"));
  }
  struct stat status {};
  if (fstat(descriptor_, &status) != 0 || !S_ISREG(status.st_mode)) {
    close(descriptor_);
    throw PackError(path_, "is not a regular file");
  }
  size_ = static_cast<std::uint64_t>(status.st_size);
}

InputFile::~InputFile() {
  close(descriptor_);
}

std::vector<std::uint8_t> InputFile::readAll() {
  std::vector<std::uint8_t> bytes(static_cast<std::size_t>(size_));
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t got = read(descriptor_, bytes.data() + done, bytes.size() - done);
    if (got < 0 && errno == EINTR) {
      continue;
    }
    if (got <= 0) {
      throw PackError(path_, got < 0 ? systemReason("cannot be read") : "shrank while being read");
    }
    done += static_cast<std::size_t>(got);
  }
  return bytes;
}

std::vector<std::uint8_t> readWholeFile(const std::string& path) {
  return InputFile(path).readAll();
}

void writeExecutableAtomically(const std::string& path, std::span<const std::uint8_t> bytes) {
  std::string temporary = path + ".packing-XXXXXX";
  const int file = mkstemp(temporary.data());
  if (file == -1) {
    throw PackError(path, systemReason("cannot be written"));
  }
  const auto fail = [&](const char* what) {
    const std::string reason = systemReason(what);
    close(file);
    unlink(temporary.c_str());
    throw PackError(path, reason);
  };
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t wrote = write(file, bytes.data() + done, bytes.size() - done);
    if (wrote < 0 && errno == EINTR) {
      continue;
    }
    if (wrote <= 0) {
      fail("cannot be written");
    }
    done += static_cast<std::size_t>(wrote);
  }
  if (fchmod(file, 0755) != 0) {
    fail("cannot be made executable");
  }
  if (fsync(file) != 0) {
    fail("cannot be flushed");
  }
  if (close(file) != 0) {
    const std::string reason = systemReason("cannot be written");
    unlink(temporary.c_str());
    throw PackError(path, reason);
  }
  if (rename(temporary.c_str(), path.c_str()) != 0) {
    const std::string reason = systemReason("cannot be replaced");
    unlink(temporary.c_str());
    throw PackError(path, reason);
  }
}

bool sameFile(const std::string& first, const std::string& second) {
  struct stat a {};
  struct stat b {};
  return stat(first.c_str(), &a) == 0 && stat(second.c_str(), &b) == 0 && a.st_dev == b.st_dev &&
         a.st_ino == b.st_ino;
}
