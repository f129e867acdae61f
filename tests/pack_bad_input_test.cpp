// Every way the packer's inputs can be wrong: one exact line, exit code 1, and nothing written.
#include <elf.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>
#include <stb_image_write.h>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "tests/packer_run.h"

namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

const std::string kPacker = ZV_PACKER;
const std::string kLinked = ZV_LINKED_PROBE;
const std::string kFirst = std::string(ZV_ASSET_DIR) + "/first.jpg";
const std::string kSecond = std::string(ZV_ASSET_DIR) + "/second.png";
const std::string kInputs = ZV_PACK_INPUTS;
constexpr std::uint64_t k2To31 = std::uint64_t{1} << 31;

Bytes readBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

void writeBytes(const std::string& path, const Bytes& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
}

void appendTo(void* context, void* data, int size) {
  auto* out = static_cast<Bytes*>(context);
  out->insert(out->end(), static_cast<std::uint8_t*>(data),
              static_cast<std::uint8_t*>(data) + size);
}

Bytes encodePng(int side, int components) {
  const Bytes pixels(static_cast<std::size_t>(side) * side * components, 120);
  Bytes png;
  stbi_write_png_to_func(appendTo, &png, side, side, components, pixels.data(), side * components);
  return png;
}

Bytes encodeJpeg(int side) {
  const Bytes pixels(static_cast<std::size_t>(side) * side * 3, 120);
  Bytes jpeg;
  stbi_write_jpg_to_func(appendTo, &jpeg, side, side, 3, pixels.data(), 90);
  return jpeg;
}

// The linked viewer with one thing about its ELF headers changed.
Bytes withHeader(Bytes bytes, const std::function<void(Elf64_Ehdr&)>& change) {
  Elf64_Ehdr header;
  std::memcpy(&header, bytes.data(), sizeof header);
  change(header);
  std::memcpy(bytes.data(), &header, sizeof header);
  return bytes;
}

Elf64_Shdr* directorySection(Bytes& bytes) {
  Elf64_Ehdr header;
  std::memcpy(&header, bytes.data(), sizeof header);
  auto* sections = reinterpret_cast<Elf64_Shdr*>(bytes.data() + header.e_shoff);
  const char* names =
      reinterpret_cast<const char*>(bytes.data() + sections[header.e_shstrndx].sh_offset);
  for (int i = 0; i < header.e_shnum; ++i) {
    if (std::strcmp(names + sections[i].sh_name, ".zoravarova.assets") == 0) {
      return &sections[i];
    }
  }
  return nullptr;
}

Bytes withDirectorySection(Bytes bytes, const std::function<void(Elf64_Shdr&)>& change) {
  Elf64_Shdr* section = directorySection(bytes);
  if (section != nullptr) {
    change(*section);
  }
  return bytes;
}

Bytes withDirectoryWords(Bytes bytes, std::uint8_t fill) {
  const std::uint64_t at = directorySection(bytes)->sh_offset;
  std::memset(bytes.data() + at, fill, 20);
  return bytes;
}

// The first Huffman table's code counts raised past the 256 codes a table can hold.
Bytes withOversizedHuffmanTable(Bytes jpeg) {
  for (std::size_t at = 2; at + 21 < jpeg.size(); ++at) {
    if (jpeg[at] == 0xFF && jpeg[at + 1] == 0xC4) {
      jpeg[at + 5 + 14] = 200;
      jpeg[at + 5 + 15] = 200;
      return jpeg;
    }
  }
  return {};
}

