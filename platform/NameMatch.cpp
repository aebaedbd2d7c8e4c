#include "platform/NameMatch.h"

namespace kelvane {
namespace {

char16_t LowerAscii(char16_t c) {
  return c >= u'A' && c <= u'Z' ? char16_t(c + 32) : c;
}

// "*" and "?" with one point of backtracking: linear in practice, never exponential.
bool WildMatch(UStringView name, UStringView mask) {
  size_t n = 0, m = 0, starMask = UString::npos, starName = 0;
  while (n < name.size()) {
    if (m < mask.size() && (mask[m] == u'?' || LowerAscii(mask[m]) == LowerAscii(name[n]))) {
      ++n, ++m;
    } else if (m < mask.size() && mask[m] == u'*') {
      starMask = m++;
      starName = n;
    } else if (starMask != UString::npos) {
      m = starMask + 1;
      n = ++starName;
    } else {
      return false;
    }
  }
  while (m < mask.size() && mask[m] == u'*')
    ++m;
  return m == mask.size();
}

}  // namespace

bool NameMatches(UStringView name, UStringView mask) {
  if (mask.find_first_of(u"*?") == UStringView::npos) return name == mask;
  if (WildMatch(name, mask)) return true;
  // As in DOS, a final ".*" also stands for "no extension at all".
  return mask.size() >= 2 && mask.substr(mask.size() - 2) == u".*" &&
         WildMatch(name, mask.substr(0, mask.size() - 2));
}

}  // namespace kelvane
