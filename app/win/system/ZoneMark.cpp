#include "app/ZoneMark.h"

#include <windows.h>

namespace kelvane {
namespace {

std::wstring StreamPath(const UString& path) {
  return std::wstring(reinterpret_cast<const wchar_t*>(path.c_str()), path.size()) +
         L":Zone.Identifier";
}

}  // namespace

std::optional<std::string> ReadZoneMark(const UString& path) {
  HANDLE stream = CreateFileW(StreamPath(path).c_str(), GENERIC_READ,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (stream == INVALID_HANDLE_VALUE) return std::nullopt;
  std::string content;
  LARGE_INTEGER size{};
  if (GetFileSizeEx(stream, &size) && size.QuadPart > 0 &&
      size.QuadPart <= static_cast<LONGLONG>(kMaxZoneMarkBytes)) {
    content.resize(static_cast<size_t>(size.QuadPart));
    DWORD got = 0;
    if (!ReadFile(stream, content.data(), static_cast<DWORD>(content.size()), &got, nullptr))
      got = 0;
    content.resize(got);
  }
  CloseHandle(stream);
  if (content.empty()) return std::nullopt;
  return content;
}

bool WriteZoneMark(const UString& path, const std::string& content) {
  HANDLE stream = CreateFileW(StreamPath(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
  if (stream == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  const bool ok =
      WriteFile(stream, content.data(), static_cast<DWORD>(content.size()), &written, nullptr) &&
      written == content.size();
  CloseHandle(stream);
  return ok;
}

}  // namespace kelvane
