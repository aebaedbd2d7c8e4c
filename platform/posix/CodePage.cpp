#include "platform/CodePage.h"

#include <array>

namespace kelvane {
namespace {

using TUpperHalf = std::array<char16_t, 128>;
using TByteMap = std::array<uint8_t, 256>;

// Windows-1252, bytes 0x80-0xFF. The undefined bytes stand for the C1 control of the
// same value, as the platform's conversion gives them.
constexpr TUpperHalf kAnsiUpper = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,  // 80
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,  // 88
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,  // 90
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,  // 98
    0x00A0, 0x00A1, 0x00A2, 0x00A3, 0x00A4, 0x00A5, 0x00A6, 0x00A7,  // A0
    0x00A8, 0x00A9, 0x00AA, 0x00AB, 0x00AC, 0x00AD, 0x00AE, 0x00AF,  // A8
    0x00B0, 0x00B1, 0x00B2, 0x00B3, 0x00B4, 0x00B5, 0x00B6, 0x00B7,  // B0
    0x00B8, 0x00B9, 0x00BA, 0x00BB, 0x00BC, 0x00BD, 0x00BE, 0x00BF,  // B8
    0x00C0, 0x00C1, 0x00C2, 0x00C3, 0x00C4, 0x00C5, 0x00C6, 0x00C7,  // C0
    0x00C8, 0x00C9, 0x00CA, 0x00CB, 0x00CC, 0x00CD, 0x00CE, 0x00CF,  // C8
    0x00D0, 0x00D1, 0x00D2, 0x00D3, 0x00D4, 0x00D5, 0x00D6, 0x00D7,  // D0
    0x00D8, 0x00D9, 0x00DA, 0x00DB, 0x00DC, 0x00DD, 0x00DE, 0x00DF,  // D8
    0x00E0, 0x00E1, 0x00E2, 0x00E3, 0x00E4, 0x00E5, 0x00E6, 0x00E7,  // E0
    0x00E8, 0x00E9, 0x00EA, 0x00EB, 0x00EC, 0x00ED, 0x00EE, 0x00EF,  // E8
    0x00F0, 0x00F1, 0x00F2, 0x00F3, 0x00F4, 0x00F5, 0x00F6, 0x00F7,  // F0
    0x00F8, 0x00F9, 0x00FA, 0x00FB, 0x00FC, 0x00FD, 0x00FE, 0x00FF,  // F8
};

// Code page 850, bytes 0x80-0xFF.
constexpr TUpperHalf kOemUpper = {
    0x00C7, 0x00FC, 0x00E9, 0x00E2, 0x00E4, 0x00E0, 0x00E5, 0x00E7,  // 80
    0x00EA, 0x00EB, 0x00E8, 0x00EF, 0x00EE, 0x00EC, 0x00C4, 0x00C5,  // 88
    0x00C9, 0x00E6, 0x00C6, 0x00F4, 0x00F6, 0x00F2, 0x00FB, 0x00F9,  // 90
    0x00FF, 0x00D6, 0x00DC, 0x00F8, 0x00A3, 0x00D8, 0x00D7, 0x0192,  // 98
    0x00E1, 0x00ED, 0x00F3, 0x00FA, 0x00F1, 0x00D1, 0x00AA, 0x00BA,  // A0
    0x00BF, 0x00AE, 0x00AC, 0x00BD, 0x00BC, 0x00A1, 0x00AB, 0x00BB,  // A8
    0x2591, 0x2592, 0x2593, 0x2502, 0x2524, 0x00C1, 0x00C2, 0x00C0,  // B0
    0x00A9, 0x2563, 0x2551, 0x2557, 0x255D, 0x00A2, 0x00A5, 0x2510,  // B8
    0x2514, 0x2534, 0x252C, 0x251C, 0x2500, 0x253C, 0x00E3, 0x00C3,  // C0
    0x255A, 0x2554, 0x2569, 0x2566, 0x2560, 0x2550, 0x256C, 0x00A4,  // C8
    0x00F0, 0x00D0, 0x00CA, 0x00CB, 0x00C8, 0x0131, 0x00CD, 0x00CE,  // D0
    0x00CF, 0x2518, 0x250C, 0x2588, 0x2584, 0x00A6, 0x00CC, 0x2580,  // D8
    0x00D3, 0x00DF, 0x00D4, 0x00D2, 0x00F5, 0x00D5, 0x00B5, 0x00FE,  // E0
    0x00DE, 0x00DA, 0x00DB, 0x00D9, 0x00FD, 0x00DD, 0x00AF, 0x00B4,  // E8
    0x00AD, 0x00B1, 0x2017, 0x00BE, 0x00B6, 0x00A7, 0x00F7, 0x00B8,  // F0
    0x00B0, 0x00A8, 0x00B7, 0x00B9, 0x00B3, 0x00B2, 0x25A0, 0x00A0,  // F8
};

struct TBestFit {
  uint8_t From;
  uint8_t To;
};

// ANSI bytes whose character is not in the OEM page (see the header for the reasons).
constexpr TBestFit kAnsiToOemBestFit[] = {
    {0x80, 'E'}, {0x81, '?'}, {0x82, ','},  {0x84, '"'},  {0x85, '.'}, {0x86, '+'}, {0x87, '+'},
    {0x88, '^'}, {0x89, '%'}, {0x8A, 'S'},  {0x8B, '<'},  {0x8C, 'O'}, {0x8D, '?'}, {0x8E, 'Z'},
    {0x8F, '?'}, {0x90, '?'}, {0x91, '\''}, {0x92, '\''}, {0x93, '"'}, {0x94, '"'}, {0x95, 0xFA},
    {0x96, '-'}, {0x97, '-'}, {0x98, '~'},  {0x99, 'T'},  {0x9A, 's'}, {0x9B, '>'}, {0x9C, 'o'},
    {0x9D, '?'}, {0x9E, 'z'}, {0x9F, 'Y'},
};

// OEM bytes whose character is not in the ANSI page: box drawing by its shape.
constexpr TBestFit kOemToAnsiBestFit[] = {
    {0xB0, '?'}, {0xB1, '?'}, {0xB2, '?'}, {0xB3, '|'}, {0xB4, '+'}, {0xB9, '+'}, {0xBA, '|'},
    {0xBB, '+'}, {0xBC, '+'}, {0xBF, '+'}, {0xC0, '+'}, {0xC1, '+'}, {0xC2, '+'}, {0xC3, '+'},
    {0xC4, '-'}, {0xC5, '+'}, {0xC8, '+'}, {0xC9, '+'}, {0xCA, '+'}, {0xCB, '+'}, {0xCC, '+'},
    {0xCD, '='}, {0xCE, '+'}, {0xD5, 'i'}, {0xD9, '+'}, {0xDA, '+'}, {0xDB, '?'}, {0xDC, '?'},
    {0xDF, '?'}, {0xF2, '_'}, {0xFE, '?'},
};

// Byte of `to` that holds `c`, or -1. Only the upper halves differ from ASCII.
constexpr int FindUpper(const TUpperHalf& to, char16_t c) {
  for (int i = 0; i < 128; ++i)
    if (to[i] == c) return 0x80 + i;
  return -1;
}

template <size_t N>
constexpr TByteMap BuildMap(const TUpperHalf& from, const TUpperHalf& to,
                            const TBestFit (&bestFit)[N]) {
  TByteMap map{};
  for (int b = 0; b < 256; ++b)
    map[b] = static_cast<uint8_t>(b);
  for (int i = 0; i < 128; ++i) {
    const int exact = FindUpper(to, from[i]);
    map[0x80 + i] = exact >= 0 ? static_cast<uint8_t>(exact) : 0;
  }
  for (const TBestFit& f : bestFit)
    map[f.From] = f.To;
  return map;
}

template <size_t N>
constexpr bool BestFitCoversExactlyTheGaps(const TUpperHalf& from, const TUpperHalf& to,
                                           const TBestFit (&bestFit)[N]) {
  size_t gaps = 0;
  for (int i = 0; i < 128; ++i) {
    if (FindUpper(to, from[i]) >= 0) continue;
    ++gaps;
    bool listed = false;
    for (const TBestFit& f : bestFit)
      listed = listed || f.From == 0x80 + i;
    if (!listed) return false;
  }
  return gaps == N;
}

static_assert(BestFitCoversExactlyTheGaps(kAnsiUpper, kOemUpper, kAnsiToOemBestFit));
static_assert(BestFitCoversExactlyTheGaps(kOemUpper, kAnsiUpper, kOemToAnsiBestFit));

constexpr TByteMap kAnsiToOem = BuildMap(kAnsiUpper, kOemUpper, kAnsiToOemBestFit);
constexpr TByteMap kOemToAnsi = BuildMap(kOemUpper, kAnsiUpper, kOemToAnsiBestFit);

char16_t Decode(const TUpperHalf& upper, uint8_t b) {
  return b < 0x80 ? b : upper[b - 0x80];
}

// -1 when the character has no ANSI form.
int EncodeAnsi(char16_t c) {
  if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) return c;
  for (int i = 0; i < 0x20; ++i)
    if (kAnsiUpper[i] == c) return 0x80 + i;
  return -1;
}

