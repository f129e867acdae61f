// The embedded-image reader on files the tests craft: it follows the directory words only.
#include <sys/mman.h>
#include <sys/resource.h>
#include <unistd.h>

#include <gtest/gtest.h>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>

#include "app/embedded_images.h"
#include "tests/packed_viewer.h"

namespace {

Bytes patterned(std::size_t size, std::uint8_t seed) {
  Bytes bytes(size);
  for (std::size_t i = 0; i < size; ++i) {
    bytes[i] = static_cast<std::uint8_t>(seed + i * 7 + (i >> 8));
  }
  return bytes;
}

// A file of `prefix` bytes, then `first`, then `second`, like a packed executable.
class CraftedFile : public ::testing::Test {
 protected:
  void SetUp() override {
    path_ = (std::filesystem::temp_directory_path() /
             ("zv-reader-" + std::to_string(getpid()) + "-" +
              ::testing::UnitTest::GetInstance()->current_test_info()->name()))
                .string();
  }
  void TearDown() override { std::filesystem::remove(path_); }

  void write(const Bytes& bytes) { ASSERT_TRUE(writeBytes(path_, bytes)) << path_; }

  // Writes `file` and expects the reader to give both images back from where the words say.
  void expectBothReadBack(const Bytes& file, std::size_t firstAt, std::size_t secondAt) {
    ASSERT_NO_FATAL_FAILURE(write(file));
    EmbeddedAssetDirectory directory;
    directory.texture1Offset = static_cast<std::uint32_t>(firstAt);
    directory.texture1Size = static_cast<std::uint32_t>(first_.size());
    directory.texture2Offset = static_cast<std::uint32_t>(secondAt);
    directory.texture2Size = static_cast<std::uint32_t>(second_.size());
    Bytes first;
    Bytes second;
    readEmbeddedImages(path_.c_str(), directory, first, second);
    EXPECT_EQ(first, first_);
    EXPECT_EQ(second, second_);
  }

