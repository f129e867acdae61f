// The desktop's engine of the PNG data check: zlib's inflate through a buffer of fixed size.
#include <zlib.h>

#include <algorithm>

#include "render/png_inflation.h"

using State = PngInflation::State;

struct PngInflation::Engine {
  Engine(bool rawDeflate, std::uint64_t need) : headerLeft_(rawDeflate ? 0 : 2), need_(need) {
    ready_ = inflateInit2(&stream_, -MAX_WBITS) == Z_OK;
  }
  ~Engine() {
    if (ready_) {
      inflateEnd(&stream_);
    }
  }
  Engine(const Engine&) = delete;
  Engine& operator=(const Engine&) = delete;

  State feed(std::span<const std::uint8_t> data) {
    if (!ready_) {
      detail_ = "inflate could not start";
      return State::kFailed;
    }
    while (headerLeft_ > 0 && !data.empty()) {
      header_[2 - headerLeft_--] = data.front();
      data = data.subspan(1);
      if (headerLeft_ == 0 && !zlibHeaderAsTheDecoderReadsIt(header_[0], header_[1])) {
        detail_ = "bad zlib header";
        return State::kFailed;
      }
    }
    // zlib takes its input length as an unsigned int.
    while (!data.empty()) {
      const std::size_t piece = std::min<std::size_t>(data.size(), 1u << 30);
      stream_.next_in = const_cast<Bytef*>(data.data());
      stream_.avail_in = static_cast<uInt>(piece);
      data = data.subspan(piece);
      // A full buffer may leave output pending after the last input byte went in.
      do {
        stream_.next_out = out_;
        stream_.avail_out = sizeof out_;
        const int result = inflate(&stream_, Z_NO_FLUSH);
        inflated_ += sizeof out_ - stream_.avail_out;
        if (inflated_ > need_) {
          return State::kPastNeed;
        }
        if (result == Z_STREAM_END) {
          return State::kEnded;
        }
        if (result == Z_BUF_ERROR) {  // nothing more without more input
          break;
        }
        if (result != Z_OK) {
          detail_ = stream_.msg != nullptr ? stream_.msg : "inflate failed";
          return State::kFailed;
        }
      } while (stream_.avail_in > 0 || stream_.avail_out == 0);
    }
    return State::kGoing;
  }

  z_stream stream_{};
  bool ready_ = false;
  int headerLeft_;
  std::uint8_t header_[2] = {};
  std::uint64_t need_;
  std::uint64_t inflated_ = 0;
  const char* detail_ = "";
  Bytef out_[32 * 1024];
};

PngInflation::PngInflation(bool rawDeflate, std::uint64_t need)
    : engine_(std::make_unique<Engine>(rawDeflate, need)) {}

PngInflation::~PngInflation() = default;

State PngInflation::feed(std::span<const std::uint8_t> data) {
  return engine_->feed(data);
}

// Every byte went through inflate as it was fed: nothing is left to say.
State PngInflation::finish() {
  return State::kGoing;
}

const char* PngInflation::detail() const {
  return engine_->detail_;
}
