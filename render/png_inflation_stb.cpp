// The browser's engine of the PNG data check: the decoder's own inflate, as no zlib is built there.
#include <stb_image.h>

#include <cstring>
#include <limits>
#include <vector>

#include "render/decoder_failure.h"
#include "render/png_inflation.h"

using State = PngInflation::State;

namespace {

// Past any picture the decoder accepts (2048 a side, 16-bit RGBA, with Adam7's extra filter
// bytes): the decoder refuses such a header before it inflates anything, so a need this large is
// left to it, as the desktop's check leaves it, rather than given a buffer the browser's memory
// may not hold.
constexpr std::uint64_t kLargestNeed = 64u << 20;

}  // namespace

// The decoder inflates only in one piece, so the data is gathered and inflated at the end into a
// buffer one byte longer than the need: filling that byte, or running out of room, is past it.
struct PngInflation::Engine {
  int headerLeft = 2;
  std::uint8_t header[2] = {};
  std::uint64_t need = 0;
  std::vector<std::uint8_t> data;
  const char* detail = "";
};

PngInflation::PngInflation(bool rawDeflate, std::uint64_t need)
    : engine_(std::make_unique<Engine>()) {
  engine_->headerLeft = rawDeflate ? 0 : 2;
  engine_->need = need;
}

PngInflation::~PngInflation() = default;

State PngInflation::feed(std::span<const std::uint8_t> data) {
  Engine& engine = *engine_;
  while (engine.headerLeft > 0 && !data.empty()) {
    engine.header[2 - engine.headerLeft--] = data.front();
    data = data.subspan(1);
    if (engine.headerLeft == 0 &&
        !zlibHeaderAsTheDecoderReadsIt(engine.header[0], engine.header[1])) {
      engine.detail = "bad zlib header";
      return State::kFailed;
    }
  }
  engine.data.insert(engine.data.end(), data.begin(), data.end());
  return State::kGoing;
}

State PngInflation::finish() {
  Engine& engine = *engine_;
  if (engine.need > kLargestNeed) {
    return State::kEnded;
  }
  if (engine.data.size() > static_cast<std::size_t>(std::numeric_limits<int>::max())) {
    engine.detail = "image data too large to follow";
    return State::kFailed;
  }
  std::vector<char> out(static_cast<std::size_t>(engine.need) + 1);
  forgetDecoderFailure();
  const int inflated = stbi_zlib_decode_noheader_buffer(
      out.data(), static_cast<int>(out.size()), reinterpret_cast<const char*>(engine.data.data()),
      static_cast<int>(engine.data.size()));
  if (inflated < 0) {
    const char* reason = stbi_failure_reason();
    if (reason != nullptr && std::strcmp(reason, "output buffer limit") == 0) {
      return State::kPastNeed;
    }
    engine.detail = reason != nullptr ? reason : "inflate failed";
    return State::kFailed;
  }
  return static_cast<std::uint64_t>(inflated) > engine.need ? State::kPastNeed : State::kEnded;
}

const char* PngInflation::detail() const {
  return engine_->detail;
}