class PackBadInput : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = fs::temp_directory_path() /
            ("zv-pack-bad-" + std::to_string(getpid()) + "-" +
             ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(root_);
    fs::create_directories(root_ / "in");
    fs::create_directories(root_ / "out");
    // Others must reach the files when a case runs the packer as an unprivileged user.
    fs::permissions(root_, fs::perms::all & ~fs::perms::others_write & ~fs::perms::group_write);
    output_ = (root_ / "out" / "packed").string();
    viewer_ = place("viewer", readBytes(kLinked));
  }
  void TearDown() override {
    for (const auto& entry : fs::recursive_directory_iterator(root_)) {
      if (!entry.is_symlink()) {
        fs::permissions(entry.path(), fs::perms::owner_all, fs::perm_options::add);
      }
    }
    fs::remove_all(root_);
  }

  std::string place(const std::string& name, const Bytes& bytes) {
    const std::string path = (root_ / "in" / name).string();
    writeBytes(path, bytes);
    return path;
  }

  // Runs the real tool with its standard error in a file outside the output's directory.
  PackRun run(const std::vector<std::string>& arguments, bool unprivileged = false) {
    return runPacker(kPacker, arguments, (root_ / "stderr.txt").string(), unprivileged);
  }

  // What the output's directory holds, by name and content.
  std::map<std::string, Bytes> outputDirectory() {
    std::map<std::string, Bytes> entries;
    for (const auto& entry : fs::directory_iterator(root_ / "out")) {
      entries[entry.path().filename().string()] =
          entry.is_regular_file() ? readBytes(entry.path().string()) : Bytes{};
    }
    return entries;
  }

  // Packs and expects exactly "zoravarova-pack: <file>: <reason>", exit code 1, and the output's
  // directory as it was: no output, no temporary, nothing that was there changed.
  void expectRefused(const std::string& viewer, const std::string& first, const std::string& second,
                     const std::string& output, const std::string& file, const std::string& reason,
                     bool unprivileged = false) {
    SCOPED_TRACE(file + ": " + reason);
    const auto before = outputDirectory();
    const PackRun result = run({viewer, first, second, output}, unprivileged);
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(result.errorText, "zoravarova-pack: " + file + ": " + reason + "\n");
    EXPECT_EQ(outputDirectory(), before);
  }
  void expectViewerRefused(const std::string& viewer, const std::string& reason) {
    expectRefused(viewer, kFirst, kSecond, output_, viewer, reason);
  }
  void expectFirstRefused(const std::string& first, const std::string& reason) {
    expectRefused(viewer_, first, kSecond, output_, first, reason);
  }
  void expectSecondRefused(const std::string& second, const std::string& reason) {
    expectRefused(viewer_, kFirst, second, output_, second, reason);
  }

  fs::path root_;
  std::string output_;
  std::string viewer_;
};

TEST_F(PackBadInput, ViewerFilesThatCannotBeRead) {
  const std::string missing = (root_ / "in" / "missing").string();
  expectViewerRefused(missing, "cannot be opened: No such file or directory");
  const std::string locked = place("locked", readBytes(kLinked));
  fs::permissions(locked, fs::perms::none);
  expectRefused(locked, kFirst, kSecond, output_, locked, "cannot be opened: Permission denied",
                true);
  expectViewerRefused((root_ / "in").string(), "is not a regular file");
  expectViewerRefused(place("empty", {}), "is not an ELF executable");
  expectViewerRefused(place("text", {'#', '!', '/', 'b', 'i', 'n'}), "is not an ELF executable");
}

TEST_F(PackBadInput, ViewersThatAreNotA64BitLittleEndianElf) {
  const Bytes linked = readBytes(kLinked);
  Bytes elf32 = linked;
  elf32[EI_CLASS] = ELFCLASS32;
  expectViewerRefused(place("elf32", elf32), "is not a 64-bit ELF executable");
  Bytes bigEndian = linked;
  bigEndian[EI_DATA] = ELFDATA2MSB;
  expectViewerRefused(place("big-endian", bigEndian), "is not a little-endian ELF executable");
  expectViewerRefused(
      place("odd-entries", withHeader(linked, [](Elf64_Ehdr& h) { h.e_shentsize = 40; })),
      "has ELF tables of an unexpected entry size");
}

