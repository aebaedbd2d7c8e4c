#include "names/NameText.h"

#include <gtest/gtest.h>

#include "platform/Text.h"

namespace kelvane {
namespace {

TEST(NameText, CaseMappingTouchesOnlyAsciiLetters) {
  EXPECT_EQ(LowerCaseAscii(u"\u00C4Bc-Z@[`{"), u"\u00C4bc-z@[`{");
  EXPECT_EQ(UpperCaseAscii(u"\u00E4bC-z\u00DF"), u"\u00E4BC-Z\u00DF");
  EXPECT_TRUE(SameTextAscii(u"Dir/FILE.txt", u"dir/file.TXT"));
  EXPECT_FALSE(SameTextAscii(u"\u00C4", u"\u00E4"));
  EXPECT_FALSE(SameTextAscii(u"ab", u"abc"));
}

TEST(NameText, ReplaceText) {
  struct {
    UString S, Old, New;
    uint8_t Flags;
    UString Expected;
  } cases[] = {
      {u"a/b/a/b", u"a/", u"x/", 0, u"x/b/a/b"},
      {u"a/b/a/b", u"a/", u"x/", rfReplaceAll, u"x/b/x/b"},
      {u"DIR/sub/dir/x", u"dir/", u"new/", 0, u"DIR/sub/new/x"},
      {u"DIR/sub/dir/x", u"dir/", u"new/", rfIgnoreCase, u"new/sub/dir/x"},
      {u"DIR/sub/dir/x", u"dir/", u"new/", rfReplaceAll | rfIgnoreCase, u"new/sub/new/x"},
      {u"\u00C4rger/\u00E4rger", u"\u00E4rger", u"x", rfReplaceAll | rfIgnoreCase, u"\u00C4rger/x"},
      {u"aaa", u"aa", u"b", rfReplaceAll, u"ba"},
      {u"abc", u"b", u"bb", rfReplaceAll, u"abbc"},
      {u"abc", u"", u"x", rfReplaceAll, u"abc"},
      {u"ab", u"abc", u"x", 0, u"ab"},
      {u"abc", u"abc", u"", 0, u""},
  };
  for (const auto& c : cases)
    EXPECT_EQ(ReplaceText(c.S, c.Old, c.New, c.Flags), c.Expected)
        << ToUtf8(c.S) << " " << ToUtf8(c.Old) << " " << int(c.Flags);
}

TEST(NameText, ByteLengthCountsUtf16Units) {
  EXPECT_EQ(ByteLength(u""), 0);
  EXPECT_EQ(ByteLength(u"abc"), 6);
  EXPECT_EQ(ByteLength(u"\U0001F600"), 4);
}

}  // namespace
}  // namespace kelvane
