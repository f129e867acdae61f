// Every way the packer's inputs can be wrong: one exact line, exit code 1, and nothing written.
#include <elf.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/un.h>
#include <unistd.h>

#include <gtest/gtest.h>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "tests/little_endian.h"
#include "tests/made_png.h"
#include "tests/pack_fixture.h"

namespace {

namespace fs = std::filesystem;

using PackBadInput = PackFixture;

constexpr std::uint64_t k2To31 = std::uint64_t{1} << 31;

#if defined(__SANITIZE_ADDRESS__)
constexpr bool kAddressSanitizer = true;
#elif defined(__has_feature)
constexpr bool kAddressSanitizer = __has_feature(address_sanitizer);
#else
constexpr bool kAddressSanitizer = false;
#endif

// An address space far too small for any of the large files below, so that reading one shows as
// "out of memory"; AddressSanitizer's shadow needs more than any such limit leaves.
constexpr std::uint64_t kSmallAddressSpace = std::uint64_t{512} << 20;
const PackRunOptions kSmallMemory{.addressSpaceLimit = kAddressSanitizer ? 0 : kSmallAddressSpace};

Elf64_Ehdr elfHeader(const Bytes& elf) {
  Elf64_Ehdr header;
  std::memcpy(&header, elf.data(), sizeof header);
  return header;
}

// The linked viewer with one thing about its ELF header changed.
Bytes withHeader(Bytes bytes, const std::function<void(Elf64_Ehdr&)>& change) {
  Elf64_Ehdr header = elfHeader(bytes);
  change(header);
  std::memcpy(bytes.data(), &header, sizeof header);
  return bytes;
}

Bytes withSection(Bytes bytes, const std::string& name,
                  const std::function<void(Elf64_Shdr&)>& change) {
  const std::optional<ElfSection> section = findSection(bytes, name);
  if (!section) {
    ADD_FAILURE() << "the linked viewer has no section " << name;
    return bytes;
  }
  Elf64_Shdr header;
  std::memcpy(&header, bytes.data() + section->headerAt, sizeof header);
  change(header);
  std::memcpy(bytes.data() + section->headerAt, &header, sizeof header);
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

// The PNG with `chunk` put in just before its IEND, the last 12 bytes.
Bytes beforeEnd(const Bytes& png, const Bytes& chunk) {
  Bytes changed(png.begin(), png.end() - 12);
  changed.insert(changed.end(), chunk.begin(), chunk.end());
  changed.insert(changed.end(), png.end() - 12, png.end());
  return changed;
}

// Where the length of the PNG's first IDAT chunk starts.
std::size_t firstImageData(const Bytes& png) {
  const Bytes type = {'I', 'D', 'A', 'T'};
  return static_cast<std::size_t>(std::search(png.begin(), png.end(), type.begin(), type.end()) -
                                  png.begin()) -
         4;
}

// Makes `path` `size` bytes long by a hole, or says why that cannot be had here without
// spending the disk space.
std::string extendSparsely(const std::string& path, std::uint64_t size) {
  const std::string probe = path + ".probe";
  writeBytes(probe, {});
  std::error_code error;
  fs::resize_file(probe, 16 << 20, error);
  struct stat status {};
  const bool sparse = !error && stat(probe.c_str(), &status) == 0 && status.st_blocks < 2048;
  fs::remove(probe);
  if (!sparse) {
    return "the temporary directory's file system does not keep holes";
  }
  fs::resize_file(path, size, error);
  return error ? "cannot extend a file to " + std::to_string(size) + " bytes: " + error.message()
               : "";
}

// A socket file at `path`, or why there cannot be one.
std::string makeSocket(const std::string& path) {
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  if (path.size() >= sizeof address.sun_path) {
    return "the test folder's path is too long for a socket: " + path;
  }
  std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
  const int socketFile = socket(AF_UNIX, SOCK_STREAM, 0);
  const bool bound =
      socketFile != -1 &&
      bind(socketFile, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
  const std::string reason = "cannot bind a socket at " + path + ": " + std::strerror(errno);
  close(socketFile);
  return bound ? "" : reason;
}

TEST_F(PackBadInput, ViewerFilesThatCannotBeRead) {
  expectViewerRefused((root_ / "in" / "missing").string(),
                      "cannot be opened: No such file or directory");
  expectViewerRefused((root_ / "in").string(), "is a directory, not a regular file");
  expectViewerRefused(place("empty", {}), "is not an ELF executable");
  expectViewerRefused(place("text", {'#', '!', '/', 'b', 'i', 'n'}), "is not an ELF executable");
  expectViewerRefused(place("magic-only", {0x7F, 'E', 'L', 'F'}), "is not an ELF executable");
  expectViewerRefused(first_, "is not an ELF executable");
  expectViewerRefused(place("one-byte", {'M'}), "is not an ELF executable");
}

// Opening a FIFO for reading waits for a writer: the packer must refuse one at once. A packer that
// waits is killed at the time limit, so it fails the test instead of hanging it.
TEST_F(PackBadInput, InputsThatAreNotRegularFiles) {
  const std::string fifo = (root_ / "in" / "fifo").string();
  ASSERT_EQ(mkfifo(fifo.c_str(), 0644), 0) << std::strerror(errno);
  const PackRunOptions briefly{.timeLimit = std::chrono::seconds(20)};
  const std::string isFifo = "is a FIFO, not a regular file";
  expectRefused(fifo, first_, second_, output_, fifo, isFifo, briefly);
  expectRefused(viewer_, fifo, second_, output_, fifo, isFifo, briefly);
  expectRefused(viewer_, first_, fifo, output_, fifo, isFifo, briefly);
  // A socket cannot be opened at all; it is still named for what it is.
  const std::string socketFile = (root_ / "in" / "socket").string();
  if (const std::string why = makeSocket(socketFile); !why.empty()) {
    GTEST_SKIP() << why;
  }
  expectViewerRefused(socketFile, "is a socket, not a regular file");
}

// A sysfs file claims a size of a page and holds a few bytes.
TEST_F(PackBadInput, AViewerThatShrinksWhileBeingRead) {
  const std::string shrinking = "/sys/devices/system/cpu/online";
  struct stat status {};
  if (stat(shrinking.c_str(), &status) != 0 || !S_ISREG(status.st_mode) ||
      static_cast<std::uint64_t>(status.st_size) <= fileBytes(shrinking).size()) {
    GTEST_SKIP() << shrinking << " is missing or not larger than what it holds";
  }
  expectViewerRefused(shrinking, "shrank while being read");
}

// Run as a user whom file modes stop: uid 65534 when we are root, ourselves otherwise.
TEST_F(PackBadInput, FilesThisUserMayNotReadOrWrite) {
  const std::string locked = place("locked", fileBytes(kLinked));
  fs::permissions(locked, fs::perms::none);
  if (const std::string why = unprivilegedUnavailable(locked); !why.empty()) {
    GTEST_SKIP() << why;
  }
  const PackRunOptions unprivileged{.unprivileged = true};
  expectRefused(locked, first_, second_, output_, locked, "cannot be opened: Permission denied",
                unprivileged);
  fs::permissions(root_ / "out", fs::perms::owner_read | fs::perms::owner_exec |
                                     fs::perms::group_read | fs::perms::group_exec |
                                     fs::perms::others_read | fs::perms::others_exec);
  expectRefused(viewer_, first_, second_, output_, output_, "cannot be written: Permission denied",
                unprivileged);
}

TEST_F(PackBadInput, ViewersThatAreNotA64BitLittleEndianElf) {
  const Bytes linked = fileBytes(kLinked);
  Bytes elf32 = linked;
  elf32[EI_CLASS] = ELFCLASS32;
  expectViewerRefused(place("elf32", elf32), "is not a 64-bit ELF executable");
  Bytes bigEndian = linked;
  bigEndian[EI_DATA] = ELFDATA2MSB;
  expectViewerRefused(place("big-endian", bigEndian), "is not a little-endian ELF executable");
  const std::string oddEntries = "has ELF tables of an unexpected entry size";
  expectViewerRefused(
      place("odd-sections", withHeader(linked, [](Elf64_Ehdr& h) { h.e_shentsize = 40; })),
      oddEntries);
  expectViewerRefused(
      place("odd-programs", withHeader(linked, [](Elf64_Ehdr& h) { h.e_phentsize = 32; })),
      oddEntries);
  // Without program headers their entry size says nothing.
  expectPacked(place("no-programs", withHeader(linked,
                                               [](Elf64_Ehdr& h) {
                                                 h.e_phnum = 0;
                                                 h.e_phentsize = 32;
                                               })),
               first_, second_, output_);
}

TEST_F(PackBadInput, TruncatedViewers) {
  const Bytes linked = fileBytes(kLinked);
  expectViewerRefused(place("cut-header", Bytes(linked.begin(), linked.begin() + 40)),
                      "is truncated: its ELF header lies past the end");
  expectViewerRefused(place("cut-sections", Bytes(linked.begin(), linked.begin() + 4096)),
                      "is truncated: its section header table lies past the end");
  const std::string programsPast = "is truncated: its program header table lies past the end";
  expectViewerRefused(
      place("far-programs", withHeader(linked, [](Elf64_Ehdr& h) { h.e_phoff = 1u << 30; })),
      programsPast);
  expectViewerRefused(
      place("many-programs", withHeader(linked, [](Elf64_Ehdr& h) { h.e_phnum = 0xFFFF; })),
      programsPast);
  const std::uint64_t size = linked.size();
  expectViewerRefused(
      place("far-data", withSection(linked, ".zoravarova.assets",
                                    [size](Elf64_Shdr& s) { s.sh_offset = size - 10; })),
      "is truncated: its section data lies past the end");
  expectViewerRefused(
      place("far-names",
            withSection(linked, ".shstrtab", [size](Elf64_Shdr& s) { s.sh_offset = size - 10; })),
      "is truncated: its section name table lies past the end");
  // A section without file data may reach past the end.
  expectPacked(
      place("long-bss", withSection(linked, ".bss", [](Elf64_Shdr& s) { s.sh_size = 1u << 30; })),
      first_, second_, output_);
}

TEST_F(PackBadInput, ViewersWithoutAUsableDirectorySection) {
  Bytes linked = fileBytes(kLinked);
  // The packer itself is an ELF executable without the section.
  expectViewerRefused(place("no-section", fileBytes(kPacker)), "has no .zoravarova.assets section");
  expectViewerRefused(
      place("no-names", withHeader(linked, [](Elf64_Ehdr& h) { h.e_shstrndx = h.e_shnum; })),
      "has no section names, so no asset directory section");
  for (const std::uint64_t size : {0u, 16u, 21u}) {
    expectViewerRefused(
        place(
            "size-" + std::to_string(size),
            withSection(linked, ".zoravarova.assets", [size](Elf64_Shdr& s) { s.sh_size = size; })),
        "has a .zoravarova.assets section of " + std::to_string(size) + " bytes, expected 20");
  }
  expectViewerRefused(place("no-bits", withSection(linked, ".zoravarova.assets",
                                                   [](Elf64_Shdr& s) { s.sh_type = SHT_NOBITS; })),
                      "has a .zoravarova.assets section without file data");

  // Names that only begin like the section's, or lie outside the name table, are not its name.
  const std::uint64_t names = findSection(linked, ".shstrtab")->offset;
  const std::uint64_t nameAt = findSection(linked, ".zoravarova.assets")->nameAt;
  Bytes longer = linked;
  longer[names + nameAt + std::strlen(".zoravarova.assets")] = 'X';
  const std::string noSection = "has no .zoravarova.assets section";
  expectViewerRefused(place("longer-name", longer), noSection);
  expectViewerRefused(
      place("name-cut",
            withSection(linked, ".shstrtab", [nameAt](Elf64_Shdr& s) { s.sh_size = nameAt + 10; })),
      noSection);
  expectViewerRefused(
      place("name-outside",
            withSection(linked, ".shstrtab", [nameAt](Elf64_Shdr& s) { s.sh_size = nameAt - 1; })),
      noSection);
}

// Words that are not all zero must describe images appended after everything the viewer holds
// (its tables and section data), or packing again would cut into the viewer.
TEST_F(PackBadInput, DirectoryWordsThatDoNotDescribeAppendedImages) {
  const std::string reason = "has directory words that do not describe images appended to it";
  const Bytes linked = fileBytes(kLinked);
  const std::uint64_t at = elfDirectoryAt(linked);
  // Stray words that point into the viewer; past its end they would be those of a stripped one.
  expectViewerRefused(
      place("stray-words", withWords(linked, at, {0x1111, 0x1111, 0x1111, 0x1111, 0x1111})),
      reason);
  const auto size = static_cast<std::uint32_t>(linked.size());
  for (const auto& [name, words] : {std::pair{"one-word-0", DirectoryWords{.texture2Size = size}},
                                    {"one-word-1", DirectoryWords{.texture2Offset = size}},
                                    {"one-word-2", DirectoryWords{.texture1Size = size}},
                                    {"one-word-3", DirectoryWords{.texture1Offset = size}}}) {
    expectViewerRefused(place(name, withWords(linked, at, words)), reason);
  }

  // Words an earlier packing left, each pair made not to follow on.
  expectPacked(viewer_, first_, second_, output_);
  const Bytes packed = fileBytes(output_);
  const DirectoryWords left = directoryWordsAt(packed, at);
  DirectoryWords gap = left;
  gap.texture1Size -= 1;
  expectViewerRefused(place("gap", withWords(packed, at, gap)), reason);
  DirectoryWords shortOfTheEnd = left;
  shortOfTheEnd.texture2Size -= 1;
  expectViewerRefused(place("short-of-the-end", withWords(packed, at, shortOfTheEnd)), reason);

  // The section header table ends the linked file.
  expectViewerRefused(
      place("into-sections",
            withWords(linked, at, claimsFrom(linked.size() - 64, 10, linked.size()))),
      reason);
  // A program header table moved to the end, then section data moved there.
  const Elf64_Ehdr header = elfHeader(linked);
  Bytes programsLast = linked;
  programsLast.insert(
      programsLast.end(), linked.begin() + static_cast<std::ptrdiff_t>(header.e_phoff),
      linked.begin() +
          static_cast<std::ptrdiff_t>(header.e_phoff + header.e_phnum * sizeof(Elf64_Phdr)));
  programsLast = withHeader(programsLast, [&](Elf64_Ehdr& h) { h.e_phoff = linked.size(); });
  expectViewerRefused(
      place("into-programs",
            withWords(programsLast, at, claimsFrom(linked.size() + 8, 10, programsLast.size()))),
      reason);
  Bytes dataLast = linked;
  dataLast.resize(linked.size() + 64, 0x5A);
  dataLast = withSection(dataLast, ".comment", [&](Elf64_Shdr& s) {
    s.sh_offset = linked.size();
    s.sh_size = 64;
  });
  expectViewerRefused(
      place("into-data",
            withWords(dataLast, at, claimsFrom(linked.size() + 8, 10, dataLast.size()))),
      reason);
}

TEST_F(PackBadInput, FirstImagesThatAreNotA512BaselineRgbJpeg) {
  const Bytes first = fileBytes(kFirst);
  expectFirstRefused((root_ / "in" / "missing.jpg").string(),
                     "cannot be opened: No such file or directory");
  expectFirstRefused(place("empty.jpg", {}), "is empty");
  expectFirstRefused(second_, "is not a JPEG");
  expectFirstRefused(place("short.jpg", {0xFF, 0xD8}), "is not a JPEG");
  expectFirstRefused(place("not-ff.jpg", {0x00, 0xD8, 0xFF, 0xD9}), "is not a JPEG");
  expectFirstRefused(place("not-soi.jpg", {0xFF, 0xD9, 0xFF, 0xD9}), "is not a JPEG");
  expectFirstRefused(place("no-marker.jpg", {0xFF, 0xD8, 0x00, 0xD9}), "is not a JPEG");
  expectFirstRefused(place("frameless.jpg", {0xFF, 0xD8, 0xFF, 0xD9}),
                     "is a JPEG without a frame header");
  // Markers before the first frame: which are frames, which are skipped, which end the search.
  const std::string frameless = "is a JPEG without a frame header";
  const std::string notBaseline = "is not a baseline JPEG (progressive or another coding)";
  const struct {
    Bytes bytes;
    const std::string& reason;
  } headers[] = {
      {{0xFF, 0xD8, 0xFF, 0xC4, 0x00, 0x02, 0xFF, 0xD9, 0x00, 0x00}, frameless},  // tables
      {{0xFF, 0xD8, 0xFF, 0xC8, 0x00, 0x02, 0xFF, 0xD9, 0x00, 0x00}, frameless},
      {{0xFF, 0xD8, 0xFF, 0xCC, 0x00, 0x02, 0xFF, 0xD9, 0x00, 0x00}, frameless},
      {{0xFF, 0xD8, 0xFF, 0xBF, 0x00, 0x02, 0xFF, 0xD9, 0x00, 0x00}, frameless},
      {{0xFF, 0xD8, 0xFF, 0xD0, 0x00, 0x02, 0xFF, 0xD9, 0x00, 0x00}, frameless},
      {{0xFF, 0xD8, 0xFF, 0xC1, 0x00, 0x02, 0xFF, 0xD9, 0x00, 0x00}, notBaseline},
      {{0xFF, 0xD8, 0xFF, 0xCF, 0x00, 0x02, 0xFF, 0xD9, 0x00, 0x00}, notBaseline},
      {{0xFF, 0xD8, 0xFF, 0xFF, 0xC2, 0x00, 0x00, 0x00}, notBaseline},  // a fill byte first
      {{0xFF, 0xD8, 0xFF, 0xE0, 0x00, 0x04, 0x00, 0x00, 0x12, 0xC0, 0x00, 0x00}, frameless},
      {{0xFF, 0xD8, 0xFF, 0xDA, 0x00, 0x02, 0xFF, 0xC0, 0x00, 0x00}, frameless},  // scan first
      {{0xFF, 0xD8, 0xFF, 0xD9, 0x00, 0x02, 0xFF, 0xC0, 0x00, 0x00}, frameless},  // end first
      {{0xFF, 0xD8, 0xFF, 0xE0, 0x00, 0x02, 0xFF, 0xE1}, frameless},  // no room for a length
  };
  for (std::size_t i = 0; i < std::size(headers); ++i) {
    expectFirstRefused(place("header-" + std::to_string(i) + ".jpg", headers[i].bytes),
                       headers[i].reason);
  }
  expectFirstRefused(kInputs + "/grey.jpg", "has 1 components, expected 3");
  expectFirstRefused(kInputs + "/progressive.jpg", notBaseline);
  expectFirstRefused(place("narrow.jpg", encodeJpeg(64, 512)),
                     "is 64 by 512 pixels, expected 512 by 512");
  expectFirstRefused(place("cut.jpg", Bytes(first.begin(), first.begin() + 600)),
                     "does not decode: damaged or truncated JPEG data");
  expectFirstRefused(place("huffman.jpg", withOversizedHuffmanTable(first)),
                     "does not decode: a Huffman table is oversized or missing");
}

TEST_F(PackBadInput, SecondImagesThatAreNotA512Rgba8Png) {
  const Bytes second = fileBytes(kSecond);
  expectSecondRefused((root_ / "in" / "missing.png").string(),
                      "cannot be opened: No such file or directory");
  expectSecondRefused(place("empty.png", {}), "is empty");
  expectSecondRefused(first_, "is not a PNG");
  expectSecondRefused(place("short.png", Bytes(second.begin(), second.begin() + 4)),
                      "is not a PNG");
  Bytes headless(second.begin(), second.begin() + 40);
  std::memcpy(headless.data() + 12, "IDAT", 4);
  expectSecondRefused(place("headless.png", headless), "is a PNG without its header chunk");
  expectSecondRefused(place("cut-header.png", Bytes(second.begin(), second.begin() + 20)),
                      "is a PNG without its header chunk");
  expectSecondRefused(place("rgb.png", encodePng(512, 512, 3)),
                      "is a PNG of colour type 2, expected 6 (RGBA)");
  expectSecondRefused(kInputs + "/rgba16.png", "has 16-bit samples, expected 8-bit");
  expectSecondRefused(place("flat.png", encodePng(512, 8, 4)),
                      "is 512 by 8 pixels, expected 512 by 512");
  expectSecondRefused(place("cut.png", Bytes(second.begin(), second.end() - 200)),
                      "is damaged or truncated: its IDAT chunk runs past the end of the file");
}

// 2 GiB of zeros for a picture that needs 1 MiB: the decoder would inflate all of it, every
// time the viewer starts. Deflated they are 2 MB, written next to the other inputs.
TEST_F(PackBadInput, APngWhoseDataInflatesPastItsPictureIsRefusedUnread) {
  const std::uint64_t need = 512 * (1 + 512 * 4);
  expectSecondRefused(
      place("bomb.png", makePng(pngHeaderData(512, 512, 8, 6), zlibZeros(std::uint64_t{2} << 30))),
      "does not decode: its image data inflates past the 1049088 bytes that its 512 by 512 "
      "picture needs");
  expectSecondRefused(
      place("one-past.png", makePng(pngHeaderData(512, 512, 8, 6), zlibZeros(need + 1))),
      "does not decode: its image data inflates past the 1049088 bytes that its "
      "512 by 512 picture needs");
  // Interlaced, the same picture needs 448 more filter bytes, one for each row of its 7 passes.
  expectPacked(viewer_, first_,
               place("interlaced.png",
                     makePng(pngHeaderData(512, 512, 8, 6, true), zlibZeros(need + 448), 3)),
               output_);
}

// Each reason speaks of the PNG, says something, and shows the file's own bytes escaped, so it
// stays one line and leaves the terminal as it was.
TEST_F(PackBadInput, SecondImagesWithDamagedChunksEachGetAReasonOnOneLine) {
  const Bytes second = fileBytes(kSecond);
  const std::size_t idat = firstImageData(second);
  // Lengths of 0x7FFFFFF0 and 0xFFFFFFF0, big-endian; the decoder gave up on the second without
  // a reason, leaving the one from the JPEG before it.
  for (const std::uint32_t length : {0xF0FFFF7Fu, 0xF0FFFFFFu}) {
    Bytes longData = second;
    putLittleEndian(longData, idat, 4, length);
    expectSecondRefused(place("long-idat.png", longData),
                        "is damaged or truncated: its IDAT chunk runs past the end of the file");
  }
  Bytes cutHeader(second.begin(), second.end() - 12);
  cutHeader.insert(cutHeader.end(), {0x00, 0x00, 0x00, 0x00, 'I'});
  expectSecondRefused(place("cut-header.png", cutHeader),
                      "is damaged or truncated: a chunk header runs past the end of the file");
  expectSecondRefused(place("endless.png", Bytes(second.begin(), second.end() - 12)),
                      "does not decode: it ends without an IEND chunk");

  const struct {
    std::string type;
    std::string shown;
  } unknown[] = {
      {std::string("\0abc", 4), "\\x00abc"},
      {std::string("I\0AB", 4), "I\\x00AB"},  // named "I" by the decoder
      {"\x1b[2J", "\\x1b[2J"},                // would clear the screen
      {"\t\t\b\n", "\\x09\\x09\\x08\\x0a"},   // would split the line
      {"\\ABC", "\\x5cABC"},                  // the backslash itself, so an escape cannot be faked
      {"\xC3\xA9TE", "\\xc3\\xa9TE"},
  };
  for (std::size_t i = 0; i < std::size(unknown); ++i) {
    expectSecondRefused(
        place("unknown-" + std::to_string(i) + ".png",
              beforeEnd(second, pngChunk(unknown[i].type, {1, 2, 3}))),
        "does not decode: it has a critical chunk of unknown type \"" + unknown[i].shown + "\"");
  }

  Bytes interlace = second;
  interlace[28] = 2;  // IHDR: 8 signature bytes, length, type, sides, depth, colour, methods
  expectSecondRefused(
      place("interlace.png", interlace),
      "does not decode: its IHDR chunk names an unknown compression, filter or interlace method");
  Bytes dictionary = second;
  dictionary[idat + 9] ^= 0x20;  // the zlib header: its flags damaged
  expectSecondRefused(place("dictionary.png", dictionary),
                      "does not decode: its image data does not inflate (bad zlib header)");
}

// Judged from the files' sizes before a byte of them is read, so these files are holes past
// the front: sparse, they cost neither disk nor memory, and the tool never has room to read them.
TEST_F(PackBadInput, InputsTooLargeForThe32BitWords) {
  const std::uint64_t firstSize = fs::file_size(kFirst);
  const std::string huge = place("huge", fileBytes(kLinked));
  const std::string large = place("large", fileBytes(kLinked));
  const std::string second = place("huge.png", fileBytes(kSecond));
  for (const auto& [path, size] : {std::pair{huge, k2To31}, std::pair{large, k2To31 - firstSize},
                                   std::pair{second, std::uint64_t{1} << 32}}) {
    if (const std::string why = extendSparsely(path, size); !why.empty()) {
      GTEST_SKIP() << why;
    }
  }
  expectRefused(huge, first_, second_, output_, huge,
                "is too large: the first image would start at or past 2^31", kSmallMemory);
  expectRefused(large, first_, second_, output_, first_,
                "is too large: the second image would start at or past 2^31", kSmallMemory);
  expectRefused(viewer_, first_, second, output_, second, "is too large for a 32-bit size",
                kSmallMemory);
  // A module holds both in one section whose size is 32 bits, which they fill together even when
  // each one fits on its own.
  const std::string module = place("module.wasm", {0x00, 'a', 's', 'm', 0x01, 0x00, 0x00, 0x00});
  const std::string half = place("half.jpg", fileBytes(kFirst));
  const std::string rest = place("rest.png", fileBytes(kSecond));
  for (const auto& [path, size] : {std::pair{half, k2To31 - 64}, std::pair{rest, k2To31 + 64}}) {
    if (const std::string why = extendSparsely(path, size); !why.empty()) {
      GTEST_SKIP() << why;
    }
  }
  expectRefused(module, half, rest, output_, rest,
                "is too large: the section holding both images would reach 2^32 bytes",
                kSmallMemory);
}

// A viewer of 1 GiB, a hole, read under an address space too small to hold it.
TEST_F(PackBadInput, AViewerThatDoesNotFitInMemory) {
  if (kAddressSanitizer) {
    GTEST_SKIP() << "AddressSanitizer needs more address space than the limit leaves";
  }
  const std::string large = place("large", fileBytes(kLinked));
  if (const std::string why = extendSparsely(large, std::uint64_t{1} << 30); !why.empty()) {
    GTEST_SKIP() << why;
  }
  const PackRun result = run({large, first_, second_, output_}, kSmallMemory);
  EXPECT_EQ(result.exitCode, 1);
  EXPECT_EQ(result.errorText, "zoravarova-pack: out of memory\n");
  EXPECT_TRUE(outputDirectory().empty());
}

TEST_F(PackBadInput, OutputsThatCannotOrMustNotBeWritten) {
  const std::string nowhere = (root_ / "out" / "no-such-dir" / "packed").string();
  expectRefused(viewer_, first_, second_, nowhere, nowhere,
                "cannot be written: No such file or directory");
  // A write that fails part way, one byte short of the packed viewer whatever the build made of
  // it, with SIGXFSZ at its default action: one line, and the temporary must go again.
  const std::uint64_t packedSize =
      fs::file_size(viewer_) + fs::file_size(first_) + fs::file_size(second_);
  expectRefused(viewer_, first_, second_, output_, output_, "cannot be written: File too large",
                {.fileSizeLimit = packedSize - 1});

  // Names that cannot be a file's, given relative to the output's folder.
  const std::string nameIt = "; name the file to write";
  const std::string isDirectory = "is a directory, not a regular file" + nameIt;
  const PackRunOptions inOut{.workingDirectory = (root_ / "out").string()};
  fs::create_directory(root_ / "out" / "a-directory");
  expectRefused(viewer_, first_, second_, "a-directory", "a-directory", isDirectory, inOut);
  expectRefused(viewer_, first_, second_, "a-directory/", "a-directory/", isDirectory, inOut);
  expectRefused(viewer_, first_, second_, ".", ".", isDirectory, inOut);
  expectRefused(viewer_, first_, second_, "", "''", "is empty" + nameIt, inOut);
  expectRefused(viewer_, first_, second_, "missing/", "missing/", "ends in '/'" + nameIt, inOut);

  const std::string self = "is the input viewer itself; write the packed viewer elsewhere";
  const Bytes viewerBefore = fileBytes(viewer_);
  expectRefused(viewer_, first_, second_, viewer_, viewer_, self);
  const std::string hardLink = (root_ / "out" / "hard-link").string();
  fs::create_hard_link(viewer_, hardLink);
  expectRefused(viewer_, first_, second_, hardLink, hardLink, self);
  EXPECT_EQ(fileBytes(viewer_), viewerBefore);

  // Renaming over an image would destroy it.
  const std::string image = "is one of the input images; write the packed viewer elsewhere";
  expectRefused(viewer_, first_, second_, first_, first_, image);
  expectRefused(viewer_, first_, second_, second_, second_, image);
  EXPECT_EQ(fileBytes(first_), fileBytes(kFirst));
  EXPECT_EQ(fileBytes(second_), fileBytes(kSecond));
}

// Renaming over any of these would destroy it; a symbolic link is never followed either, so one
// to the viewer is refused as a link, and the link and its target stay as they were.
TEST_F(PackBadInput, OutputsThatAreNotRegularFiles) {
  const fs::path out = root_ / "out";
  const std::string notAFile = ", not a regular file; name the file to write";
  writeBytes((out / "target").string(), {'o', 'l', 'd'});
  fs::create_symlink("target", out / "link");
  fs::create_symlink("nowhere", out / "dangling");
  fs::create_symlink(viewer_, out / "to-the-viewer");
  for (const char* link : {"link", "dangling", "to-the-viewer"}) {
    const std::string path = (out / link).string();
    expectRefused(viewer_, first_, second_, path, path, "is a symbolic link" + notAFile);
  }
  EXPECT_EQ(fileBytes(viewer_), fileBytes(kLinked));
  const std::string fifo = (out / "fifo").string();
  ASSERT_EQ(mkfifo(fifo.c_str(), 0644), 0) << std::strerror(errno);
  expectRefused(viewer_, first_, second_, fifo, fifo, "is a FIFO" + notAFile);

  const std::string socketFile = (out / "socket").string();
  std::string skipped = makeSocket(socketFile);
  if (skipped.empty()) {
    expectRefused(viewer_, first_, second_, socketFile, socketFile, "is a socket" + notAFile);
  }
  // The numbers of the null device, made here: the real one is never put at risk.
  const std::string device = (out / "device").string();
  struct stat status {};
  if (mknod(device.c_str(), S_IFCHR | 0600, makedev(1, 3)) != 0) {
    skipped += "; cannot make a character device here (needs root outside a user namespace): " +
               std::string(std::strerror(errno));
  } else if (lstat(device.c_str(), &status) != 0 || !S_ISCHR(status.st_mode)) {
    skipped += "; mknod made no character device at " + device;
  } else {
    expectRefused(viewer_, first_, second_, device, device, "is a character device" + notAFile);
  }
  if (!skipped.empty()) {
    GTEST_SKIP() << skipped.substr(skipped.starts_with("; ") ? 2 : 0);
  }
}

// The temporary's name is short and its own, so any name the folder allows is written.
TEST_F(PackBadInput, AnOutputNameOfTheLongestLengthIsNotRefused) {
  constexpr long kLongest = 255;
  if (pathconf((root_ / "out").c_str(), _PC_NAME_MAX) < kLongest) {
    GTEST_SKIP() << "the test folder's file system takes names shorter than " << kLongest;
  }
  const std::string name(kLongest, 'n');
  expectPacked(viewer_, first_, second_, (root_ / "out" / name).string());
  const auto written = outputDirectory();
  ASSERT_EQ(written.size(), 1u);
  EXPECT_EQ(written.begin()->first, name);
}

// A packer ended by a signal while it writes, or just after its temporary got a name, leaves the
// output's folder as it was: the earlier output unchanged, no temporary. To land the signal at
// exactly that point without timing anything, the tool runs traced and is held on entering that
// system call; the signal is sent while it is held, and then it is let go. It runs once as it
// would here, writing an unnamed file where the file system has them, and once with unnamed
// files refused, so that the temporary has a name throughout and only the signal handlers save
// the folder. SIGKILL cannot be handled: where the folder's file system has unnamed files, the
// temporary must have no name while it is written, and SIGKILL then leaves nothing either.
TEST_F(PackBadInput, AKilledPackerLeavesNothingBehind) {
  writeBytes(output_, {'o', 'l', 'd'});
  const auto before = outputDirectory();
  const auto interrupted = [&](bool unnamedFiles, StopAt at, int signal) {
    return run({viewer_, first_, second_, output_}, {.withoutUnnamedFiles = !unnamedFiles,
                                                     .stopAt = at,
                                                     .stopSignal = signal,
                                                     .watchedFolder = (root_ / "out").string()});
  };
  for (const bool unnamedFiles : {true, false}) {
    for (const StopAt at : {StopAt::kWriting, StopAt::kFirstNamed}) {
      for (const int signal : {SIGTERM, SIGINT, SIGHUP}) {
        SCOPED_TRACE(std::string(unnamedFiles ? "" : "without unnamed files, ") +
                     (at == StopAt::kWriting ? "writing, " : "named, ") + strsignal(signal));
        const PackRun result = interrupted(unnamedFiles, at, signal);
        if (!result.unavailable.empty()) {
          GTEST_SKIP() << result.unavailable;
        }
        ASSERT_TRUE(result.stopped) << result.errorText;
        if (!unnamedFiles) {
          EXPECT_GT(result.namesAtStop.size(), before.size()) << "the temporary had no name";
        }
        EXPECT_EQ(result.signal, signal);
        EXPECT_EQ(outputDirectory(), before);
      }
    }
  }
  const int unnamed = open((root_ / "out").c_str(), O_TMPFILE | O_WRONLY, 0600);
  if (unnamed == -1) {
    GTEST_SKIP() << "the test folder's file system has no unnamed files (" << std::strerror(errno)
                 << "), so nothing removes a temporary after SIGKILL";
  }
  close(unnamed);
  const PackRun killed = interrupted(true, StopAt::kWriting, SIGKILL);
  ASSERT_TRUE(killed.stopped) << killed.errorText;
  EXPECT_EQ(killed.namesAtStop.size(), before.size()) << "the temporary had a name";
  EXPECT_EQ(killed.signal, SIGKILL);
  EXPECT_EQ(outputDirectory(), before);
}

TEST_F(PackBadInput, AnEarlierOutputSurvivesARefusal) {
  writeBytes(output_, {'o', 'l', 'd'});
  expectFirstRefused(second_, "is not a JPEG");
  EXPECT_EQ(fileBytes(output_), (Bytes{'o', 'l', 'd'}));
}

TEST_F(PackBadInput, AWrongNumberOfArgumentsPrintsTheUsage) {
  const PackRun result = run({viewer_, first_, second_});
  EXPECT_EQ(result.exitCode, 2);
  EXPECT_EQ(result.errorText, "usage: zoravarova-pack VIEWER FIRST.jpg SECOND.png OUTPUT\n");
  EXPECT_TRUE(outputDirectory().empty());
}

}  // namespace
