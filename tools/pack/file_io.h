// Whole-file reading and all-or-nothing writing for the packer.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

// Throws PackError naming the path when it cannot be opened or read in full.
std::vector<std::uint8_t> readWholeFile(const std::string& path);

// Writes a temporary file beside `path`, gives it the executable mode, then renames it over
// `path`; on any failure the temporary is removed and `path` is untouched.
void writeExecutableAtomically(const std::string& path, std::span<const std::uint8_t> bytes);

// Whether both paths name the same existing file.
bool sameFile(const std::string& first, const std::string& second);
