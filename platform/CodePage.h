// The system's ANSI and OEM code pages. Linux has none: the fixed single-byte
// pages Windows-1252 (ANSI) and 850 (OEM) stand for them, with the tables below.
// Windows uses the system's own (GetACP, GetOEMCP) through its conversions,
// best fit included; on a Western European system these are the same 1252 and
// 850. There a multibyte ANSI page (Asian systems) gives more than one byte
// for some characters, and the single-byte forms below answer the default
// character for them.
//
// The Linux tables:
// ANSI <-> OEM follows the platform's behaviour: a byte whose character exists in
// the other page maps to it; the bytes that have no counterpart map to a fixed
// look-alike (best fit), so the conversion is many-to-one there and does not
// round-trip. The choices, ANSI -> OEM:
//   0x80 euro 'E', 0x82 low quote ',', 0x84 low double quote '"', 0x85 ellipsis '.',
//   0x86/0x87 daggers '+', 0x88 circumflex '^', 0x89 per mille '%', 0x8A S-caron 'S',
//   0x8B/0x9B single guillemets '<' '>', 0x8C OE 'O', 0x8E Z-caron 'Z', 0x91/0x92
//   single quotes '\'', 0x93/0x94 double quotes '"', 0x95 bullet 0xFA (middle dot),
//   0x96/0x97 dashes '-', 0x98 tilde '~', 0x99 trade mark 'T', 0x9A s-caron 's',
//   0x9C oe 'o', 0x9E z-caron 'z', 0x9F Y-diaeresis 'Y'; the undefined bytes 0x81 0x8D
//   0x8F 0x90 0x9D the default character '?'.
// OEM -> ANSI:
//   single and double vertical lines '|', horizontal single line '-', double '=',
//   every corner, tee and cross '+', dotless i 'i', double low line '_', the shades
//   and blocks (0xB0-0xB2, 0xDB, 0xDC, 0xDF, 0xFE) the default character '?'.
// Bytes below 0x80 are ASCII in both pages and never change.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/Types.h"

namespace kelvane {

// Replaces characters that have no form in the target page.
inline constexpr char AnsiDefaultChar = '?';

// UTF-16 -> ANSI, one byte per character. A character without an ANSI form (and a
// surrogate pair, which is one character) becomes AnsiDefaultChar; *usedDefault, when
// given, tells whether that happened. Never fails.
AnsiString UnicodeToAnsi(UStringView s, bool* usedDefault = nullptr);
// ANSI -> UTF-16: every byte has a form; the five bytes that 1252 leaves undefined
// (0x81 0x8D 0x8F 0x90 0x9D) become the C1 controls of the same value.
UString AnsiToUnicode(std::string_view s);
char16_t AnsiCharToUnicode(uint8_t b);

// OEM -> UTF-16 straight from the 850 table, without the lossy detour through ANSI.
UString OemToUnicode(std::string_view s);

// ANSI -> OEM and OEM -> ANSI in place, byte by byte up to the first zero byte;
// the zero byte and everything after it stay as they are. Length never changes.
void AnsiToOemInPlace(char* data, size_t size);
void OemToAnsiInPlace(char* data, size_t size);
void AnsiToOemInPlace(AnsiString& s);
void OemToAnsiInPlace(AnsiString& s);

// Single-byte forms of the same mappings.
uint8_t AnsiToOemChar(uint8_t b);
uint8_t OemToAnsiChar(uint8_t b);
// True when the ANSI byte's character exists in the OEM page, so that ANSI -> OEM ->
// ANSI gives it back (all bytes below 0x80, and 0x83 and 0xA0-0xFF).
bool AnsiCharHasOemForm(uint8_t b);

}  // namespace kelvane
