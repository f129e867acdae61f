// Reserves the 20 directory bytes in a section of their own, for the packer to fill in.
#include "app/elf_asset_section.h"

// Zero at link time; the packer writes the real words into the file. `used` keeps the section
// in the link, and volatile keeps the compiler from folding reads to the zeros it sees here.
extern "C" __attribute__((section(".zoravarova.assets"), used, aligned(4)))
const volatile unsigned char zoravarovaEmbeddedAssetDirectory[kEmbeddedAssetDirectoryBytes] = {};
