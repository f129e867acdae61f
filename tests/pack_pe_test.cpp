// The packer on PE executables: crafted ones and, when a Windows build is at hand, the real one.
#include <unistd.h>

#include <gtest/gtest.h>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "app/embedded_images.h"
#include "tests/packer_run.h"
#include "tools/pack/file_io.h"
#include "tools/pack/pack.h"
#include "tools/pack/pack_error.h"
#include "tools/pack/pe_layout.h"

namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

const std::string kPacker = ZV_PACKER;
const std::string kFirst = std::string(ZV_ASSET_DIR) + "/first.jpg";
const std::string kSecond = std::string(ZV_ASSET_DIR) + "/second.png";

void putWord16(Bytes& bytes, std::size_t at, std::uint16_t word) {
  bytes[at] = static_cast<std::uint8_t>(word);
  bytes[at + 1] = static_cast<std::uint8_t>(word >> 8);
}

void putWord32(Bytes& bytes, std::size_t at, std::uint32_t word) {
  for (int shift = 0; shift < 32; shift += 8) {
    bytes[at++] = static_cast<std::uint8_t>(word >> shift);
  }
}

std::uint32_t word32(const Bytes& bytes, std::size_t at) {
  return static_cast<std::uint32_t>(bytes[at]) | static_cast<std::uint32_t>(bytes[at + 1]) << 8 |
         static_cast<std::uint32_t>(bytes[at + 2]) << 16 |
         static_cast<std::uint32_t>(bytes[at + 3]) << 24;
}

// The shape of a small PE32+ image: a header area of `sizeOfHeaders` bytes, then sections of
// 0x200 bytes each, their contents patterned so that any overwrite shows.
struct CraftedPe {
  std::uint32_t signatureOffset = 0x100;
  std::uint16_t sections = 3;
  std::uint32_t sizeOfHeaders = 0x400;
  std::uint32_t checksum = 0x1234ABCD;

  std::size_t optionalAt() const { return signatureOffset + 24; }
  std::size_t tableEnd() const { return optionalAt() + 240 + sections * 40u; }

  Bytes build() const {
    Bytes file(sizeOfHeaders + sections * 0x200u, 0);
    file[0] = 'M';
    file[1] = 'Z';
    putWord32(file, 0x3C, signatureOffset);
    std::memcpy(file.data() + signatureOffset, "PE\0\0", 4);
    const std::size_t coff = signatureOffset + 4;
    putWord16(file, coff, 0x8664);
    putWord16(file, coff + 2, sections);
    putWord16(file, coff + 16, 240);
    const std::size_t optional = optionalAt();
    putWord16(file, optional, 0x20B);
    putWord32(file, optional + 60, sizeOfHeaders);
    putWord32(file, optional + 64, checksum);
    putWord32(file, optional + 108, 16);
    for (std::uint16_t i = 0; i < sections; ++i) {
      const std::size_t header = optional + 240 + i * 40u;
      std::memcpy(file.data() + header, ".sect", 5);
      putWord32(file, header + 16, 0x200);
      putWord32(file, header + 20, sizeOfHeaders + i * 0x200u);
    }
    for (std::size_t at = sizeOfHeaders; at < file.size(); ++at) {
      file[at] = static_cast<std::uint8_t>(at * 13 + 7);
    }
    return file;
  }
};

class PePacker : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() /
           ("zv-pack-pe-" + std::to_string(getpid()) + "-" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir_);
    fs::create_directories(dir_);
    output_ = (dir_ / "packed.exe").string();
  }
  void TearDown() override { fs::remove_all(dir_); }

  std::string place(const std::string& name, const Bytes& bytes) {
    const std::string path = (dir_ / name).string();
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    return path;
  }

  PackRun pack(const std::string& viewer, const std::string& output) {
    return runPacker(kPacker, {viewer, kFirst, kSecond, output}, (dir_ / "stderr.txt").string());
  }

  void expectRefused(const std::string& viewer, const std::string& reason) {
    const PackRun run = pack(viewer, output_);
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.errorText, "zoravarova-pack: " + viewer + ": " + reason + "\n");
    EXPECT_FALSE(fs::exists(output_));
  }

  fs::path dir_;
  std::string output_;
};

// What a packed file must be: the viewer's bytes unchanged but for the 20 directory bytes and the
// cleared checksum, then the JPEG, then the PNG, the words pointing at them; and the reader,
// starting from the header area as the loader maps it, gets both images back.
void expectPackedFrom(const Bytes& viewer, const Bytes& packed, std::size_t viewerEnd) {
  const Bytes first = readWholeFile(kFirst);
  const Bytes second = readWholeFile(kSecond);
  ASSERT_EQ(packed.size(), viewerEnd + first.size() + second.size());
  const PeLayout layout = locatePeAssetDirectory(viewer, "viewer");
  const std::size_t at = layout.directoryOffset;
  EXPECT_EQ(word32(packed, at + 0), second.size());
  EXPECT_EQ(word32(packed, at + 4), viewerEnd + first.size());
  EXPECT_EQ(word32(packed, at + 8), first.size());
  EXPECT_EQ(word32(packed, at + 12), viewerEnd);
  EXPECT_EQ(word32(packed, at + 16), 4u);
  EXPECT_EQ(word32(packed, layout.checksumOffset), 0u);

  Bytes expectedHead(viewer.begin(), viewer.begin() + static_cast<std::ptrdiff_t>(viewerEnd));
  std::copy(packed.begin() + static_cast<std::ptrdiff_t>(at),
            packed.begin() + static_cast<std::ptrdiff_t>(at + 20),
            expectedHead.begin() + static_cast<std::ptrdiff_t>(at));
  putWord32(expectedHead, layout.checksumOffset, 0);
  EXPECT_TRUE(std::equal(expectedHead.begin(), expectedHead.end(), packed.begin()))
      << "bytes of the viewer other than the directory and the checksum changed";

  const volatile unsigned char* directory = headerAreaDirectory(packed.data());
  EXPECT_EQ(directory, packed.data() + at);
  const EmbeddedAssetDirectory words = decodeEmbeddedAssetDirectory(directory);
  const std::string path = "packed-copy-" + std::to_string(getpid());
  {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(packed.data()),
              static_cast<std::streamsize>(packed.size()));
  }
  Bytes readFirst;
  Bytes readSecond;
  readEmbeddedImages(path.c_str(), words, readFirst, readSecond);
  fs::remove(path);
  EXPECT_EQ(readFirst, first);
  EXPECT_EQ(readSecond, second);
}

