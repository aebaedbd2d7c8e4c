#include "engine/PasswordInputQuery.h"

#include <gtest/gtest.h>
#include "unit/WinPosix.h"

#include <limits>
#include <string>

#include "platform/ScriptedDialogs.h"
#include "platform/TerminalDialogs.h"

namespace kelvane {
namespace {

constexpr int32_t Max32 = std::numeric_limits<int32_t>::max();

TEST(MulDiv, RoundsHalvesAwayFromZeroAndFailsWithMinusOne) {
  struct Case {
    int32_t a, b, c, result;
  };
  const Case cases[] = {
      {63, 13, 8, 102},                                                // 102.375
      {19, 13, 8, 31},                                                 // 30.875
      {50, 7, 4, 88},                                                  // 87.5: half up
      {-50, 7, 4, -88},                                                // -87.5: half away from zero
      {50, 7, -4, -88},                                                // a negative divisor
      {-50, -7, -4, -88},                                              //
      {3, 3, 9, 1},       {0, 5, 3, 0}, {Max32, Max32, Max32, Max32},  // the product needs 62 bits
      {Max32, 2, 1, -1},                                               // the result does not fit
      {1, 1, 0, -1},                                                   // no divisor
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.a << " * " << c.b << " / " << c.c);
    EXPECT_EQ(MulDiv(c.a, c.b, c.c), c.result);
  }
}

TEST(AverageCharSize, MeasuresTheFiftyTwoLettersAndDividesTheWidth) {
  UString measured;
  const TCharSize size = AverageCharSize([&](UStringView text) {
    measured = UString(text);
    return TCharSize{363, 15};  // 6.98 per letter
  });
  EXPECT_EQ(measured, u"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
  EXPECT_EQ(size, (TCharSize{6, 15}));  // integer division, not rounding
}

TEST(PasswordDialogLayout, PlacesEverythingFromTheAverageCharacter) {
  struct Case {
    TCharSize charSize;
    int32_t clientWidth, clientHeight;
    TDialogRect label, edit, ok, cancel;
  };
  const Case cases[] = {
      {{6, 13}, 270, 102, {12, 13, 0, 0}, {12, 31, 246, 0}, {57, 67, 75, 23}, {138, 67, 75, 23}},
      {{7, 16}, 315, 126, {14, 16, 0, 0}, {14, 38, 287, 0}, {67, 82, 88, 28}, {161, 82, 88, 28}},
      {{5, 11}, 225, 87, {10, 11, 0, 0}, {10, 26, 205, 0}, {48, 56, 63, 19}, {115, 56, 63, 19}},
      {{0, 0}, 0, 0, {0, 0, 0, 0}, {0, 0, 0, 0}, {0, 0, 0, 0}, {0, 0, 0, 0}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "W " << c.charSize.Width << ", H " << c.charSize.Height);
    const TPasswordDialogLayout layout = PasswordDialogLayout(c.charSize);
    EXPECT_EQ(layout.ClientWidth, c.clientWidth);
    EXPECT_EQ(layout.ClientHeight, c.clientHeight);
    EXPECT_EQ(layout.Label, c.label);
    EXPECT_EQ(layout.Edit, c.edit);
    EXPECT_EQ(layout.OkButton, c.ok);
    EXPECT_EQ(layout.CancelButton, c.cancel);
    EXPECT_EQ(layout.MaxLength, 255);
    EXPECT_EQ(layout.PasswordChar, u'*');
  }
}

TEST(PasswordInputQuery, AsksTheProviderForMaskedInput) {
  TScriptedDialogs dialogs;
  TCurrentDialogsScope use(dialogs);
  dialogs.AnswerInput(u"typed");
  dialogs.CancelInput();

  UString value = u"start";
  EXPECT_TRUE(PasswordInputQuery(u"Password for \"a\"", u"Enter password: ", value));
  EXPECT_EQ(value, u"typed");
  EXPECT_FALSE(PasswordInputQuery(u"Password for \"b\"", u"Enter password: ", value));
  EXPECT_EQ(value, u"typed");  // Cancel leaves it

  ASSERT_EQ(dialogs.Questions().size(), 2u);
  const TDialogQuestion& q = dialogs.Questions()[0];
  EXPECT_EQ(q.Kind, dqInput);
  EXPECT_EQ(q.Caption, u"Password for \"a\"");
  EXPECT_EQ(q.Text, u"Enter password: ");
  EXPECT_EQ(q.Value, u"start");
  EXPECT_TRUE(q.Masked);
}

// On a terminal the password is read from the input and never written back.
TEST(PasswordInputQuery, TerminalReadsTheLineWithoutShowingIt) {
  int in[2], out[2];
  ASSERT_EQ(::pipe(in), 0);
  ASSERT_EQ(::pipe(out), 0);
  const std::string typed = "s3cret\n";
  ASSERT_EQ(::write(in[1], typed.data(), typed.size()), ssize_t(typed.size()));
  ::close(in[1]);

  TTerminalDialogs terminal(in[0], out[1]);
  TCurrentDialogsScope use(terminal);
  UString value;
  EXPECT_TRUE(PasswordInputQuery(u"Password for \"a.txt\"", u"Enter password: ", value));
  EXPECT_EQ(value, u"s3cret");
  // The input has ended: the next question is cancelled and changes nothing.
  EXPECT_FALSE(PasswordInputQuery(u"Password for \"b.txt\"", u"Enter password: ", value));
  EXPECT_EQ(value, u"s3cret");

  // Everything shown fits in the pipe; closed, it reads to its end.
  ::close(out[1]);
  std::string shown;
  char buf[4096];
  for (int n; (n = static_cast<int>(::read(out[0], buf, sizeof buf))) > 0;)
    shown.append(buf, size_t(n));
  for (int fd : {in[0], out[0]})
    ::close(fd);
  EXPECT_NE(shown.find("Password for \"a.txt\""), std::string::npos) << shown;
  EXPECT_NE(shown.find("Enter password: "), std::string::npos) << shown;
  EXPECT_EQ(shown.find("s3cret"), std::string::npos) << shown;
}

}  // namespace
}  // namespace kelvane
