// A small content digest (64-bit FNV-1a) to compare buffers across processes.
#pragma once

#include <cinttypes>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

inline std::uint64_t digestBytes(const std::uint8_t* bytes, std::size_t size) {
  std::uint64_t hash = 14695981039346656037ull;
  for (std::size_t i = 0; i < size; ++i) {
    hash = (hash ^ bytes[i]) * 1099511628211ull;
  }
  return hash;
}

// What the probe prints of one buffer: "<name> <size> <digest in 16 hex digits>\n".
inline std::string digestLine(const char* name, const std::uint8_t* bytes, std::size_t size) {
  char line[128];
  std::snprintf(line, sizeof line, "%s %zu %016" PRIx64 "\n", name, size, digestBytes(bytes, size));
  return line;
}
