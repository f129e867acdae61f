// The JPEG check run before the decoder: damaged tables are caught, sound pictures all pass.
#include "render/jpeg_tables.h"

#include <gtest/gtest.h>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes readBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

const Bytes& first() {
  static const Bytes bytes = readBytes(std::string(ZV_ASSET_DIR) + "/first.jpg");
  return bytes;
}

// The segments before the first scan with every Huffman table segment left out.
Bytes withoutHuffmanTables(const Bytes& jpeg) {
  Bytes out(jpeg.begin(), jpeg.begin() + 2);
  std::size_t at = 2;
  while (at + 4 <= jpeg.size() && jpeg[at + 1] != 0xDA) {
    const std::size_t length = 2 + (jpeg[at + 2] << 8 | jpeg[at + 3]);
    if (jpeg[at + 1] != 0xC4) {
      out.insert(out.end(), jpeg.begin() + at, jpeg.begin() + at + length);
    }
    at += length;
  }
  out.insert(out.end(), jpeg.begin() + at, jpeg.end());
  return out;
}

TEST(JpegTables, SoundPicturesPass) {
  EXPECT_TRUE(jpegHuffmanTablesFit(first()));
  // Progressive scans that use only DC or only AC tables, defined just before them.
  EXPECT_TRUE(jpegHuffmanTablesFit(readBytes(std::string(ZV_PACK_INPUTS) + "/progressive.jpg")));
  EXPECT_TRUE(jpegHuffmanTablesFit(readBytes(std::string(ZV_PACK_INPUTS) + "/grey.jpg")));
}

TEST(JpegTables, BytesThatAreNoJpegOrEndEarlyAreLeftToTheDecoder) {
  EXPECT_TRUE(jpegHuffmanTablesFit({}));
  EXPECT_TRUE(jpegHuffmanTablesFit(readBytes(std::string(ZV_ASSET_DIR) + "/second.png")));
  EXPECT_TRUE(jpegHuffmanTablesFit(Bytes(first().begin(), first().begin() + 600)));
  EXPECT_TRUE(jpegHuffmanTablesFit(Bytes{0xFF, 0xD8, 0xFF}));
}

TEST(JpegTables, ATableOfMoreThan256CodesIsCaught) {
  Bytes jpeg = first();
  std::size_t at = 2;
  while (!(jpeg[at] == 0xFF && jpeg[at + 1] == 0xC4)) {
    at += 2 + (jpeg[at + 2] << 8 | jpeg[at + 3]);
  }
  jpeg[at + 5 + 15] = 255;  // the count of 16-bit codes: the sum now passes 256
  EXPECT_FALSE(jpegHuffmanTablesFit(jpeg));
}

TEST(JpegTables, AScanWithTablesNeverDefinedIsCaught) {
  const Bytes stripped = withoutHuffmanTables(first());
  ASSERT_LT(stripped.size(), first().size());
  EXPECT_FALSE(jpegHuffmanTablesFit(stripped));
}

}  // namespace
