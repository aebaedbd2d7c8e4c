#include "platform/CodePage.h"

#include <gtest/gtest.h>

namespace kelvane {
namespace {

// Characters present in both pages, with their byte in each.
struct TSharedChar {
  char16_t Char;
  uint8_t Ansi;
  uint8_t Oem;
};

constexpr TSharedChar kShared[] = {
    {u'\u00E9', 0xE9, 0x82},  // e acute
    {u'\u00C7', 0xC7, 0x80},  // C cedilla
    {u'\u00FC', 0xFC, 0x81},  // u diaeresis
    {u'\u00DF', 0xDF, 0xE1},  // sharp s
    {u'\u00F1', 0xF1, 0xA4},  // n tilde
    {u'\u00A3', 0xA3, 0x9C},  // pound sign
    {u'\u0192', 0x83, 0x9F},  // f hook: the one 1252 byte below 0xA0 that 850 holds
    {u'\u00A0', 0xA0, 0xFF},  // no-break space
    {u'\u00FF', 0xFF, 0x98},  // y diaeresis
};

TEST(CodePage, SharedCharactersHaveTheirBytesInBothPages) {
  for (const TSharedChar& c : kShared) {
    SCOPED_TRACE(static_cast<int>(c.Char));
    bool usedDefault = true;
    EXPECT_EQ(UnicodeToAnsi(UString(1, c.Char), &usedDefault), AnsiString(1, char(c.Ansi)));
    EXPECT_FALSE(usedDefault);
    EXPECT_EQ(AnsiToOemChar(c.Ansi), c.Oem);
    EXPECT_EQ(OemToAnsiChar(c.Oem), c.Ansi);
    EXPECT_EQ(OemToUnicode(AnsiString(1, char(c.Oem))), UString(1, c.Char));
  }
}

TEST(CodePage, EveryAnsiByteRoundTripsThroughUtf16) {
  AnsiString all;
  for (int b = 0; b < 256; ++b)
    all += static_cast<char>(b);
  const UString wide = AnsiToUnicode(all);
  ASSERT_EQ(wide.size(), 256u);
  bool usedDefault = true;
  EXPECT_EQ(UnicodeToAnsi(wide, &usedDefault), all);
  EXPECT_FALSE(usedDefault);
}

TEST(CodePage, UndefinedAnsiBytesBecomeC1Controls) {
  for (const uint8_t b : {0x81, 0x8D, 0x8F, 0x90, 0x9D})
    EXPECT_EQ(AnsiCharToUnicode(b), char16_t(b)) << b;
  EXPECT_EQ(AnsiCharToUnicode(0x80), u'\u20AC');
  EXPECT_EQ(AnsiCharToUnicode(0x9F), u'\u0178');
}

TEST(CodePage, CharactersWithoutAnsiFormBecomeTheDefaultCharacter) {
  struct {
    UString In;
    AnsiString Out;
  } cases[] = {
      {u"\u03B1\u03B2.txt", "??.txt"},           // Greek
      {u"a\U0001F600b", "a?b"},                  // a surrogate pair is one character
      {UString(u"x") + char16_t(0xD800), "x?"},  // lone surrogate
      {u"\u2500", "?"},                          // in OEM 850, not in ANSI
  };
  for (const auto& c : cases) {
    bool usedDefault = false;
    EXPECT_EQ(UnicodeToAnsi(c.In, &usedDefault), c.Out);
    EXPECT_TRUE(usedDefault);
  }
}

TEST(CodePage, InPlaceConversionStopsAtTheFirstZeroByte) {
  AnsiString s("\xE9\xE9\0\xE9\xC4", 5);
  AnsiToOemInPlace(s);
  EXPECT_EQ(s, AnsiString("\x82\x82\0\xE9\xC4", 5));
  OemToAnsiInPlace(s);
  EXPECT_EQ(s, AnsiString("\xE9\xE9\0\xE9\xC4", 5));

  AnsiString leadingZero("\0\x82", 2);
  OemToAnsiInPlace(leadingZero);
  EXPECT_EQ(leadingZero, AnsiString("\0\x82", 2));
}

TEST(CodePage, ConversionBetweenPagesKeepsTheCharacterWhereBothHoldIt) {
  int withoutForm = 0;
  for (int b = 0; b < 256; ++b) {
    SCOPED_TRACE(b);
    const auto ansi = static_cast<uint8_t>(b);
    const uint8_t oem = AnsiToOemChar(ansi);
    if (AnsiCharHasOemForm(ansi)) {
      EXPECT_EQ(OemToUnicode(AnsiString(1, char(oem)))[0], AnsiCharToUnicode(ansi));
      EXPECT_EQ(OemToAnsiChar(oem), ansi);
    } else {
      ++withoutForm;
#ifndef _WIN32  // the fixed tables' choice; Windows' own best fit may land on a box corner
      // Best fit lands on a character that survives the way back.
      EXPECT_EQ(AnsiToOemChar(OemToAnsiChar(oem)), oem);
#endif
    }
  }
  // 0x80-0x9F except the f hook.
  EXPECT_EQ(withoutForm, 31);
}

TEST(CodePage, BestFitChoices) {
#ifdef _WIN32
  GTEST_SKIP() << "the fixed tables' look-alikes; Windows converts with its own best fit "
                  "(WinCodePage compares with the system's conversions)";
#endif
  struct {
    uint8_t From;
    uint8_t To;
  } ansiToOem[] = {{0x80, 'E'}, {0x93, '"'}, {0x96, '-'}, {0x95, 0xFA}, {0x8A, 'S'}, {0x81, '?'}},
    oemToAnsi[] = {{0xC4, '-'}, {0xB3, '|'}, {0xDA, '+'}, {0xCD, '='}, {0xD5, 'i'}, {0xB0, '?'}};
  for (const auto& c : ansiToOem)
    EXPECT_EQ(AnsiToOemChar(c.From), c.To) << int(c.From);
  for (const auto& c : oemToAnsi)
    EXPECT_EQ(OemToAnsiChar(c.From), c.To) << int(c.From);
}

TEST(CodePage, AsciiNeverChanges) {
  for (int b = 0; b < 0x80; ++b) {
    EXPECT_EQ(AnsiToOemChar(uint8_t(b)), b);
    EXPECT_EQ(OemToAnsiChar(uint8_t(b)), b);
    EXPECT_EQ(OemToUnicode(AnsiString(1, char(b)))[0], char16_t(b));
  }
}

}  // namespace
}  // namespace kelvane
