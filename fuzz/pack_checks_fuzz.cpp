// Fuzzes the packer's checks: two 4-byte lengths, then the viewer, the first image, the second.
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "app/asset_directory.h"
#include "fuzz/fuzz_input.h"
#include "tools/pack/elf_layout.h"
#include "tools/pack/pack.h"
#include "tools/pack/pack_error.h"
#include "tools/pack/pe_layout.h"
#include "tools/pack/wasm_layout.h"

namespace {

bool startsWith(const std::string& text, const std::string& prefix) {
  return text.rfind(prefix, 0) == 0;
}

// A refusal is one line that names one of the three inputs.
void checkRefusal(const PackError& error) {
  const std::string message = error.what();
  fuzzCheck(startsWith(message, "viewer: ") || startsWith(message, "first.jpg: ") ||
                startsWith(message, "second.png: "),
            "a refusal names the file at fault");
  fuzzCheck(message.find('\n') == std::string::npos, "a refusal is one line");
}

bool sameBytes(const std::vector<std::uint8_t>& packed, std::uint32_t offset, std::uint32_t size,
               std::span<const std::uint8_t> image) {
  return size == image.size() && std::uint64_t{offset} + size <= packed.size() &&
         (image.empty() || std::memcmp(packed.data() + offset, image.data(), image.size()) == 0);
}

// What was built reads back through the viewer's own directory decode, below the seek limit.
void checkPacked(const std::vector<std::uint8_t>& packed, std::span<const std::uint8_t> first,
                 std::span<const std::uint8_t> second) {
  // A module's directory opens the content of its last section, which packing appended; a PE
  // file keeps it in its header area, an ELF file in its own section.
  std::size_t directoryOffset = 0;
  if (looksLikeWasmModule(packed)) {
    directoryOffset = wasmContentEnd(packed, "packed") + kWasmAssetHeaderBytes;
  } else if (looksLikePeExecutable(packed)) {
    directoryOffset = locatePeAssetDirectory(packed, "packed").directoryOffset;
  } else {
    directoryOffset = locateElfAssetDirectory(packed, "packed").directoryOffset;
  }
  const EmbeddedAssetDirectory directory = decodeEmbeddedAssetDirectory(
      std::span(packed).subspan(directoryOffset).first<kEmbeddedAssetDirectoryBytes>());
  fuzzCheck(sameBytes(packed, directory.texture1Offset, directory.texture1Size, first),
            "the first image reads back from where the directory says");
  fuzzCheck(sameBytes(packed, directory.texture2Offset, directory.texture2Size, second),
            "the second image reads back from where the directory says");
  fuzzCheck(directory.texture2Offset < (1u << 31), "both offsets stay below 2^31");
  fuzzCheck(std::uint64_t{directory.texture2Offset} + directory.texture2Size == packed.size(),
            "the second image ends the file");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzInput input({data, size});
  const std::uint32_t viewerSize = input.takeWord();
  const std::uint32_t firstSize = input.takeWord();
  const std::span<const std::uint8_t> viewer = input.take(viewerSize);
  const std::span<const std::uint8_t> first = input.take(firstSize);
  const std::span<const std::uint8_t> second = input.rest();

  std::vector<std::uint8_t> packed;
  try {
    packed =
        buildPackedExecutable({viewer, "viewer"}, {first, "first.jpg"}, {second, "second.png"});
  } catch (const PackError& error) {
    checkRefusal(error);
    return 0;
  }
  checkPacked(packed, first, second);
  return 0;
}
