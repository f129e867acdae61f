// Process entry on Windows: read the images the executable carries, then run the viewer.
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <array>
#include <string>
#include <vector>

#include "app/embedded_images.h"
#include "app/pe_header.h"
#include "app/viewer.h"

namespace {

// The first buffer the executable's path is fetched into, in the system's ANSI code page.
constexpr std::size_t kModulePathCapacity = 256;
// The longest path Windows can name at all, in characters; past it the path is given up.
constexpr std::size_t kLongestModulePath = 32768;

// One word of the mapped header area, copied out before it is decoded like every other word.
std::uint32_t mappedWord(const volatile unsigned char* at) {
  const std::array<std::uint8_t, 4> bytes = {at[0], at[1], at[2], at[3]};
  return loadLittleEndian32(bytes, 0);
}

// The 20 directory bytes of a PE image as the loader maps it: the last 20 bytes of its header
// area, found through e_lfanew and SizeOfHeaders.
const volatile unsigned char* headerAreaDirectory(const volatile unsigned char* imageBase) {
  const std::uint32_t signatureOffset = mappedWord(imageBase + kPeSignatureOffsetAt);
  const std::uint32_t sizeOfHeaders =
      mappedWord(imageBase + signatureOffset + kPeSizeOfHeadersAfterSignature);
  return imageBase + sizeOfHeaders - kEmbeddedAssetDirectoryBytes;
}

// The executable's own path, in a buffer that grows until the path fits: a path that is cut
// names another file, or none. Empty when even the longest buffer does not hold it.
std::string ownModulePath(HMODULE module) {
  std::vector<char> path(kModulePathCapacity, '\0');
  for (;;) {
    const DWORD length = GetModuleFileNameA(module, path.data(), static_cast<DWORD>(path.size()));
    if (length < path.size()) {
      return std::string(path.data(), length);
    }
    if (path.size() >= kLongestModulePath) {
      return {};
    }
    path.assign(path.size() * 2, '\0');
  }
}

}  // namespace

// Only the instance is used: it is the base of the loaded image, whose header area holds the
// directory of the images. runViewer's -1 becomes the exit status 0xFFFFFFFF.
int WINAPI WinMain(HINSTANCE instance, HINSTANCE /*previous*/, LPSTR /*commandLine*/,
                   int /*showMode*/) {
  const auto* image = reinterpret_cast<const volatile unsigned char*>(instance);
  const auto directoryBytes = copyDirectoryBytes(headerAreaDirectory(image));
  const std::string path = ownModulePath(instance);
  loadEmbeddedImages(directoryBytes, path.c_str());
  return runViewer();
}
