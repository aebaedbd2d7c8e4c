// Basic string and byte types shared by every layer.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace kelvane {

// Names and paths: UTF-16, because name lengths and case mapping count UTF-16 units.
using UString = std::u16string;
using UStringView = std::u16string_view;
// Passwords, comments and raw name bytes: 8-bit, never converted implicitly.
using AnsiString = std::string;
using TBytes = std::vector<uint8_t>;

// Disk path separator of this platform; stored names always use '/'.
#ifdef _WIN32
inline constexpr char16_t PathDelim = u'\\';
#else
inline constexpr char16_t PathDelim = u'/';
#endif

}  // namespace kelvane
