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

// The viewer with any images it already carries replaced by `first` then `second`, and the
// directory words written. Throws PackError naming the offending file; nothing is half-made.
std::vector<std::uint8_t> buildPackedExecutable(const PackInput& viewer, const PackInput& first,
                                                const PackInput& second);

// Reads the three inputs, packs them and writes `outputPath` atomically.
void packViewerFiles(const std::string& viewerPath, const std::string& firstPath,
                     const std::string& secondPath, const std::string& outputPath);
