// A small content digest (64-bit FNV-1a) to compare buffers across processes.
#pragma once

#include <cstddef>
#include <cstdint>

inline std::uint64_t digestBytes(const std::uint8_t* bytes, std::size_t size) {
  std::uint64_t hash = 14695981039346656037ull;
  for (std::size_t i = 0; i < size; ++i) {
    hash = (hash ^ bytes[i]) * 1099511628211ull;
  }
  return hash;
}