  std::string path_;
  Bytes first_ = patterned(3001, 0x11);
  Bytes second_ = patterned(1777, 0x5A);
};

// The 20 directory bytes as they sit in the executable, for the given words.
Bytes directoryBytes(const DirectoryWords& words) {
  return withWords(Bytes(20), 0, words);
}

DirectoryBytes asDirectory(const Bytes& bytes) {
  return std::span(bytes).first<kEmbeddedAssetDirectoryBytes>();
}

// The viewer decodes and the packer encodes the same bytes: both against words written out here.
TEST(EmbeddedAssetDirectory, WordsAreLittleEndianInTheirFixedOrder) {
  const Bytes bytes = directoryBytes({0x9F97, 0x9506B, 0x2D26B, 0x67E00, 4});
  const EmbeddedAssetDirectory directory = decodeEmbeddedAssetDirectory(asDirectory(bytes));
  EXPECT_EQ(directory.texture2Size, 0x9F97u);
  EXPECT_EQ(directory.texture2Offset, 0x9506Bu);
  EXPECT_EQ(directory.texture1Size, 0x2D26Bu);
  EXPECT_EQ(directory.texture1Offset, 0x67E00u);
  EXPECT_EQ(directory.trailingWord, 4u);

  Bytes encoded(kEmbeddedAssetDirectoryBytes, 0xEE);
  encodeEmbeddedAssetDirectory({0xA1B2C3D4, 0x9506B, 0x2D26B, 0x67E00, 0xFFFFFFFE},
                               std::span(encoded).first<kEmbeddedAssetDirectoryBytes>());
  EXPECT_EQ(encoded, Bytes({0xD4, 0xC3, 0xB2, 0xA1, 0x6B, 0x50, 0x09, 0x00, 0x6B, 0xD2,
                            0x02, 0x00, 0x00, 0x7E, 0x06, 0x00, 0xFE, 0xFF, 0xFF, 0xFF}));
}

// The trailing word is the bytes' own business: it moves none of the four the reader follows.
TEST(EmbeddedAssetDirectory, TheTrailingWordChangesNothing) {
  for (std::uint32_t trailing : {0u, 4u, 0xFFFFFFFFu, 0x12345678u}) {
    const EmbeddedAssetDirectory directory =
        decodeEmbeddedAssetDirectory(asDirectory(directoryBytes({1, 2, 3, 4, trailing})));
    EXPECT_EQ(directory.texture2Size, 1u);
    EXPECT_EQ(directory.texture2Offset, 2u);
    EXPECT_EQ(directory.texture1Size, 3u);
    EXPECT_EQ(directory.texture1Offset, 4u);
  }
}

// The entry copies the directory out of memory that the compiler must not assume it knows.
TEST(EmbeddedAssetDirectory, TheCopyOutOfMemoryKeepsEveryByte) {
  const Bytes bytes = patterned(kEmbeddedAssetDirectoryBytes, 0x77);
  volatile unsigned char mapped[kEmbeddedAssetDirectoryBytes];
  std::copy(bytes.begin(), bytes.end(), mapped);
  const auto copy = copyDirectoryBytes(mapped);
  EXPECT_EQ(Bytes(copy.begin(), copy.end()), bytes);
}

TEST_F(CraftedFile, TheReferenceLayoutGivesBothImagesExactly) {
  Bytes file = patterned(4096, 0xC3);
  file.insert(file.end(), first_.begin(), first_.end());
  file.insert(file.end(), second_.begin(), second_.end());
  expectBothReadBack(file, 4096, 4096 + first_.size());
}

TEST_F(CraftedFile, SwappedImagesWithRewrittenWordsReadTheSame) {
  Bytes file = patterned(512, 0x01);
  file.insert(file.end(), second_.begin(), second_.end());
  file.insert(file.end(), first_.begin(), first_.end());
  expectBothReadBack(file, 512 + second_.size(), 512);
}

// Each buffer holds the bytes the file has from its offset on, at most its size, and nothing
// else: no zeros past the file's end, nothing of what it held before.
TEST_F(CraftedFile, ABufferHoldsOnlyTheFilesBytesFromItsOffset) {
  const Bytes file = patterned(1000, 0x3C);
  write(file);
  struct Case {
    std::uint32_t offset, size;
    std::size_t expectedFrom, expectedSize;
  };
  for (const Case& c : {
           Case{900, 4294967295, 900, 100},  // a size word far past the end
           Case{0, 4294967295, 0, 1000},
           Case{999, 64, 999, 1},
           Case{100, 50, 100, 50},  // smaller than what is left
           Case{0, 1000, 0, 1000},
           Case{1000, 5, 0, 0},  // at the end
           Case{1500, 5, 0, 0},  // past it
           Case{1u << 20, 100, 0, 0},
           Case{10, 0, 0, 0},
       }) {
    Bytes buffer(37, 0xEE);
    readEmbeddedImage(path_.c_str(), c.offset, c.size, buffer);
    EXPECT_EQ(buffer,
              Bytes(file.begin() + static_cast<std::ptrdiff_t>(c.expectedFrom),
                    file.begin() + static_cast<std::ptrdiff_t>(c.expectedFrom + c.expectedSize)))
        << "offset " << c.offset << ", size " << c.size;
  }
}

// Files past 4 GiB: what is left from the offset must not be cut to 32 bits before the minimum.
TEST(EmbeddedImageReader, HeldBytesAreTheSmallerOfTheSizeAndWhatIsLeft) {
  constexpr std::uint64_t k4GiB = std::uint64_t{1} << 32;
  EXPECT_EQ(bytesHeldFrom(k4GiB + 10, 0, 4294967295), 4294967295u);
  EXPECT_EQ(bytesHeldFrom(k4GiB + 10, 20, 7), 7u);
  EXPECT_EQ(bytesHeldFrom(k4GiB, 2147483647, 4294967295), 4294967295u - 2147483647u + 1u);
  EXPECT_EQ(bytesHeldFrom(2147483648, 2147483647, 4294967295), 1u);
  EXPECT_EQ(bytesHeldFrom(0, 0, 4294967295), 0u);
}

// The reader's seek takes a signed 32-bit distance. A file in memory, sparse, reaches past 2^31
// without using disk or memory, so the bytes on either side of the limit are really there.
TEST(EmbeddedImageReader, OffsetsFrom2To31OnHoldNothingWhereTheFileHasBytes) {
  const int file = memfd_create("zv-reader-seek-limit", MFD_CLOEXEC);
  if (file == -1) {
    GTEST_SKIP() << "no memory file here: " << std::strerror(errno);
  }
  constexpr off_t kLimit = off_t{1} << 31;
  const Bytes around = patterned(64, 0x21);
  if (ftruncate(file, kLimit + 4096) != 0 ||
      pwrite(file, around.data(), around.size(), kLimit - 32) != 64) {
    const int error = errno;
    close(file);
    GTEST_SKIP() << "a memory file of 2 GiB cannot be had here: " << std::strerror(error);
  }
  const std::string path = "/proc/self/fd/" + std::to_string(file);

  Bytes below;
  readEmbeddedImage(path.c_str(), 0x7FFFFFFFu, 16, below);
  EXPECT_EQ(below, Bytes(around.begin() + 31, around.begin() + 47)) << "the last offset taken";
  Bytes beyond(16, 0xEE);
  readEmbeddedImage(path.c_str(), 0x80000000u, 16, beyond);
  EXPECT_TRUE(beyond.empty()) << "the first offset refused";
  close(file);
}

// Nothing of the file is held, so nothing is claimed either, whatever the sizes say.
TEST(EmbeddedImageReader, AnUnopenableFileGivesEmptyBuffers) {
  EmbeddedAssetDirectory directory;
  directory.texture1Size = 40;
  directory.texture2Size = 7;
  Bytes first = {9, 9};
  Bytes second;
  readEmbeddedImages("/nonexistent/zoravarova/viewer", directory, first, second);
  EXPECT_TRUE(first.empty());
  EXPECT_TRUE(second.empty());
}

#if defined(__SANITIZE_ADDRESS__)
#define ZV_UNDER_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define ZV_UNDER_ASAN 1
#endif
#endif

// Runs in the death test's child: 0 when a sparse 1 GiB file read whole under a 256 MiB
// address-space limit left its buffer empty, whatever it held before, and the other image was
// still read.
[[maybe_unused]] int readUnderAddressLimit() {
  const int file = memfd_create("zv-reader-unallocatable", MFD_CLOEXEC);
  if (file == -1 || ftruncate(file, off_t{1} << 30) != 0) {
    return 2;
  }
  const rlimit limit{256u << 20, 256u << 20};
  setrlimit(RLIMIT_AS, &limit);
  EmbeddedAssetDirectory directory;
  directory.texture1Size = 0xFFFFFFFFu;
  directory.texture2Size = 5;
  Bytes first = {9, 9, 9};
  Bytes second;
  readEmbeddedImages(("/proc/self/fd/" + std::to_string(file)).c_str(), directory, first, second);
  return first.empty() && second == Bytes(5, 0) ? 0 : 1;
}

TEST(EmbeddedImageReaderDeathTest, AnUnallocatableSizeLeavesThatBufferEmpty) {
#ifdef ZV_UNDER_ASAN
  GTEST_SKIP() << "an address-space limit cannot coexist with the sanitizer's shadow memory";
#else
  const int probe = memfd_create("zv-reader-probe", MFD_CLOEXEC);
  if (probe == -1) {
    GTEST_SKIP() << "no memory file here: " << std::strerror(errno);
  }
  close(probe);
  // In a child with 256 MiB of address space a 1 GiB buffer cannot be had; the reader must
  // neither crash nor leave a half-sized buffer, and the other image must still be read.
  EXPECT_EXIT(std::exit(readUnderAddressLimit()), ::testing::ExitedWithCode(0), "");
#endif
}

}  // namespace
