// Reading the two encoded images that the executable carries after its own last byte.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "app/asset_directory.h"

// The encoded JPEG and PNG, filled once before the window opens and only read afterwards.
extern std::vector<std::uint8_t> texture1Bytes;
extern std::vector<std::uint8_t> texture2Bytes;

// The 20 directory bytes copied out of memory into plain ones. Volatile because the packer
// writes them into the file after linking, behind the compiler's back.
std::array<std::uint8_t, kEmbeddedAssetDirectoryBytes> copyDirectoryBytes(
    const volatile unsigned char* bytes);

// How many bytes a file of `fileSize` bytes holds from `offset` on, at most `size`: what a buffer
// is sized to, so that four bytes of directory cannot claim gigabytes the file does not have.
std::uint32_t bytesHeldFrom(std::uint64_t fileSize, std::uint32_t offset, std::uint32_t size);

// Sizes `buffer` to `count` zero bytes; an allocation that fails leaves it empty.
void resizeZeroFilled(std::vector<std::uint8_t>& buffer, std::uint32_t count);

// Fills `buffer` with the bytes the file at `path` holds from `offset` on, at most `size` of
// them. It ends up empty when the file cannot be opened, when `offset` is at or past the file's
// end or beyond what the seek can take (2^31 or more), or when the allocation fails: nothing of
// the file is held then. A short read leaves the buffer's tail zero.
void readEmbeddedImage(const char* path, std::uint32_t offset, std::uint32_t size,
                       std::vector<std::uint8_t>& buffer);

// Reads the first image, then the second, from `path` as the directory gives them.
void readEmbeddedImages(const char* path, const EmbeddedAssetDirectory& directory,
                        std::vector<std::uint8_t>& first, std::vector<std::uint8_t>& second);

// Fills texture1Bytes and texture2Bytes from the running executable's own file at
// `executablePath`, as the directory decoded from `directoryBytes` gives them. Each platform's
// entry finds the two: where its executable keeps the directory, and the file's own path.
void loadEmbeddedImages(DirectoryBytes directoryBytes, const char* executablePath);

// Opens the file at `path` with the platform's plain calls, sizes `buffer` by bytesHeldFrom on
// the file's size as the open handle gives it, and reads that much at `offset` (below 2^31). A
// file that cannot be opened leaves `buffer` as it is. Each platform supplies this one.
void readFileRange(const char* path, std::uint32_t offset, std::uint32_t size,
                   std::vector<std::uint8_t>& buffer);
