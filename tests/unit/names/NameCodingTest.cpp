#include "names/NameCoding.h"

#include <gtest/gtest.h>

namespace kelvane {
namespace {

struct TEncodeCase {
  const char* What;
  UString Name;
  AnsiString Bytes;
  bool Utf8;
};

TEST(NameCoding, NameToBytesChoosesAnsiOrUtf8) {
  const TEncodeCase cases[] = {
      {"ascii", u"dir/a.txt", "dir/a.txt", false},
      {"latin", u"caf\u00E9/\u00C4.txt", "caf\xE9/\xC4.txt", false},
      {"euro", u"5\u20AC", "5\x80", false},
      {"greek", u"\u03B1\u03B2.txt", "\xCE\xB1\xCE\xB2.txt", true},
      {"mixed", u"\u00E9\u03B1", "\xC3\xA9\xCE\xB1", true},
      {"astral", u"\U0001F600", "\xF0\x9F\x98\x80", true},
      {"empty", u"", "", false},
  };
  for (const TEncodeCase& c : cases) {
    SCOPED_TRACE(c.What);
    AnsiString bytes = "stale";
    EXPECT_EQ(NameToBytes(c.Name, bytes), c.Utf8);
    EXPECT_EQ(bytes, c.Bytes);
    UString back;
    EXPECT_EQ(BytesToName(bytes, back), c.Utf8);
    EXPECT_EQ(back, c.Name);
  }
}

TEST(NameCoding, LongUtf8NamesAreEncodedWhole) {
  // 254, 255, 256 and 300 bytes of UTF-8: around and beyond the old 255-byte buffer.
  for (const size_t bytesWanted : {254u, 255u, 256u, 300u}) {
    SCOPED_TRACE(bytesWanted);
    UString name(bytesWanted / 2, u'\u03B1');
    if (bytesWanted % 2) name += u'a';
    AnsiString bytes;
    ASSERT_TRUE(NameToBytes(name, bytes));
    EXPECT_EQ(bytes.size(), bytesWanted);
    UString back;
    EXPECT_TRUE(BytesToName(bytes, back));
    EXPECT_EQ(back, name);
  }
}

struct TDecodeCase {
  const char* What;
  AnsiString Bytes;
  UString Name;
  bool Utf8;
};

TEST(NameCoding, BytesToNameTakesUtf8OnlyWhenWellFormed) {
  const TDecodeCase cases[] = {
      {"ascii is ansi", "a.txt", u"a.txt", false},
      {"utf8 without flag", "caf\xC3\xA9", u"caf\u00E9", true},
      {"three bytes", "\xE2\x82\xAC", u"\u20AC", true},
      {"four bytes", "\xF4\x8F\xBF\xBF", u"\U0010FFFF", true},
      {"ansi byte", "caf\xE9", u"caf\u00E9", false},
      {"cut at end", "a\xC3", u"a\u00C3", false},
      {"cut four", "\xF0\x9F\x98", u"\u00F0\u0178\u02DC", false},
      {"lone continuation", "\x80", u"\u20AC", false},
      {"overlong two", "\xC0\xAF", u"\u00C0\u00AF", false},
      {"overlong three", "\xE0\x9F\x80", u"\u00E0\u0178\u20AC", false},
      {"overlong four", "\xF0\x8F\xBF\xBF", u"\u00F0\u008F\u00BF\u00BF", false},
      {"above U+10FFFF", "\xF4\x90\x80\x80", u"\u00F4\u0090\u20AC\u20AC", false},
      {"lead F5", "\xF5\x80\x80\x80", u"\u00F5\u20AC\u20AC\u20AC", false},
      {"encoded surrogate", "\xED\xA0\x80", u"\u00ED\u00A0\u20AC", false},
      {"valid then bad", "\xC3\xA9\xFF", u"\u00C3\u00A9\u00FF", false},
  };
  for (const TDecodeCase& c : cases) {
    SCOPED_TRACE(c.What);
    UString name = u"stale";
    EXPECT_EQ(BytesToName(c.Bytes, name), c.Utf8);
    EXPECT_EQ(name, c.Name);
  }
}

TEST(NameCoding, StoredNamesInOemAndAnsi) {
  AnsiString bytes;
  EXPECT_FALSE(NameToStoredBytes(u"\u00E9t\u00E9", true, bytes));
  EXPECT_EQ(bytes, "\x82t\x82");
  UString name;
  EXPECT_FALSE(StoredBytesToName(bytes, true, false, name));
  EXPECT_EQ(name, u"\u00E9t\u00E9");

  EXPECT_FALSE(NameToStoredBytes(u"\u00E9t\u00E9", false, bytes));
  EXPECT_EQ(bytes, "\xE9t\xE9");
  EXPECT_FALSE(StoredBytesToName(bytes, false, false, name));
  EXPECT_EQ(name, u"\u00E9t\u00E9");
}

TEST(NameCoding, StoredNameWithoutAnsiOrOemFormIsUtf8AndNeverOem) {
  for (const UString& n :
       {UString(u"\u03B1\u03B2.txt"), UString(u"5\u20AC.txt"), UString(u"\u201Cq\u201D")}) {
    AnsiString bytes;
    ASSERT_TRUE(NameToStoredBytes(n, true, bytes));
    UString back;
    EXPECT_TRUE(StoredBytesToName(bytes, true, true, back));
    EXPECT_EQ(back, n);
  }
  // Without OEM names the euro sign has an ANSI form and stays ANSI.
  AnsiString bytes;
  EXPECT_FALSE(NameToStoredBytes(u"5\u20AC", false, bytes));
  EXPECT_EQ(bytes, "5\x80");
}

TEST(NameCoding, OemNamesFromOtherToolsKeepCharactersAnsiLacks) {
  UString name;
  EXPECT_FALSE(StoredBytesToName("\xDA\xC4\xBF", true, false, name));
  EXPECT_EQ(name, u"\u250C\u2500\u2510");
  // Flag bit 11 set: no OEM step, ill-formed bytes read as ANSI.
  EXPECT_FALSE(StoredBytesToName("\x82", true, true, name));
  EXPECT_EQ(name, u"\u201A");
  // The OEM step stops at a zero byte: what follows is read as ANSI.
  EXPECT_FALSE(StoredBytesToName(AnsiString("\x82\0\x82", 3), true, false, name));
  EXPECT_EQ(name, UString(u"\u00E9\0\u201A", 3));
}

}  // namespace
}  // namespace kelvane
