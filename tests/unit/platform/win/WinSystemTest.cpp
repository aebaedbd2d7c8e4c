// Code pages, random bytes, processors and console detection from the system.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <io.h>
#include <windows.h>

#include <bit>
#include <cstring>

#include "platform/CodePage.h"
#include "platform/Processors.h"
#include "platform/Random.h"
#include "platform/TerminalIO.h"

namespace kelvane {
namespace {

// Every byte converts as the system's own conversions give it, whatever the
// system's pages are.
TEST(WinCodePage, ConversionsAreTheSystemsPages) {
  for (int b = 0; b < 256; ++b) {
    SCOPED_TRACE(b);
    const char in = static_cast<char>(b);
    wchar_t ansi = 0, oem = 0;
    ASSERT_EQ(MultiByteToWideChar(CP_ACP, 0, &in, 1, &ansi, 1), 1);
    ASSERT_EQ(MultiByteToWideChar(CP_OEMCP, 0, &in, 1, &oem, 1), 1);
    EXPECT_EQ(AnsiToUnicode(std::string(1, in)), UString(1, static_cast<char16_t>(ansi)));
    EXPECT_EQ(OemToUnicode(std::string(1, in)), UString(1, static_cast<char16_t>(oem)));
    // The user interface's own byte conversions between the pages.
    char toOem = 0, toAnsi = 0;
    CharToOemBuffA(&in, &toOem, 1);
    OemToCharBuffA(&in, &toAnsi, 1);
    if (b != 0) {
      EXPECT_EQ(AnsiToOemChar(static_cast<uint8_t>(b)), static_cast<uint8_t>(toOem));
      EXPECT_EQ(OemToAnsiChar(static_cast<uint8_t>(b)), static_cast<uint8_t>(toAnsi));
    }
  }
}

TEST(WinCodePage, CharactersWithoutAnAnsiFormAreReported) {
  bool defaulted = true;
  EXPECT_EQ(UnicodeToAnsi(u"plain", &defaulted), "plain");
  EXPECT_FALSE(defaulted);
  EXPECT_EQ(UnicodeToAnsi(u"\u4E2D\U0001F600", &defaulted).find_first_not_of('?'),
            std::string::npos);
  EXPECT_TRUE(defaulted);
  // Each byte's character comes back from its Unicode form, or the page lacks it.
  for (int b = 0x80; b < 0x100; ++b) {
    const char16_t c = AnsiCharToUnicode(static_cast<uint8_t>(b));
    const AnsiString back = UnicodeToAnsi(UString(1, c), &defaulted);
    if (!defaulted) EXPECT_EQ(back, std::string(1, static_cast<char>(b)));
  }
}

TEST(WinSystem, RandomBytesAndProcessors) {
  uint8_t a[64] = {}, b[64] = {};
  RandomBytes(a, sizeof a);
  RandomBytes(b, sizeof b);
  EXPECT_NE(std::memcmp(a, b, sizeof a), 0);
  DWORD_PTR process = 0, system = 0;
  ASSERT_TRUE(GetProcessAffinityMask(GetCurrentProcess(), &process, &system));
  EXPECT_EQ(ProcessorsAvailable(), static_cast<unsigned>(std::popcount(uint64_t(process))));
}

TEST(WinSystem, ADiskFileOrNulIsNoTerminal) {
  const int nul = _open("NUL", _O_RDONLY);
  ASSERT_GE(nul, 0);
  EXPECT_FALSE(IsTerminal(nul));  // the C library's isatty says yes here
  _close(nul);
}

}  // namespace
}  // namespace kelvane
