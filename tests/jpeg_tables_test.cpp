// The JPEG check run before the decoder: damaged tables are caught, sound pictures all pass, and
// whatever the decoder refuses by itself is left to it. And the frame lookup on the same walk.
#include "render/jpeg_tables.h"
#include "render/jpeg_segments.h"
#include "tests/file_bytes.h"
#include "tests/jpeg_edit.h"

#include <gtest/gtest.h>
#include <algorithm>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

namespace {

const Bytes& first() {
  static const Bytes bytes = fileBytes(std::string(ZV_ASSET_DIR) + "/first.jpg");
  return bytes;
}

// --- Pieces of JPEG put together by hand; only what the check reads has to be right.

Bytes join(std::initializer_list<Bytes> pieces) {
  Bytes all;
  for (const Bytes& piece : pieces) {
    all.insert(all.end(), piece.begin(), piece.end());
  }
  return all;
}

const Bytes kStart = {0xFF, 0xD8};
const Bytes kEnd = {0xFF, 0xD9};

// One table: class (0 DC, 1 AC) and slot, then `codes` codes, at most 200 of 8 bits and the rest
// of 16, so that no count is 0xFF, and a zero value for each.
Bytes table(int tableClass, int slot, int codes) {
  Bytes bytes = {static_cast<std::uint8_t>(tableClass << 4 | slot)};
  const int short8 = codes < 200 ? codes : 200;
  for (int length = 1; length <= 16; ++length) {
    bytes.push_back(static_cast<std::uint8_t>(length == 8    ? short8
                                              : length == 16 ? codes - short8
                                                             : 0));
  }
  bytes.insert(bytes.end(), static_cast<std::size_t>(codes), 0x00);
  return bytes;
}

// A DHT segment of the given tables; `lengthError` is added to its length field.
Bytes huffmanSegment(std::initializer_list<Bytes> tables, int lengthError = 0) {
  const Bytes body = join(tables);
  const int length = 2 + static_cast<int>(body.size()) + lengthError;
  return join({{0xFF, 0xC4, static_cast<std::uint8_t>(length >> 8),
                static_cast<std::uint8_t>(length & 0xFF)},
               body});
}

// A frame header (SOF0, SOF1 or SOF2) of an 8 by 8 grey picture.
Bytes frame(std::uint8_t marker) {
  return {0xFF, marker, 0x00, 0x0B, 0x08, 0x00, 0x08, 0x00, 0x08, 0x01, 0x01, 0x11, 0x00};
}

// A scan header: one table byte (DC slot << 4 | AC slot) per component, spectral start, and the
// successive approximation byte; the length field follows the components unless given.
Bytes scan(const Bytes& tablesPerComponent, int spectralStart = 0, int approximation = 0,
           int length = -1) {
  const int count = static_cast<int>(tablesPerComponent.size());
  const int field = length >= 0 ? length : 6 + 2 * count;
  Bytes bytes = {0xFF, 0xDA, static_cast<std::uint8_t>(field >> 8),
                 static_cast<std::uint8_t>(field & 0xFF), static_cast<std::uint8_t>(count)};
  for (int i = 0; i < count; ++i) {
    bytes.push_back(static_cast<std::uint8_t>(i + 1));
    bytes.push_back(tablesPerComponent[i]);
  }
  bytes.push_back(static_cast<std::uint8_t>(spectralStart));
  bytes.push_back(63);
  bytes.push_back(static_cast<std::uint8_t>(approximation));
  return bytes;
}

// The table the decoder would write past its arrays: 257 codes where it has room for 256.
const Bytes kOversized = huffmanSegment({table(1, 0, 257)});
const Bytes kDcAndAc = huffmanSegment({table(0, 0, 3), table(1, 0, 5)});

struct Case {
  const char* name;
  Bytes bytes;
};

void expectAll(std::initializer_list<Case> cases, bool fits) {
  for (const Case& c : cases) {
    EXPECT_EQ(jpegHuffmanTablesFit(c.bytes), fits) << c.name;
  }
}

}  // namespace

TEST(JpegTables, SoundPicturesPass) {
  EXPECT_TRUE(jpegHuffmanTablesFit(first()));
  // Progressive scans that use only DC or only AC tables, defined just before them.
  EXPECT_TRUE(jpegHuffmanTablesFit(fileBytes(std::string(ZV_PACK_INPUTS) + "/progressive.jpg")));
  EXPECT_TRUE(jpegHuffmanTablesFit(fileBytes(std::string(ZV_PACK_INPUTS) + "/grey.jpg")));
  expectAll(
      {
          {"a table of exactly 256 codes",
           join({kStart, huffmanSegment({table(1, 0, 256)}), kEnd})},
          {"two tables in one segment, then a scan using both",
           join({kStart, frame(0xC0), kDcAndAc, scan({0x00}), {0x12, 0x34}, kEnd})},
          {"a progressive first DC scan, without any AC table",
           join({kStart, frame(0xC2), huffmanSegment({table(0, 0, 3)}), scan({0x00}), kEnd})},
          {"a progressive DC refinement scan, which decodes without tables",
           join({kStart, frame(0xC2), scan({0x00}, 0, 0x10), kEnd})},
          {"a progressive AC scan, without any DC table",
           join({kStart, frame(0xC2), huffmanSegment({table(1, 0, 5)}), scan({0x00}, 1), kEnd})},
      },
      true);
}

