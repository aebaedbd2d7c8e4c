#include <gtest/gtest.h>

#include "container/KelItemName.h"

namespace kelvane {
namespace {

// Names on each side of the inline limits (23 one-byte units, 11 two-byte
// units), Latin-1 and wider characters, and a name that turns wide at its end.
const UString kNames[] = {
    u"",
    u"a",
    u"dir/file.txt",
    UString(23, u'x'),
    UString(24, u'x'),
    u"\u00C4rger/\u00E9t\u00E9.txt",
    UString(11, u'\u20AC'),
    UString(12, u'\u20AC'),
    UString(300, u'p') + u"\u4E2D",
    u"\U0001F600 smile",
};

TEST(ItemName, HoldsEveryNameExactly) {
  for (const UString& s : kNames) {
    SCOPED_TRACE(ToUtf8(s));
    TItemName name(s);
    EXPECT_EQ(name.Str(), s);
    EXPECT_EQ(name.size(), s.size());
    EXPECT_EQ(name.empty(), s.empty());
    EXPECT_TRUE(name == s);
    if (!s.empty()) {
      EXPECT_EQ(name.back(), s.back());
      EXPECT_FALSE(name == s.substr(0, s.size() - 1));
      EXPECT_FALSE(name == s.substr(0, s.size() - 1) + u'?');
    }
    const TItemName copy = name;
    TItemName moved = std::move(name);
    EXPECT_TRUE(copy == moved);
    EXPECT_EQ(UString(moved), s);
    EXPECT_TRUE(name.empty()) << "a moved-from name is empty";
  }
}

TEST(ItemName, ReassignedAcrossEveryKindKeepsOnlyTheNewName) {
  TItemName name;
  for (const UString& from : kNames) {
    for (const UString& to : kNames) {
      name = from;
      TItemName other(to);
      name = other;
      EXPECT_EQ(name.Str(), to);
      name = from;
      EXPECT_EQ(name.Str(), from);
      name = name;  // NOLINT: assigning a name to itself keeps it
      EXPECT_EQ(name.Str(), from);
    }
  }
  EXPECT_EQ(u"<" + TItemName(u"x") + u">", u"<x>");
}

}  // namespace
}  // namespace kelvane
