// JPEGs made damaged for tests, by a walk of their own and not the one under test.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

// A JPEG whose scan decodes with Huffman tables it never defined: the segments of `jpeg` before
// its first scan without the table segments (FF C4), then the scan and what follows it.
inline std::vector<std::uint8_t> withoutHuffmanTables(const std::vector<std::uint8_t>& jpeg) {
  std::vector<std::uint8_t> out(jpeg.begin(), jpeg.begin() + 2);
  std::size_t at = 2;
  while (at + 4 <= jpeg.size() && jpeg[at + 1] != 0xDA) {
    const std::size_t length = 2 + static_cast<std::size_t>(jpeg[at + 2] << 8 | jpeg[at + 3]);
    if (jpeg[at + 1] != 0xC4) {
      out.insert(out.end(), jpeg.begin() + static_cast<std::ptrdiff_t>(at),
                 jpeg.begin() + static_cast<std::ptrdiff_t>(at + length));
    }
    at += length;
  }
  out.insert(out.end(), jpeg.begin() + static_cast<std::ptrdiff_t>(at), jpeg.end());
  return out;
}
