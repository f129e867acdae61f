// The Windows half of the embedded-image reader: the directory in the loaded header area, and the
// executable's own file read through the Win32 file calls.
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <cstring>
#include <string>
#include <vector>

#include "app/embedded_images.h"

namespace {

// The first buffer the executable's path is fetched into, in the system's ANSI code page.
constexpr std::size_t kModulePathCapacity = 256;
// The longest path Windows can name at all, in characters; past it the path is given up.
constexpr std::size_t kLongestModulePath = 32768;

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

// Opens for reading, sharing reads. The ANSI call cannot take a path of MAX_PATH or more, so such
// a path goes through the wide call with the prefix that lifts that limit.
HANDLE openForReading(const char* path) {
  if (std::strlen(path) < MAX_PATH) {
    return CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                       FILE_ATTRIBUTE_NORMAL, nullptr);
  }
  const int wideLength = MultiByteToWideChar(CP_ACP, 0, path, -1, nullptr, 0);
  if (wideLength <= 0) {
    return INVALID_HANDLE_VALUE;
  }
  std::wstring wide(static_cast<std::size_t>(wideLength), L'\0');
  MultiByteToWideChar(CP_ACP, 0, path, -1, wide.data(), wideLength);
  wide.resize(static_cast<std::size_t>(wideLength - 1));
  if (wide.rfind(L"\\\\?\\", 0) != 0) {
    wide = wide.rfind(L"\\\\", 0) == 0 ? L"\\\\?\\UNC\\" + wide.substr(2) : L"\\\\?\\" + wide;
  }
  return CreateFileW(wide.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                     FILE_ATTRIBUTE_NORMAL, nullptr);
}

}  // namespace

void readFileRange(const char* path, std::uint32_t offset, std::uint32_t size,
                   std::vector<std::uint8_t>& buffer) {
  const HANDLE file = openForReading(path);
  if (file == INVALID_HANDLE_VALUE) {
    return;
  }
  // A file whose size cannot be had is taken as holding nothing.
  LARGE_INTEGER reported{};
  const std::uint64_t fileSize =
      GetFileSizeEx(file, &reported) != 0 ? static_cast<std::uint64_t>(reported.QuadPart) : 0;
  resizeZeroFilled(buffer, bytesHeldFrom(fileSize, offset, size));
  // Results are not looked at: a failed seek or a short read leaves zeros behind. The offset is
  // below 2^31 here, so it is a non-negative distance from the start.
  SetFilePointer(file, static_cast<LONG>(offset), nullptr, FILE_BEGIN);
  DWORD delivered = 0;
  ReadFile(file, buffer.data(), static_cast<DWORD>(buffer.size()), &delivered, nullptr);
  CloseHandle(file);
}

void loadEmbeddedImages(const void* moduleBase) {
  const auto* image = static_cast<const volatile unsigned char*>(moduleBase);
  const EmbeddedAssetDirectory directory = decodeEmbeddedAssetDirectory(headerAreaDirectory(image));
  // The module handle of an executable is its base address.
  const std::string path = ownModulePath(static_cast<HMODULE>(const_cast<void*>(moduleBase)));
  readEmbeddedImages(path.c_str(), directory, texture1Bytes, texture2Bytes);
}
