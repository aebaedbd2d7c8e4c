#include "platform/TerminalDialogs.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <string>
#include <thread>

namespace kelvane {
namespace {

// A terminal session fed from a pipe; what the provider writes is collected.
class TerminalPipes : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(::pipe(FIn), 0);
    ASSERT_EQ(::pipe(FOut), 0);
    ::fcntl(FOut[0], F_SETFL, O_NONBLOCK);
  }
  void TearDown() override {
    for (int fd : {FIn[0], FIn[1], FOut[0], FOut[1]})
      if (fd >= 0) ::close(fd);
  }
  // Queues what the user types; closing ends the input.
  void Type(const std::string& s, bool close = true) {
    ASSERT_EQ(::write(FIn[1], s.data(), s.size()), ssize_t(s.size()));
    if (close) {
      ::close(FIn[1]);
      FIn[1] = -1;
    }
  }
  std::string Shown() {
    std::string out;
    char buf[4096];
    for (ssize_t n; (n = ::read(FOut[0], buf, sizeof buf)) > 0;)
      out.append(buf, size_t(n));
    return out;
  }
  TTerminalDialogs Dialogs() { return TTerminalDialogs(FIn[0], FOut[1]); }

  int FIn[2] = {-1, -1};
  int FOut[2] = {-1, -1};
};

TEST_F(TerminalPipes, ShowsTheQuestionAndTakesLettersWordsOrTheDefault) {
  struct Case {
    const char* typed;
    TModalResult answer;
  };
  const Case cases[] = {
      {"\n", mrYes},  // the default button
      {"n\n", mrNo},
      {"  N \n", mrNo},            // either case, blanks ignored
      {"e\n", mrYesToAll},         // "Y[e]s to All": y was taken by Yes
      {"no to all\n", mrNoToAll},  // the whole caption
      {"what\nq\no\n", mrNoToAll},
      {"", mrNo},  // input ended: the answer of nobody
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.typed);
    TearDown();
    SetUp();
    Type(c.typed);
    TTerminalDialogs dialogs = Dialogs();
    EXPECT_EQ(dialogs.MessageDlg(u"Overwrite file \"d\\a.txt\" with \"a.txt\"", u"Confirm",
                                 mtConfirmation, {mbYes, mbNo, mbNoToAll, mbYesToAll}, mbYes),
              c.answer);
    const std::string shown = Shown();
    EXPECT_NE(shown.find("Confirm"), std::string::npos);
    EXPECT_NE(shown.find("Overwrite file \"d\\a.txt\" with \"a.txt\""), std::string::npos);
    EXPECT_NE(shown.find("[Y]es  [N]o  N[o] to All  Y[e]s to All"), std::string::npos) << shown;
  }
}

TEST_F(TerminalPipes, RepeatsTheQuestionAfterAnUnknownAnswer) {
  Type("x\nr\n");
  TTerminalDialogs dialogs = Dialogs();
  EXPECT_EQ(dialogs.MessageDlg(u"Failed", u"", mtError, {mbAbort, mbRetry, mbIgnore}, mbAbort),
            mrRetry);
  const std::string shown = Shown();
  EXPECT_NE(shown.find("Please answer with one of the letters in brackets."), std::string::npos);
  EXPECT_NE(shown.find("Error"), std::string::npos);  // the usual caption when none is given
}

TEST_F(TerminalPipes, InputQueryConfirmsKeepsOrCancels) {
  struct Case {
    const char* typed;
    bool confirmed;
    const char16_t* value;
  };
  const Case cases[] = {
      {"typed\n", true, u"typed"},   {"caf\xc3\xa9\r\n", true, u"caf\u00e9"},
      {"\n", true, u"offered"},                                // the value offered stands
      {"\x1b\n", false, u"offered"}, {"", false, u"offered"},  // end of input
      {"partial", true, u"partial"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.typed);
    TearDown();
    SetUp();
    Type(c.typed);
    TTerminalDialogs dialogs = Dialogs();
    UString value = u"offered";
    EXPECT_EQ(dialogs.InputQuery(u"Name", u"New name: ", value, false), c.confirmed);
    EXPECT_EQ(value, c.value);
    EXPECT_NE(Shown().find("New name: [offered] "), std::string::npos);
  }
}

TEST_F(TerminalPipes, InputOfMoreThan255CharactersIsAskedAgain) {
  Type(std::string(256, 'a') + "\n" + std::string(255, 'b') + "\n");
  TTerminalDialogs dialogs = Dialogs();
  UString value;
  EXPECT_TRUE(dialogs.InputQuery(u"Password", u"Enter password: ", value, true));
  EXPECT_EQ(value, UString(255, u'b'));
  EXPECT_NE(Shown().find("At most 255 characters"), std::string::npos);
}

// A pseudo-terminal: the only way to see what a real terminal would echo.
class PseudoTerminal : public ::testing::Test {
 protected:
  void SetUp() override {
    FMaster = ::posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_GE(FMaster, 0);
    ASSERT_EQ(::grantpt(FMaster), 0);
    ASSERT_EQ(::unlockpt(FMaster), 0);
    FSlave = ::open(::ptsname(FMaster), O_RDWR | O_NOCTTY);
    ASSERT_GE(FSlave, 0);
  }
  void TearDown() override {
    ::close(FSlave);
    ::close(FMaster);
  }
  // Everything the terminal shows up to and including Needle (empty: all there is
  // now). Gives up after a generous wait so that a fault cannot hang the suite.
  std::string ShownUntil(const std::string& needle) {
    std::string out;
    for (;;) {
      if (!needle.empty() && out.find(needle) != std::string::npos) return out;
      pollfd p{FMaster, POLLIN, 0};
      if (::poll(&p, 1, needle.empty() ? 0 : 10000) <= 0) return out;
      char buf[256];
      const ssize_t n = ::read(FMaster, buf, sizeof buf);
      if (n <= 0) return out;
      out.append(buf, size_t(n));
    }
  }
  // Asks through the slave side while "typing" Typed on the master side once
  // the prompt shows; returns what the terminal showed after the prompt.
  std::string Ask(bool masked, const std::string& typed, UString& value, bool& confirmed) {
    TTerminalDialogs dialogs(FSlave, FSlave);
    std::thread asker(
        [&] { confirmed = dialogs.InputQuery(u"Password", u"Enter password: ", value, masked); });
    const std::string prompt = ShownUntil("Enter password: ");
    EXPECT_NE(prompt.find("Enter password: "), std::string::npos);
    EXPECT_EQ(::write(FMaster, typed.data(), typed.size()), ssize_t(typed.size()));
    asker.join();
    return ShownUntil("");
  }

  int FMaster = -1;
  int FSlave = -1;
};

TEST_F(PseudoTerminal, MaskedInputIsNotEchoedAndEchoComesBack) {
  UString value;
  bool confirmed = false;
  const std::string shown = Ask(true, "s3cret\n", value, confirmed);
  EXPECT_TRUE(confirmed);
  EXPECT_EQ(value, u"s3cret");
  EXPECT_EQ(shown.find("s3cret"), std::string::npos) << shown;
  termios t{};
  ASSERT_EQ(::tcgetattr(FSlave, &t), 0);
  EXPECT_TRUE(t.c_lflag & ECHO);

  // The same check sees the text when the input is not masked.
  const std::string echoed = Ask(false, "visible\n", value, confirmed);
  EXPECT_NE(echoed.find("visible"), std::string::npos) << echoed;
}

}  // namespace
}  // namespace kelvane
