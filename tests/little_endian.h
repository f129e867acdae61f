// Little-endian words of 1 to 8 bytes in a test's copy of a file, read and written by hand.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>

#include "tests/file_bytes.h"

// Whether `width` bytes at `at` lie inside `bytes`; a test failure when they do not.
inline bool wordInside(const Bytes& bytes, std::uint64_t at, int width) {
  if (at > bytes.size() || bytes.size() - at < static_cast<std::uint64_t>(width)) {
    ADD_FAILURE() << "a word of " << width << " bytes at " << at << " runs past the end of "
                  << bytes.size() << " bytes";
    return false;
  }
  return true;
}

// 0 for a word past the end, which fails the test.
inline std::uint64_t littleEndian(const Bytes& bytes, std::uint64_t at, int width) {
  std::uint64_t value = 0;
  if (wordInside(bytes, at, width)) {
    for (int i = width - 1; i >= 0; --i) {
      value = value << 8 | bytes[at + static_cast<std::uint64_t>(i)];
    }
  }
  return value;
}

// The low `width` bytes of `value`; a word past the end fails the test and changes nothing.
inline void putLittleEndian(Bytes& bytes, std::uint64_t at, int width, std::uint64_t value) {
  if (wordInside(bytes, at, width)) {
    for (int i = 0; i < width; ++i) {
      bytes[at + static_cast<std::uint64_t>(i)] = static_cast<std::uint8_t>(value >> (8 * i));
    }
  }
}
