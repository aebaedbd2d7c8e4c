#include <gtest/gtest.h>

#include "container/KelNames.h"
#include "container/KelZipConst.h"
#include "names/NameCoding.h"
#include "platform/Exception.h"
#include "platform/Text.h"

namespace kelvane {
namespace {

const UString kEAcute = u"caf\u00E9.txt";
const UString kGreek = u"\u03B1\u03B2\u03B3/\u03B4.txt";

// versionMadeBy of some hosts (high byte), with ZIP version 2.0 or 3.0.
constexpr uint16_t kMsDos = 0x0014;
constexpr uint16_t kHpfs = 0x0614;
constexpr uint16_t kPkwareNtfs = 0x0A14;
constexpr uint16_t kNtfs = 0x0B14;  // Info-ZIP's number, and what this engine writes
constexpr uint16_t kVfat = 0x0E14;
constexpr uint16_t kUnix = 0x031E;  // Info-ZIP zip 3.0 on Linux
constexpr uint16_t kOsX = 0x1314;

TKelZipCentralDir Header(uint16_t flag, uint16_t madeBy = kMsDos) {
  TKelZipCentralDir h;
  h.versionMadeBy = madeBy;
  h.genPurposeFlag = flag;
  return h;
}

UString Read(const AnsiString& bytes, uint16_t flag, bool oem, uint16_t madeBy = kMsDos) {
  return ItemNameFromBytes(bytes, Header(flag, madeBy), oem);
}

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
    EXPECT_EQ(Read(bytes, flag, c.oem), kEAcute);
  }
}

TEST(ItemNameBytes, NamesOutsideTheCodePageAreUtf8WithBit11) {
  for (bool oem : {false, true}) {
    uint16_t flag = KelFlagEncrypted;
    const AnsiString bytes = ItemNameToBytes(kGreek, flag, oem);
    EXPECT_EQ(bytes, "\xCE\xB1\xCE\xB2\xCE\xB3/\xCE\xB4.txt") << "never OEM-converted";
    EXPECT_EQ(flag, KelFlagEncrypted | KelFlagUtf8Name);
    EXPECT_EQ(Read(bytes, flag, oem), kGreek);
  }
}

TEST(ItemNameBytes, BytesFollowAUtf8FlagAlreadySet) {
  // The flag came from the archive; writing ANSI bytes under it would make other
  // tools read another name.
  uint16_t flag = KelFlagUtf8Name;
  const AnsiString bytes = ItemNameToBytes(kEAcute, flag, true);
  EXPECT_EQ(bytes, "caf\xC3\xA9.txt");
  EXPECT_EQ(flag, KelFlagUtf8Name);
  EXPECT_EQ(Read(bytes, flag, true), kEAcute);
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
    EXPECT_EQ(Read(c.bytes, c.flag, c.oem), c.name) << c.what;
}

