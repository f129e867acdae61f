// What the packer writes into an ELF viewer reads back through the viewer's own reader, and the
// limits that keep every offset within the viewer's 32-bit seek.
#include <sys/stat.h>

#include <gtest/gtest.h>
#include <cstdint>
#include <limits>

#include "app/embedded_images.h"
#include "tests/pack_fixture.h"
#include "tools/pack/pack.h"

namespace {

using Packer = PackFixture;

const std::string kStrip = ZV_STRIP;
const std::string kInstalledViewer = ZV_INSTALLED_VIEWER;  // stripped, then packed by the build

// The packed file is the viewer with only its 20 directory bytes changed, then the JPEG, then the
// PNG, with the words pointing at them; the viewer's reader gets both pictures back.
void expectPackedFrom(const Bytes& viewer, const std::string& packedPath, const Bytes& first,
                      const Bytes& second) {
  const Bytes packed = readBytes(packedPath);
  ASSERT_EQ(packed.size(), viewer.size() + first.size() + second.size());
  const std::size_t at = elfDirectoryOffset(viewer);
  ASSERT_NE(at, 0u);
  EXPECT_EQ(word32(packed, at + 0), second.size());
  EXPECT_EQ(word32(packed, at + 4), viewer.size() + first.size()) << "no padding between them";
  EXPECT_EQ(word32(packed, at + 8), first.size());
  EXPECT_EQ(word32(packed, at + 12), viewer.size()) << "the first follows the viewer's last byte";
  EXPECT_EQ(word32(packed, at + 16), 4u);
  Bytes head(packed.begin(), packed.begin() + static_cast<std::ptrdiff_t>(viewer.size()));
  std::copy(viewer.begin() + static_cast<std::ptrdiff_t>(at),
            viewer.begin() + static_cast<std::ptrdiff_t>(at + 20),
            head.begin() + static_cast<std::ptrdiff_t>(at));
  EXPECT_TRUE(head == viewer) << "bytes of the viewer other than the directory changed";

  const EmbeddedAssetDirectory words = decodeEmbeddedAssetDirectory(
      std::span(packed).subspan(at).first<kEmbeddedAssetDirectoryBytes>());
  Bytes readFirst;
  Bytes readSecond;
  readEmbeddedImages(packedPath.c_str(), words, readFirst, readSecond);
  EXPECT_EQ(readFirst, first);
  EXPECT_EQ(readSecond, second);
}

TEST_F(Packer, PackedImagesReadBackByteForByte) {
  expectPacked(viewer_, first_, second_, output_);
  expectPackedFrom(readBytes(kLinked), output_, readBytes(kFirst), readBytes(kSecond));
  // Executable by everyone whatever the umask the packer ran under.
  struct stat status {};
  ASSERT_EQ(stat(output_.c_str(), &status), 0);
  EXPECT_EQ(status.st_mode & 07777, 0755u);
}

TEST_F(Packer, PackingAPackedViewerReplacesItsImages) {
  expectPacked(viewer_, first_, second_, output_);
  // Other, still valid, images: the second packing must not stack them after the first ones.
  const Bytes other = encodePng(512, 512, 4);
  const std::string again = (root_ / "out" / "again").string();
  expectPacked(output_, first_, place("other.png", other), again);
  expectPackedFrom(readBytes(kLinked), again, readBytes(kFirst), other);
}

// strip writes the viewer anew up to its own content and drops the images after it; the words
// it keeps point at or past the new end. Such a viewer can be packed again, as the installed
// tools are all a user has.
TEST_F(Packer, AStrippedPackedViewerPacksAgain) {
  const std::string stripped = (root_ / "in" / "stripped").string();
  const PackRun strip =
      runPacker(kStrip, {"-o", stripped, kInstalledViewer}, (root_ / "strip-errors").string());
  ASSERT_EQ(strip.exitCode, 0) << kStrip << ": " << strip.errorText;
  const Bytes viewer = readBytes(stripped);
  const std::size_t at = elfDirectoryOffset(viewer);
  ASSERT_NE(at, 0u);
  ASSERT_GE(word32(viewer, at + 12), viewer.size()) << "strip kept the images";
  ASSERT_GE(word32(viewer, at + 4), viewer.size()) << "strip kept the images";

  expectPacked(stripped, first_, second_, output_);
  expectPackedFrom(viewer, output_, readBytes(kFirst), readBytes(kSecond));

  // Words that point into the viewer's content are still refused, either of the two, and words
  // past the end of a file that carries bytes after its content too.
  const std::string reason = "has directory words that do not describe images appended to it";
  const DirectoryWords left{word32(viewer, at), word32(viewer, at + 4), word32(viewer, at + 8),
                            word32(viewer, at + 12), 4};
  DirectoryWords firstInside = left;
  firstInside[3] = static_cast<std::uint32_t>(viewer.size() - 64);
  expectViewerRefused(place("first-inside", withWords(viewer, at, firstInside)), reason);
  DirectoryWords secondInside = left;
  secondInside[1] = static_cast<std::uint32_t>(viewer.size() - 1);
  expectViewerRefused(place("second-inside", withWords(viewer, at, secondInside)), reason);
  Bytes trailing = viewer;
  trailing.push_back(0);
  expectViewerRefused(place("trailing-byte", trailing), reason);
}

// The viewer seeks with a signed 32-bit offset: 2^31 = 2147483648.
TEST(PackerLimits, ImagesStartBelow2To31AndTheSecondSizeFits32Bits) {
  constexpr std::uint64_t kLastStart = 2147483647;
  constexpr std::uint64_t kLargest = std::numeric_limits<std::uint64_t>::max();
  struct Case {
    std::uint64_t firstOffset, firstSize, secondSize;
    TooLarge expected;
  };
  for (const Case& c : {
           Case{0, 0, 0, TooLarge::kNothing}, Case{kLastStart, 0, 4294967295, TooLarge::kNothing},
           Case{2147483000, 647, 0, TooLarge::kNothing}, Case{2147483648, 0, 0, TooLarge::kViewer},
           Case{4294967296, 0, 0, TooLarge::kViewer},
           Case{2147483000, 648, 0, TooLarge::kFirstImage},
           Case{kLastStart, 1, 0, TooLarge::kFirstImage},
           Case{0, 2147483648, 0, TooLarge::kFirstImage},
           Case{1, kLargest, 0, TooLarge::kFirstImage},  // must not wrap past 2^64
           Case{100, 100, 4294967296, TooLarge::kSecondImage},
           Case{2147483648, 1, 4294967296, TooLarge::kViewer},  // the first fault is the one named
       }) {
    EXPECT_EQ(tooLargeInput(c.firstOffset, c.firstSize, c.secondSize), c.expected)
        << c.firstOffset << " + " << c.firstSize << ", second " << c.secondSize;
  }
}

}  // namespace
