// The Windows reader, in the packed cross-built probe under Wine: it finds the words in its own
// header area and reads its own file, also when the words or the file are changed around it.
#include <gtest/gtest.h>
#include <filesystem>

#include "tests/digest.h"
#include "tests/packed_viewer.h"
#include "tests/windows/wine_session.h"
#include "tests/x_session.h"

namespace {

namespace fs = std::filesystem;

const std::string kProbe = kWindowsBuild + "/embedded-images-probe.exe";
const std::string kAssets = ZV_ASSET_DIR;
constexpr auto kRunLimit = 30s;

std::string line(const char* name, const Bytes& bytes) {
  return digestLine(name, bytes.data(), bytes.size());
}

class WineProbe : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = makeTestDirectory(::testing::UnitTest::GetInstance()->current_test_info()->name());
    packed_ = fileBytes(kProbe);
    directoryAt_ = peDirectoryAt(packed_);
    words_ = directoryWordsAt(packed_, directoryAt_);
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

  // Runs a copy of `bytes` with `words` in its directory.
  std::string runWithWords(const Bytes& bytes, const DirectoryWords& words) {
    const std::string path = dir_ + "/changed-probe.exe";
    EXPECT_TRUE(writeBytes(path, withWords(bytes, directoryAt_, words))) << path;
    return run(path);
  }

  std::string expected() const {
    return line("texture1Bytes", first_) + line("texture2Bytes", second_);
  }

  std::string dir_;
  Bytes packed_;
  std::uint64_t directoryAt_ = 0;
  DirectoryWords words_;
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
  DirectoryWords words = words_;
  words.trailingWord = 0xDEADBEEF;
  EXPECT_EQ(runWithWords(packed_, words), expected());
}

TEST_F(WineProbe, SwappedImagesWithRewrittenWordsReadTheSame) {
  Bytes swapped(packed_.begin(), packed_.begin() + words_.texture1Offset);
  DirectoryWords words = words_;
  words.texture2Offset = static_cast<std::uint32_t>(swapped.size());
  swapped.insert(swapped.end(), second_.begin(), second_.end());
  words.texture1Offset = static_cast<std::uint32_t>(swapped.size());
  swapped.insert(swapped.end(), first_.begin(), first_.end());
  EXPECT_EQ(runWithWords(swapped, words), expected());
}

TEST_F(WineProbe, ASizeOfZeroGivesAnEmptyBuffer) {
  DirectoryWords words = words_;
  words.texture2Size = 0;
  EXPECT_EQ(runWithWords(packed_, words),
            line("texture1Bytes", first_) + line("texture2Bytes", {}));
}

// A buffer holds only what the file has from its offset on, however large the size word; an
// offset the signed seek cannot take reads nothing at all rather than the file's start.
TEST_F(WineProbe, PairsPastTheEndOrBeyondTheSeekHoldOnlyTheFilesBytes) {
  DirectoryWords words = words_;
  words.texture1Offset = static_cast<std::uint32_t>(packed_.size() - 100);
  words.texture1Size = 0xFFFFFFFFu;
  words.texture2Offset = 0x80000000u;
  const Bytes last(second_.end() - 100, second_.end());
  EXPECT_EQ(runWithWords(packed_, words), line("texture1Bytes", last) + line("texture2Bytes", {}));
}

}  // namespace
