#include "names/KelMask.h"

#include <gtest/gtest.h>

#include <string>

#include "DiskName.h"
#include "platform/Text.h"

namespace kelvane {
namespace {

struct TMatchCase {
  UString Name, Mask;
  bool Expected;
};

TEST(WildcardMatch, Rules) {
  const TMatchCase cases[] = {
      {u"anything.at/all", u"*.*", true},
      {u"", u"*.*", true},
      {u"noext", u"*.*", true},
      {u"", u"", true},
      {u"a", u"", false},
      {u"", u"a", false},
      {u"", u"*", true},
      {u"", u"**", false},
      {u"a", u"a*", true},
      {u"a", u"a**", false},  // a "*" with more mask never matches at the end
      {u"ab", u"a**", true},
      {u"a", u"*a", true},
      {u"a", u"a*b", false},
      {u"axb", u"a*b", true},
      {u"ab", u"a*b", true},  // empty run while more name follows
      {u"docs/sub/d.txt", u"*.txt", true},
      {u"docs/sub/d.txt", u"docs/*", true},
      {u"docs\\sub", u"docs*sub", true},
      {u"ab.txt", u"a?.txt", true},
      {u"a.txt", u"a?.txt", false},
      {u"abc.txt", u"a?.txt", false},
      {u"a.txt", u"*.TXT", true},
      {u"A.TXT", u"*.txt", true},
      {u"\u00e9.txt", u"\u00c9.txt", false},  // only A-Z have case
      {u"x", u"?", true},
      {u"", u"?", false},
      {u"a.b", u"a.b.", false},
      // A retry after "*" is a fresh walk that starts with the "*.*" rule.
      {u"ab", u"a**.*", true},
      {u"ab", u"a*.*", false},
      // Both texts end at their first zero character.
      {UString(u"ab\0cd", 5), u"ab", true},
      {u"ab", UString(u"ab\0x", 4), true},
  };
  for (const auto& c : cases)
    EXPECT_EQ(WildcardMatch(c.Name, c.Mask, true), c.Expected)
        << ToUtf8(c.Name) << " ~ " << ToUtf8(c.Mask);
}

TEST(WildcardMatch, CaseMattersWithoutIgnoreCase) {
  EXPECT_FALSE(WildcardMatch(u"a.txt", u"*.TXT", false));
  EXPECT_TRUE(WildcardMatch(u"a.TXT", u"*.TXT", false));
}

// The rules written as the plain recursive walk; exponential, but the inputs
// below are short.
bool ReferenceWalk(UStringView name, UStringView mask) {
  if (mask == u"*.*") return true;
  for (;;) {
    if (mask == u"*") return true;
    if (name.empty()) return mask.empty();
    if (mask.empty()) return false;
    if (mask[0] == u'*') {
      for (size_t i = 0; i < name.size(); ++i)
        if (ReferenceWalk(name.substr(i), mask.substr(1))) return true;
      return false;
    }
    if (mask[0] != u'?' && mask[0] != name[0]) return false;
    name.remove_prefix(1);
    mask.remove_prefix(1);
  }
}

// Every name of up to 4 characters over "ab." against every mask of up to 4
// characters over "a*?.": the column walk gives the recursive walk's answer.
TEST(WildcardMatch, AgreesWithTheRecursiveWalk) {
  const std::u16string nameChars = u"ab.";
  const std::u16string maskChars = u"a*?.";
  auto all = [](const std::u16string& alphabet, size_t maxLen) {
    std::vector<UString> out{u""};
    for (size_t from = 0, len = 1; len <= maxLen; ++len) {
      const size_t to = out.size();
      for (size_t k = from; k < to; ++k)
        for (char16_t c : alphabet)
          out.push_back(out[k] + c);
      from = to;
    }
    return out;
  };
  int checked = 0;
  for (const UString& name : all(nameChars, 4))
    for (const UString& mask : all(maskChars, 4)) {
      ASSERT_EQ(WildcardMatch(name, mask, false), ReferenceWalk(name, mask))
          << ToUtf8(name) << " ~ " << ToUtf8(mask);
      ++checked;
    }
  EXPECT_GT(checked, 10000);
}

// A mask full of "*" against a long name that almost matches: the recursive
// walk would take ages; this must answer at once (no timing asserted here,
// a hang shows as a test timeout).
TEST(WildcardMatch, ManyStarsAgainstALongName) {
  const UString name(4000, u'a');
  EXPECT_FALSE(WildcardMatch(name, u"*a*a*a*a*a*a*a*a*a*a*a*a*a*a*b", true));
  EXPECT_TRUE(WildcardMatch(name + u"b", u"*a*a*a*a*a*a*a*a*a*a*a*a*a*a*b", true));
}

TEST(MatchesMask, Rules) {
  const TMatchCase cases[] = {
      {u"a.txt", u"", false},
      {u"", u"", false},
      {u"README", u"*.*", true},
      {u"a.txt", u"*.*", true},
      {u"docs/sub/d.txt", u"*.txt", true},
      {u"README", u"*.", true},
      {u"bin", u"*.", true},
      {u"a.txt", u"*.", false},
      {u"a.", u"*.", true},     // the trailing dot of a name is ignored
      {u"a.b.", u"*.", false},  // ... and "a.b" has an extension
      {u"README", u"READ*.", true},
      {u"x.bak", u"*.bak", true},
      {u"x.bak", u"*.BAK", true},
      {u"a.txt", u"a.txt.", false},
      {u"abc", u"a*.*", true},
      {u"axb", u"a*.*x*.*", false},  // only the first "*.*" becomes "*"
      {u"ax.b", u"a*.*x*.*", true},
      {u"a.b", u"a*.*.*", true},
      // The extension is taken after the last path separator of the disk.
      {test::OnDisk(u"dir.d/README"), u"*.", true},
      {test::OnDisk(u"dir.d/a.txt"), u"*.", false},
  };
  for (const auto& c : cases)
    EXPECT_EQ(MatchesMask(c.Name, c.Mask), c.Expected) << ToUtf8(c.Name) << " ~ " << ToUtf8(c.Mask);
}

}  // namespace
}  // namespace kelvane
