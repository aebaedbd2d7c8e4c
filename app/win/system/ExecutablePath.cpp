#include "app/ExecutablePath.h"

#include <windows.h>

#include <string>

namespace kelvane {

// The module's path as the system loaded it; Argv0 is not needed on Windows.
UString ExecutablePath(const std::string&) {
  std::wstring buffer(MAX_PATH, L'\0');
  for (;;) {
    const DWORD n = GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (n == 0) return {};
    if (n < buffer.size()) {
      buffer.resize(n);
      return UString(reinterpret_cast<const char16_t*>(buffer.data()), buffer.size());
    }
    if (buffer.size() >= 32768) return {};  // longer than any path can be
    buffer.resize(buffer.size() * 2);
  }
}

}  // namespace kelvane
