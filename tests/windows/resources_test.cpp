// The Windows viewer's resources as icoutils' wrestool reads them: the icon groups of the host's
// .ico, the version block with the project's version and the licence's copyright line, the
// manifest.
#include <gtest/gtest.h>

#include <cstdint>
#include <fstream>
#include <map>
#include <optional>
#include <regex>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "tests/file_bytes.h"
#include "tests/little_endian.h"
#include "tests/x_session.h"

namespace {

constexpr int kIconType = 3;
constexpr int kGroupIconType = 14;
constexpr int kVersionType = 16;
constexpr int kManifestType = 24;

// Both packed viewers: the build's, which keeps its symbols, and the stripped one that ships.
const std::vector<std::string> kViewers = {ZV_WINDOWS_BUILD_DIR "/zoravarova.exe",
                                           ZV_WINDOWS_BUILD_DIR "/install/zoravarova.exe"};

class WindowsResources : public ::testing::Test {
 protected:
  void SetUp() override {
    if (std::string(ZV_WRESTOOL).empty()) {
      GTEST_SKIP() << "wrestool (Debian's icoutils) is not installed; scripts/setup-windows.sh "
                      "installs it";
    }
    dir_ = makeTestDirectory(std::string("WindowsResources.") +
                             ::testing::UnitTest::GetInstance()->current_test_info()->name());
  }

  // wrestool's standard output for `arguments` on `viewer`; a failure when it does not end with 0.
  std::string wrestool(const std::vector<std::string>& arguments, const std::string& viewer) {
    std::vector<std::string> all = arguments;
    all.push_back(viewer);
    ChildProcess tool(ZV_WRESTOOL, all, {}, dir_);
    EXPECT_EQ(tool.waitForExit(60s), std::optional<int>(0)) << tool.standardError();
    return tool.standardOutput();
  }

  // The raw bytes of resource `type`/`name`.
  Bytes resource(int type, const std::string& name, const std::string& viewer) {
    const std::string out = wrestool(
        {"--extract", "--raw", "--type=" + std::to_string(type), "--name=" + name}, viewer);
    return {out.begin(), out.end()};
  }