void MapInPlace(const TByteMap& map, char* data, size_t size) {
  for (size_t i = 0; i < size && data[i] != 0; ++i)
    data[i] = static_cast<char>(map[static_cast<uint8_t>(data[i])]);
}

}  // namespace

AnsiString UnicodeToAnsi(UStringView s, bool* usedDefault) {
  AnsiString out;
  out.reserve(s.size());
  bool defaulted = false;
  for (size_t i = 0; i < s.size(); ++i) {
    const char16_t c = s[i];
    const int b = EncodeAnsi(c);
    if (b >= 0) {
      out += static_cast<char>(b);
      continue;
    }
    defaulted = true;
    out += AnsiDefaultChar;
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < s.size() && s[i + 1] >= 0xDC00 && s[i + 1] <= 0xDFFF)
      ++i;
  }
  if (usedDefault) *usedDefault = defaulted;
  return out;
}

char16_t AnsiCharToUnicode(uint8_t b) {
  return Decode(kAnsiUpper, b);
}

UString AnsiToUnicode(std::string_view s) {
  UString out;
  out.reserve(s.size());
  for (const char c : s)
    out += Decode(kAnsiUpper, static_cast<uint8_t>(c));
  return out;
}

UString OemToUnicode(std::string_view s) {
  UString out;
  out.reserve(s.size());
  for (const char c : s)
    out += Decode(kOemUpper, static_cast<uint8_t>(c));
  return out;
}

void AnsiToOemInPlace(char* data, size_t size) {
  MapInPlace(kAnsiToOem, data, size);
}

void OemToAnsiInPlace(char* data, size_t size) {
  MapInPlace(kOemToAnsi, data, size);
}

void AnsiToOemInPlace(AnsiString& s) {
  AnsiToOemInPlace(s.data(), s.size());
}

void OemToAnsiInPlace(AnsiString& s) {
  OemToAnsiInPlace(s.data(), s.size());
}

uint8_t AnsiToOemChar(uint8_t b) {
  return kAnsiToOem[b];
}

uint8_t OemToAnsiChar(uint8_t b) {
  return kOemToAnsi[b];
}

bool AnsiCharHasOemForm(uint8_t b) {
  return b < 0x80 || FindUpper(kOemUpper, kAnsiUpper[b - 0x80]) >= 0;
}

}  // namespace kelvane
