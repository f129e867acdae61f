// Lays the images after the viewer's last byte and points the directory words at them.
#include "tools/pack/pack.h"

#include <algorithm>
#include <array>
#include <limits>
#include <optional>

#include "app/asset_directory.h"
#include "tools/pack/elf_layout.h"
#include "tools/pack/file_io.h"
#include "tools/pack/image_checks.h"
#include "tools/pack/pack_error.h"
#include "tools/pack/pe_layout.h"
#include "tools/pack/wasm_layout.h"

namespace {

// The viewer seeks with a signed 32-bit distance, so every offset must stay below 2^31.
constexpr std::uint64_t kOffsetLimit = std::uint64_t{1} << 31;

// Where the viewer's own bytes end: the file's end, or where the images of an earlier packing
// begin, so that packing again replaces them instead of stacking new ones after them. strip and
// objcopy write a packed viewer anew up to its own content and drop its images, leaving words
// that point at or past the new end: such a viewer is packed as if it carried none. Words that
// point into the viewer's content are refused, so packing never cuts into it.
std::size_t viewerEnd(const PackInput& viewer, const ExecutableLayout& layout) {
  const EmbeddedAssetDirectory words = decodeEmbeddedAssetDirectory(
      viewer.bytes.subspan(layout.directoryOffset).first<kEmbeddedAssetDirectoryBytes>());
  const std::uint64_t secondSize = words.texture2Size;
  const std::uint64_t secondOffset = words.texture2Offset;
  const std::uint64_t firstSize = words.texture1Size;
  const std::uint64_t firstOffset = words.texture1Offset;
  if (secondSize == 0 && secondOffset == 0 && firstSize == 0 && firstOffset == 0) {
    return viewer.bytes.size();
  }
  const bool imagesDropped = layout.contentEnd == viewer.bytes.size() &&
                             firstOffset >= layout.contentEnd && secondOffset >= layout.contentEnd;
  if (imagesDropped) {
    return viewer.bytes.size();
  }
  const bool describesAppendedImages = firstOffset >= layout.contentEnd &&
                                       firstOffset + firstSize == secondOffset &&
                                       secondOffset + secondSize == viewer.bytes.size();
  if (!describesAppendedImages) {
    throw PackError(viewer.fileName,
                    "has directory words that do not describe images appended to it");
  }
  return static_cast<std::size_t>(firstOffset);
}

// Throws the refusal for `which`, naming the input at fault.
void refuseTooLarge(TooLarge which, const std::string& viewer, const std::string& first,
                    const std::string& second) {
  switch (which) {
    case TooLarge::kNothing:
      return;
    case TooLarge::kViewer:
      throw PackError(viewer, "is too large: the first image would start at or past 2^31");
    case TooLarge::kFirstImage:
      throw PackError(first, "is too large: the second image would start at or past 2^31");
    case TooLarge::kSecondImage:
      throw PackError(second, "is too large for a 32-bit size");
  }
}

void refuseWasmTooLarge(std::uint64_t firstSize, std::uint64_t secondSize,
                        const std::string& second) {
  if (wasmSectionTooLarge(firstSize, secondSize)) {
    throw PackError(second, "is too large: the section holding both images would reach 2^32 bytes");
  }
}

// A module carries the images in one custom section at its end, which replaces the one an
// earlier packing left; the words hold file offsets, as in the other layouts.
std::vector<std::uint8_t> buildPackedWasm(const PackInput& viewer, const PackInput& first,
                                          const PackInput& second) {
  const std::size_t kept = wasmContentEnd(viewer.bytes, viewer.fileName);
  checkFirstImage(first.bytes, first.fileName);
  checkSecondImage(second.bytes, second.fileName);
  const std::uint64_t firstOffset =
      std::uint64_t{kept} + kWasmAssetHeaderBytes + kEmbeddedAssetDirectoryBytes;
  refuseTooLarge(tooLargeInput(firstOffset, first.bytes.size(), second.bytes.size()),
                 viewer.fileName, first.fileName, second.fileName);
  refuseWasmTooLarge(first.bytes.size(), second.bytes.size(), second.fileName);

  const std::vector<std::uint8_t> header = wasmAssetSectionHeader(
      kEmbeddedAssetDirectoryBytes + first.bytes.size() + second.bytes.size());
  std::vector<std::uint8_t> packed;
  packed.reserve(firstOffset + first.bytes.size() + second.bytes.size());
  packed.insert(packed.end(), viewer.bytes.begin(), viewer.bytes.begin() + kept);
  packed.insert(packed.end(), header.begin(), header.end());
  std::array<std::uint8_t, kEmbeddedAssetDirectoryBytes> directory{};
  encodeEmbeddedAssetDirectory(
      {
          .texture2Size = static_cast<std::uint32_t>(second.bytes.size()),
          .texture2Offset = static_cast<std::uint32_t>(firstOffset + first.bytes.size()),
          .texture1Size = static_cast<std::uint32_t>(first.bytes.size()),
          .texture1Offset = static_cast<std::uint32_t>(firstOffset),
          .trailingWord = 4,  // nothing reads it
      },
      directory);
  packed.insert(packed.end(), directory.begin(), directory.end());
  packed.insert(packed.end(), first.bytes.begin(), first.bytes.end());
  packed.insert(packed.end(), second.bytes.begin(), second.bytes.end());
  return packed;
}

}  // namespace

