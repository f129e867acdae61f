// Looks at every Huffman table and scan header of a JPEG the way the decoder reads them.
#include "render/jpeg_tables.h"

#include "render/jpeg_segments.h"

namespace {

constexpr int kMostCodes = 256;

// One DHT segment, read as the decoder reads it: a table at a time while its length lasts, each
// 17 bytes of class, slot and counts, then one value per code, each table marked as defined.
// A segment the decoder refuses for another reason ends the walk as safe.
enum class Segment { kFits, kUnsafe, kRefused };
Segment readHuffmanSegment(JpegReader& reader, bool (&defined)[2][4]) {
  int left = readJpegWord(reader) - 2;
  while (left > 0) {
    const int classAndSlot = readJpegByte(reader);
    if (classAndSlot >> 4 > 1 || (classAndSlot & 15) > 3) {
      return Segment::kRefused;
    }
    defined[classAndSlot >> 4][classAndSlot & 15] = true;
    int codes = 0;
    for (int length = 0; length < 16; ++length) {
      codes += readJpegByte(reader);
    }
    if (codes > kMostCodes) {
      return Segment::kUnsafe;
    }
    for (int i = 0; i < codes; ++i) {
      readJpegByte(reader);
    }
    left -= 17 + codes;
  }
  return left == 0 ? Segment::kFits : Segment::kRefused;
}

// A scan header: which tables its components decode with. The decoder reads a table that was
// never defined as if it were one, past the ends of its arrays, so every table the scan will
// decode with must have come before it: DC and AC in a sequential frame; in a progressive one
// the DC table in a first DC scan, the AC table in any AC scan.
Segment readScanHeader(JpegReader& reader, const bool (&defined)[2][4], bool progressive) {
  const int length = readJpegWord(reader);
  const int components = readJpegByte(reader);
  int tables[4] = {};
  for (int i = 0; i < components && i < 4; ++i) {
    readJpegByte(reader);  // the component
    tables[i] = readJpegByte(reader);
  }
  const int spectralStart = readJpegByte(reader);
  readJpegByte(reader);  // spectral end
  const int approximation = readJpegByte(reader);
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
  bool defined[2][4] = {};
  bool progressive = false;
  bool fits = true;
  // Bytes that are not a JPEG to the decoder, and segments it refuses, are left to it.
  walkJpegSegments(encoded, [&](int marker, JpegReader& reader) {
    if (marker == 0xC4 || marker == 0xDA) {
      const Segment segment = marker == 0xC4 ? readHuffmanSegment(reader, defined)
                                             : readScanHeader(reader, defined, progressive);
      fits = segment != Segment::kUnsafe;
      return segment == Segment::kFits ? JpegStep::kRead : JpegStep::kStop;
    }
    if (marker >= 0xC0 && marker <= 0xC2) {  // the frames the decoder takes
      progressive = marker == 0xC2;
    }
    return JpegStep::kSkip;
  });
  return fits;
}