TEST_F(PackBadInput, TruncatedViewers) {
  const Bytes linked = readBytes(kLinked);
  expectViewerRefused(place("cut-header", Bytes(linked.begin(), linked.begin() + 40)),
                      "is truncated: its ELF header lies past the end");
  expectViewerRefused(place("cut-sections", Bytes(linked.begin(), linked.begin() + 4096)),
                      "is truncated: its section header table lies past the end");
  expectViewerRefused(
      place("far-programs", withHeader(linked, [](Elf64_Ehdr& h) { h.e_phoff = 1u << 30; })),
      "is truncated: its program header table lies past the end");
  const std::uint64_t size = linked.size();
  expectViewerRefused(
      place("far-data",
            withDirectorySection(linked, [size](Elf64_Shdr& s) { s.sh_offset = size - 10; })),
      "is truncated: its section data lies past the end");
}

TEST_F(PackBadInput, ViewersWithoutAUsableDirectorySection) {
  const Bytes linked = readBytes(kLinked);
  // The packer itself is an ELF executable without the section.
  expectViewerRefused(place("no-section", readBytes(kPacker)), "has no .zoravarova.assets section");
  expectViewerRefused(
      place("no-names", withHeader(linked, [](Elf64_Ehdr& h) { h.e_shstrndx = h.e_shnum; })),
      "has no section names, so no asset directory section");
  for (const std::uint64_t size : {0u, 16u, 21u}) {
    expectViewerRefused(
        place("size-" + std::to_string(size),
              withDirectorySection(linked, [size](Elf64_Shdr& s) { s.sh_size = size; })),
        "has a .zoravarova.assets section of " + std::to_string(size) + " bytes, expected 20");
  }
  expectViewerRefused(
      place("no-bits", withDirectorySection(linked, [](Elf64_Shdr& s) { s.sh_type = SHT_NOBITS; })),
      "has a .zoravarova.assets section without file data");
  expectViewerRefused(place("stray-words", withDirectoryWords(linked, 0x11)),
                      "has directory words that do not describe images appended to it");
}

TEST_F(PackBadInput, FirstImagesThatAreNotA512BaselineRgbJpeg) {
  const Bytes first = readBytes(kFirst);
  expectFirstRefused((root_ / "in" / "missing.jpg").string(),
                     "cannot be opened: No such file or directory");
  expectFirstRefused(place("empty.jpg", {}), "is empty");
  expectFirstRefused(kSecond, "is not a JPEG");
  expectFirstRefused(place("frameless.jpg", {0xFF, 0xD8, 0xFF, 0xD9}),
                     "is a JPEG without a frame header");
  expectFirstRefused(kInputs + "/grey.jpg", "has 1 components, expected 3");
  expectFirstRefused(kInputs + "/progressive.jpg",
                     "is not a baseline JPEG (progressive or another coding)");
  expectFirstRefused(place("small.jpg", encodeJpeg(64)), "is 64 by 64 pixels, expected 512 by 512");
  expectFirstRefused(place("cut.jpg", Bytes(first.begin(), first.begin() + 600)),
                     "does not decode: damaged or truncated JPEG data");
  expectFirstRefused(place("huffman.jpg", withOversizedHuffmanTable(first)),
                     "does not decode: a Huffman table is oversized or missing");
}

TEST_F(PackBadInput, SecondImagesThatAreNotA512Rgba8Png) {
  const Bytes second = readBytes(kSecond);
  expectSecondRefused((root_ / "in" / "missing.png").string(),
                      "cannot be opened: No such file or directory");
  expectSecondRefused(place("empty.png", {}), "is empty");
  expectSecondRefused(kFirst, "is not a PNG");
  Bytes headless(second.begin(), second.begin() + 40);
  std::memcpy(headless.data() + 12, "IDAT", 4);
  expectSecondRefused(place("headless.png", headless), "is a PNG without its header chunk");
  expectSecondRefused(place("rgb.png", encodePng(512, 3)),
                      "is a PNG of colour type 2, expected 6 (RGBA)");
  expectSecondRefused(kInputs + "/rgba16.png", "has 16-bit samples, expected 8-bit");
  expectSecondRefused(place("small.png", encodePng(8, 4)), "is 8 by 8 pixels, expected 512 by 512");
  expectSecondRefused(place("cut.png", Bytes(second.begin(), second.end() - 200)),
                      "does not decode: outofdata");
}

