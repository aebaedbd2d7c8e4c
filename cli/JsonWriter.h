// A small streaming JSON writer for the tool's --json output: objects and
// arrays nest, commas and indentation come by themselves.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

namespace kelvane::cli {

class TJsonWriter {
 public:
  // Writes to Out, which stays the caller's.
  explicit TJsonWriter(std::FILE* out) : FOut(out) {}

  void BeginObject();
  void EndObject();
  void BeginArray();
  void EndArray();
  // The name of the next member; inside an object every value needs one.
  void Key(std::string_view name);
  // Text given as well-formed UTF-8; control characters, quotes and
  // backslashes escaped.
  void String(std::string_view utf8);
  void Number(int64_t value);
  void Number(uint64_t value);
  void Number(int value) { Number(int64_t(value)); }
  void Bool(bool value);
  void Null();
  // A member: its name, then its value.
  template <typename T>
  void Field(std::string_view name, const T& value) {
    Key(name);
    Value(value);
  }
  // Ends the document with a line end.
  void Finish();

  // Text as a JSON string literal, quotes included.
  static std::string Quote(std::string_view utf8);

 private:
  void Value(std::string_view utf8) { String(utf8); }
  void Value(const std::string& utf8) { String(utf8); }
  void Value(const char* utf8) { String(utf8); }
  void Value(bool value) { Bool(value); }
  template <typename T>
  void Value(T number) requires std::is_integral_v<T> {
    Number(static_cast<std::conditional_t<std::is_signed_v<T>, int64_t, uint64_t>>(number));
  }
  void BeforeValue();
  void Close(char bracket);
  void NewLine();

  std::FILE* FOut;
  struct TLevel {
    bool Empty = true;
  };
  std::vector<TLevel> FLevels;
  bool FAfterKey = false;
};

}  // namespace kelvane::cli
