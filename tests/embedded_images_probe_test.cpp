// A packed program finds its own images wherever it lives, and stripping it drops them.
#include <gtest/gtest.h>
#include <filesystem>

#include "tests/digest.h"
#include "tests/packed_viewer.h"
#include "tests/x_session.h"

namespace {

namespace fs = std::filesystem;

const std::string kProbe = ZV_PACKED_PROBE;
const std::string kAssets = ZV_ASSET_DIR;

std::string expectedLine(const char* name, const std::string& path) {
  const Bytes bytes = fileBytes(path);
  return digestLine(name, bytes.data(), bytes.size());
}

std::string expectedOutput() {
  return expectedLine("texture1Bytes", kAssets + "/first.jpg") +
         expectedLine("texture2Bytes", kAssets + "/second.png");
}

std::string runProbe(const std::string& program, const std::string& dir) {
  ChildProcess probe(program, {}, {}, dir);
  EXPECT_EQ(probe.waitForExit(10s), std::optional<int>(0));
  return probe.standardOutput();
}

TEST(PackedProbe, ReadsBothImagesFromItsBuildFolder) {
  const std::string dir = makeTestDirectory("ProbeInBuildFolder");
  EXPECT_EQ(runProbe(kProbe, dir), expectedOutput());
}

TEST(PackedProbe, ReadsBothImagesFromAPathOf300Characters) {
  const std::string dir = makeTestDirectory("ProbeUnderLongPath");
  fs::path deep = fs::absolute(dir);
  while (deep.string().size() < 300 - 20) {
    deep /= std::string(std::min<std::size_t>(60, 300 - 20 - deep.string().size()), 'd');
  }
  fs::create_directories(deep);
  const fs::path copy = deep / std::string(300 - deep.string().size() - 1, 'p');
  ASSERT_EQ(copy.string().size(), 300u);
  fs::copy_file(kProbe, copy);
  EXPECT_EQ(runProbe(copy.string(), dir), expectedOutput());
}

// Stripping rewrites the file without what follows its sections: packing must come last. The
// words then point past the file's end, where it holds nothing, so nothing is read.
TEST(PackedProbe, StrippingAPackedProgramDropsItsImages) {
  const std::string dir = makeTestDirectory("ProbeStripped");
  const std::string stripped = dir + "/stripped-probe";
  ASSERT_EQ(std::system(("strip -o '" + stripped + "' '" + kProbe + "'").c_str()), 0);
  EXPECT_EQ(runProbe(stripped, dir),
            digestLine("texture1Bytes", nullptr, 0) + digestLine("texture2Bytes", nullptr, 0));
}

}  // namespace
