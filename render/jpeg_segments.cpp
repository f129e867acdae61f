// The one walk through a JPEG's segments, shared by the table check and the frame lookup.
#include "render/jpeg_segments.h"

namespace {

constexpr int kNoMarker = -1;

// A marker as the decoder reads one: 0xFF, any number of 0xFF fill bytes, then the code. Any
// other first byte is consumed and yields no marker. The zeros past the end stop the fill.
int readMarker(JpegReader& reader) {
  if (readJpegByte(reader) != 0xFF) {
    return kNoMarker;
  }
  int marker = readJpegByte(reader);
  while (marker == 0xFF) {
    marker = readJpegByte(reader);
  }
  return marker;
}

bool isRestart(int marker) {
  return marker >= 0xD0 && marker <= 0xD7;
}

}  // namespace

int readJpegByte(JpegReader& reader) {
  if (reader.at >= reader.bytes.size()) {
    ++reader.at;
    return 0;
  }
  return reader.bytes[reader.at++];
}

int readJpegWord(JpegReader& reader) {
  const int high = readJpegByte(reader);
  return high << 8 | readJpegByte(reader);
}

bool walkJpegSegments(std::span<const std::uint8_t> encoded,
                      const std::function<JpegStep(int marker, JpegReader& reader)>& visit) {
  JpegReader reader{encoded};
  if (readMarker(reader) != 0xD8) {
    return false;
  }
  while (reader.at < encoded.size()) {
    const int marker = readMarker(reader);
    // FF 00 is a stuffed data byte and the restart markers belong to the data.
    if (marker == kNoMarker || isRestart(marker) || marker == 0x01 || marker == 0x00) {
      continue;
    }
    if (marker == 0xD9) {
      break;
    }
    const JpegStep step = visit(marker, reader);
    if (step == JpegStep::kStop) {
      break;
    }
    if (step == JpegStep::kSkip) {
      const int length = readJpegWord(reader);
      reader.at += length > 2 ? static_cast<std::size_t>(length - 2) : 0;
    }
  }
  return true;
}

bool isJpegFrameMarker(int marker) {
  return marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
}

int jpegFirstFrameMarker(std::span<const std::uint8_t> encoded) {
  int frame = 0;
  walkJpegSegments(encoded, [&frame](int marker, JpegReader&) {
    if (isJpegFrameMarker(marker)) {
      frame = marker;
      return JpegStep::kStop;
    }
    return marker == 0xDA ? JpegStep::kStop : JpegStep::kSkip;
  });
  return frame;
}
