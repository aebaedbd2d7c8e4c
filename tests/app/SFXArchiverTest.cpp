#include <gtest/gtest.h>

#include "app/SFXArchiver.h"

namespace kelvane {
namespace {

// Opens the archiver's questions to the test; the answers come from handlers.
class TProbe : public TSFXArchiver {
 public:
  using TSFXArchiver::DoConfirmOverwrite;
  using TSFXArchiver::DoPassword;
  using TSFXArchiver::DoProcessFileFailure;
  using TSFXArchiver::TSFXArchiver;
};

class SFXArchiver : public ::testing::Test {
 protected:
  TComponent owner{nullptr};
  TProbe& a = *new TProbe(&owner);

  TKelAction Fail(const UString& name, TKelAction answer, const UString& message = u"boom") {
    a.SetOnProcessFileFailure([answer](TKelBaseArchiver*, const UString&, TKelProcessOperation,
                                       int32_t, int32_t, const UString&,
                                       TKelAction& action) { action = answer; });
    TKelAction action = fxaRetry;
    a.DoProcessFileFailure(name, poExtract, 8, 3, message, action);
    return action;
  }
};

TEST_F(SFXArchiver, CountsWhatWasNotDoneAndPassesTheAnswersOn) {
  a.SetOnConfirmOverwrite([](TKelBaseArchiver*, const UString& source, UString&, bool& confirm) {
    confirm = source == u"yes.txt";
  });
  UString dest = u"/d/x";
  bool confirm = false;
  a.DoConfirmOverwrite(u"yes.txt", dest, confirm);
  EXPECT_TRUE(confirm);
  a.DoConfirmOverwrite(u"no.txt", dest, confirm);
  EXPECT_FALSE(confirm);

  a.SetOnPassword([](TKelBaseArchiver*, const UString& name, AnsiString& password, bool& skip) {
    skip = name == u"locked.bin";
    if (!skip) password = "secret";
  });
  AnsiString password;
  bool skip = false;
  a.DoPassword(u"open.bin", password, skip);
  EXPECT_EQ(password, "secret");
  a.DoPassword(u"locked.bin", password, skip);
  EXPECT_TRUE(skip);

  EXPECT_EQ(Fail(u"retried.bin", fxaRetry), fxaRetry);
  EXPECT_EQ(Fail(u"bad.bin", fxaIgnore, u"Archiver: CRC error - Native error: 00008"), fxaIgnore);

  const TRunTally& t = a.Tally();
  EXPECT_EQ(t.Count(ioKept), 1u);
  EXPECT_EQ(t.Count(ioSkipped), 1u);
  EXPECT_EQ(t.Count(ioFailed), 1u) << "a retry is no failure";
  EXPECT_FALSE(t.Aborted());
  EXPECT_FALSE(t.Complete());
  EXPECT_EQ(t.Summary("extracted"),
            "3 items were not extracted (1 kept, 1 skipped for want of a password, 1 failed: "
            "Archiver: CRC error - Native error: 00008)");
}

TEST_F(SFXArchiver, AbortEndsTheRunAndIsReported) {
  EXPECT_EQ(Fail(u"a.bin", fxaAbort), fxaAbort);
  EXPECT_TRUE(a.Tally().Aborted());
  EXPECT_EQ(a.Tally().Summary("extracted"),
            "the run was aborted; 1 item was not extracted (1 failed: boom)");
  a.Tally().Clear();
  EXPECT_TRUE(a.Tally().Complete());
  EXPECT_EQ(a.Tally().Summary("extracted"), "");
}

TEST(RunTally, AnItemCountsOnceWhicheverSeparatorsItsNameHas) {
  TRunTally t;
  t.Note(u"dir\\sub\\a.bin", ioSkipped);  // as the password question names it
  t.Note(u"dir/sub/a.bin", ioFailed, u"later");
  t.Note(u"dir/sub/b.bin", ioFailed, u"first failure");
  EXPECT_EQ(t.Count(ioSkipped), 1u);
  EXPECT_EQ(t.Count(ioFailed), 1u);
  EXPECT_EQ(t.FirstFailure(), u"first failure");
}

}  // namespace
}  // namespace kelvane
