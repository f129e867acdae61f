// Reading the two encoded images that the executable carries after its own last byte.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

// Five little-endian words in this order; the reader follows the four pair words only.
struct EmbeddedAssetDirectory {
  std::uint32_t texture2Size = 0;
  std::uint32_t texture2Offset = 0;
  std::uint32_t texture1Size = 0;
  std::uint32_t texture1Offset = 0;
  std::uint32_t trailingWord = 0;
};

inline constexpr std::size_t kEmbeddedAssetDirectoryBytes = 20;

// The encoded JPEG and PNG, filled once before the window opens and only read afterwards.
extern std::vector<std::uint8_t> texture1Bytes;
extern std::vector<std::uint8_t> texture2Bytes;

// Decodes the four pair words from the 20 directory bytes as they lie in memory; volatile
// because the packer writes them into the file after linking, behind the compiler's back.
EmbeddedAssetDirectory decodeEmbeddedAssetDirectory(const volatile unsigned char* bytes);

// The 20 directory bytes of a PE image as the loader maps it: the last 20 bytes of its header
// area, found through e_lfanew at 0x3C and SizeOfHeaders 0x54 bytes after the PE signature.
const volatile unsigned char* headerAreaDirectory(const volatile unsigned char* imageBase);

// How many bytes a file of `fileSize` bytes holds from `offset` on, at most `size`: what a buffer
// is sized to, so that four bytes of directory cannot claim gigabytes the file does not have.
std::uint32_t bytesHeldFrom(std::uint64_t fileSize, std::uint32_t offset, std::uint32_t size);

// Sizes `buffer` to `count` zero bytes; an allocation that fails leaves it empty.
void resizeZeroFilled(std::vector<std::uint8_t>& buffer, std::uint32_t count);

// Opens the file at `path` with the platform's plain calls, sizes `buffer` by bytesHeldFrom on
// the file's size as the open handle gives it, and reads that much at `offset` (below 2^31). A
// file that cannot be opened leaves `buffer` as it is.
void readFileRange(const char* path, std::uint32_t offset, std::uint32_t size,
                   std::vector<std::uint8_t>& buffer);

// Fills `buffer` with the bytes the file at `path` holds from `offset` on, at most `size` of
// them. It ends up empty when the file cannot be opened, when `offset` is at or past the file's
// end or beyond what the seek can take (2^31 or more), or when the allocation fails: nothing of
// the file is held then. A short read leaves the buffer's tail zero.
void readEmbeddedImage(const char* path, std::uint32_t offset, std::uint32_t size,
                       std::vector<std::uint8_t>& buffer);

// Reads the first image, then the second, from `path` as the directory gives them.
void readEmbeddedImages(const char* path, const EmbeddedAssetDirectory& directory,
                        std::vector<std::uint8_t>& first, std::vector<std::uint8_t>& second);

// Fills texture1Bytes and texture2Bytes from the running executable's own file: on Windows from
// the directory in the header area of the image at `moduleBase` (the instance WinMain is given),
// elsewhere from the directory bytes the executable reserves in a section of their own.
#ifdef _WIN32
void loadEmbeddedImages(const void* moduleBase);
#else
void loadEmbeddedImages(const volatile unsigned char* directoryBytes);
#endif
