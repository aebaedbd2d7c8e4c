#include "cli/JsonWriter.h"

#include <cinttypes>

namespace kelvane::cli {

std::string TJsonWriter::Quote(std::string_view utf8) {
  std::string out = "\"";
  for (unsigned char c : utf8) {
    switch (c) {
      case '"':
        out += "\\\"";
        break;
      case '\\':
        out += "\\\\";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\r':
        out += "\\r";
        break;
      case '\t':
        out += "\\t";
        break;
      default:
        if (c < 0x20) {
          char buf[8];
          std::snprintf(buf, sizeof buf, "\\u%04x", c);
          out += buf;
        } else {
          out += static_cast<char>(c);
        }
    }
  }
  out += '"';
  return out;
}

void TJsonWriter::NewLine() {
  std::fputc('\n', FOut);
  for (size_t i = 0; i < FLevels.size(); ++i)
    std::fputs("  ", FOut);
}

void TJsonWriter::BeforeValue() {
  if (FAfterKey) {
    FAfterKey = false;
    return;
  }
  if (FLevels.empty()) return;
  if (!FLevels.back().Empty) std::fputc(',', FOut);
  FLevels.back().Empty = false;
  NewLine();
}

void TJsonWriter::Key(std::string_view name) {
  BeforeValue();
  std::fputs(Quote(name).c_str(), FOut);
  std::fputs(": ", FOut);
  FAfterKey = true;
}

void TJsonWriter::BeginObject() {
  BeforeValue();
  std::fputc('{', FOut);
  FLevels.push_back({});
}

void TJsonWriter::BeginArray() {
  BeforeValue();
  std::fputc('[', FOut);
  FLevels.push_back({});
}

void TJsonWriter::Close(char bracket) {
  const bool empty = FLevels.back().Empty;
  FLevels.pop_back();
  if (!empty) NewLine();
  std::fputc(bracket, FOut);
}

void TJsonWriter::EndObject() {
  Close('}');
}

void TJsonWriter::EndArray() {
  Close(']');
}

void TJsonWriter::String(std::string_view utf8) {
  BeforeValue();
  std::fputs(Quote(utf8).c_str(), FOut);
}

void TJsonWriter::Number(int64_t value) {
  BeforeValue();
  std::fprintf(FOut, "%" PRId64, value);
}

void TJsonWriter::Number(uint64_t value) {
  BeforeValue();
  std::fprintf(FOut, "%" PRIu64, value);
}

void TJsonWriter::Bool(bool value) {
  BeforeValue();
  std::fputs(value ? "true" : "false", FOut);
}

void TJsonWriter::Null() {
  BeforeValue();
  std::fputs("null", FOut);
}

void TJsonWriter::Finish() {
  std::fputc('\n', FOut);
  std::fflush(FOut);
}

}  // namespace kelvane::cli