TEST(JpegTables, OversizedTablesAreCaughtWhereverTheDecoderWouldReadThem) {
  EXPECT_FALSE(jpegHuffmanTablesFit(join({kStart, kOversized, kEnd})));
  Bytes jpeg = first();
  std::size_t at = 2;
  while (!(jpeg[at] == 0xFF && jpeg[at + 1] == 0xC4)) {
    at += 2 + (jpeg[at + 2] << 8 | jpeg[at + 3]);
  }
  jpeg[at + 5 + 15] = 255;  // the count of 16-bit codes: the sum now passes 256
  EXPECT_FALSE(jpegHuffmanTablesFit(jpeg));

  const Bytes scanData = {0x12, 0xFF, 0x00, 0x34, 0xFF, 0xD3, 0x56, 0xFF, 0xFF, 0xD0, 0x78};
  expectAll(
      {
          {"the second table of a segment",
           join({kStart, huffmanSegment({table(0, 0, 12), table(1, 0, 257)}), kEnd})},
          {"in the segment after a sound one",
           join({kStart, huffmanSegment({table(0, 0, 3)}), kOversized, kEnd})},
          {"after fill bytes", join({kStart, {0xFF, 0xFF}, kOversized, kEnd})},
          {"after a stray byte", join({kStart, {0x12}, kOversized, kEnd})},
          {"after a stray first restart marker", join({kStart, {0xFF, 0xD0}, kOversized})},
          {"after a stray last restart marker", join({kStart, {0xFF, 0xD7}, kOversized})},
          {"after a stray FF 01", join({kStart, {0xFF, 0x01}, kOversized})},
          {"after a stray FF 00", join({kStart, {0xFF, 0x00}, kOversized})},
          {"after a segment the walk skips by its length",
           join({kStart, {0xFF, 0xE0, 0x00, 0x05, 0xC4, 0xFF, 0xC4}, kOversized})},
          {"after a scan and its entropy-coded data",
           join({kStart, frame(0xC0), kDcAndAc, scan({0x00}), scanData, kOversized, kEnd})},
      },
      false);
}

TEST(JpegTables, ScansWithTablesNeverDefinedAreCaught) {
  const Bytes stripped = withoutHuffmanTables(first());
  ASSERT_LT(stripped.size(), first().size());
  EXPECT_FALSE(jpegHuffmanTablesFit(stripped));
  const Bytes dcOnly = huffmanSegment({table(0, 0, 3)});
  const Bytes acOnly = huffmanSegment({table(1, 0, 5)});
  expectAll(
      {
          {"a sequential scan without its AC table",
           join({kStart, frame(0xC0), dcOnly, scan({0x00}), kEnd})},
          {"a sequential scan without its DC table",
           join({kStart, frame(0xC0), acOnly, scan({0x00}), kEnd})},
          {"an extended sequential scan without its AC table",
           join({kStart, frame(0xC1), dcOnly, scan({0x00}), kEnd})},
          {"a scan whose second component's tables are missing",
           join({kStart, frame(0xC0), kDcAndAc, scan({0x00, 0x11}), kEnd})},
          {"a scan on DC slot 1 where only slot 0 is defined",
           join({kStart, frame(0xC0), kDcAndAc, scan({0x10}), kEnd})},
          {"tables defined only after the scan",
           join({kStart, frame(0xC0), scan({0x00}), kDcAndAc, kEnd})},
          {"a progressive first DC scan without its DC table",
           join({kStart, frame(0xC2), acOnly, scan({0x00}), kEnd})},
          {"a progressive AC scan without its AC table",
           join({kStart, frame(0xC2), dcOnly, scan({0x00}, 1), kEnd})},
      },
      false);
}