// A viewer file whose length puts an image offset at 2^31 is sparse on disk: only its ELF
// headers at the front hold data.
TEST_F(PackBadInput, ImagesThatWouldStartAtOrPast2To31) {
  const std::uint64_t firstSize = fs::file_size(kFirst);
  const std::string huge = place("huge", readBytes(kLinked));
  fs::resize_file(huge, k2To31);
  expectViewerRefused(huge, "is too large: the first image would start at or past 2^31");
  const std::string large = place("large", readBytes(kLinked));
  fs::resize_file(large, k2To31 - firstSize);
  expectRefused(large, kFirst, kSecond, output_, kFirst,
                "is too large: the second image would start at or past 2^31");
}

TEST_F(PackBadInput, OutputsThatCannotOrMustNotBeWritten) {
  const std::string nowhere = (root_ / "out" / "no-such-dir" / "packed").string();
  expectRefused(viewer_, kFirst, kSecond, nowhere, nowhere,
                "cannot be written: No such file or directory");
  fs::permissions(root_ / "out", fs::perms::owner_read | fs::perms::owner_exec |
                                     fs::perms::group_read | fs::perms::group_exec |
                                     fs::perms::others_read | fs::perms::others_exec);
  expectRefused(viewer_, kFirst, kSecond, output_, output_, "cannot be written: Permission denied",
                true);
  fs::permissions(root_ / "out", fs::perms::owner_all);

  // A directory in the output's place: the temporary beside it must go again.
  const std::string directory = (root_ / "out" / "a-directory").string();
  fs::create_directory(directory);
  expectRefused(viewer_, kFirst, kSecond, directory, directory,
                "cannot be replaced: Is a directory");

  const std::string self = "is the input viewer itself; write the packed viewer elsewhere";
  const Bytes viewerBefore = readBytes(viewer_);
  expectRefused(viewer_, kFirst, kSecond, viewer_, viewer_, self);
  const std::string hardLink = (root_ / "out" / "hard-link").string();
  fs::create_hard_link(viewer_, hardLink);
  expectRefused(viewer_, kFirst, kSecond, hardLink, hardLink, self);
  const std::string symbolicLink = (root_ / "out" / "symbolic-link").string();
  fs::create_symlink(viewer_, symbolicLink);
  expectRefused(viewer_, kFirst, kSecond, symbolicLink, symbolicLink, self);
  EXPECT_EQ(readBytes(viewer_), viewerBefore);

  // Renaming over an image would destroy it.
  const std::string first = place("first.jpg", readBytes(kFirst));
  const std::string second = place("second.png", readBytes(kSecond));
  const std::string image = "is one of the input images; write the packed viewer elsewhere";
  expectRefused(viewer_, first, second, first, first, image);
  expectRefused(viewer_, first, second, second, second, image);
  EXPECT_EQ(readBytes(first), readBytes(kFirst));
  EXPECT_EQ(readBytes(second), readBytes(kSecond));
}

TEST_F(PackBadInput, AnEarlierOutputSurvivesARefusal) {
  writeBytes(output_, {'o', 'l', 'd'});
  expectFirstRefused(kSecond, "is not a JPEG");
  EXPECT_EQ(readBytes(output_), (Bytes{'o', 'l', 'd'}));
}

TEST_F(PackBadInput, AWrongNumberOfArgumentsPrintsTheUsage) {
  const PackRun result = run({viewer_, kFirst, kSecond});
  EXPECT_EQ(result.exitCode, 2);
  EXPECT_EQ(result.errorText, "usage: zoravarova-pack VIEWER FIRST.jpg SECOND.png OUTPUT\n");
  EXPECT_TRUE(outputDirectory().empty());
}

}  // namespace
