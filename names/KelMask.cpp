#include "names/KelMask.h"

#include <vector>

#include "names/NameText.h"
#include "names/Paths.h"

namespace kelvane {
namespace {

UStringView UpToTerminator(UStringView s) {
  const size_t zero = s.find(u'\0');
  return zero == UStringView::npos ? s : s.substr(0, zero);
}

bool SameChar(char16_t a, char16_t b, bool ignoreCase) {
  return a == b || (ignoreCase && LowerCaseAscii(a) == LowerCaseAscii(b));
}

}  // namespace

// The rules are those of a recursive walk in which a "*" retries the rest of
// the mask at every later non-empty rest of the name, and every such retry
// starts by asking whether its whole mask is "*.*". Walking the mask from its
// end keeps one column of answers, match[i] = "name[i..] matches mask[j..]",
// so a mask full of "*" costs no more than any other.
bool WildcardMatch(UStringView Name, UStringView Mask, bool IgnoreCase) {
  const UStringView name = UpToTerminator(Name);
  const UStringView mask = UpToTerminator(Mask);
  if (mask == u"*.*") return true;

  const size_t n = name.size();
  std::vector<uint8_t> match(n + 1, 0);
  match[n] = 1;  // the empty mask matches only the empty rest
  for (size_t j = mask.size(); j-- > 0;) {
    if (j + 1 == mask.size() && mask[j] == u'*') {
      std::fill(match.begin(), match.end(), 1);
      continue;
    }
    if (mask[j] == u'*') {
      // match now holds column j + 1; a retry there is a fresh walk.
      const bool restIsAll = mask.substr(j + 1) == u"*.*";
      uint8_t any = 0;
      for (size_t i = n; i-- > 0;) {
        any |= restIsAll ? 1 : match[i];
        match[i] = any;
      }
    } else {
      for (size_t i = 0; i < n; ++i)
        match[i] = (mask[j] == u'?' || SameChar(name[i], mask[j], IgnoreCase)) && match[i + 1];
    }
    match[n] = 0;  // more mask than "*" is left for an empty rest
  }
  return match[0] != 0;
}

bool MatchesMask(UStringView Name, UStringView Mask) {
  if (Mask.empty()) return false;
  // The masks that take every name, as most runs give them: no copies made.
  if (Mask == u"*" || Mask == u"*.*") return true;
  const bool extensionless = Mask.back() == u'.';
  UString mask = ReplaceText(Mask, u"*.*", u"*", 0);
  if (extensionless && !mask.empty()) mask.pop_back();
  UString name(Name);
  if (!name.empty() && name.back() == u'.') name.pop_back();
  if (!WildcardMatch(name, mask, true)) return false;
  if (!extensionless) return true;
  const UString ext = ExtensionPart(name);
  return ext.empty() || ext == u".";
}

}  // namespace kelvane
