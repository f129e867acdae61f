// What the packer demands of the two images before it writes anything.
#pragma once

#include <cstdint>
#include <span>
#include <string>

// A baseline JPEG of 512 by 512 that decodes with 3 components; throws PackError naming the file
// otherwise.
void checkFirstImage(std::span<const std::uint8_t> bytes, const std::string& fileName);

// A PNG of 512 by 512, 8-bit RGBA, that decodes; throws PackError naming the file otherwise.
void checkSecondImage(std::span<const std::uint8_t> bytes, const std::string& fileName);
