// Writing a generated file so that a reader never sees a partial one, shared by the generators.
#pragma once

#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

// Writes `bytes` to a temporary name beside `target` and renames it over; returns the reason on
// failure, with the temporary removed, and an empty string on success.
inline std::string writeWholeFile(const std::string& target,
                                  const std::vector<std::uint8_t>& bytes) {
  const std::string temporary = target + ".tmp." + std::to_string(getpid());
  std::FILE* out = std::fopen(temporary.c_str(), "wb");
  if (out == nullptr) {
    return std::string("cannot create it: ") + std::strerror(errno);
  }
  const bool written = std::fwrite(bytes.data(), 1, bytes.size(), out) == bytes.size();
  const int writeErrno = errno;
  const bool closed = std::fclose(out) == 0;
  const int closeErrno = errno;
  if (!written || !closed) {
    std::remove(temporary.c_str());
    return std::string("cannot write it: ") + std::strerror(written ? closeErrno : writeErrno);
  }
  if (std::rename(temporary.c_str(), target.c_str()) != 0) {
    const int renameErrno = errno;
    std::remove(temporary.c_str());
    return std::string("cannot rename it into place: ") + std::strerror(renameErrno);
  }
  return {};
}
