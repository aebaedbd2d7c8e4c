#include "platform/ProgramFile.h"

#include <windows.h>

#include "platform/FileSystem.h"

namespace kelvane {

UString ProgramFilePath() {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD n = ::GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (n == 0) return {};
    if (n < path.size()) return UString(reinterpret_cast<const char16_t*>(path.data()), n);
    if (path.size() >= 32768) return {};
    path.resize(path.size() * 2);
  }
}

bool AllowRunning(const UString& path) {
  return IsFile(path);
}

}  // namespace kelvane
