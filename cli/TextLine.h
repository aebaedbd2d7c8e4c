// One line of a text listing built without printf: listings of hundreds of
// thousands of items spend most of their time formatting otherwise.
#pragma once

#include <charconv>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

namespace kelvane::cli {

class TTextLine {
 public:
  TTextLine() { FText.reserve(256); }

  // Decimal, right-aligned in Width columns.
  TTextLine& Right(uint64_t value, size_t width) {
    char digits[24];
    const auto end = std::to_chars(digits, digits + sizeof digits, value).ptr;
    const size_t n = static_cast<size_t>(end - digits);
    if (n < width) FText.append(width - n, ' ');
    FText.append(digits, n);
    return *this;
  }
  // Text, left-aligned and padded to Width bytes (never cut).
  TTextLine& Left(std::string_view text, size_t width) {
    FText += text;
    if (text.size() < width) FText.append(width - text.size(), ' ');
    return *this;
  }
  TTextLine& Text(std::string_view text) {
    FText += text;
    return *this;
  }
  // Eight lower-case hexadecimal digits.
  TTextLine& Hex8(uint32_t value) {
    static const char digits[] = "0123456789abcdef";
    for (int shift = 28; shift >= 0; shift -= 4)
      FText += digits[(value >> shift) & 15];
    return *this;
  }

  // Writes the line and a line end to Out, and starts a new line.
  void WriteTo(std::FILE* out) {
    FText += '\n';
    std::fwrite(FText.data(), 1, FText.size(), out);
    FText.clear();
  }
  const std::string& Str() const { return FText; }

 private:
  std::string FText;
};

}  // namespace kelvane::cli
