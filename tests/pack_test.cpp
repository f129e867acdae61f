// The packer: what it writes reads back through the viewer's reader, and bad input writes nothing.
#include <elf.h>
#include <sys/mman.h>
#include <unistd.h>

#include <gtest/gtest.h>
#include <stb_image_write.h>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "app/embedded_images.h"
#include "tests/packer_run.h"
#include "tools/pack/elf_layout.h"
#include "tools/pack/file_io.h"
#include "tools/pack/pack.h"
#include "tools/pack/pack_error.h"

namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

const std::string kLinked = ZV_LINKED_PROBE;
const std::string kPacker = ZV_PACKER;
const std::string kFirst = std::string(ZV_ASSET_DIR) + "/first.jpg";
const std::string kSecond = std::string(ZV_ASSET_DIR) + "/second.png";

void writeBytes(const std::string& path, const Bytes& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
}

// A PNG of our own pixels, made in memory.
Bytes encodePng(int width, int height, int components, std::uint8_t value) {
  const Bytes pixels(static_cast<std::size_t>(width) * height * components, value);
  Bytes png;
  stbi_write_png_to_func(
      [](void* context, void* data, int size) {
        auto* out = static_cast<Bytes*>(context);
        out->insert(out->end(), static_cast<std::uint8_t*>(data),
                    static_cast<std::uint8_t*>(data) + size);
      },
      &png, width, height, components, pixels.data(), width * components);
  return png;
}

class Packer : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() /
           ("zv-pack-" + std::to_string(getpid()) + "-" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir_);
    fs::create_directories(dir_);
    output_ = (dir_ / "packed").string();
  }
  void TearDown() override { fs::remove_all(dir_); }

  std::string place(const std::string& name, const Bytes& bytes) {
    const std::string path = (dir_ / name).string();
    writeBytes(path, bytes);
    return path;
  }

  // Runs the real tool; its one line of error goes to a file we read back.
  PackRun pack(const std::string& viewer, const std::string& first, const std::string& second,
               const std::string& output) {
    return runPacker(kPacker, {viewer, first, second, output}, (dir_ / "stderr.txt").string());
  }

  // The tool failed with exactly one line that names `file` and says `reason`, and left nothing.
  void expectRefused(const PackRun& run, const std::string& file, const std::string& reason) {
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.errorText, "zoravarova-pack: " + file + ": " + reason + "\n");
    EXPECT_FALSE(fs::exists(output_));
    for (const auto& entry : fs::directory_iterator(dir_)) {
      EXPECT_EQ(entry.path().string().find(".packing-"), std::string::npos)
          << "left a temporary behind: " << entry.path();
    }
  }

  fs::path dir_;
  std::string output_;
};

EmbeddedAssetDirectory directoryOf(const Bytes& file) {
  const ExecutableLayout layout = locateElfAssetDirectory(file, "packed");
  return decodeEmbeddedAssetDirectory(file.data() + layout.directoryOffset);
}

TEST_F(Packer, PackedImagesReadBackByteForByte) {
  ASSERT_EQ(pack(kLinked, kFirst, kSecond, output_).exitCode, 0);
  const Bytes packed = readWholeFile(output_);
  const Bytes linked = readWholeFile(kLinked);
  const Bytes first = readWholeFile(kFirst);
  const Bytes second = readWholeFile(kSecond);

  const EmbeddedAssetDirectory directory = directoryOf(packed);
  EXPECT_EQ(directory.texture1Offset, linked.size()) << "the first image follows the last byte";
  EXPECT_EQ(directory.texture2Offset, linked.size() + first.size()) << "no padding between them";
  EXPECT_EQ(packed.size(), linked.size() + first.size() + second.size());
  const std::size_t at = locateElfAssetDirectory(packed, "packed").directoryOffset;
  EXPECT_EQ(packed[at + 16], 4);

  Bytes readFirst;
  Bytes readSecond;
  readEmbeddedImages(output_.c_str(), directory, readFirst, readSecond);
  EXPECT_EQ(readFirst, first);
  EXPECT_EQ(readSecond, second);
  EXPECT_TRUE((fs::status(output_).permissions() & fs::perms::owner_exec) != fs::perms::none);
}