// The walk stops where the decoder refuses the bytes by itself; an oversized table after that
// point shows whether it did.
TEST(JpegTables, WhatTheDecoderRefusesByItselfIsLeftToIt) {
  EXPECT_TRUE(jpegHuffmanTablesFit({}));
  EXPECT_TRUE(jpegHuffmanTablesFit(fileBytes(std::string(ZV_ASSET_DIR) + "/second.png")));
  EXPECT_TRUE(jpegHuffmanTablesFit(Bytes(first().begin(), first().begin() + 600)));
  EXPECT_TRUE(jpegHuffmanTablesFit(Bytes{0xFF, 0xD8, 0xFF}));
  const Bytes tables = join({frame(0xC0), kDcAndAc});
  expectAll(
      {
          {"bytes that do not start a JPEG", join({{0x12, 0x34}, kOversized})},
          {"a stray byte before what only looks like a marker code",
           join({kStart, {0x12}, Bytes(kOversized.begin() + 1, kOversized.end())})},
          // Past the end the bytes would read as a segment of length 2, then the table.
          {"the end of the image", join({kStart, kEnd, {0x00, 0x02}, kOversized})},
          {"a table of class 2", join({kStart, huffmanSegment({table(2, 0, 3)}), kOversized})},
          {"a table in slot 4", join({kStart, huffmanSegment({table(0, 4, 3)}), kOversized})},
          {"a table segment shorter than its tables",
           join({kStart, huffmanSegment({table(0, 0, 3)}, -1), kOversized})},
          {"a scan of no components", join({kStart, tables, scan({}), kOversized})},
          {"a scan of five components",
           join({kStart, tables, scan({0x00, 0x00, 0x00, 0x00, 0x00}), kOversized})},
          {"a scan header longer than its components",
           join({kStart, tables, scan({0x00}, 0, 0, 9), kOversized})},
          {"a scan on DC slot 4", join({kStart, tables, scan({0x40}), kOversized})},
          {"a scan on AC slot 4", join({kStart, tables, scan({0x04}), kOversized})},
          // The decoder reads zeros past the end: counts of nothing, a table of no codes.
          {"a table segment cut after its class", {0xFF, 0xD8, 0xFF, 0xC4, 0x00, 0x13, 0x10}},
      },
      true);
  // Bytes inside a segment skipped by its length are never read as markers.
  const int length = 2 + static_cast<int>(kOversized.size());
  EXPECT_TRUE(jpegHuffmanTablesFit(join({kStart,
                                         {0xFF, 0xE1, static_cast<std::uint8_t>(length >> 8),
                                          static_cast<std::uint8_t>(length & 0xFF)},
                                         kOversized,
                                         kEnd})));
}

// Every JPEG fuzzing found damaging the decoder is refused before the decoder sees it. The kept
// inputs are a fuzz target's: `words` little-endian lengths, then the pieces they measure, then
// the last piece; any piece may be the JPEG.
TEST(JpegTables, EveryKeptFuzzFindingIsRefused) {
  struct Finding {
    const char* path;
    int words;
  };
  const Finding findings[] = {
      {"image_decode/huffman-code-past-its-table", 1},
      {"image_decode/huffman-table-after-padding", 1},
      {"image_decode/huffman-table-of-285-codes", 1},
      {"image_decode/scan-with-undefined-huffman-table", 1},
      {"pack_checks/huffman-table-overflow", 2},
  };
  for (const Finding& finding : findings) {
    SCOPED_TRACE(finding.path);
    const Bytes input = fileBytes(std::string(ZV_FUZZ_REGRESSIONS) + "/" + finding.path);
    ASSERT_GE(input.size(), 4u * finding.words);
    std::size_t at = 4u * finding.words;
    bool refused = false;
    for (int piece = 0; piece <= finding.words; ++piece) {
      std::size_t size = input.size() - at;
      if (piece < finding.words) {
        const std::size_t word = 4u * piece;
        size = std::min<std::size_t>(size, static_cast<std::size_t>(input[word]) |
                                               input[word + 1] << 8 | input[word + 2] << 16 |
                                               static_cast<std::size_t>(input[word + 3]) << 24);
      }
      refused =
          refused || !jpegHuffmanTablesFit(Bytes(input.begin() + at, input.begin() + at + size));
      at += size;
    }
    EXPECT_TRUE(refused);
  }
}

// The frame the decoder would read first, found by the walk the table check takes.
TEST(JpegFrameLookup, FindsTheFirstFrameWhereTheDecoderWould) {
  struct Lookup {
    const char* name;
    Bytes bytes;
    int frame;
  };
  const Lookup lookups[] = {
      {"the first of two, after a table segment",
       join({kStart, huffmanSegment({table(0, 0, 3)}), frame(0xC1), frame(0xC0)}), 0xC1},
      {"after the codes that are not frames",
       join({kStart, {0xFF, 0xC8, 0x00, 0x02, 0xFF, 0xCC, 0x00, 0x02}, frame(0xC3)}), 0xC3},
      {"past a frame code inside a segment skipped by its length",
       join({kStart, {0xFF, 0xE1, 0x00, 0x04, 0xFF, 0xC0}, frame(0xC2)}), 0xC2},
      {"after fill bytes", join({kStart, {0xFF, 0xFF}, frame(0xC2)}), 0xC2},
      // The decoder steps over these looking for a marker, and then reads the frame.
      {"after a stray byte, a restart marker and FF 00",
       join({kStart, {0x12, 0xFF, 0xD0, 0xFF, 0x00}, frame(0xC2)}), 0xC2},
      {"none: a scan first", join({kStart, scan({0x00}), frame(0xC0)}), 0},
      {"none: the end of the image first", join({kStart, kEnd, frame(0xC0)}), 0},
      {"none: the bytes end first", join({kStart, {0xFF, 0xE0, 0x00, 0x02}}), 0},
      {"none: not a JPEG", join({{0x12, 0x34}, frame(0xC0)}), 0},
  };
  for (const Lookup& lookup : lookups) {
    EXPECT_EQ(jpegFirstFrameMarker(lookup.bytes), lookup.frame) << lookup.name;
  }
}
