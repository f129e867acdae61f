// The packer on PE executables: crafted ones and, when a Windows build is at hand, the real one.
#include <gtest/gtest.h>
#include <cstdio>
#include <cstring>
#include <string>

#include "tests/little_endian.h"
#include "tests/pack_fixture.h"

namespace {

using PePacker = PackFixture;

constexpr std::uint16_t kPe32 = 0x10B;
constexpr std::uint16_t kPe32Plus = 0x20B;
constexpr std::uint32_t kSectionBytes = 0x200;

// The shape of a small PE image: a header area of `sizeOfHeaders` bytes, then sections of 0x200
// bytes each, then, when there are symbols, a COFF symbol table and the string table after it,
// every byte past the header area patterned so that any overwrite shows.
struct CraftedPe {
  std::uint32_t signatureOffset = 0x100;
  std::uint16_t sections = 3;
  std::uint32_t sizeOfHeaders = 0x400;
  std::uint16_t magic = kPe32Plus;
  std::uint16_t optionalBytes = 240;
  std::uint32_t directoryCount = 16;
  std::uint32_t symbols = 0;
  std::uint32_t stringBytesWord = 0;  // the string table's first word, its own length

  std::size_t optionalAt() const { return signatureOffset + 24; }
  std::size_t directoriesAt() const { return optionalAt() + (magic == kPe32Plus ? 112 : 96); }
  std::size_t sectionHeaderAt(std::size_t index) const {
    return optionalAt() + optionalBytes + index * 40;
  }
  std::size_t tableEnd() const { return sectionHeaderAt(sections); }
  std::size_t symbolTableAt() const { return sizeOfHeaders + sections * kSectionBytes; }
  std::size_t stringTableAt() const { return symbolTableAt() + symbols * 18u; }
  std::size_t directoryAt() const { return sizeOfHeaders - 20; }
  std::size_t checksumAt() const { return optionalAt() + 64; }

