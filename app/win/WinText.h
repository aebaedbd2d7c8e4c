// UTF-16 texts of the program as the wide Win32 calls take them: on Windows
// wchar_t and char16_t are both 16 bits wide.
#pragma once

#include <windows.h>

#include <string>

#include "platform/Types.h"

namespace kelvane {

inline const wchar_t* Wide(const UString& text) {
  return reinterpret_cast<const wchar_t*>(text.c_str());
}

inline UString FromWide(const wchar_t* text) {
  return text ? UString(reinterpret_cast<const char16_t*>(text)) : UString();
}

// The text of a window (an edit box, a caption).
inline UString WindowText(HWND window) {
  const int length = GetWindowTextLengthW(window);
  std::wstring text(static_cast<size_t>(length) + 1, L'\0');
  const int got = GetWindowTextW(window, text.data(), length + 1);
  text.resize(static_cast<size_t>(got > 0 ? got : 0));
  return FromWide(text.c_str());
}

}  // namespace kelvane
