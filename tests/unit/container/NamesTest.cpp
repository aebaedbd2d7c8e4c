#include <gtest/gtest.h>

#include "container/KelNames.h"
#include "container/KelZipConst.h"
#include "platform/Exception.h"

namespace kelvane {
namespace {

const UString kEAcute = u"caf\u00E9.txt";
const UString kGreek = u"\u03B1\u03B2\u03B3/\u03B4.txt";

TEST(ItemNameBytes, WesternNamesUseTheCodePageAndRoundTrip) {
  struct TCase {
    bool oem;
    AnsiString bytes;
  };
  const TCase cases[] = {{true, "caf\x82.txt"}, {false, "caf\xE9.txt"}};
  for (const TCase& c : cases) {
    uint16_t flag = KelFlagEncrypted;
    const AnsiString bytes = ItemNameToBytes(kEAcute, flag, c.oem);
    EXPECT_EQ(bytes, c.bytes) << "oem " << c.oem;
    EXPECT_EQ(flag, KelFlagEncrypted);
    EXPECT_EQ(ItemNameFromBytes(bytes, flag, c.oem), kEAcute);
  }
}

TEST(ItemNameBytes, NamesOutsideTheCodePageAreUtf8WithBit11) {
  for (bool oem : {false, true}) {
    uint16_t flag = KelFlagEncrypted;
    const AnsiString bytes = ItemNameToBytes(kGreek, flag, oem);
    EXPECT_EQ(bytes, "\xCE\xB1\xCE\xB2\xCE\xB3/\xCE\xB4.txt") << "never OEM-converted";
    EXPECT_EQ(flag, KelFlagEncrypted | KelFlagUtf8Name);
    EXPECT_EQ(ItemNameFromBytes(bytes, flag, oem), kGreek);
  }
}

TEST(ItemNameBytes, BytesFollowAUtf8FlagAlreadySet) {
  // The flag came from the archive; writing ANSI bytes under it would make other
  // tools read another name.
  uint16_t flag = KelFlagUtf8Name;
  const AnsiString bytes = ItemNameToBytes(kEAcute, flag, true);
  EXPECT_EQ(bytes, "caf\xC3\xA9.txt");
  EXPECT_EQ(flag, KelFlagUtf8Name);
  EXPECT_EQ(ItemNameFromBytes(bytes, flag, true), kEAcute);
}

TEST(ItemNameBytes, ReadingTrustsTheBytesMoreThanTheFlag) {
  struct TCase {
    const char* what;
    AnsiString bytes;
    uint16_t flag;
    bool oem;
    UString name;
  };
  const TCase cases[] = {
      {"valid UTF-8 without bit 11", "caf\xC3\xA9", 0, false, u"caf\u00E9"},
      // With OEM names the bytes are OEM first: UTF-8 is then the reading of another name.
      {"UTF-8 bytes under OEM names", "caf\xC3\xA9", 0, true, u"caf\u251C\u00AE"},
      {"bit 11 but not UTF-8", "caf\xE9", KelFlagUtf8Name, false, u"caf\u00E9"},
      {"bit 11 keeps the OEM step away", "caf\xE9", KelFlagUtf8Name, true, u"caf\u00E9"},
      {"a cut sequence is ANSI", "caf\xC3", 0, false, u"caf\u00C3"},
      {"plain ASCII", "dir/file.txt", 0, true, u"dir/file.txt"},
  };
  for (const TCase& c : cases)
    EXPECT_EQ(ItemNameFromBytes(c.bytes, c.flag, c.oem), c.name) << c.what;
}

TEST(ItemNameBytes, ZeroBytesSurviveARoundTrip) {
  const UString name(u"a\0\u00E9.txt", 7);
  for (bool oem : {false, true}) {
    uint16_t flag = 0;
    const AnsiString bytes = ItemNameToBytes(name, flag, oem);
    // The OEM step stops at the zero byte, so the e acute behind it stays ANSI.
    EXPECT_EQ(bytes, AnsiString("a\0\xE9.txt", 7)) << "oem " << oem;
    EXPECT_EQ(flag, 0);
    EXPECT_EQ(ItemNameFromBytes(bytes, flag, oem), name) << "oem " << oem;
  }
}

TEST(ItemNameBytes, RecoveredNamesEndAtTheFirstZeroByte) {
  struct TCase {
    const char* what;
    AnsiString bytes;
    uint16_t flag;
    bool oemStep;
    UString name;
  };
  const TCase cases[] = {
      {"cut at zero", AnsiString("abc\0def", 7), 0, false, u"abc"},
      {"OEM step after an end record", AnsiString("\x82\0\x82", 3), 0, true, u"\u00E9"},
      {"no OEM step without an end record", "\x82", 0, false, u"\u201A"},
      {"UTF-8 name keeps its form", "\xCE\xB1.txt", KelFlagUtf8Name, true, u"\u03B1.txt"},
      {"zero first", AnsiString("\0abc", 4), 0, false, u""},
  };
  for (const TCase& c : cases)
    EXPECT_EQ(RecoveredItemNameFromBytes(c.bytes, c.flag, c.oemStep), c.name) << c.what;
}

TEST(ItemNameBytes, NamesBeyondTheLengthFieldAreRefused) {
  uint16_t flag = 0;
  EXPECT_EQ(ItemNameToBytes(UString(0xFFFF, u'a'), flag, false).size(), 0xFFFFu);
  EXPECT_THROW(ItemNameToBytes(UString(0x10000, u'a'), flag, false), Exception);
  // 2 bytes per character in UTF-8: the flag must not change when it fails.
  EXPECT_THROW(ItemNameToBytes(UString(0x8000, u'\u03B1'), flag, false), Exception);
  EXPECT_EQ(flag, 0);
}

}  // namespace
}  // namespace kelvane
