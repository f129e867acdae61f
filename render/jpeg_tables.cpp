// Walks a JPEG's segments and scans the way the decoder does, looking at every Huffman table.
#include "render/jpeg_tables.h"

#include <cstddef>

namespace {

constexpr int kMostCodes = 256;

// The decoder reads zeros past the end of its buffer, and so does this walk.
class Reader {
 public:
  explicit Reader(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}
  bool atEnd() const { return at_ >= bytes_.size(); }
  int byte() { return at_ < bytes_.size() ? bytes_[at_++] : (++at_, 0); }
  int word() {
    const int high = byte();
    return high << 8 | byte();
  }

 private:
  std::span<const std::uint8_t> bytes_;
  std::size_t at_ = 0;
};

constexpr int kNoMarker = -1;

// A marker as the decoder reads one: 0xFF, any number of 0xFF fill bytes, then the code. Any
// other first byte is consumed and yields no marker. The zeros past the end stop the fill.
int readMarker(Reader& reader) {
  if (reader.byte() != 0xFF) {
    return kNoMarker;
  }
  int marker = reader.byte();
  while (marker == 0xFF) {
    marker = reader.byte();
  }
  return marker;
}

bool isRestart(int marker) {
  return marker >= 0xD0 && marker <= 0xD7;
}

// One DHT segment, read as the decoder reads it: a table at a time while its length lasts, each
// 17 bytes of class, slot and counts, then one value per code, each table marked as defined.
// A segment the decoder refuses for another reason ends the walk as safe.
enum class Segment { kFits, kUnsafe, kRefused };
Segment readHuffmanSegment(Reader& reader, bool (&defined)[2][4]) {
  int left = reader.word() - 2;
  while (left > 0) {
    const int classAndSlot = reader.byte();
    if (classAndSlot >> 4 > 1 || (classAndSlot & 15) > 3) {
      return Segment::kRefused;
    }
    defined[classAndSlot >> 4][classAndSlot & 15] = true;
    int codes = 0;
    for (int length = 0; length < 16; ++length) {
      codes += reader.byte();
    }
    if (codes > kMostCodes) {
      return Segment::kUnsafe;
    }
    for (int i = 0; i < codes; ++i) {
      reader.byte();
    }
    left -= 17 + codes;
  }
  return left == 0 ? Segment::kFits : Segment::kRefused;
}

// A scan header: which tables its components decode with. The decoder reads a table that was
// never defined as if it were one, past the ends of its arrays, so every table the scan will
// decode with must have come before it: DC and AC in a sequential frame; in a progressive one
// the DC table in a first DC scan, the AC table in any AC scan.
Segment readScanHeader(Reader& reader, const bool (&defined)[2][4], bool progressive) {
  const int length = reader.word();
  const int components = reader.byte();
  int tables[4] = {};
  for (int i = 0; i < components && i < 4; ++i) {
    reader.byte();  // the component
    tables[i] = reader.byte();
  }
  const int spectralStart = reader.byte();
  reader.byte();  // spectral end
  const int approximation = reader.byte();
  if (components < 1 || components > 4 || length != 6 + 2 * components) {
    return Segment::kRefused;
  }
  for (int i = 0; i < components; ++i) {
    const int dc = tables[i] >> 4;
    const int ac = tables[i] & 15;
    if (dc > 3 || ac > 3) {
      return Segment::kRefused;
    }
    const bool needsDc = !progressive || (spectralStart == 0 && approximation >> 4 == 0);
    const bool needsAc = !progressive || spectralStart != 0;
    if ((needsDc && !defined[0][dc]) || (needsAc && !defined[1][ac])) {
      return Segment::kUnsafe;
    }
  }
  return Segment::kFits;
}

}  // namespace

bool jpegHuffmanTablesFit(std::span<const std::uint8_t> encoded) {
  Reader reader(encoded);
  if (readMarker(reader) != 0xD8) {  // not a JPEG to the decoder
    return true;
  }
  bool defined[2][4] = {};
  bool progressive = false;
  while (!reader.atEnd()) {
    const int marker = readMarker(reader);
    // A byte where a marker belongs: the decoder steps over such padding one byte at a time.
    // Entropy-coded data after a scan header is stepped over the same way, up to the marker
    // that ends it: FF 00 is a stuffed data byte and the restart markers belong to the data.
    if (marker == kNoMarker || isRestart(marker) || marker == 0x01 || marker == 0x00) {
      continue;
    }
    if (marker == 0xD9) {  // end of image
      return true;
    }
    if (marker == 0xC4) {
      const Segment segment = readHuffmanSegment(reader, defined);
      if (segment == Segment::kUnsafe) {
        return false;
      }
      if (segment == Segment::kRefused) {
        return true;
      }
      continue;
    }
    if (marker == 0xDA) {
      const Segment segment = readScanHeader(reader, defined, progressive);
      if (segment != Segment::kFits) {
        return segment == Segment::kRefused;
      }
      continue;
    }
    if (marker >= 0xC0 && marker <= 0xC2) {  // the frames the decoder takes
      progressive = marker == 0xC2;
    }
    // Any other segment is skipped by its length.
    const int length = reader.word();
    for (int i = 2; i < length; ++i) {
      reader.byte();
    }
  }
  return true;
}
