// The packer on WebAssembly modules written out byte by byte here, read back by a walker of ours.
#include <gtest/gtest.h>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <limits>
#include <string>
#include <vector>

#include "app/embedded_images.h"
#include "tests/file_bytes.h"
#include "tests/pack_fixture.h"
#include "tests/packed_viewer.h"
#include "tools/pack/wasm_layout.h"

namespace {

using WasmPacker = PackFixture;

const Bytes kHeader = {0x00, 'a', 's', 'm', 0x01, 0x00, 0x00, 0x00};
const std::string kAssets = "zoravarova.assets";
// What the packer writes before the directory: id, a 5-byte size, the name's length, the name.
constexpr std::size_t kAssetHeaderBytes = 1 + 5 + 1 + 17;

Bytes operator+(Bytes left, const Bytes& right) {
  left.insert(left.end(), right.begin(), right.end());
  return left;
}

Bytes leb(std::uint32_t value) {
  Bytes bytes;
  do {
    const auto low = static_cast<std::uint8_t>(value & 0x7F);
    value >>= 7;
    bytes.push_back(value != 0 ? low | 0x80 : low);
  } while (value != 0);
  return bytes;
}

Bytes section(std::uint8_t id, const Bytes& payload) {
  return Bytes{id} + leb(static_cast<std::uint32_t>(payload.size())) + payload;
}

Bytes custom(const std::string& name, const Bytes& content) {
  return section(
      0, leb(static_cast<std::uint32_t>(name.size())) + Bytes(name.begin(), name.end()) + content);
}

// One function of type () -> () whose body is `end`, and its name in a "name" section.
const Bytes kType = section(1, {0x01, 0x60, 0x00, 0x00});
const Bytes kFunction = section(3, {0x01, 0x00});
const Bytes kCode = section(10, {0x01, 0x02, 0x00, 0x0B});
const Bytes kNames = custom("name", {0x01, 0x04, 0x01, 0x00, 0x01, 'f'});

struct Section {
  std::uint8_t id = 0;
  std::size_t start = 0;    // the id byte
  std::size_t content = 0;  // past the size, and for a custom section past its name
  std::size_t end = 0;
  std::string name;  // custom sections only
};

// Reads a LEB128 of at most 5 bytes at `at`, moving past it; a fault fails the test.
std::uint32_t readLeb(const Bytes& bytes, std::size_t& at, std::size_t end) {
  std::uint64_t value = 0;
  for (int shift = 0; shift < 35; shift += 7) {
    if (at >= end) {
      ADD_FAILURE() << "a LEB128 at " << at << " runs past " << end;
      return 0;
    }
    const std::uint8_t byte = bytes[at++];
    value |= static_cast<std::uint64_t>(byte & 0x7F) << shift;
    if ((byte & 0x80) == 0) {
      EXPECT_LE(value, std::numeric_limits<std::uint32_t>::max());
      return static_cast<std::uint32_t>(value);
    }
  }
  ADD_FAILURE() << "a LEB128 before " << at << " is longer than 5 bytes";
  return 0;
}

// The module's top-level sections; one that runs past the end fails the test and ends the list.
std::vector<Section> sectionsOf(const Bytes& module) {
  std::vector<Section> sections;
  EXPECT_TRUE(module.size() >= 8 && Bytes(module.begin(), module.begin() + 8) == kHeader);
  std::size_t at = 8;
  while (at < module.size()) {
    Section s;
    s.start = at;
    s.id = module[at++];
    const std::uint32_t size = readLeb(module, at, module.size());
    if (size > module.size() - at) {
      ADD_FAILURE() << "the section at " << s.start << " runs past the end";
      break;
    }
    s.end = at + size;
    if (s.id == 0) {
      const std::uint32_t nameBytes = readLeb(module, at, s.end);
      EXPECT_LE(nameBytes, s.end - at);
      s.name.assign(module.begin() + static_cast<std::ptrdiff_t>(at),
                    module.begin() + static_cast<std::ptrdiff_t>(at + nameBytes));
      at += nameBytes;
    }
    s.content = at;
    sections.push_back(s);
    at = s.end;
  }
  return sections;
}

Bytes slice(const Bytes& bytes, std::size_t from, std::size_t to) {
  return Bytes(bytes.begin() + static_cast<std::ptrdiff_t>(from),
               bytes.begin() + static_cast<std::ptrdiff_t>(to));
}

// The packed file is the module byte for byte, then one last custom section named for the assets
// whose content is the 20 directory bytes, the JPEG and the PNG; the words hold the pictures'
// file offsets, and the viewer's reader gets both back through them.
void expectPackedFrom(const Bytes& module, const std::string& packedPath, const Bytes& first,
                      const Bytes& second) {
  const Bytes packed = fileBytes(packedPath);
  ASSERT_GT(packed.size(), module.size());
  EXPECT_EQ(slice(packed, 0, module.size()), module) << "bytes of the module changed";

  const std::vector<Section> before = sectionsOf(module);
  const std::vector<Section> after = sectionsOf(packed);
  ASSERT_EQ(after.size(), before.size() + 1);
  const Section& assets = after.back();
  EXPECT_EQ(assets.id, 0);
  EXPECT_EQ(assets.name, kAssets);
  EXPECT_EQ(assets.start, module.size());
  EXPECT_EQ(assets.end, packed.size());
  // The 5-byte size puts the directory at a fixed distance from the section's start.
  ASSERT_EQ(assets.content, module.size() + kAssetHeaderBytes);
  const std::size_t firstAt = assets.content + 20;
  EXPECT_EQ(slice(packed, firstAt, packed.size()), first + second);

  const std::size_t at = assets.content;
  const DirectoryWords expected{
      static_cast<std::uint32_t>(second.size()), static_cast<std::uint32_t>(firstAt + first.size()),
      static_cast<std::uint32_t>(first.size()), static_cast<std::uint32_t>(firstAt), 4};
  EXPECT_EQ(directoryWordsAt(packed, at), expected);
  expectReaderGetsBack(packed, packedPath, at, first, second);
}

// Modules the packer must take: bare, with code and names, a section size padded to 5 bytes, a
// custom section with an empty name, and names that only look like ours.
std::vector<std::pair<std::string, Bytes>> soundModules() {
  return {
      {"header-only", kHeader},
      {"function", kHeader + kType + kFunction + kCode + kNames},
      {"padded-size", kHeader + Bytes{0x01, 0x84, 0x80, 0x80, 0x80, 0x00, 0x01, 0x60, 0x00, 0x00}},
      {"empty-custom", kHeader + kType + custom("", {})},
      {"lookalikes", kHeader + custom("zoravarova.asset", {1, 2, 3}) +
                         custom("zoravarova.assetsX", Bytes(20, 0)) +
                         custom("Zoravarova.assets", {})},
  };
}

TEST_F(WasmPacker, PackedModulesCarryTheImagesInALastCustomSection) {
  for (const auto& [name, module] : soundModules()) {
    SCOPED_TRACE(name);
    const std::string output = (root_ / "out" / (name + ".wasm")).string();
    expectPacked(place(name + ".wasm", module), first_, second_, output);
    expectPackedFrom(module, output, fileBytes(kFirst), fileBytes(kSecond));
  }
}

TEST_F(WasmPacker, PackingAPackedModuleReplacesItsSection) {
  const Bytes other = encodePng(512, 512, 4);
  const std::string otherPng = place("other.png", other);
  for (const auto& [name, module] : soundModules()) {
    SCOPED_TRACE(name);
    const std::string once = (root_ / "out" / (name + ".wasm")).string();
    const std::string again = (root_ / "out" / (name + "-again.wasm")).string();
    const std::string swapped = (root_ / "out" / (name + "-other.wasm")).string();
    expectPacked(place(name + ".wasm", module), first_, second_, once);
    expectPacked(once, first_, second_, again);
    EXPECT_EQ(fileBytes(again), fileBytes(once));
    // Pictures of another size: the section is rewritten whole, not stacked after the old one.
    expectPacked(once, first_, otherPng, swapped);
    expectPackedFrom(module, swapped, fileBytes(kFirst), other);
  }
  // A section of ours that some other writer left, of any content, is replaced as well.
  const Bytes module = kHeader + kType;
  expectPacked(place("foreign.wasm", module + custom(kAssets, {9, 9, 9})), first_, second_,
               output_);
  expectPackedFrom(module, output_, fileBytes(kFirst), fileBytes(kSecond));
}

// When the tools are installed (Debian's wabt), they must take the packed module as it is.
TEST_F(WasmPacker, PackedModulesPassAValidator) {
  const std::string validate = "/usr/bin/wasm-validate";
  const std::string objdump = "/usr/bin/wasm-objdump";
  if (!std::filesystem::exists(validate) || !std::filesystem::exists(objdump)) {
    GTEST_SKIP() << "wabt's wasm-validate and wasm-objdump are not installed";
  }
  for (const auto& [name, module] : soundModules()) {
    SCOPED_TRACE(name);
    const std::string output = (root_ / "out" / (name + ".wasm")).string();
    expectPacked(place(name + ".wasm", module), first_, second_, output);
    const PackRun valid = runPacker(validate, {output}, (root_ / "validate.txt").string());
    EXPECT_EQ(valid.exitCode, 0) << valid.errorText;
    const PackRun listed = runPacker(objdump, {"-h", output}, (root_ / "objdump.txt").string());
    EXPECT_EQ(listed.exitCode, 0) << listed.errorText;
  }
}

std::string at(std::size_t offset) {
  char text[24];
  std::snprintf(text, sizeof text, "0x%zX", offset);
  return text;
}

TEST_F(WasmPacker, ModulesThatCannotBeWalkedAreRefusedWithOneLine) {
  const Bytes typed = kHeader + kType;
  const std::string last = at(typed.size());
  const struct {
    std::string name;
    Bytes module;
    std::string reason;
  } cases[] = {
      // Another version is no format the packer knows, like any other unknown file.
      {"version-2", {0x00, 'a', 's', 'm', 0x02, 0x00, 0x00, 0x00}, "is not an ELF executable"},
      {"magic-only", {0x00, 'a', 's', 'm'}, "is not an ELF executable"},
      {"id-only", typed + Bytes{0x01},
       "is truncated: its section header at " + last + " lies past the end"},
      {"size-cut", typed + Bytes{0x01, 0x80, 0x80},
       "is truncated: its section header at " + last + " lies past the end"},
      {"size-past-end", typed + Bytes{0x01, 0x05, 0x01, 0x60},
       "is truncated: its section at " + last + " of 5 bytes runs past the end"},
      // The largest size 5 bytes hold is read as such, not refused as malformed.
      {"size-largest", typed + Bytes{0x01, 0xFF, 0xFF, 0xFF, 0xFF, 0x0F},
       "is truncated: its section at " + last + " of 4294967295 bytes runs past the end"},
      {"size-overlong", typed + Bytes{0x01, 0x80, 0x80, 0x80, 0x80, 0x80, 0x00},
       "has a section at " + last + " whose size is longer than 5 bytes"},
      {"size-past-32-bits", typed + Bytes{0x01, 0xFF, 0xFF, 0xFF, 0xFF, 0x10},
       "has a section at " + last + " whose size does not fit 32 bits"},
      {"name-past-section", typed + Bytes{0x00, 0x03, 0x05, 'a', 'b'} + kType,
       "has a custom section at " + last + " whose name runs past it"},
      {"name-length-cut", typed + Bytes{0x00, 0x01, 0x80} + kType,
       "has a custom section at " + last + " whose name runs past it"},
      {"name-length-overlong", typed + Bytes{0x00, 0x06, 0x80, 0x80, 0x80, 0x80, 0x80, 0x00},
       "has a custom section at " + last + " whose name length is longer than 5 bytes"},
      {"name-length-past-32-bits", typed + Bytes{0x00, 0x05, 0xFF, 0xFF, 0xFF, 0xFF, 0x7F},
       "has a custom section at " + last + " whose name length does not fit 32 bits"},
      // Ours must be last: what follows it would be cut off by replacing it.
      {"assets-then-type", typed + custom(kAssets, Bytes(20, 0)) + kType,
       "has a zoravarova.assets section at " + last + " that is not its last section"},
      {"assets-twice", typed + custom(kAssets, {}) + custom(kAssets, {}),
       "has a zoravarova.assets section at " + last + " that is not its last section"},
  };
  for (const auto& c : cases) {
    expectViewerRefused(place(c.name + ".wasm", c.module), c.reason);
  }
  // The pictures are checked as for any viewer.
  const std::string module = place("module.wasm", typed);
  expectRefused(module, second_, second_, output_, second_, "is not a JPEG");
  expectRefused(module, first_, first_, output_, first_, "is not a PNG");
}

// The section's size is one 32-bit LEB128 over its name (18 bytes with its length), the 20
// directory bytes and both pictures: 4294967295 - 38 = 4294967257 bytes of pictures at most.
TEST(WasmPackerLimits, BothPicturesFitOneSectionSize) {
  constexpr std::uint64_t kMost = 4294967257;
  constexpr std::uint64_t kLargest = std::numeric_limits<std::uint64_t>::max();
  struct Case {
    std::uint64_t first, second;
    bool tooLarge;
  };
  for (const Case& c :
       {Case{0, 0, false}, Case{kMost, 0, false}, Case{0, kMost, false},
        Case{kMost - 1000, 1000, false}, Case{kMost - 1000, 1001, true}, Case{kMost + 1, 0, true},
        Case{0, kMost + 1, true}, Case{kLargest, 2, true},  // must not wrap past 2^64
        Case{2, kLargest, true}}) {
    EXPECT_EQ(wasmSectionTooLarge(c.first, c.second), c.tooLarge) << c.first << " + " << c.second;
  }
}

}  // namespace