TEST_F(PePacker, ACraftedImageGetsItsImagesAppendedAndItsWordsInTheHeaderPadding) {
  const Bytes viewer = CraftedPe{}.build();
  ASSERT_EQ(pack(place("viewer.exe", viewer), output_).exitCode, 0);
  expectPackedFrom(viewer, readWholeFile(output_), viewer.size());
}

TEST_F(PePacker, PackingAPackedImageReplacesItsImages) {
  const Bytes viewer = CraftedPe{}.build();
  ASSERT_EQ(pack(place("viewer.exe", viewer), output_).exitCode, 0);
  const std::string again = (dir_ / "again.exe").string();
  ASSERT_EQ(pack(output_, again).exitCode, 0);
  EXPECT_EQ(readWholeFile(again), readWholeFile(output_));
}

TEST_F(PePacker, TheLastTwentyBytesRightAfterTheSectionTableAreRoomEnough) {
  CraftedPe tight;
  tight.signatureOffset = 0x80;
  tight.sizeOfHeaders = 0x200;
  tight.sections = static_cast<std::uint16_t>((0x200 - 20 - (0x80 + 24 + 240)) / 40);
  ASSERT_LE(tight.tableEnd(), 0x200u - 20);
  const Bytes viewer = tight.build();
  ASSERT_EQ(pack(place("viewer.exe", viewer), output_).exitCode, 0);
  expectPackedFrom(viewer, readWholeFile(output_), viewer.size());
}

TEST_F(PePacker, AHeaderAreaWithoutRoomIsRefused) {
  CraftedPe full;
  full.signatureOffset = 0x80;
  full.sizeOfHeaders = 0x200;
  full.sections = static_cast<std::uint16_t>((0x200 - (0x80 + 24 + 240)) / 40);
  ASSERT_GT(full.tableEnd(), 0x200u - 20);
  char reason[160];
  std::snprintf(reason, sizeof reason,
                "has no room for the 20 directory bytes in its header area: the section table "
                "ends at 0x%zX, the header area at 0x200",
                full.tableEnd());
  expectRefused(place("viewer.exe", full.build()), reason);
}

TEST_F(PePacker, DamagedOrUnsuitableImagesAreRefusedWithOneLine) {
  const Bytes good = CraftedPe{}.build();
  const std::size_t optional = CraftedPe{}.optionalAt();

  Bytes noSignature = good;
  noSignature[0x101] = 'X';
  expectRefused(place("no-signature.exe", noSignature),
                "has no PE signature where its DOS header points");

  Bytes farSignature = good;
  putWord32(farSignature, 0x3C, 0x7FFFFFF0);
  expectRefused(place("far-signature.exe", farSignature),
                "is truncated: its PE header lies past the end");

  Bytes cut(good.begin(), good.end() - 1);
  expectRefused(place("cut.exe", cut), "is truncated: its section data lies past the end");

  Bytes oddMagic = good;
  putWord16(oddMagic, optional, 0x107);
  expectRefused(place("odd-magic.exe", oddMagic), "has an optional header of unknown kind 0x107");

  Bytes signedImage = good;
  putWord32(signedImage, optional + 112 + 4 * 8, 0x600);
  putWord32(signedImage, optional + 112 + 4 * 8 + 4, 0x100);
  expectRefused(place("signed.exe", signedImage),
                "carries a signature, which appended images would break; sign it after packing");

  Bytes strayPadding = good;
  strayPadding[0x400 - 12] = 0x55;
  expectRefused(place("stray.exe", strayPadding),
                "has directory words that do not describe images appended to it");
}

#ifdef ZV_WINDOWS_LINKED_PROBE
// The cross-built program as MinGW's linker lays it out: symbol and string tables after the
// sections, padding enough for the words, and a checksum the packed file clears.
TEST_F(PePacker, TheCrossBuiltProgramPacksAndReadsBack) {
  const Bytes viewer = readWholeFile(ZV_WINDOWS_LINKED_PROBE);
  const PeLayout layout = locatePeAssetDirectory(viewer, "viewer");
  EXPECT_EQ(layout.contentEnd, viewer.size());
  EXPECT_EQ(Bytes(viewer.begin() + static_cast<std::ptrdiff_t>(layout.directoryOffset),
                  viewer.begin() + static_cast<std::ptrdiff_t>(layout.directoryOffset + 20)),
            Bytes(20, 0));
  ASSERT_EQ(pack(ZV_WINDOWS_LINKED_PROBE, output_).exitCode, 0);
  expectPackedFrom(viewer, readWholeFile(output_), viewer.size());
}
#endif

}  // namespace
