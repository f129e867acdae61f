// What the packer writes into an ELF viewer reads back through the viewer's own reader, and the
// limits that keep every offset within the viewer's 32-bit seek.
#include <sys/stat.h>

#include <gtest/gtest.h>
#include <cstdint>
#include <limits>

#include "tests/pack_fixture.h"
#include "tools/pack/pack.h"

namespace {

using Packer = PackFixture;

const std::string kStrip = ZV_STRIP;
const std::string kInstalledViewer = ZV_INSTALLED_VIEWER;  // stripped, then packed by the build

TEST_F(Packer, PackedImagesReadBackByteForByte) {
  expectPacked(viewer_, first_, second_, output_);
  const Bytes linked = fileBytes(kLinked);
  expectPackedFrom(linked, output_, elfDirectoryAt(linked), fileBytes(kFirst), fileBytes(kSecond));
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
  const Bytes linked = fileBytes(kLinked);
  expectPackedFrom(linked, again, elfDirectoryAt(linked), fileBytes(kFirst), other);
}

// strip writes the viewer anew up to its own content and drops the images after it; the words
// it keeps point at or past the new end. Such a viewer can be packed again, as the installed
// tools are all a user has.
TEST_F(Packer, AStrippedPackedViewerPacksAgain) {
  const std::string stripped = (root_ / "in" / "stripped").string();
  const PackRun strip =
      runPacker(kStrip, {"-o", stripped, kInstalledViewer}, (root_ / "strip-errors").string());
  ASSERT_EQ(strip.exitCode, 0) << kStrip << ": " << strip.errorText;
  const Bytes viewer = fileBytes(stripped);
  const std::uint64_t at = elfDirectoryAt(viewer);
  ASSERT_NE(at, 0u);
  const DirectoryWords left = directoryWordsAt(viewer, at);
  ASSERT_GE(left.texture1Offset, viewer.size()) << "strip kept the images";
  ASSERT_GE(left.texture2Offset, viewer.size()) << "strip kept the images";

  expectPacked(stripped, first_, second_, output_);
  expectPackedFrom(viewer, output_, at, fileBytes(kFirst), fileBytes(kSecond));

  // Words that point into the viewer's content are still refused, either of the two, and words
  // past the end of a file that carries bytes after its content too.
  const std::string reason = "has directory words that do not describe images appended to it";
  DirectoryWords firstInside = left;
  firstInside.texture1Offset = static_cast<std::uint32_t>(viewer.size() - 64);
  expectViewerRefused(place("first-inside", withWords(viewer, at, firstInside)), reason);
  DirectoryWords secondInside = left;
  secondInside.texture2Offset = static_cast<std::uint32_t>(viewer.size() - 1);
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