  std::string dir_;
};

using Listing = std::set<std::pair<int, std::string>>;

// The (type, name) pairs of `wrestool --list`, whose lines begin `--type=T --name=N`, or
// `--name='NAME'` for a name that is not a number.
Listing listed(const std::string& listing) {
  Listing found;
  const std::regex line(R"(--type=(\d+) --name=(\d+|'[^']*'))");
  for (std::sregex_iterator it(listing.begin(), listing.end(), line), end; it != end; ++it) {
    std::string name = (*it)[2];
    if (name.front() == '\'') {
      name = name.substr(1, name.size() - 2);
    }
    found.emplace(std::stoi((*it)[1]), name);
  }
  return found;
}

TEST_F(WindowsResources, HoldTheIconGroupsOfTheFourSizesOfTheHostsIcon) {
  // The .ico the cross build was given, read here by its own layout: 6 bytes, then 16 an image.
  const Bytes ico = fileBytes(ZV_WINDOWS_ICON);
  ASSERT_GE(ico.size(), 6u + 4 * 16) << ZV_WINDOWS_ICON;
  for (const std::string& viewer : kViewers) {
    const Listing resources = listed(wrestool({"--list"}, viewer));
    // Group 1 for Explorer, and the one GLFW gives the window, which the taskbar shows.
    for (const std::string name : {"1", "GLFW_ICON"}) {
      SCOPED_TRACE(viewer + ", icon group " + name);
      ASSERT_TRUE(resources.count({kGroupIconType, name})) << "no such group";
      // A group: 6 bytes, then 14 an image, which names the image's own resource instead of an
      // offset.
      const Bytes group = resource(kGroupIconType, name, viewer);
      ASSERT_GE(group.size(), 6u);
      EXPECT_EQ(littleEndian(group, 2, 2), 1u) << "not an icon group";
      ASSERT_EQ(littleEndian(group, 4, 2), 4u) << "images";
      ASSERT_EQ(group.size(), 6u + 4 * 14);
      const std::vector<int> sizes = {16, 32, 48, 256};
      for (std::size_t i = 0; i < sizes.size(); ++i) {
        const std::size_t entry = 6 + 14 * i;
        const std::string where = "the " + std::to_string(sizes[i]) + "-pixel image";
        EXPECT_EQ(group[entry], sizes[i] % 256) << where;
        EXPECT_EQ(group[entry + 1], sizes[i] % 256) << where;
        EXPECT_EQ(littleEndian(group, entry + 6, 2), 32u) << where << ": bits a pixel";
        const std::string id = std::to_string(littleEndian(group, entry + 12, 2));
        ASSERT_TRUE(resources.count({kIconType, id})) << where << ": no icon " << id;
        // The image is the .ico's own, byte for byte.
        const std::size_t length = littleEndian(ico, 6 + 16 * i + 8, 4);
        const std::size_t offset = littleEndian(ico, 6 + 16 * i + 12, 4);
        ASSERT_LE(offset + length, ico.size()) << where;
        EXPECT_EQ(littleEndian(group, entry + 8, 4), length) << where;
        EXPECT_TRUE(resource(kIconType, id, viewer) ==
                    Bytes(ico.begin() + static_cast<std::ptrdiff_t>(offset),
                          ico.begin() + static_cast<std::ptrdiff_t>(offset + length)))
            << where << " is not the .ico's";
      }
    }
  }
}

// A version block's node: its length, its value's length, its type (1: text), its UTF-16 key,
// padded to 4 bytes, its value, padded, then its children to its end.
struct VersionNode {
  std::size_t at = 0;
  std::size_t end = 0;
  std::string key;
  std::size_t valueAt = 0;
  std::size_t valueWords = 0;
  bool text = false;
  std::size_t childrenAt = 0;
};

std::size_t aligned4(std::size_t at) {
  return (at + 3) / 4 * 4;
}

// UTF-16 text from `at` to its NUL, ASCII letters only; `at` is left past the NUL.
std::string utf16(const Bytes& block, std::size_t& at) {
  std::string text;
  for (; at + 1 < block.size(); at += 2) {
    const auto unit = static_cast<std::uint16_t>(littleEndian(block, at, 2));
    if (unit == 0) {
      at += 2;
      break;
    }
    text.push_back(unit < 0x80 ? static_cast<char>(unit) : '?');
  }
  return text;
}

std::optional<VersionNode> node(const Bytes& block, std::size_t at) {
  if (at + 6 > block.size()) {
    return std::nullopt;
  }
  VersionNode n;
  n.at = at;
  n.end = at + littleEndian(block, at, 2);
  n.valueWords = littleEndian(block, at + 2, 2);
  std::size_t cursor = at + 6;
  n.key = utf16(block, cursor);
  n.valueAt = aligned4(cursor);
  // A text value's length counts UTF-16 units, any other's bytes.
  n.text = littleEndian(block, at + 4, 2) == 1;
  const std::size_t valueBytes = n.text ? n.valueWords * 2 : n.valueWords;
  n.childrenAt = aligned4(n.valueAt + valueBytes);
  if (n.end > block.size() || n.end <= at) {
    return std::nullopt;
  }
  return n;
}

// Every text value below `parent`, by key.
void walk(const Bytes& block, const VersionNode& parent,
          std::map<std::string, std::string>& texts) {
  for (std::size_t at = parent.childrenAt; at < parent.end;) {
    const std::optional<VersionNode> child = node(block, at);
    if (!child) {
      ADD_FAILURE() << "a node at " << at << " runs past the block";
      return;
    }
    if (child->text && child->valueWords != 0) {
      std::size_t cursor = child->valueAt;
      texts[child->key] = utf16(block, cursor);
    }
    walk(block, *child, texts);
    at = aligned4(child->end);
  }
}

TEST_F(WindowsResources, HoldTheVersionBlockOfTheProjectsVersionAndTheManifest) {
  // The version and the copyright line as CMake's project and the licence give them.
  const std::string version = ZV_PROJECT_VERSION;
  std::smatch parts;
  ASSERT_TRUE(std::regex_match(version, parts, std::regex(R"((\d+)\.(\d+)\.(\d+))"))) << version;
  const std::uint64_t high = std::stoul(parts[1]) << 16 | std::stoul(parts[2]);
  const std::uint64_t low = std::stoul(parts[3]) << 16;
  std::ifstream licence(ZV_LICENSE);
  std::string copyright;
  while (std::getline(licence, copyright) && copyright.rfind("Copyright ", 0) != 0) {
  }
  ASSERT_EQ(copyright.rfind("Copyright ", 0), 0u) << "no copyright line in " << ZV_LICENSE;

  for (const std::string& viewer : kViewers) {
    SCOPED_TRACE(viewer);
    const Listing resources = listed(wrestool({"--list"}, viewer));
    ASSERT_TRUE(resources.count({kVersionType, "1"})) << "no version block 1";
    const Bytes block = resource(kVersionType, "1", viewer);
    const std::optional<VersionNode> root = node(block, 0);
    ASSERT_TRUE(root.has_value());
    EXPECT_EQ(root->key, "VS_VERSION_INFO");
    // The fixed part: its signature, then the file's and the product's version, high word first.
    ASSERT_EQ(root->valueWords, 52u);
    EXPECT_EQ(littleEndian(block, root->valueAt, 4), 0xFEEF04BDu);
    EXPECT_EQ(littleEndian(block, root->valueAt + 8, 4), high) << "file version";
    EXPECT_EQ(littleEndian(block, root->valueAt + 12, 4), low) << "file version";
    EXPECT_EQ(littleEndian(block, root->valueAt + 16, 4), high) << "product version";
    EXPECT_EQ(littleEndian(block, root->valueAt + 20, 4), low) << "product version";

    std::map<std::string, std::string> texts;
    walk(block, *root, texts);
    EXPECT_EQ(texts["ProductName"], "zoravarova");
    EXPECT_EQ(texts["FileVersion"], version);
    EXPECT_EQ(texts["ProductVersion"], version);
    EXPECT_EQ(texts["OriginalFilename"], "zoravarova.exe");
    EXPECT_EQ(texts["LegalCopyright"], copyright);
    EXPECT_NE(texts["FileDescription"], "");

    // The manifest Windows reads at start-up is the one of id 1.
    ASSERT_TRUE(resources.count({kManifestType, "1"})) << "no manifest 1";
    const Bytes manifest = resource(kManifestType, "1", viewer);
    EXPECT_NE(std::string(manifest.begin(), manifest.end()).find(">UTF-8</activeCodePage>"),
              std::string::npos);
  }
}

}  // namespace
