// Inflating a PNG's image data only to count what it comes to; each platform brings the engine.
#pragma once

#include <cstdint>
#include <memory>
#include <span>

// Takes the data of every IDAT chunk before IEND, in order, as one stream, and counts what comes
// out against `need`. The zlib header is read as the decoder reads it, and the rest inflated raw,
// so the trailing checksum the decoder ignores is ignored here too.
class PngInflation {
 public:
  enum class State { kGoing, kEnded, kPastNeed, kFailed };

  PngInflation(bool rawDeflate, std::uint64_t need);
  ~PngInflation();
  PngInflation(const PngInflation&) = delete;
  PngInflation& operator=(const PngInflation&) = delete;

  // The next chunk's data: kGoing while the stream goes on inside the need.
  State feed(std::span<const std::uint8_t> data);
  // After the last chunk: what the data comes to where feeding it could not say yet.
  State finish();
  // Why the data failed, once it has.
  const char* detail() const;

  struct Engine;

 private:
  std::unique_ptr<Engine> engine_;
};

// The decoder's tests of the two header bytes: a multiple of 31, no preset dictionary, deflate.
// It ignores the window size, and so does a raw inflate with the largest window.
inline bool zlibHeaderAsTheDecoderReadsIt(int method, int flags) {
  return (method * 256 + flags) % 31 == 0 && (flags & 32) == 0 && (method & 15) == 8;
}
