// The Windows reader, in the packed cross-built probe under Wine: it finds the words in its own
// header area and reads its own file, also when the words or the file are changed around it.
#include <gtest/gtest.h>
#include <cinttypes>
#include <cstdio>
#include <filesystem>

#include "app/asset_directory.h"
#include "tests/digest.h"
#include "tests/packed_viewer.h"
#include "tests/windows/wine_session.h"
#include "tests/x_session.h"
#include "tools/pack/pe_layout.h"

namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

const std::string kProbe = kWindowsBuild + "/embedded-images-probe.exe";
const std::string kAssets = ZV_ASSET_DIR;
constexpr auto kRunLimit = 30s;

std::string line(const char* name, const Bytes& bytes) {
  char text[128];
  std::snprintf(text, sizeof text, "%s %zu %016" PRIx64 "\n", name, bytes.size(),
                digestBytes(bytes.data(), bytes.size()));
  return text;
}

void putWord(Bytes& bytes, std::size_t at, std::uint32_t word) {
  for (int shift = 0; shift < 32; shift += 8) {
    bytes[at++] = static_cast<std::uint8_t>(word >> shift);
  }
}

class WineProbe : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = makeTestDirectory(::testing::UnitTest::GetInstance()->current_test_info()->name());
    packed_ = fileBytes(kProbe);
    directoryAt_ = locatePeAssetDirectory(packed_, kProbe).directoryOffset;
    words_ = decodeEmbeddedAssetDirectory(
        std::span(packed_).subspan(directoryAt_).first<kEmbeddedAssetDirectoryBytes>());
    first_ = fileBytes(kAssets + "/first.jpg");
    second_ = fileBytes(kAssets + "/second.png");
  }

  // Runs `program` (the probe, or a changed copy) under Wine and returns what it printed.
  std::string run(const std::string& program) {
    ChildProcess probe(kWine, {program}, wineEnvironment(""), dir_);
    EXPECT_EQ(probe.waitForExit(kRunLimit), std::optional<int>(0)) << probe.standardError();
    // The C runtime writes text-mode line ends on Windows.
    std::string output = probe.standardOutput();
    std::erase(output, '\r');
    return output;
  }

  std::string runCopy(const Bytes& bytes) {
    const std::string path = dir_ + "/changed-probe.exe";
    std::FILE* out = std::fopen(path.c_str(), "wb");
    std::fwrite(bytes.data(), 1, bytes.size(), out);
    std::fclose(out);
    return run(path);
  }

  void setWords(Bytes& bytes, const EmbeddedAssetDirectory& words, std::uint32_t trailing = 4) {
    putWord(bytes, directoryAt_ + 0, words.texture2Size);
    putWord(bytes, directoryAt_ + 4, words.texture2Offset);
    putWord(bytes, directoryAt_ + 8, words.texture1Size);
    putWord(bytes, directoryAt_ + 12, words.texture1Offset);
    putWord(bytes, directoryAt_ + 16, trailing);
  }

  std::string expected() const {
    return line("texture1Bytes", first_) + line("texture2Bytes", second_);
  }

  std::string dir_;
  Bytes packed_;
  std::size_t directoryAt_ = 0;
  EmbeddedAssetDirectory words_;
  Bytes first_;
  Bytes second_;
};

TEST_F(WineProbe, ReadsBothImagesFromItsBuildFolder) {
  EXPECT_EQ(run(kProbe), expected());
}

// Past MAX_PATH the path must neither be cut nor handed to a call that cannot take it.
TEST_F(WineProbe, ReadsBothImagesFromAPathOf300Characters) {
  fs::path deep = fs::absolute(dir_);
  while (deep.string().size() < 300 - 20) {
    deep /= std::string(std::min<std::size_t>(60, 300 - 20 - deep.string().size()), 'd');
  }
  fs::create_directories(deep);
  const fs::path copy = deep / (std::string(300 - deep.string().size() - 5, 'p') + ".exe");
  ASSERT_EQ(copy.string().size(), 300u);
  fs::copy_file(kProbe, copy);
  EXPECT_EQ(run(copy.string()), expected());
}

TEST_F(WineProbe, TheTrailingWordChangesNothing) {
  Bytes changed = packed_;
  setWords(changed, words_, 0xDEADBEEF);
  EXPECT_EQ(runCopy(changed), expected());
}

TEST_F(WineProbe, SwappedImagesWithRewrittenWordsReadTheSame) {
  Bytes swapped(packed_.begin(), packed_.begin() + words_.texture1Offset);
  EmbeddedAssetDirectory words = words_;
  words.texture2Offset = static_cast<std::uint32_t>(swapped.size());
  swapped.insert(swapped.end(), second_.begin(), second_.end());
  words.texture1Offset = static_cast<std::uint32_t>(swapped.size());
  swapped.insert(swapped.end(), first_.begin(), first_.end());
  setWords(swapped, words);
  EXPECT_EQ(runCopy(swapped), expected());
}

TEST_F(WineProbe, ASizeOfZeroGivesAnEmptyBuffer) {
  Bytes changed = packed_;
  EmbeddedAssetDirectory words = words_;
  words.texture2Size = 0;
  setWords(changed, words);
  EXPECT_EQ(runCopy(changed), line("texture1Bytes", first_) + line("texture2Bytes", {}));
}

// A buffer holds only what the file has from its offset on, however large the size word; an
// offset the signed seek cannot take reads nothing at all rather than the file's start.
TEST_F(WineProbe, PairsPastTheEndOrBeyondTheSeekHoldOnlyTheFilesBytes) {
  Bytes changed = packed_;
  EmbeddedAssetDirectory words = words_;
  words.texture1Offset = static_cast<std::uint32_t>(packed_.size() - 100);
  words.texture1Size = 0xFFFFFFFFu;
  words.texture2Offset = 0x80000000u;
  setWords(changed, words);
  const Bytes last(second_.end() - 100, second_.end());
  EXPECT_EQ(runCopy(changed), line("texture1Bytes", last) + line("texture2Bytes", {}));
}

}  // namespace
