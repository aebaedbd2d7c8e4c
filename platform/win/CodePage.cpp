// The system's own ANSI and OEM code pages (GetACP / GetOEMCP), converted by
// the system, best fit included, as every Windows program converts them.
#include "platform/CodePage.h"

#include <array>

#include "platform/win/WinPath.h"

namespace kelvane {
namespace {

using TByteMap = std::array<uint8_t, 256>;

UString ToUnicode(UINT page, std::string_view s) {
  if (s.empty()) return {};
  const int n = MultiByteToWideChar(page, 0, s.data(), static_cast<int>(s.size()), nullptr, 0);
  if (n <= 0) return UString(s.size(), u'?');
  std::wstring out(static_cast<size_t>(n), L'\0');
  MultiByteToWideChar(page, 0, s.data(), static_cast<int>(s.size()), out.data(), n);
  return FromWide(out);
}

// Wide -> Page. With Exact, no best fit: a character without a form of its
// own becomes the default character, and *UsedDefault says so.
std::string FromUnicode(UINT page, UStringView s, bool exact, bool* usedDefault) {
  if (usedDefault) *usedDefault = false;
  if (s.empty()) return {};
  const std::wstring wide = Wide(s);
  // UTF-8 and a few other pages take neither flags nor a default character.
  const bool plain = page == CP_UTF8 || page == CP_UTF7;
  const DWORD flags = !plain && exact ? WC_NO_BEST_FIT_CHARS : 0;
  const char defaultChar = AnsiDefaultChar;
  BOOL defaulted = FALSE;
  const int n =
      WideCharToMultiByte(page, flags, wide.data(), static_cast<int>(wide.size()), nullptr, 0,
                          plain ? nullptr : &defaultChar, plain ? nullptr : &defaulted);
  if (n <= 0) {
    if (usedDefault) *usedDefault = true;
    return std::string(s.size(), AnsiDefaultChar);
  }
  std::string out(static_cast<size_t>(n), '\0');
  defaulted = FALSE;
  WideCharToMultiByte(page, flags, wide.data(), static_cast<int>(wide.size()), out.data(), n,
                      plain ? nullptr : &defaultChar, plain ? nullptr : &defaulted);
  if (usedDefault) *usedDefault = defaulted != FALSE;
  return out;
}

// Byte of From -> byte of To, best fit allowed; a character that takes more
// than one byte in To (or none) becomes the default character.
TByteMap BuildMap(UINT from, UINT to) {
  TByteMap map{};
  for (int b = 0; b < 256; ++b) {
    map[b] = static_cast<uint8_t>(b);
    if (b < 0x80) continue;
    const char in = static_cast<char>(b);
    const UString wide = ToUnicode(from, std::string_view(&in, 1));
    const std::string out = FromUnicode(to, wide, false, nullptr);
    map[b] = out.size() == 1 ? static_cast<uint8_t>(out[0]) : uint8_t(AnsiDefaultChar);
  }
  return map;
}

const TByteMap& AnsiToOemMap() {
  static const TByteMap map = BuildMap(CP_ACP, CP_OEMCP);
  return map;
}

const TByteMap& OemToAnsiMap() {
  static const TByteMap map = BuildMap(CP_OEMCP, CP_ACP);
  return map;
}

void MapInPlace(const TByteMap& map, char* data, size_t size) {
  for (size_t i = 0; i < size && data[i] != 0; ++i)
    data[i] = static_cast<char>(map[static_cast<uint8_t>(data[i])]);
}

}  // namespace

AnsiString UnicodeToAnsi(UStringView s, bool* usedDefault) {
  // A surrogate pair is one character: one default character when the page
  // lacks it (a single-byte page would give one per half).
  UString text(s);
  if (GetACP() != CP_UTF8) {
    size_t out = 0;
    for (size_t i = 0; i < text.size(); ++i, ++out) {
      const bool pair = text[i] >= 0xD800 && text[i] <= 0xDBFF && i + 1 < text.size() &&
                        text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF;
      CPINFO info{};
      if (pair && GetCPInfo(CP_ACP, &info) && info.MaxCharSize == 1) {
        text[out] = 0xFFFF;  // a noncharacter: no page has a form for it
        ++i;
      } else {
        text[out] = text[i];
      }
    }
    text.resize(out);
  }
  return FromUnicode(CP_ACP, text, true, usedDefault);
}

UString AnsiToUnicode(std::string_view s) {
  return ToUnicode(CP_ACP, s);
}

char16_t AnsiCharToUnicode(uint8_t b) {
  const char in = static_cast<char>(b);
  const UString wide = ToUnicode(CP_ACP, std::string_view(&in, 1));
  return wide.size() == 1 ? wide[0] : u'?';
}

UString OemToUnicode(std::string_view s) {
  return ToUnicode(CP_OEMCP, s);
}

void AnsiToOemInPlace(char* data, size_t size) {
  MapInPlace(AnsiToOemMap(), data, size);
}

void OemToAnsiInPlace(char* data, size_t size) {
  MapInPlace(OemToAnsiMap(), data, size);
}

void AnsiToOemInPlace(AnsiString& s) {
  AnsiToOemInPlace(s.data(), s.size());
}

void OemToAnsiInPlace(AnsiString& s) {
  OemToAnsiInPlace(s.data(), s.size());
}

uint8_t AnsiToOemChar(uint8_t b) {
  return AnsiToOemMap()[b];
}

uint8_t OemToAnsiChar(uint8_t b) {
  return OemToAnsiMap()[b];
}

bool AnsiCharHasOemForm(uint8_t b) {
  if (b < 0x80) return true;
  const char in = static_cast<char>(b);
  bool defaulted = false;
  const std::string out =
      FromUnicode(CP_OEMCP, ToUnicode(CP_ACP, std::string_view(&in, 1)), true, &defaulted);
  return !defaulted && out.size() == 1;
}

}  // namespace kelvane
