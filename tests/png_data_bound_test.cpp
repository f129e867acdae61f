// The PNG guard: the inflated bytes a header needs, and which files it refuses before the decoder.
#include "render/png_data_bound.h"

#include <gtest/gtest.h>
#include <cstring>
#include <limits>
#include <string>

#include "tests/made_png.h"

namespace {

// The browser build's check inflates with the decoder's own inflate, in one piece at the end
// (ZV_DECODERS_INFLATE); the desktop's with zlib, as the data comes.
#ifdef ZV_DECODERS_INFLATE
constexpr bool kDecodersInflate = true;
#else
constexpr bool kDecodersInflate = false;
#endif

constexpr std::uint64_t kRgba512 = 512 * (1 + 512 * 4);  // 1,049,088
// Adam7 over 512 by 512 (columns x rows per pass): 64x64, 64x64, 128x64, 128x128, 256x128,
// 256x256, 512x256; each row a filter byte and 4 bytes a pixel.
constexpr std::uint64_t kRgba512Interlaced =
    64 * 257 + 64 * 257 + 64 * 513 + 128 * 513 + 128 * 1025 + 256 * 1025 + 256 * 2049;  // 1,049,536

Bytes append(Bytes bytes, const Bytes& more) {
  bytes.insert(bytes.end(), more.begin(), more.end());
  return bytes;
}

Bytes withoutEnd(Bytes png) {
  png.resize(png.size() - 12);  // IEND is the last 12 bytes
  return png;
}

PngDataVerdict verdictOf(const Bytes& bytes) {
  return checkPngDataBound(bytes).verdict;
}

TEST(PngInflatedNeedTest, EachRowIsAFilterByteAndItsSamplesPackedIntoWholeBytes) {
  EXPECT_EQ(pngInflatedNeed(512, 512, 8, 6, false), std::optional<std::uint64_t>(1'049'088));
  EXPECT_EQ(pngInflatedNeed(512, 512, 8, 2, false), 512u * (1 + 1536));  // RGB
  EXPECT_EQ(pngInflatedNeed(2, 1, 16, 6, false), 1u + 16);               // 8 bytes a pixel
  EXPECT_EQ(pngInflatedNeed(3, 5, 16, 4, false), 5u * (1 + 12));         // grey and alpha
  // Low depths round each row up to a whole byte.
  EXPECT_EQ(pngInflatedNeed(9, 2, 1, 0, false), 2u * (1 + 2));  // 9 bits
  EXPECT_EQ(pngInflatedNeed(5, 3, 2, 3, false), 3u * (1 + 2));  // 10 bits, palette
  EXPECT_EQ(pngInflatedNeed(3, 4, 4, 3, false), 4u * (1 + 2));  // 12 bits
  EXPECT_EQ(pngInflatedNeed(8, 1, 1, 0, false), 1u + 1);
}

TEST(PngInflatedNeedTest, AnInterlacedPictureNeedsTheRowsOfEachAdam7PassThatHasPixels) {
  EXPECT_EQ(pngInflatedNeed(512, 512, 8, 6, true), kRgba512Interlaced);
  EXPECT_EQ(kRgba512Interlaced, 1'049'536u);
  // 3 by 2 RGB: passes 1, 4 and 6 hold one pixel each, pass 7 the bottom row of three; passes
  // 2, 3 and 5 are empty and have no rows, not even filter bytes.
  EXPECT_EQ(pngInflatedNeed(3, 2, 8, 2, true), 4u + 4 + 4 + (1 + 9));
  EXPECT_EQ(pngInflatedNeed(1, 1, 8, 0, true), 2u);
  // 9 by 9 at 1 bit: pass columns x rows 2x2, 1x2, 3x1, 2x3, 5x2, 4x5, 9x4, each row one or
  // two bytes of bits after its filter byte.
  EXPECT_EQ(pngInflatedNeed(9, 9, 1, 0, true),
            2u * 2 + 2 * 2 + 1 * 2 + 3 * 2 + 2 * 2 + 5 * 2 + 4 * 3);
}

TEST(PngInflatedNeedTest, FieldsThatNoValidPngHasGiveNoNeed) {
  EXPECT_EQ(pngInflatedNeed(0, 512, 8, 6, false), std::nullopt);
  EXPECT_EQ(pngInflatedNeed(512, 0, 8, 6, true), std::nullopt);
  EXPECT_EQ(pngInflatedNeed(0x80000000, 1, 8, 6, false), std::nullopt);
  EXPECT_EQ(pngInflatedNeed(1, 0x80000000, 8, 6, false), std::nullopt);
  const std::pair<int, int> kInvalid[] = {{4, 2},  {16, 3}, {2, 6}, {1, 4}, {3, 0},
                                          {32, 0}, {8, 1},  {8, 5}, {8, 7}};
  for (const auto& [depth, type] : kInvalid) {
    EXPECT_EQ(pngInflatedNeed(4, 4, depth, type, false), std::nullopt)
        << depth << "-bit colour type " << type;
  }
  // The largest sides PNG allows, at 64 bits a pixel, need more than 64 bits can count.
  EXPECT_EQ(pngInflatedNeed(0x7FFFFFFF, 0x7FFFFFFF, 16, 6, false),
            std::numeric_limits<std::uint64_t>::max());
  EXPECT_EQ(pngInflatedNeed(0x7FFFFFFF, 0x7FFFFFFF, 16, 6, true),
            std::numeric_limits<std::uint64_t>::max());
}

TEST(PngDataBoundTest, DataThatInflatesToTheNeedFitsAndOneBytePastIsRefused) {
  const Bytes header = pngHeaderData(512, 512, 8, 6);
  EXPECT_EQ(verdictOf(makePng(header, zlibZeros(kRgba512))), PngDataVerdict::kFits);
  EXPECT_EQ(verdictOf(makePng(header, zlibZeros(kRgba512 - 1000))), PngDataVerdict::kFits);
  const PngDataBound past = checkPngDataBound(makePng(header, zlibZeros(kRgba512 + 1)));
  EXPECT_EQ(past.verdict, PngDataVerdict::kInflatesPastNeed);
  EXPECT_EQ(past.width, 512u);
  EXPECT_EQ(past.height, 512u);
  EXPECT_EQ(past.need, kRgba512);

  // The IDAT chunks are one stream, counted as a whole, however it is cut.
  EXPECT_EQ(verdictOf(makePng(header, zlibZeros(kRgba512), 7)), PngDataVerdict::kFits);
  EXPECT_EQ(verdictOf(makePng(header, zlibZeros(kRgba512 + 1), 7)),
            PngDataVerdict::kInflatesPastNeed);
  // Two bytes an IDAT: the zlib header is read across chunks.
  const Bytes small = zlibZeros(3 * (1 + 2));
  EXPECT_EQ(verdictOf(makePng(pngHeaderData(5, 3, 2, 3), small, static_cast<int>(small.size()) / 2,
                              pngChunk("PLTE", {0, 0, 0, 255, 255, 255}))),
            PngDataVerdict::kFits);

  // Interlaced, its passes need more than the rows of the plain picture would.
  const Bytes interlaced = pngHeaderData(512, 512, 8, 6, true);
  EXPECT_EQ(verdictOf(makePng(interlaced, zlibZeros(kRgba512Interlaced))), PngDataVerdict::kFits);
  EXPECT_EQ(verdictOf(makePng(interlaced, zlibZeros(kRgba512Interlaced + 1))),
            PngDataVerdict::kInflatesPastNeed);

  // Low depths and a palette: 5 by 3 at 2 bits needs 9 bytes.
  const Bytes palette = pngChunk("PLTE", {0, 0, 0, 255, 255, 255});
  const Bytes lowDepth = pngHeaderData(5, 3, 2, 3);
  EXPECT_EQ(verdictOf(makePng(lowDepth, zlibZeros(9), 1, palette)), PngDataVerdict::kFits);
  EXPECT_EQ(verdictOf(makePng(lowDepth, zlibZeros(10), 1, palette)),
            PngDataVerdict::kInflatesPastNeed);
  const Bytes oneBit = pngHeaderData(9, 9, 1, 0, true);
  EXPECT_EQ(verdictOf(makePng(oneBit, zlibZeros(42))), PngDataVerdict::kFits);
  EXPECT_EQ(verdictOf(makePng(oneBit, zlibZeros(43))), PngDataVerdict::kInflatesPastNeed);

  // A CgBI chunk, anywhere before IEND, makes the decoder read bare deflate without a header.
  const Bytes cgbi = pngChunk("CgBI", {0x50, 0x00, 0x20, 0x06});
  const Bytes bare = makePng(header, rawDeflate(zlibZeros(kRgba512)), 1, cgbi);
  EXPECT_EQ(verdictOf(bare), PngDataVerdict::kFits);
  EXPECT_EQ(verdictOf(makePng(header, rawDeflate(zlibZeros(kRgba512 + 1)), 1, cgbi)),
            PngDataVerdict::kInflatesPastNeed);
  Bytes cgbiLast = append(withoutEnd(makePng(header, rawDeflate(zlibZeros(kRgba512 + 1)))), cgbi);
  EXPECT_EQ(verdictOf(append(cgbiLast, pngChunk("IEND", {}))), PngDataVerdict::kInflatesPastNeed);
}

TEST(PngDataBoundTest, ABombIsRefusedWhateverItClaims) {
  // 64 MiB of zeros for a 512 by 512 picture, in 40 IDAT chunks of under 2 KB.
  const PngDataBound bomb =
      checkPngDataBound(makePng(pngHeaderData(512, 512, 8, 6), zlibZeros(64 << 20), 40));
  EXPECT_EQ(bomb.verdict, PngDataVerdict::kInflatesPastNeed);
  EXPECT_EQ(bomb.need, kRgba512);
  // A header claiming the largest picture PNG allows cannot be exceeded.
  EXPECT_EQ(verdictOf(makePng(pngHeaderData(0x7FFFFFFF, 0x7FFFFFFF, 16, 6), zlibZeros(64 << 20))),
            PngDataVerdict::kFits);
}

TEST(PngDataBoundTest, WhatTheDecoderNeverInflatesIsLeftToIt) {
  const Bytes header = pngHeaderData(4, 4, 8, 6);
  const Bytes sound = makePng(header, zlibZeros(4 * 17));
  ASSERT_EQ(verdictOf(sound), PngDataVerdict::kFits);
  // Not a PNG: a JPEG's first bytes, a signature cut short, nothing.
  EXPECT_EQ(verdictOf({0xFF, 0xD8, 0xFF, 0xE0, 0x00, 0x10}), PngDataVerdict::kFits);
  EXPECT_EQ(verdictOf(Bytes(sound.begin(), sound.begin() + 7)), PngDataVerdict::kFits);
  EXPECT_EQ(verdictOf({}), PngDataVerdict::kFits);
  // A bomb without IEND: the decoder refuses the chunk of zeros it reads past the end first.
  EXPECT_EQ(verdictOf(withoutEnd(makePng(header, zlibZeros(1 << 20)))), PngDataVerdict::kFits);
  // Whatever follows IEND, and IEND's own length and CRC, the decoder never reads.
  Bytes afterEnd = append(sound, {0xFF, 0xFF, 0xFF, 0xFF, 'I', 'D', 'A', 'T'});
  afterEnd = append(afterEnd, pngChunk("IDAT", zlibZeros(1 << 20)));
  EXPECT_EQ(verdictOf(afterEnd), PngDataVerdict::kFits);
  Bytes endCut = append(withoutEnd(sound), {0x7F, 0xFF, 0xFF, 0xFF, 'I', 'E', 'N', 'D'});
  EXPECT_EQ(verdictOf(endCut), PngDataVerdict::kFits);
  // Data that ends short of its need or of its stream, and bytes after the stream's end.
  const Bytes stream = zlibZeros(4 * 17);
  // The decoder's own inflate cannot tell a stream cut short from a damaged one, and the decoder
  // refuses both: refusing it first changes nothing for the picture.
  EXPECT_EQ(verdictOf(makePng(header, Bytes(stream.begin(), stream.end() - 8))),
            kDecodersInflate ? PngDataVerdict::kUndecodableData : PngDataVerdict::kFits);
  EXPECT_EQ(verdictOf(makePng(header, Bytes(stream.begin(), stream.end() - 4))),
            PngDataVerdict::kFits);  // only the checksum the decoder ignores is missing
  EXPECT_EQ(verdictOf(makePng(header, append(zlibZeros(4 * 17 - 5), zlibZeros(1 << 20)))),
            PngDataVerdict::kFits);
}

TEST(PngDataBoundTest, AChunkThatRunsPastTheEndIsRefused) {
  const Bytes sound = makePng(pngHeaderData(4, 4, 8, 6), zlibZeros(4 * 17));
  const Bytes body = withoutEnd(sound);
  // The decoder would reserve the 2 GiB an IDAT claims before finding the bytes missing.
  const PngDataBound claims = checkPngDataBound(
      append(body, {0x7F, 0xFF, 0xFF, 0xF0, 'I', 'D', 'A', 'T', 0x78, 0x9C, 0x00}));
  EXPECT_EQ(claims.verdict, PngDataVerdict::kChunkPastEnd);
  EXPECT_EQ(claims.chunkType, pngChunkType("IDAT"));
  // A length that wraps an offset of 64 bits or 32 once added.
  EXPECT_EQ(verdictOf(append(body, {0xFF, 0xFF, 0xFF, 0xFF, 't', 'E', 'X', 't', 0, 0, 0, 0})),
            PngDataVerdict::kChunkPastEnd);
  // Data that fits and a CRC that does not.
  const Bytes text = pngChunk("tEXt", {'a', 0, 'b'});
  EXPECT_EQ(verdictOf(append(body, Bytes(text.begin(), text.end() - 1))),
            PngDataVerdict::kChunkPastEnd);
  // A header cut short names no chunk.
  const PngDataBound cut = checkPngDataBound(append(body, {0x00, 0x00, 0x00, 0x00, 'I'}));
  EXPECT_EQ(cut.verdict, PngDataVerdict::kChunkPastEnd);
  EXPECT_EQ(cut.chunkType, 0u);
}

TEST(PngDataBoundTest, AHeaderThatIsMissingOrInvalidIsRefused) {
  const Bytes stream = zlibZeros(4 * 17);
  const auto detailOf = [](const Bytes& png) {
    const PngDataBound bound = checkPngDataBound(png);
    EXPECT_EQ(bound.verdict, PngDataVerdict::kInvalidHeader);
    return std::string(bound.detail);
  };
  Bytes noHeader = makePng(pngHeaderData(4, 4, 8, 6), stream);
  std::memcpy(noHeader.data() + 12, "tEXt", 4);
  EXPECT_EQ(detailOf(noHeader), "its image data comes before its IHDR chunk");
  const Bytes signature(noHeader.begin(), noHeader.begin() + 8);
  EXPECT_EQ(detailOf(append(signature, pngChunk("IEND", {}))), "it has no IHDR chunk");

  Bytes longHeader = pngHeaderData(4, 4, 8, 6);
  longHeader.push_back(0);
  EXPECT_EQ(detailOf(makePng(longHeader, stream)), "its IHDR chunk is not 13 bytes long");
  Bytes methods = pngHeaderData(4, 4, 8, 6);
  for (const std::size_t field : {10u, 11u, 12u}) {
    Bytes changed = methods;
    changed[field] = 2;
    EXPECT_EQ(detailOf(makePng(changed, stream)),
              "its IHDR chunk names an unknown compression, filter or interlace method");
  }
  const std::string fields =
      "its IHDR chunk gives a size, bit depth or colour type PNG does not "
      "allow";
  EXPECT_EQ(detailOf(makePng(pngHeaderData(0, 4, 8, 6), stream)), fields);
  EXPECT_EQ(detailOf(makePng(pngHeaderData(4, 4, 8, 5), stream)), fields);
}

TEST(PngDataBoundTest, DataThatInflateCannotFollowIsRefused) {
  const Bytes header = pngHeaderData(4, 4, 8, 6);
  const auto detailOf = [&header](const Bytes& data) {
    const PngDataBound bound = checkPngDataBound(makePng(header, data));
    EXPECT_EQ(bound.verdict, PngDataVerdict::kUndecodableData);
    return std::string(bound.detail);
  };
  // What the decoder checks of the zlib header: a multiple of 31, no preset dictionary, deflate.
  EXPECT_EQ(detailOf({0x78, 0x9D, 0x03, 0x00}), "bad zlib header");
  EXPECT_EQ(detailOf({0x78, 0xBB, 0x03, 0x00}), "bad zlib header");
  EXPECT_EQ(detailOf({0x79, 0x18, 0x03, 0x00}), "bad zlib header");
  // The inflate names the fault in its own words; the decoder's names none for a block of type 3,
  // so no reason from the case before it may stand in.
  EXPECT_EQ(detailOf({0x78, 0x9C, 0x01, 0x01, 0x00, 0x00, 0x00}),  // stored, LEN not ~NLEN
            kDecodersInflate ? "zlib corrupt" : "invalid stored block lengths");
  EXPECT_EQ(detailOf({0x78, 0x9C, 0x07}),  // final, of block type 3
            kDecodersInflate ? "inflate failed" : "invalid block type");
  // Another window size than 32 KiB is no concern of the decoder's.
  Bytes smallWindow = zlibZeros(4 * 17);
  smallWindow[0] = 0x28;  // a 1 KiB window
  smallWindow[1] = 0xCF;
  EXPECT_EQ(verdictOf(makePng(header, smallWindow)), PngDataVerdict::kFits);
}

}  // namespace