TooLarge tooLargeInput(std::uint64_t firstOffset, std::uint64_t firstSize,
                       std::uint64_t secondSize) {
  if (firstOffset >= kOffsetLimit) {
    return TooLarge::kViewer;
  }
  // Subtracting keeps a first size near 2^64 from wrapping the sum below the limit.
  if (firstSize >= kOffsetLimit - firstOffset) {
    return TooLarge::kFirstImage;
  }
  if (secondSize > std::numeric_limits<std::uint32_t>::max()) {
    return TooLarge::kSecondImage;
  }
  return TooLarge::kNothing;
}

std::vector<std::uint8_t> buildPackedExecutable(const PackInput& viewer, const PackInput& first,
                                                const PackInput& second) {
  if (looksLikeWasmModule(viewer.bytes)) {
    return buildPackedWasm(viewer, first, second);
  }
  // A PE executable keeps the words in its header padding and a header checksum that the packed
  // bytes would no longer match, so it is cleared; ELF has neither.
  std::optional<std::size_t> checksumOffset;
  ExecutableLayout layout;
  if (looksLikePeExecutable(viewer.bytes)) {
    const PeLayout pe = locatePeAssetDirectory(viewer.bytes, viewer.fileName);
    layout = pe;
    checksumOffset = pe.checksumOffset;
  } else {
    layout = locateElfAssetDirectory(viewer.bytes, viewer.fileName);
  }
  checkFirstImage(first.bytes, first.fileName);
  checkSecondImage(second.bytes, second.fileName);

  const std::size_t firstOffset = viewerEnd(viewer, layout);
  refuseTooLarge(tooLargeInput(firstOffset, first.bytes.size(), second.bytes.size()),
                 viewer.fileName, first.fileName, second.fileName);
  const std::uint64_t secondOffset = std::uint64_t{firstOffset} + first.bytes.size();

  std::vector<std::uint8_t> packed;
  packed.reserve(firstOffset + first.bytes.size() + second.bytes.size());
  packed.insert(packed.end(), viewer.bytes.begin(), viewer.bytes.begin() + firstOffset);
  packed.insert(packed.end(), first.bytes.begin(), first.bytes.end());
  packed.insert(packed.end(), second.bytes.begin(), second.bytes.end());

  const EmbeddedAssetDirectory words{
      .texture2Size = static_cast<std::uint32_t>(second.bytes.size()),
      .texture2Offset = static_cast<std::uint32_t>(secondOffset),
      .texture1Size = static_cast<std::uint32_t>(first.bytes.size()),
      .texture1Offset = static_cast<std::uint32_t>(firstOffset),
      .trailingWord = 4,  // nothing reads it
  };
  encodeEmbeddedAssetDirectory(
      words,
      std::span(packed).subspan(layout.directoryOffset).first<kEmbeddedAssetDirectoryBytes>());
  if (checksumOffset) {
    storeLittleEndian32(packed, *checksumOffset, 0);
  }
  return packed;
}

void packViewerFiles(const std::string& viewerPath, const std::string& firstPath,
                     const std::string& secondPath, const std::string& outputPath) {
  // First, and before the checks below follow a symbolic link: only a regular file is replaced.
  checkOutputPath(outputPath);
  if (sameFile(viewerPath, outputPath)) {
    throw PackError(outputPath, "is the input viewer itself; write the packed viewer elsewhere");
  }
  // Renaming the packed viewer over an image would destroy that input.
  if (sameFile(firstPath, outputPath) || sameFile(secondPath, outputPath)) {
    throw PackError(outputPath, "is one of the input images; write the packed viewer elsewhere");
  }
  InputFile viewerFile(viewerPath);
  InputFile firstFile(firstPath);
  InputFile secondFile(secondPath);
  // Judged as if the viewer carried no images yet: one that already carries some counts them
  // too, so only a viewer carrying gigabytes of images could be refused here where the exact
  // check on the real offsets would pass.
  refuseTooLarge(tooLargeInput(viewerFile.size(), firstFile.size(), secondFile.size()), viewerPath,
                 firstPath, secondPath);
  const std::vector<std::uint8_t> viewer = viewerFile.readAll();
  // A module holds both images in one section with a 32-bit size: judged too before they are read.
  if (looksLikeWasmModule(viewer)) {
    refuseWasmTooLarge(firstFile.size(), secondFile.size(), secondPath);
  }
  const std::vector<std::uint8_t> first = firstFile.readAll();
  const std::vector<std::uint8_t> second = secondFile.readAll();
  const std::vector<std::uint8_t> packed =
      buildPackedExecutable({viewer, viewerPath}, {first, firstPath}, {second, secondPath});
  writeExecutableAtomically(outputPath, packed);
}
