// Where a PE/COFF image keeps the header fields the viewer and the packer both read.
#pragma once

#include <cstddef>

// e_lfanew: the file offset of the PE signature, in the DOS header.
inline constexpr std::size_t kPeSignatureOffsetAt = 0x3C;
// The COFF header follows the 4-byte signature, and the optional header follows both.
inline constexpr std::size_t kPeSignatureBytes = 4;
inline constexpr std::size_t kPeCoffHeaderBytes = 20;
inline constexpr std::size_t kPeOptionalHeaderAfterSignature =
    kPeSignatureBytes + kPeCoffHeaderBytes;
// Offsets within the optional header, the same for PE32 and PE32+.
inline constexpr std::size_t kPeSizeOfHeadersAt = 60;
inline constexpr std::size_t kPeCheckSumAt = 64;

inline constexpr std::size_t kPeSizeOfHeadersAfterSignature =
    kPeOptionalHeaderAfterSignature + kPeSizeOfHeadersAt;
static_assert(kPeSizeOfHeadersAfterSignature == 0x54);
