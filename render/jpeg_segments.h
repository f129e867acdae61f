// Walks a JPEG's markers and segments the way the image decoder reads them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>

// Where a walk has got to. Past the end it reads zeros, as the decoder does.
struct JpegReader {
  std::span<const std::uint8_t> bytes;
  std::size_t at = 0;
};

int readJpegByte(JpegReader& reader);
int readJpegWord(JpegReader& reader);  // big-endian

// What the walk does after a segment's marker has been shown.
enum class JpegStep {
  kSkip,  // step over the segment by its length field
  kRead,  // the visitor has read the segment itself; go on after it
  kStop,
};

// Shows every marker the decoder acts on, after the start of image and up to the end of image,
// with the reader just past the marker's code. Stepped over as the decoder does: bytes where a
// marker belongs, fill bytes, the restart markers and FF 00 / FF 01, which is also how the
// entropy-coded data after a scan header goes by. False when the bytes do not start a JPEG.
bool walkJpegSegments(std::span<const std::uint8_t> encoded,
                      const std::function<JpegStep(int marker, JpegReader& reader)>& visit);

// A start-of-frame code: C0 to CF but for C4 (Huffman tables), C8 (reserved), CC (arithmetic
// conditioning).
bool isJpegFrameMarker(int marker);

// The code of the first frame header, FF C0 for baseline; 0 when a scan, the end of the image or
// the end of the bytes comes first.
int jpegFirstFrameMarker(std::span<const std::uint8_t> encoded);