TEST(ItemNameBytes, ZeroBytesSurviveARoundTrip) {
  const UString name(u"a\0\u00E9.txt", 7);
  for (bool oem : {false, true}) {
    uint16_t flag = 0;
    const AnsiString bytes = ItemNameToBytes(name, flag, oem);
    // The OEM step stops at the zero byte, so the e acute behind it stays ANSI.
    EXPECT_EQ(bytes, AnsiString("a\0\xE9.txt", 7)) << "oem " << oem;
    EXPECT_EQ(flag, 0);
    EXPECT_EQ(Read(bytes, flag, oem), name) << "oem " << oem;
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

TEST(ItemNameBytes, OnlyUnixAndOsXAreHostsWithoutOemNames) {
  // Only the hosts known to store their file system's UTF-8 bytes are listed;
  // the others (here also Amiga 1, classic Mac OS 7, BeOS 16, AtheOS 30) keep
  // the OEM rule. The low byte (the ZIP version) plays no part.
  const std::pair<uint16_t, bool> cases[] = {
      {kMsDos, false}, {0x0114, false}, {kHpfs, false},  {0x0714, false}, {kPkwareNtfs, false},
      {kNtfs, false},  {kVfat, false},  {0x1014, false}, {0x1E14, false}, {0x0300, true},
      {kUnix, true},   {0x033F, true},  {kOsX, true},
  };
  for (const auto& [madeBy, withoutOem] : cases)
    EXPECT_EQ(MadeOnHostWithoutOemNames(madeBy), withoutOem) << std::hex << madeBy;
}

// What Unix tools store: a name in UTF-8 bytes without bit 11. The rule of the
// other hosts, and every name read without OEMFileNames, stay as they were.
TEST(ItemNameBytes, Utf8BytesMadeOnUnixAreReadWithoutTheOemStep) {
  struct TCase {
    const char* what;
    AnsiString bytes;
    uint16_t flag;
    uint16_t madeBy;
    UString withOem;
    UString withoutOem;
  };
  const UString cafe = u"sub/caf\u00E9.txt";
  const UString cafeThroughOem = u"sub/caf\u251C\u00AE.txt";
  const TCase cases[] = {
      {"Unix, UTF-8", "sub/caf\xC3\xA9.txt", 0, kUnix, cafe, cafe},
      {"Unix, UTF-8 Greek", "\xCE\xB1\xCE\xB2\xCE\xB3/\xCE\xB4.txt", 0, kUnix, kGreek, kGreek},
      {"Unix, four-byte UTF-8", "\xF0\x9F\x98\x80", 0, kUnix, u"\U0001F600", u"\U0001F600"},
      {"OS X, UTF-8", "sub/caf\xC3\xA9.txt", 0, kOsX, cafe, cafe},
      {"Unix, ASCII", "dir/file.txt", 0, kUnix, u"dir/file.txt", u"dir/file.txt"},
      // Not UTF-8: the OEM rule, as for any host.
      {"Unix, an OEM byte", "caf\x82.txt", 0, kUnix, kEAcute, u"caf\u201A.txt"},
      {"Unix, a cut sequence", "caf\xC3", 0, kUnix, u"caf\u251C", u"caf\u00C3"},
      {"Unix, an overlong form", "\xC0\xAF", 0, kUnix, u"\u2514\u00BB", u"\u00C0\u00AF"},
      {"Unix, an encoded surrogate", "\xED\xA0\x80", 0, kUnix, u"\u00DD\u00E1\u00C7",
       u"\u00ED\u00A0\u20AC"},
      // Hosts with OEM names: UTF-8 bytes are OEM characters.
      {"MS-DOS, UTF-8", "sub/caf\xC3\xA9.txt", 0, kMsDos, cafeThroughOem, cafe},
      {"HPFS, UTF-8", "sub/caf\xC3\xA9.txt", 0, kHpfs, cafeThroughOem, cafe},
      {"NTFS, UTF-8", "sub/caf\xC3\xA9.txt", 0, kNtfs, cafeThroughOem, cafe},
      {"NTFS of PKWARE, UTF-8", "sub/caf\xC3\xA9.txt", 0, kPkwareNtfs, cafeThroughOem, cafe},
      {"VFAT, UTF-8", "sub/caf\xC3\xA9.txt", 0, kVfat, cafeThroughOem, cafe},
      {"MS-DOS, an OEM byte", "caf\x82.txt", 0, kMsDos, kEAcute, u"caf\u201A.txt"},
      // Bit 11: the flag's rule, whatever the host.
      {"Unix, bit 11", "sub/caf\xC3\xA9.txt", KelFlagUtf8Name, kUnix, cafe, cafe},
      {"Unix, bit 11 but not UTF-8", "caf\xE9.txt", KelFlagUtf8Name, kUnix, kEAcute, kEAcute},
      {"MS-DOS, bit 11", "sub/caf\xC3\xA9.txt", KelFlagUtf8Name, kMsDos, cafe, cafe},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(Read(c.bytes, c.flag, true, c.madeBy), c.withOem);
    EXPECT_EQ(Read(c.bytes, c.flag, false, c.madeBy), c.withoutOem);
    // The host changes nothing without OEM names, nor for bytes that are not
    // UTF-8, nor for bit 11, nor on the other hosts: those read as before.
    const bool utf8Flag = (c.flag & KelFlagUtf8Name) != 0;
    UString before;
    StoredBytesToName(c.bytes, false, utf8Flag, before);
    EXPECT_EQ(c.withoutOem, before);
    if (!MadeOnHostWithoutOemNames(c.madeBy) || !IsWellFormedUtf8(c.bytes) || utf8Flag) {
      StoredBytesToName(c.bytes, true, utf8Flag, before);
      EXPECT_EQ(c.withOem, before);
    }
  }
}

// An item gets the kind of bytes it had: UTF-8 without bit 11 only for a name
// still as read from such bytes; any other name, on a Unix host too, keeps the
// code-page rule unless its OEM form would pass for host UTF-8.
TEST(ItemNameBytes, ItemsOfUnixHostsGetTheKindOfBytesTheyHad) {
  struct TCase {
    const char* what;
    UString name;
    bool hostUtf8;
    uint16_t madeBy;
    bool oem;
    AnsiString bytes;
    uint16_t flagAfter;
  };
  const UString micro = u"\u00B5\u00E4\u00F6.txt";  // OEM E6 84 94: well-formed UTF-8
  const TCase cases[] = {
      {"read as UTF-8", kEAcute, true, kUnix, true, "caf\xC3\xA9.txt", 0},
      {"read as UTF-8, no OEM form", u"5\u20AC", true, kOsX, true, "5\xE2\x82\xAC", 0},
      {"OEM bytes", kEAcute, false, kUnix, true, "caf\x82.txt", 0},
      {"ANSI bytes", kEAcute, false, kUnix, false, "caf\xE9.txt", 0},
      {"an OEM form that is UTF-8", micro, false, kUnix, true, "\xC2\xB5\xC3\xA4\xC3\xB6.txt",
       KelFlagUtf8Name},
      {"the same on MS-DOS", micro, false, kMsDos, true, "\xE6\x84\x94.txt", 0},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.what);
    TKelZipCentralDir header = Header(KelFlagEncrypted, c.madeBy);
    EXPECT_EQ(ItemNameToBytes(c.name, c.hostUtf8, header, c.oem), c.bytes);
    EXPECT_EQ(header.genPurposeFlag, KelFlagEncrypted | c.flagAfter);
    EXPECT_EQ(ItemNameFromBytes(c.bytes, header, c.oem), c.name);
    EXPECT_EQ(IsHostUtf8Name(c.bytes, header), c.hostUtf8);
  }
}

// Whatever the host, the OEM option and the name, the bytes written for a new
// name read back as the name; and the UTF-8 bytes of Unix tools are written
// back unchanged.
TEST(ItemNameBytes, WrittenNamesReadBackOnEveryHost) {
  const UString names[] = {kEAcute,
                           kGreek,
                           u"plain.txt",
                           u"5\u20AC.txt",
                           u"\u250C\u2500\u2510",
                           UString(u"a\0\u00E9.txt", 7),
                           u"\U0001F600.txt",
                           u"\u00B5\u00E4\u00F6.txt"};
  for (const uint16_t madeBy : {kMsDos, kNtfs, kUnix, kOsX}) {
    for (const bool oem : {true, false}) {
      for (const UString& name : names) {
        SCOPED_TRACE(::testing::Message()
                     << std::hex << madeBy << " oem " << oem << " " << ToUtf8(name));
        TKelZipCentralDir header = Header(0, madeBy);
        const AnsiString bytes = ItemNameToBytes(name, false, header, oem);
        EXPECT_EQ(ItemNameFromBytes(bytes, header, oem), name);
      }
    }
  }
  // The last one reads as a name whose OEM form would be UTF-8 of yet another name.
  for (const AnsiString& stored :
       {AnsiString("sub/caf\xC3\xA9.txt"), AnsiString("\xCE\xB1\xCE\xB2\xCE\xB3.txt"),
        AnsiString("caf\xC3\x83\xC2\xA9.txt")}) {
    for (const bool oem : {true, false}) {
      SCOPED_TRACE(::testing::Message() << stored << " oem " << oem);
      TKelZipCentralDir header = Header(0, kUnix);
      const UString name = ItemNameFromBytes(stored, header, oem);
      EXPECT_EQ(ItemNameToBytes(name, IsHostUtf8Name(stored, header), header, oem), stored);
      EXPECT_EQ(header.genPurposeFlag, 0);
    }
  }
}

TEST(ItemNameBytes, NamesBeyondTheLengthFieldAreRefused) {
  uint16_t flag = 0;
  EXPECT_EQ(ItemNameToBytes(UString(0xFFFF, u'a'), flag, false).size(), 0xFFFFu);
  EXPECT_THROW(ItemNameToBytes(UString(0x10000, u'a'), flag, false), Exception);
  // 2 bytes per character in UTF-8: the flag must not change when it fails.
  EXPECT_THROW(ItemNameToBytes(UString(0x8000, u'\u03B1'), flag, false), Exception);
  EXPECT_EQ(flag, 0);
  // The same with a header, also for the bytes only the UTF-8 form replaces:
  // 0xFFFF OEM bytes that pass for host UTF-8 would need twice as many.
  UString micro;
  for (int i = 0; i < 0x5555; ++i)
    micro += u"\u00B5\u00E4\u00F6";
  const std::pair<uint16_t, bool> hosts[] = {{kMsDos, false}, {kUnix, false}, {kUnix, true}};
  for (const auto& [madeBy, hostUtf8] : hosts) {
    SCOPED_TRACE(::testing::Message() << std::hex << madeBy << " host UTF-8 " << hostUtf8);
    TKelZipCentralDir header = Header(0, madeBy);
    EXPECT_EQ(ItemNameToBytes(UString(0x7FFF, u'\u03B1') + u"a", hostUtf8, header, true).size(),
              0xFFFFu);
    header = Header(0, madeBy);
    EXPECT_THROW(ItemNameToBytes(UString(0x8000, u'\u03B1'), hostUtf8, header, true), Exception);
    EXPECT_EQ(header.genPurposeFlag, 0);
  }
  TKelZipCentralDir header = Header(0, kUnix);
  EXPECT_THROW(ItemNameToBytes(micro, false, header, true), Exception);
  EXPECT_EQ(header.genPurposeFlag, 0);
  header = Header(0, kMsDos);
  EXPECT_EQ(ItemNameToBytes(micro, false, header, true).size(), 0xFFFFu);
}

}  // namespace
}  // namespace kelvane
