// The ELF section that holds the embedded asset directory, as the loader maps it.
#pragma once

#include <cstddef>

#include "app/asset_directory.h"

// The section the packer looks for by name and writes the five words into.
inline constexpr const char* kEmbeddedAssetSectionName = ".zoravarova.assets";

// Declared with its section, so that every declaration agrees on where the bytes live.
extern "C" __attribute__((section(".zoravarova.assets")))
const volatile unsigned char zoravarovaEmbeddedAssetDirectory[kEmbeddedAssetDirectoryBytes];
