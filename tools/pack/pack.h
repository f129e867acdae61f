// Packing the two images into a linked viewer: the checks and the packed bytes.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

struct PackInput {
  std::span<const std::uint8_t> bytes;
  std::string fileName;  // named in any error
};

// The input too large for the directory words when the first image starts at `firstOffset`:
// the viewer seeks with a signed 32-bit offset, so both images must start below 2^31, and each
// size is one 32-bit word. Plain numbers, so that the limits are judged the same from file sizes
// before anything is read and from the real offsets when the packed bytes are built.
enum class TooLarge { kNothing, kViewer, kFirstImage, kSecondImage };
TooLarge tooLargeInput(std::uint64_t firstOffset, std::uint64_t firstSize,
                       std::uint64_t secondSize);

// The viewer with any images it already carries replaced by `first` then `second`, and the
// directory words written. Throws PackError naming the offending file; nothing is half-made.
std::vector<std::uint8_t> buildPackedExecutable(const PackInput& viewer, const PackInput& first,
                                                const PackInput& second);

// Opens the three inputs, refuses any too large from its size alone, then reads and packs them
// and writes `outputPath` atomically.
void packViewerFiles(const std::string& viewerPath, const std::string& firstPath,
                     const std::string& secondPath, const std::string& outputPath);