TEST_F(Packer, PackingAPackedViewerReplacesItsImages) {
  ASSERT_EQ(pack(kLinked, kFirst, kSecond, output_).exitCode, 0);
  // Swap in other, still valid, images: the second packing must not stack them after the first.
  const std::string again = (dir_ / "again").string();
  const Bytes other = encodePng(512, 512, 4, 200);
  const std::string otherSecond = place("other.png", other);
  ASSERT_EQ(pack(output_, kFirst, otherSecond, again).exitCode, 0);

  const Bytes repacked = readWholeFile(again);
  EXPECT_EQ(repacked.size(),
            readWholeFile(kLinked).size() + readWholeFile(kFirst).size() + other.size());
  Bytes readFirst;
  Bytes readSecond;
  readEmbeddedImages(again.c_str(), directoryOf(repacked), readFirst, readSecond);
  EXPECT_EQ(readFirst, readWholeFile(kFirst));
  EXPECT_EQ(readSecond, readWholeFile(otherSecond));
}

// Byte patches of the linked viewer that make it unacceptable in one way each.
Bytes withByte(Bytes bytes, std::size_t at, std::uint8_t value) {
  bytes[at] = value;
  return bytes;
}

Bytes withDirectorySectionSize(Bytes bytes, std::uint64_t size) {
  Elf64_Ehdr header;
  std::memcpy(&header, bytes.data(), sizeof header);
  Elf64_Shdr names;
  std::memcpy(&names, bytes.data() + header.e_shoff + header.e_shstrndx * sizeof(Elf64_Shdr),
              sizeof names);
  for (int i = 0; i < header.e_shnum; ++i) {
    Elf64_Shdr section;
    const std::size_t at = header.e_shoff + i * sizeof(Elf64_Shdr);
    std::memcpy(&section, bytes.data() + at, sizeof section);
    const char* name =
        reinterpret_cast<const char*>(bytes.data() + names.sh_offset + section.sh_name);
    if (std::strcmp(name, ".zoravarova.assets") == 0) {
      section.sh_size = size;
      std::memcpy(bytes.data() + at, &section, sizeof section);
    }
  }
  return bytes;
}

TEST_F(Packer, ABadViewerIsRefusedWithOneLineAndNoOutput) {
  const Bytes linked = readWholeFile(kLinked);
  expectRefused(pack((dir_ / "missing").string(), kFirst, kSecond, output_),
                (dir_ / "missing").string(), "cannot be opened: No such file or directory");
  const std::string text = place("text", Bytes{'h', 'i', '\n'});
  expectRefused(pack(text, kFirst, kSecond, output_), text, "is not an ELF executable");
  const std::string elf32 = place("elf32", withByte(linked, EI_CLASS, ELFCLASS32));
  expectRefused(pack(elf32, kFirst, kSecond, output_), elf32, "is not a 64-bit ELF executable");
  const std::string bigEndian = place("big", withByte(linked, EI_DATA, ELFDATA2MSB));
  expectRefused(pack(bigEndian, kFirst, kSecond, output_), bigEndian,
                "is not a little-endian ELF executable");
  const std::string truncated = place("truncated", Bytes(linked.begin(), linked.begin() + 4096));
  expectRefused(pack(truncated, kFirst, kSecond, output_), truncated,
                "is truncated: its section header table lies past the end");
  expectRefused(pack(kPacker, kFirst, kSecond, output_), kPacker,
                "has no .zoravarova.assets section");
  const std::string wrongSize = place("wrong-size", withDirectorySectionSize(linked, 16));
  expectRefused(pack(wrongSize, kFirst, kSecond, output_), wrongSize,
                "has a .zoravarova.assets section of 16 bytes, expected 20");
}

