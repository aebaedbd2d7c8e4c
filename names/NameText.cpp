#include "names/NameText.h"

namespace kelvane {

char16_t LowerCaseAscii(char16_t c) {
  return c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c + 32) : c;
}

namespace {

char16_t UpperAscii(char16_t c) {
  return c >= u'a' && c <= u'z' ? static_cast<char16_t>(c - 32) : c;
}

bool MatchesAt(UStringView s, size_t pos, UStringView what, bool ignoreCase) {
  if (!ignoreCase) return s.compare(pos, what.size(), what) == 0;
  return SameTextAscii(s.substr(pos, what.size()), what);
}

}  // namespace

UString ReplaceText(UStringView S, UStringView Old, UStringView New, uint8_t Flags) {
  if (Old.empty() || Old.size() > S.size()) return UString(S);
  const bool ignoreCase = Flags & rfIgnoreCase;
  UString out;
  out.reserve(S.size());
  size_t pos = 0;
  while (pos + Old.size() <= S.size()) {
    if (MatchesAt(S, pos, Old, ignoreCase)) {
      out += New;
      pos += Old.size();
      if (!(Flags & rfReplaceAll)) break;
    } else {
      out += S[pos++];
    }
  }
  out += S.substr(pos);
  return out;
}

UString LowerCaseAscii(UStringView S) {
  UString out(S);
  for (char16_t& c : out)
    c = LowerCaseAscii(c);
  return out;
}

UString UpperCaseAscii(UStringView S) {
  UString out(S);
  for (char16_t& c : out)
    c = UpperAscii(c);
  return out;
}

bool SameTextAscii(UStringView a, UStringView b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (LowerCaseAscii(a[i]) != LowerCaseAscii(b[i])) return false;
  return true;
}

int32_t ByteLength(UStringView S) {
  return static_cast<int32_t>(S.size() * 2);
}

}  // namespace kelvane
