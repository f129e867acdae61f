// What `cmake --install` puts into a prefix: a stripped viewer that still carries both pictures,
// with --strip and without, and a packer that runs.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdint>
#include <cstring>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include "tests/x_session.h"

namespace {

const std::string kBuildDir = ZV_INSTALL_BUILD_DIR;
const std::string kCMake = ZV_CMAKE;
const std::string kAssets = ZV_ASSET_DIR;

std::vector<std::uint8_t> fileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Little-endian reads, bounds-checked against the whole file.
std::uint64_t le(const std::vector<std::uint8_t>& bytes, std::uint64_t at, int width) {
  if (at > bytes.size() || bytes.size() - at < static_cast<std::uint64_t>(width)) {
    ADD_FAILURE() << "read of " << width << " bytes at " << at << " runs past the file's end";
    return 0;
  }
  std::uint64_t value = 0;
  for (int i = width - 1; i >= 0; --i) {
    value = value << 8 | bytes[at + static_cast<std::uint64_t>(i)];
  }
  return value;
}

struct Section {
  std::string name;
  std::uint64_t offset = 0;
  std::uint64_t size = 0;
};

// The section table of a 64-bit little-endian ELF file, names resolved through .shstrtab.
std::vector<Section> elfSections(const std::vector<std::uint8_t>& elf) {
  std::vector<Section> sections;
  if (elf.size() < 64 ||
      std::memcmp(elf.data(),
                  "\x7f"
                  "ELF",
                  4) != 0 ||
      elf[4] != 2 || elf[5] != 1) {
    ADD_FAILURE() << "not a 64-bit little-endian ELF file";
    return sections;
  }
  const std::uint64_t table = le(elf, 0x28, 8);
  const std::uint64_t entry = le(elf, 0x3A, 2);
  const std::uint64_t count = le(elf, 0x3C, 2);
  const std::uint64_t names = le(elf, 0x3E, 2);
  const std::uint64_t namesOffset = le(elf, table + names * entry + 0x18, 8);
  for (std::uint64_t i = 0; i < count; ++i) {
    const std::uint64_t header = table + i * entry;
    Section section;
    std::uint64_t name = namesOffset + le(elf, header, 4);
    while (name < elf.size() && elf[name] != 0) {
      section.name += static_cast<char>(elf[name++]);
    }
    section.offset = le(elf, header + 0x18, 8);
    section.size = le(elf, header + 0x20, 8);
    sections.push_back(section);
  }
  return sections;
}

std::optional<Section> findSection(const std::vector<Section>& sections, const std::string& name) {
  for (const Section& section : sections) {
    if (section.name == name) {
      return section;
    }
  }
  return std::nullopt;
}

// Installs the build tree into a fresh prefix of the test's own; DESTDIR from the caller's
// environment would send the files elsewhere, so the child runs without it.
std::string installInto(const std::string& testName, const std::vector<std::string>& extra) {
  const std::string dir = makeTestDirectory(testName);
  const std::string prefix = dir + "/prefix";
  std::vector<std::string> arguments{"--install", kBuildDir, "--prefix", prefix};
  arguments.insert(arguments.end(), extra.begin(), extra.end());
  ChildProcess install(kCMake, arguments, {{"DESTDIR", ""}}, dir);
  EXPECT_EQ(install.waitForExit(120s), std::optional<int>(0)) << install.standardError();
  return prefix;
}

// The viewer holds five little-endian words in .zoravarova.assets: the PNG's size and offset,
// then the JPEG's, then a fifth; each pair must name exactly the bytes of our picture.
void expectPackedAndStripped(const std::string& prefix) {
  const std::string viewer = prefix + "/bin/zoravarova";
  struct stat info {};
  ASSERT_EQ(stat(viewer.c_str(), &info), 0) << viewer << " was not installed";
  EXPECT_NE(info.st_mode & S_IXUSR, 0u) << "the installed viewer is not executable";

  const std::vector<std::uint8_t> elf = fileBytes(viewer);
  const std::vector<Section> sections = elfSections(elf);
  EXPECT_FALSE(findSection(sections, ".symtab").has_value()) << "the viewer keeps its symbols";
  const std::optional<Section> directory = findSection(sections, ".zoravarova.assets");
  ASSERT_TRUE(directory.has_value());
  ASSERT_EQ(directory->size, 20u);

  const auto expectPicture = [&](std::uint64_t wordAt, const std::string& file) {
    const std::uint64_t size = le(elf, directory->offset + wordAt, 4);
    const std::uint64_t offset = le(elf, directory->offset + wordAt + 4, 4);
    const std::vector<std::uint8_t> expected = fileBytes(kAssets + "/" + file);
    ASSERT_FALSE(expected.empty());
    ASSERT_EQ(size, expected.size()) << file;
    ASSERT_LE(offset, elf.size());
    ASSERT_LE(size, elf.size() - offset) << file << " runs past the installed file's end";
    const std::vector<std::uint8_t> carried(
        elf.begin() + static_cast<std::ptrdiff_t>(offset),
        elf.begin() + static_cast<std::ptrdiff_t>(offset + size));
    EXPECT_TRUE(carried == expected) << "the bytes at " << offset << " are not " << file;
  };
  expectPicture(8, "first.jpg");
  expectPicture(0, "second.png");
}

void expectPackerRuns(const std::string& prefix, const std::string& outputDir) {
  ChildProcess packer(prefix + "/bin/zoravarova-pack", {}, {}, outputDir);
  EXPECT_EQ(packer.waitForExit(10s), std::optional<int>(2));
  EXPECT_EQ(packer.standardError().rfind("usage: zoravarova-pack ", 0), 0u)
      << packer.standardError();
}

TEST(Install, ShipsAStrippedViewerThatCarriesBothPictures) {
  const std::string prefix = installInto("InstallPlain", {});
  expectPackedAndStripped(prefix);
  expectPackerRuns(prefix, prefix + "/..");
}

// --strip strips what is installed as a target; the viewer must not be one.
TEST(Install, StripOptionKeepsTheViewersPictures) {
  const std::string prefix = installInto("InstallStrip", {"--strip"});
  expectPackedAndStripped(prefix);
  expectPackerRuns(prefix, prefix + "/..");
}

TEST(Install, ShipsTheLicenceAndNotices) {
  const std::string prefix = installInto("InstallDocs", {});
  for (const char* name : {"LICENSE", "THIRD_PARTY_NOTICES.md"}) {
    const std::vector<std::uint8_t> installed =
        fileBytes(prefix + "/" ZV_INSTALL_DOCDIR "/" + name);
    EXPECT_FALSE(installed.empty()) << name;
    EXPECT_TRUE(installed == fileBytes(std::string(ZV_SOURCE_ROOT) + "/" + name)) << name;
  }
}

}  // namespace
