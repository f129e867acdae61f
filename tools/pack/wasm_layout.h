// Where a WebAssembly module's own sections end, and the custom section that carries the images.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

// The custom section's name, without the leading dot of the ELF section: the web viewer finds it
// by this name.
inline constexpr char kWasmAssetSectionName[] = "zoravarova.assets";

// The section as written: id 0, the size as a 5-byte padded LEB128 (so that every offset is
// known before the size is), the name's length in one byte, the name. The 20 directory bytes
// follow, then the first image and the second.
inline constexpr std::size_t kWasmSectionSizeBytes = 5;
inline constexpr std::size_t kWasmAssetHeaderBytes =
    1 + kWasmSectionSizeBytes + 1 + sizeof kWasmAssetSectionName - 1;

// Whether the bytes begin with the WebAssembly magic "\0asm" and version 1.
bool looksLikeWasmModule(std::span<const std::uint8_t> file);

// Where the module's own content ends: the start of its zoravarova.assets section when it has
// one (an earlier packing), otherwise its end. Walks every top-level section; throws PackError
// naming `fileName` when one cannot be parsed, or when that section is not the last one.
std::size_t wasmContentEnd(std::span<const std::uint8_t> file, const std::string& fileName);

// Whether a section holding the directory and images of these sizes would need a size past the
// 32 bits of its LEB128.
bool wasmSectionTooLarge(std::uint64_t firstSize, std::uint64_t secondSize);

// The header of the section whose payload after the name is `contentBytes` long; the caller has
// checked that it fits with wasmSectionTooLarge.
std::vector<std::uint8_t> wasmAssetSectionHeader(std::uint64_t contentBytes);