  Bytes build() const {
    const std::size_t stringBytes = symbols == 0 ? 0 : std::max<std::uint32_t>(stringBytesWord, 4);
    Bytes file(stringTableAt() + stringBytes, 0);
    file[0] = 'M';
    file[1] = 'Z';
    putLittleEndian(file, 0x3C, 4, signatureOffset);
    std::memcpy(file.data() + signatureOffset, "PE\0\0", 4);
    const std::size_t coff = signatureOffset + 4;
    putLittleEndian(file, coff, 2, magic == kPe32Plus ? 0x8664 : 0x14C);
    putLittleEndian(file, coff + 2, 2, sections);
    putLittleEndian(file, coff + 16, 2, optionalBytes);
    const std::size_t optional = optionalAt();
    putLittleEndian(file, optional, 2, magic);
    putLittleEndian(file, optional + 60, 4, sizeOfHeaders);
    putLittleEndian(file, checksumAt(), 4, 0x1234ABCD);
    putLittleEndian(file, directoriesAt() - 4, 4, directoryCount);
    for (std::uint16_t i = 0; i < sections; ++i) {
      std::memcpy(file.data() + sectionHeaderAt(i), ".sect", 5);
      putLittleEndian(file, sectionHeaderAt(i) + 16, 4, kSectionBytes);
      putLittleEndian(file, sectionHeaderAt(i) + 20, 4, sizeOfHeaders + i * kSectionBytes);
    }
    for (std::size_t at = sizeOfHeaders; at < file.size(); ++at) {
      file[at] = static_cast<std::uint8_t>(at * 13 + 7);
    }
    if (symbols != 0) {
      putLittleEndian(file, coff + 8, 4, static_cast<std::uint32_t>(symbolTableAt()));
      putLittleEndian(file, coff + 12, 4, symbols);
      putLittleEndian(file, stringTableAt(), 4, stringBytesWord);
    }
    return file;
  }
};

// The kinds of image the packer must take: PE32+ and PE32, an optional header that ends where
// its data directories begin, sections of no file data, tables after the sections.
std::vector<std::pair<std::string, CraftedPe>> soundImages() {
  CraftedPe pe32;
  pe32.magic = kPe32;
  pe32.optionalBytes = 224;
  CraftedPe bare;
  bare.optionalBytes = 112;
  CraftedPe symbols;
  symbols.symbols = 5;
  symbols.stringBytesWord = 23;
  return {{"pe32plus", CraftedPe{}}, {"pe32", pe32}, {"bare", bare}, {"symbols", symbols}};
}

TEST_F(PePacker, ACraftedImageGetsItsImagesAppendedAndItsWordsInTheHeaderPadding) {
  for (const auto& [name, shape] : soundImages()) {
    SCOPED_TRACE(name);
    const Bytes viewer = shape.build();
    const std::string output = (root_ / "out" / (name + ".exe")).string();
    expectPacked(place(name + ".exe", viewer), first_, second_, output);
    expectPackedFrom(viewer, output, shape.directoryAt(), fileBytes(kFirst), fileBytes(kSecond),
                     shape.checksumAt());
  }
  // A section that holds no file data says nothing of where it would lie.
  const CraftedPe shape;
  Bytes empty = shape.build();
  putLittleEndian(empty, shape.sectionHeaderAt(1) + 16, 4, 0);
  putLittleEndian(empty, shape.sectionHeaderAt(1) + 20, 4, 0);
  expectPacked(place("empty-section.exe", empty), first_, second_, output_);
}

TEST_F(PePacker, PackingAPackedImageReplacesItsImages) {
  for (const auto& [name, shape] : soundImages()) {
    SCOPED_TRACE(name);
    const std::string output = (root_ / "out" / (name + ".exe")).string();
    const std::string again = (root_ / "out" / (name + "-again.exe")).string();
    expectPacked(place(name + ".exe", shape.build()), first_, second_, output);
    expectPacked(output, first_, second_, again);
    EXPECT_EQ(fileBytes(again), fileBytes(output));
  }
}

TEST_F(PePacker, TheLastTwentyBytesRightAfterTheSectionTableAreRoomEnough) {
  CraftedPe tight;
  tight.signatureOffset = 0x6C;
  tight.sizeOfHeaders = 0x200;
  ASSERT_EQ(tight.tableEnd(), 0x200u - 20);
  const Bytes viewer = tight.build();
  expectPacked(place("viewer.exe", viewer), first_, second_, output_);
  expectPackedFrom(viewer, output_, tight.directoryAt(), fileBytes(kFirst), fileBytes(kSecond),
                   tight.checksumAt());
}

std::string noRoom(std::size_t tableEnd, std::size_t headerEnd) {
  char reason[160];
  std::snprintf(reason, sizeof reason,
                "has no room for the 20 directory bytes in its header area: the section table "
                "ends at 0x%zX, the header area at 0x%zX",
                tableEnd, headerEnd);
  return reason;
}

TEST_F(PePacker, AHeaderAreaWithoutRoomIsRefused) {
  CraftedPe full;
  full.signatureOffset = 0x6D;
  full.sizeOfHeaders = 0x200;
  ASSERT_EQ(full.tableEnd(), 0x200u - 19);
  expectViewerRefused(place("full.exe", full.build()), noRoom(full.tableEnd(), 0x200));
  // Smaller than the 20 bytes themselves.
  const CraftedPe shape;
  Bytes tiny = shape.build();
  putLittleEndian(tiny, shape.optionalAt() + 60, 4, 16);
  expectViewerRefused(place("tiny.exe", tiny), noRoom(shape.tableEnd(), 0x10));
}

TEST_F(PePacker, DamagedOrUnsuitableImagesAreRefusedWithOneLine) {
  const CraftedPe shape;
  const Bytes good = shape.build();
  const std::size_t coff = shape.signatureOffset + 4;
  const std::size_t optional = shape.optionalAt();
  const auto patched = [&](std::size_t at, std::uint32_t word, int bytes = 4) {
    Bytes file = good;
    putLittleEndian(file, at, bytes, word);
    return file;
  };

  expectViewerRefused(place("cut-dos.exe", Bytes(good.begin(), good.begin() + 0x30)),
                      "is truncated: its DOS header lies past the end");
  for (std::size_t i = 0; i < 4; ++i) {
    Bytes noSignature = good;
    noSignature[shape.signatureOffset + i] = 'X';
    expectViewerRefused(place("no-signature-" + std::to_string(i) + ".exe", noSignature),
                        "has no PE signature where its DOS header points");
  }
  expectViewerRefused(place("far-signature.exe", patched(0x3C, 0x7FFFFFF0)),
                      "is truncated: its PE header lies past the end");
  expectViewerRefused(place("far-optional.exe", patched(coff + 16, 0xFFFF, 2)),
                      "is truncated: its optional header lies past the end");
  expectViewerRefused(place("no-optional.exe", patched(coff + 16, 0, 2)),
                      "has no optional header, so it is not an executable image");
  expectViewerRefused(place("odd-magic.exe", patched(optional, 0x107, 2)),
                      "has an optional header of unknown kind 0x107");
  const std::string tooShort = "has an optional header too short for its kind";
  expectViewerRefused(place("short-plus.exe", patched(coff + 16, 111, 2)), tooShort);
  Bytes shortPe32 = patched(optional, kPe32, 2);
  putLittleEndian(shortPe32, coff + 16, 2, 95);
  expectViewerRefused(place("short-pe32.exe", shortPe32), tooShort);
  expectViewerRefused(place("many-sections.exe", patched(coff + 2, 0xFFFF, 2)),
                      "is truncated: its section table lies past the end");
  expectViewerRefused(
      place("far-headers.exe", patched(optional + 60, static_cast<std::uint32_t>(good.size() + 1))),
      "is truncated: its header area lies past the end");
  expectViewerRefused(place("cut.exe", Bytes(good.begin(), good.end() - 1)),
                      "is truncated: its section data lies past the end");
  expectViewerRefused(place("data-in-headers.exe", patched(shape.sectionHeaderAt(2) + 20, 0x200)),
                      "has section data inside its header area at 0x200");
}

// The certificate entry's second word is the signature's size; it lies 4 entries into the data
// directories, which begin at 112 in PE32+ and at 96 in PE32.
TEST_F(PePacker, ASignedImageIsRefusedAndOnlyThat) {
  const std::string signedReason =
      "carries a signature, which appended images would break; sign it after packing";
  CraftedPe pe32;
  pe32.magic = kPe32;
  pe32.optionalBytes = 224;
  CraftedPe holdsTheEntryExactly;
  holdsTheEntryExactly.optionalBytes = 112 + 5 * 8;
  for (const CraftedPe& shape : {CraftedPe{}, pe32, holdsTheEntryExactly}) {
    Bytes signedImage = shape.build();
    putLittleEndian(signedImage, shape.directoriesAt() + 4 * 8 + 4, 4, 0x100);
    expectViewerRefused(
        place("signed-" + std::to_string(shape.optionalBytes) + ".exe", signedImage), signedReason);
  }

  // Not signed: an entry with an address and no size; four entries, so none for certificates;
  // an optional header that ends before the entry, whose place the section table then takes.
  const CraftedPe shape;
  Bytes addressOnly = shape.build();
  putLittleEndian(addressOnly, shape.directoriesAt() + 4 * 8, 4, 0x600);
  CraftedPe fourEntries;
  fourEntries.directoryCount = 4;
  Bytes uncounted = fourEntries.build();
  putLittleEndian(uncounted, fourEntries.directoriesAt() + 4 * 8 + 4, 4, 0x100);
  CraftedPe endsBefore;
  endsBefore.optionalBytes = 112 + 4 * 8;
  const Bytes beforeTheEntry = endsBefore.build();
  ASSERT_NE(littleEndian(beforeTheEntry, endsBefore.directoriesAt() + 4 * 8 + 4, 4), 0u);
  int i = 0;
  for (const Bytes& image : {addressOnly, uncounted, beforeTheEntry}) {
    const std::string name = "unsigned-" + std::to_string(i++) + ".exe";
    expectPacked(place(name, image), first_, second_, (root_ / "out" / name).string());
  }
}

// Non-zero words in the padding must describe images appended after everything the image holds,
// sections and the symbol and string tables too, or packing again would cut into it.
TEST_F(PePacker, WordsInThePaddingMustDescribeAppendedImages) {
  const std::string reason = "has directory words that do not describe images appended to it";
  const CraftedPe shape;
  Bytes stray = shape.build();
  stray[shape.sizeOfHeaders - 12] = 0x55;
  expectViewerRefused(place("stray.exe", stray), reason);
  // Without sections the header area is all the image holds.
  CraftedPe headersOnly;
  headersOnly.sections = 0;
  const Bytes bare = headersOnly.build();
  expectViewerRefused(place("into-headers.exe", withWords(bare, headersOnly.directoryAt(),
                                                          claimsFrom(0x100, 2, bare.size()))),
                      reason);
  const Bytes plain = shape.build();
  expectViewerRefused(
      place("into-sections.exe", withWords(plain, shape.directoryAt(),
                                           claimsFrom(plain.size() - 0x100, 2, plain.size()))),
      reason);

  CraftedPe symbols;
  symbols.symbols = 5;
  symbols.stringBytesWord = 23;
  const Bytes tables = symbols.build();
  expectViewerRefused(place("into-symbols.exe",
                            withWords(tables, symbols.directoryAt(),
                                      claimsFrom(symbols.symbolTableAt() + 4, 2, tables.size()))),
                      reason);
  expectViewerRefused(place("into-strings.exe",
                            withWords(tables, symbols.directoryAt(),
                                      claimsFrom(symbols.stringTableAt() + 8, 2, tables.size()))),
                      reason);
  // A string table whose length word is 0 still holds that word.
  CraftedPe zeroLength = symbols;
  zeroLength.stringBytesWord = 0;
  const Bytes lengthOnly = zeroLength.build();
  expectViewerRefused(place("into-length.exe", withWords(lengthOnly, zeroLength.directoryAt(),
                                                         claimsFrom(zeroLength.stringTableAt() + 1,
                                                                    1, lengthOnly.size()))),
                      reason);
}

TEST_F(PePacker, SymbolAndStringTablesThatRunPastTheEndAreRefused) {
  CraftedPe shape;
  shape.symbols = 5;
  shape.stringBytesWord = 23;
  const Bytes tables = shape.build();
  const std::string symbolsPast = "is truncated: its symbol table lies past the end";
  Bytes farSymbols = tables;
  putLittleEndian(farSymbols, shape.signatureOffset + 12, 4, 0x7FFFFFF0);
  expectViewerRefused(place("far-symbols.exe", farSymbols), symbolsPast);
  // Without the string table's length word after the symbols.
  expectViewerRefused(
      place("no-strings.exe", Bytes(tables.begin(), tables.begin() + static_cast<std::ptrdiff_t>(
                                                                         shape.stringTableAt()))),
      symbolsPast);
  expectViewerRefused(place("cut-strings.exe", Bytes(tables.begin(), tables.end() - 1)),
                      "is truncated: its string table lies past the end");
}

#ifdef ZV_WINDOWS_LINKED_PROBE
// The cross-built programs as MinGW's linker lays them out: symbol and string tables after the
// sections, padding enough for the words, and a checksum the packed file clears. The viewer's
// section table is the longer by its resources.
TEST_F(PePacker, TheCrossBuiltProgramsPackAndReadBack) {
  for (const std::string program : {ZV_WINDOWS_LINKED_PROBE, ZV_WINDOWS_LINKED_VIEWER}) {
    SCOPED_TRACE(program);
    const Bytes viewer = fileBytes(program);
    const std::uint64_t directoryAt = peDirectoryAt(viewer);
    EXPECT_EQ(Bytes(viewer.begin() + static_cast<std::ptrdiff_t>(directoryAt),
                    viewer.begin() + static_cast<std::ptrdiff_t>(directoryAt + 20)),
              Bytes(20, 0));
    expectPacked(program, first_, second_, output_);
    expectPackedFrom(viewer, output_, directoryAt, fileBytes(kFirst), fileBytes(kSecond),
                     littleEndian(viewer, 0x3C, 4) + 24 + 64);
    // Its tables run to its last byte: words claiming images that begin before it are refused.
    expectViewerRefused(
        place("into-tables.exe",
              withWords(viewer, directoryAt, claimsFrom(viewer.size() - 2, 1, viewer.size()))),
        "has directory words that do not describe images appended to it");
  }
}
#endif

}  // namespace
