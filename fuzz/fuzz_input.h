// Splitting one fuzz input into the pieces a target hands on, and failing loudly on a broken rule.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <span>

// Reads the input front to back; whatever a request finds missing comes back short or as zero.
class FuzzInput {
 public:
  explicit FuzzInput(std::span<const std::uint8_t> bytes) : rest_(bytes) {}

  std::uint32_t takeWord() {
    std::uint32_t word = 0;
    for (int shift = 0; shift < 32 && !rest_.empty(); shift += 8) {
      word |= static_cast<std::uint32_t>(rest_.front()) << shift;
      rest_ = rest_.subspan(1);
    }
    return word;
  }

  std::span<const std::uint8_t> take(std::size_t count) {
    const std::span<const std::uint8_t> piece =
        rest_.first(count < rest_.size() ? count : rest_.size());
    rest_ = rest_.subspan(piece.size());
    return piece;
  }

  std::span<const std::uint8_t> rest() const { return rest_; }

 private:
  std::span<const std::uint8_t> rest_;
};

// A broken rule is a finding: abort so that libFuzzer keeps the input and a replay test fails.
inline void fuzzCheck(bool holds, const char* rule) {
  if (!holds) {
    std::fprintf(stderr, "fuzz check failed: %s\n", rule);
    std::abort();
  }
}
