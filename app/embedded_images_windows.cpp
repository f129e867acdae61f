// The Windows file access of the embedded-image reader: the Win32 open, seek, read and close.
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <cstring>
#include <string>

#include "app/embedded_images.h"

namespace {

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