TEST_F(Packer, BadImagesAreRefusedWithOneLineAndNoOutput) {
  const Bytes first = readWholeFile(kFirst);
  const Bytes second = readWholeFile(kSecond);
  const std::string empty = place("empty", Bytes{});
  expectRefused(pack(kLinked, empty, kSecond, output_), empty, "is empty");
  expectRefused(pack(kLinked, kSecond, kSecond, output_), kSecond, "is not a JPEG");
  expectRefused(pack(kLinked, kFirst, kFirst, output_), kFirst, "is not a PNG");

  const std::string cutJpeg = place("cut.jpg", Bytes(first.begin(), first.begin() + 600));
  const PackRun cut = pack(kLinked, cutJpeg, kSecond, output_);
  EXPECT_EQ(cut.exitCode, 1);
  EXPECT_EQ(cut.errorText.rfind("zoravarova-pack: " + cutJpeg + ": ", 0), 0u) << cut.errorText;
  EXPECT_FALSE(fs::exists(output_));

  const std::string rgbPng = place("rgb.png", encodePng(512, 512, 3, 90));
  expectRefused(pack(kLinked, kFirst, rgbPng, output_), rgbPng,
                "is a PNG of colour type 2, expected 6 (RGBA)");

  const std::string smallPng = place("small.png", encodePng(8, 8, 4, 90));
  expectRefused(pack(kLinked, kFirst, smallPng, output_), smallPng,
                "is 8 by 8 pixels, expected 512 by 512");

  const std::string cutPng = place("cut.png", Bytes(second.begin(), second.end() - 200));
  const PackRun cutRun = pack(kLinked, kFirst, cutPng, output_);
  EXPECT_EQ(cutRun.exitCode, 1);
  EXPECT_EQ(cutRun.errorText.rfind("zoravarova-pack: " + cutPng + ": does not decode", 0), 0u)
      << cutRun.errorText;
  EXPECT_FALSE(fs::exists(output_));
}

TEST_F(Packer, AnUnwritableOutputOrTheInputItselfIsRefused) {
  const std::string nowhere = (dir_ / "no-such-dir" / "packed").string();
  const PackRun run = pack(kLinked, kFirst, kSecond, nowhere);
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_EQ(run.errorText,
            "zoravarova-pack: " + nowhere + ": cannot be written: No such file or directory\n");

  const std::string copy = place("viewer", readWholeFile(kLinked));
  const Bytes before = readWholeFile(copy);
  expectRefused(pack(copy, kFirst, kSecond, copy), copy,
                "is the input viewer itself; write the packed viewer elsewhere");
  EXPECT_EQ(readWholeFile(copy), before);
}

// A viewer whose images would start at or past 2^31 cannot be read by a signed 32-bit seek.
TEST(PackerOffsets, OffsetsAtOrAbove2To31AreRefusedBeforeAnythingIsBuilt) {
  const Bytes linked = readWholeFile(kLinked);
  const Bytes first = readWholeFile(kFirst);
  const Bytes second = readWholeFile(kSecond);
  for (const std::size_t size : {std::size_t{1} << 31, (std::size_t{1} << 31) - 16}) {
    // Untouched anonymous pages cost nothing; only the ELF headers at the front are read.
    void* memory = mmap(nullptr, size, PROT_READ | PROT_WRITE,
                        MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
    ASSERT_NE(memory, MAP_FAILED);
    std::memcpy(memory, linked.data(), linked.size());
    const std::span<const std::uint8_t> huge(static_cast<const std::uint8_t*>(memory), size);
    try {
      buildPackedExecutable({huge, "huge"}, {first, "first.jpg"}, {second, "second.png"});
      ADD_FAILURE() << "accepted a viewer of " << size << " bytes";
    } catch (const PackError& error) {
      const std::string expected =
          size == (std::size_t{1} << 31)
              ? "huge: is too large: the first image would start at or past 2^31"
              : "first.jpg: is too large: the second image would start at or past 2^31";
      EXPECT_EQ(error.what(), expected);
    }
    munmap(memory, size);
  }
}

}  // namespace
