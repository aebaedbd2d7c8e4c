// The component's answers when no handler is assigned, asked through a scripted
// dialog provider that records every question.
#include <gtest/gtest.h>

#include <fstream>
#include <functional>
#include <regex>

#include "DiskName.h"
#include "TempDir.h"
#include "engine/Kelvane.h"
#include "names/NameText.h"
#include "platform/ScriptedDialogs.h"
#include "platform/Text.h"

namespace kelvane {
namespace {

class THandlersProbe : public TKelvane {
 public:
  using TKelBaseArchiver::DoConfirmOverwrite;
  using TKelBaseArchiver::DoDiskFull;
  using TKelBaseArchiver::DoPassword;
  using TKelBaseArchiver::DoProcessFileFailure;
  using TKelBaseArchiver::DoRequestBlankVolume;
  using TKelBaseArchiver::DoRequestFirstVolume;
  using TKelBaseArchiver::DoRequestLastVolume;
  using TKelBaseArchiver::DoRequestMiddleVolume;
  using TKelvane::TKelvane;
  void SetFileOpenMode(uint16_t mode) { FileOpenMode = mode; }
};

void Touch(const UString& path) {
  std::ofstream(ToUtf8(path)) << "volume";
}

class DefaultHandlers : public ::testing::Test {
 protected:
  // The archive data.zip in a fresh folder; volumes are named after it.
  UString Archive() const { return FDir.Path(u"data.zip"); }

  const TDialogQuestion& OnlyQuestion() const {
    EXPECT_EQ(FDialogs.Questions().size(), 1u);
    return FDialogs.Questions().back();
  }

  test::TempDir FDir;
  TScriptedDialogs FDialogs;
  TCurrentDialogsScope FUse{FDialogs};
  THandlersProbe FArchiver{nullptr};
};

// ---- What is asked

TEST_F(DefaultHandlers, EveryQuestionWithItsTextButtonsAndDefault) {
  struct Case {
    const char* what;
    TKelSpanningMode mode;
    std::function<void(THandlersProbe&, const UString& archive)> ask;
    UString text;
    TMsgDlgButtons buttons;
    TMsgDlgBtn defaultButton;
  };
  const TMsgDlgButtons okCancel{mbOK, mbCancel};
  const Case cases[] = {
      {"overwrite: destination first, then the source",
       smNone,
       [](THandlersProbe& a, const UString&) {
         UString dest = u"/out/dir/a.txt";
         bool confirm = true;
         a.DoConfirmOverwrite(u"dir\\a.txt", dest, confirm);
       },
       u"Overwrite file \"/out/dir/a.txt\" with \"dir\\a.txt\"",
       {mbYes, mbNo, mbNoToAll, mbYesToAll},
       mbYes},
      {"failure: the message is an argument, not a format",
       smNone,
       [](THandlersProbe& a, const UString&) {
         TKelAction action = fxaRetry;
         a.DoProcessFileFailure(u"f", poExtract, 46, 25, u"Archiver: 100%s full", action);
       },
       u"Archiver: 100%s full. File processing error, possibly disk is full",
       {mbAbort, mbRetry, mbIgnore},
       mbRetry},
      {"failure of a name that is too long: no Retry, the message unchanged",
       smNone,
       [](THandlersProbe& a, const UString&) {
         TKelAction action = fxaRetry;
         a.DoProcessFileFailure(u"f", poAdd, 61, 36, u"Archiver: name %d too long", action);
       },
       u"Archiver: name %d too long",
       {mbAbort, mbIgnore},
       mbIgnore},
      {"blank disk, counted from 1", smSpanning,
       [](THandlersProbe& a, const UString& archive) {
         UString name = archive;
         bool cancel = false;
         a.DoRequestBlankVolume(2, name, cancel);
       },
       u"Please insert a blank disk #3", okCancel, mbOK},
      {"blank disk for a negative number: the first", smSpanning,
       [](THandlersProbe& a, const UString& archive) {
         UString name = archive;
         bool cancel = false;
         a.DoRequestBlankVolume(-5, name, cancel);
       },
       u"Please insert a blank disk #1", okCancel, mbOK},
      {"first disk", smSpanning,
       [](THandlersProbe& a, const UString& archive) {
         UString name = archive;
         bool cancel = false;
         a.DoRequestFirstVolume(name, cancel);
       },
       u"Please insert the first disk", okCancel, mbOK},
      {"last disk", smSpanning,
       [](THandlersProbe& a, const UString& archive) {
         UString name = archive;
         bool cancel = false;
         a.DoRequestLastVolume(name, cancel);
       },
       u"Please insert the last disk", okCancel, mbOK},
      {"middle disk, counted from 1", smSpanning,
       [](THandlersProbe& a, const UString& archive) {
         UString name = archive;
         bool cancel = false;
         a.DoRequestMiddleVolume(4, name, cancel);
       },
       u"Please insert disk #5", okCancel, mbOK},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TScriptedDialogs dialogs;
    TCurrentDialogsScope use(dialogs);
    THandlersProbe archiver(nullptr);
    archiver.SetSpanningMode(c.mode);
    c.ask(archiver, Archive());
    ASSERT_EQ(dialogs.Questions().size(), 1u);
    const TDialogQuestion& q = dialogs.Questions()[0];
    EXPECT_EQ(q.Kind, dqMessage);
    EXPECT_EQ(q.Caption, u"Confirm");
    EXPECT_EQ(q.Type, mtConfirmation);
    EXPECT_EQ(q.Text, c.text);
    EXPECT_TRUE(q.Buttons == c.buttons);
    EXPECT_EQ(q.DefaultButton, c.defaultButton);
  }
}

TEST_F(DefaultHandlers, PasswordDialogIsMaskedTitledWithTheStoredNameAndStartsEmpty) {
  FArchiver.SetPassword("old");
  AnsiString password = "old";
  bool skip = false;
  FArchiver.DoPassword(u"dir/secret.txt", password, skip);

  const TDialogQuestion& q = OnlyQuestion();
  EXPECT_EQ(q.Kind, dqInput);
  EXPECT_EQ(q.Caption, u"Password for \"dir/secret.txt\"");
  EXPECT_EQ(q.Text, u"Enter password: ");
  EXPECT_EQ(q.Value, u"");  // not the password that was just found wrong
  EXPECT_TRUE(q.Masked);
}

TEST_F(DefaultHandlers, DiskFullStatesTheRequiredAndTheAvailableSpace) {
  struct Case {
    const char* what;
    TKelVolumeSize size;
    int64_t customSize;
    int64_t firstVolumeSize;
    int32_t volume;
    int64_t required;
  };
  const Case cases[] = {
      {"no limit: the least any volume needs", vsAutoDetect, 0, 0, 1, 65537},
      {"custom size", vsCustom, 1000000, 0, 3, 1000000},
      {"first volume with its own size", vs1_44MB, 0, 500000, 0, 500000},
      {"a later volume ignores the first volume's size", vs1_44MB, 0, 500000, 1, 1457664},
      {"the retrying writer's volume -1", vs100MB, 0, 0, -1, 104857600},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TScriptedDialogs dialogs;
    TCurrentDialogsScope use(dialogs);
    THandlersProbe archiver(nullptr);
    archiver.SetSpanningMode(smSpanning);
    archiver.SpanningOptions().SetVolumeSize(c.size);
    if (c.customSize) archiver.SpanningOptions().SetCustomVolumeSize(c.customSize);
    archiver.SpanningOptions().SetFirstVolumeSize(c.firstVolumeSize);
    dialogs.Answer(mrOk);
    bool cancel = true;
    archiver.DoDiskFull(c.volume, Archive(), cancel);
    EXPECT_FALSE(cancel);

    ASSERT_EQ(dialogs.Questions().size(), 1u);
    const TDialogQuestion& q = dialogs.Questions()[0];
    EXPECT_EQ(q.Caption, u"Confirm");
    EXPECT_EQ(q.Type, mtConfirmation);
    EXPECT_TRUE(q.Buttons == (TMsgDlgButtons{mbOK, mbCancel}));
    EXPECT_EQ(q.DefaultButton, mbOK);
    // The free space of the temporary folder's disk moves while we look.
    const std::regex shape(
        "Disk is full\\. Required free space: (-?[0-9]+) bytes, but available only: [0-9]+ "
        "bytes\\. Clean the disk or find another blank disk");
    std::smatch m;
    const std::string text = ToUtf8(q.Text);
    ASSERT_TRUE(std::regex_match(text, m, shape)) << text;
    EXPECT_EQ(std::stoll(m[1].str()), c.required);
  }
}

// ---- What the answers do

TEST_F(DefaultHandlers, OverwriteAnswersSetConfirmAndTheLastingMode) {
  struct Case {
    TModalResult answer;
    bool confirm;
    TKelOverwriteMode mode;
  };
  const Case cases[] = {
      {mrYes, true, omPrompt},
      {mrNo, false, omPrompt},
      {mrNoToAll, false, omNever},
      {mrYesToAll, true, omAlways},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "answer " << int(c.answer));
    FArchiver.Options().SetOverwriteMode(omPrompt);
    FDialogs.Answer(c.answer);
    UString dest = u"/out/a.txt";
    bool confirm = !c.confirm;
    FArchiver.DoConfirmOverwrite(u"a.txt", dest, confirm);
    EXPECT_EQ(confirm, c.confirm);
    EXPECT_EQ(FArchiver.Options().OverwriteMode(), c.mode);
    EXPECT_EQ(dest, u"/out/a.txt");
  }
  EXPECT_EQ(FDialogs.PendingAnswers(), 0u);
}

TEST_F(DefaultHandlers, FailureAnswersBecomeActions) {
  struct Case {
    int32_t native;
    TModalResult answer;  // mrNone: nothing asked
    TKelAction action;
  };
  const Case cases[] = {
      {46, mrRetry, fxaRetry},   {46, mrIgnore, fxaIgnore}, {46, mrAbort, fxaAbort},
      {61, mrIgnore, fxaIgnore}, {61, mrAbort, fxaAbort},   {45, mrNone, fxaAbort},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "native " << c.native << ", answer " << int(c.answer));
    TScriptedDialogs dialogs;
    TCurrentDialogsScope use(dialogs);
    if (c.answer != mrNone) dialogs.Answer(c.answer);
    TKelAction action = fxaRetry;
    FArchiver.DoProcessFileFailure(u"f", poExtract, c.native, 0, u"Archiver: failed", action);
    EXPECT_EQ(action, c.action);
    EXPECT_EQ(dialogs.Questions().size(), c.answer == mrNone ? 0u : 1u);
  }
}

TEST_F(DefaultHandlers, PasswordAnswersGiveTheNewPasswordOrSkip) {
  AnsiString password = "old";
  bool skip = true;

  FDialogs.AnswerInput(u"s3cret");
  FArchiver.DoPassword(u"a.txt", password, skip);
  EXPECT_EQ(password, "s3cret");
  EXPECT_FALSE(skip);

  FDialogs.CancelInput();
  FArchiver.DoPassword(u"a.txt", password, skip);
  EXPECT_EQ(password, "s3cret");  // Cancel leaves it
  EXPECT_TRUE(skip);

  // The next encrypted item asks again; an empty field is a password too.
  FDialogs.AnswerInput(u"");
  FArchiver.DoPassword(u"b.txt", password, skip);
  EXPECT_EQ(password, "");
  EXPECT_FALSE(skip);

  // Typed text is stored in the ANSI code page; what it lacks becomes "?".
  FDialogs.AnswerInput(u"caf\u00e9\u20ac\u4e2d");
  FArchiver.DoPassword(u"c.txt", password, skip);
  EXPECT_EQ(password, "caf\xE9\x80?");
  EXPECT_EQ(FDialogs.Questions().size(), 4u);
}

// The decoder asks while the password is wrong and the item is not skipped.
TEST_F(DefaultHandlers, PasswordLoopAsksAfterEachWrongPassword) {
  auto decode = [this](AnsiString& password, bool& skip) {
    skip = false;
    while (password != "right" && !skip)
      FArchiver.DoPassword(u"x.bin", password, skip);
  };
  AnsiString password;
  bool skip = false;
  FDialogs.AnswerInput(u"wrong");
  FDialogs.AnswerInput(u"");
  FDialogs.AnswerInput(u"right");
  decode(password, skip);
  EXPECT_EQ(password, "right");
  EXPECT_FALSE(skip);
  EXPECT_EQ(FDialogs.Questions().size(), 3u);

  password = "stale";
  FDialogs.AnswerInput(u"wrong");
  FDialogs.CancelInput();
  decode(password, skip);
  EXPECT_TRUE(skip);
  EXPECT_EQ(password, "wrong");
  EXPECT_EQ(FDialogs.Questions().size(), 5u);
}

TEST_F(DefaultHandlers, SpannedDiskRequestsCancelUnlessOk) {
  using TRequest = std::function<void(THandlersProbe&, UString&, bool&)>;
  const std::pair<const char*, TRequest> requests[] = {
      {"blank", [](THandlersProbe& a, UString& n, bool& c) { a.DoRequestBlankVolume(1, n, c); }},
      {"first", [](THandlersProbe& a, UString& n, bool& c) { a.DoRequestFirstVolume(n, c); }},
      {"last", [](THandlersProbe& a, UString& n, bool& c) { a.DoRequestLastVolume(n, c); }},
      {"middle", [](THandlersProbe& a, UString& n, bool& c) { a.DoRequestMiddleVolume(1, n, c); }},
  };
  Touch(Archive());  // so that the last disk is found at once
  FArchiver.SetFileName(Archive());
  FArchiver.SetSpanningMode(smSpanning);
  for (const auto& [what, request] : requests) {
    for (TModalResult answer : {mrOk, mrCancel}) {
      SCOPED_TRACE(testing::Message() << what << ", answer " << int(answer));
      FDialogs.Answer(answer);
      UString name = Archive();
      bool cancel = answer == mrOk;
      request(FArchiver, name, cancel);
      EXPECT_EQ(cancel, answer != mrOk);
      EXPECT_EQ(name, Archive());  // spanned volumes share the archive's name
    }
  }
  EXPECT_EQ(FDialogs.Questions().size(), 8u);
}

TEST_F(DefaultHandlers, SpannedRequestsFindTheNamingVariantOnTheInsertedDisk) {
  FArchiver.SetSpanningMode(smSpanning);
  Touch(FDir.Path(u"data_001.zip"));
  Touch(FDir.Path(u"data_003.zip"));

  UString name = Archive();
  bool cancel = true;
  FDialogs.Answer(mrOk);
  FArchiver.DoRequestFirstVolume(name, cancel);
  EXPECT_FALSE(cancel);
  EXPECT_EQ(name, FDir.Path(u"data_001.zip"));

  name = Archive();
  FDialogs.Answer(mrOk);
  FArchiver.DoRequestMiddleVolume(2, name, cancel);
  EXPECT_FALSE(cancel);
  EXPECT_EQ(name, FDir.Path(u"data_003.zip"));

  // A blank volume is named without looking: nothing is on a blank disk.
  FArchiver.SpanningOptions().SetAdvancedNaming(true);
  name = Archive();
  FDialogs.Answer(mrOk);
  FArchiver.DoRequestBlankVolume(1, name, cancel);
  EXPECT_EQ(name, FDir.Path(u"data_002.zip"));
}

// The user is asked for the last disk until the file is on it.
TEST_F(DefaultHandlers, LastDiskIsAskedForUntilTheFileIsThere) {
  class TInsertOnSecondAsk : public TScriptedDialogs {
   public:
    explicit TInsertOnSecondAsk(UString path) : FPath(std::move(path)) {}
    TModalResult MessageDlg(const UString& text, const UString& caption, TMsgDlgType type,
                            TMsgDlgButtons buttons, TMsgDlgBtn defaultButton) override {
      if (Questions().size() == 1) Touch(FPath);
      return TScriptedDialogs::MessageDlg(text, caption, type, buttons, defaultButton);
    }

   private:
    UString FPath;
  };
  TInsertOnSecondAsk dialogs(Archive());
  TCurrentDialogsScope use(dialogs);
  FArchiver.SetSpanningMode(smSpanning);
  dialogs.Answer(mrOk);
  dialogs.Answer(mrOk);
  dialogs.Answer(mrOk);  // not needed: the file is there after the second box

  UString name = Archive();
  bool cancel = true;
  FArchiver.DoRequestLastVolume(name, cancel);
  EXPECT_FALSE(cancel);
  ASSERT_EQ(dialogs.Questions().size(), 2u);
  EXPECT_EQ(dialogs.Questions()[0].Text, u"Please insert the last disk");
  EXPECT_EQ(dialogs.Questions()[1].Text, u"File '" + Archive() +
                                             u"' not found on inserted disk. Please insert last "
                                             u"disk with required file");

  // Cancel ends the asking while the file is still missing.
  const UString missing = FDir.Path(u"gone.zip");
  TScriptedDialogs again;
  TCurrentDialogsScope useAgain(again);
  again.Answer(mrOk);
  again.Answer(mrOk);
  again.Answer(mrCancel);
  name = missing;
  FArchiver.DoRequestLastVolume(name, cancel);
  EXPECT_TRUE(cancel);
  EXPECT_EQ(again.Questions().size(), 3u);
}

TEST_F(DefaultHandlers, SplitVolumeRequestsAskNothingAndCancelForAMissingFile) {
  struct Case {
    const char* what;
    int kind;  // 0 blank, 1 first, 2 last, 3 middle
    int32_t volume;
    const char16_t* present;  // file made beforehand, or null
    bool creating;
    UString expectedName;
    bool cancel;
  };
  const Case cases[] = {
      {"blank", 0, 1, nullptr, true, u"data.z02", false},
      {"first, present", 1, 0, u"data.Z01", false, u"data.Z01", false},
      {"first, missing", 1, 0, nullptr, false, u"data.z01", true},
      {"first, missing while creating", 1, 0, nullptr, true, u"data.z01", false},
      {"last, present", 2, -1, u"data.zip", false, u"data.zip", false},
      {"last, missing", 2, -1, nullptr, false, u"data.zip", true},
      {"middle, present", 3, 2, u"data.Z03", false, u"data.Z03", false},
      {"middle, missing", 3, 2, nullptr, false, u"data.z03", true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    test::TempDir dir;
    TScriptedDialogs dialogs;
    TCurrentDialogsScope use(dialogs);
    THandlersProbe archiver(nullptr);
    archiver.SetSpanningMode(smSplitting);
    archiver.SetFileOpenMode(c.creating ? fmCreate : fmOpenRead);
    if (c.present) Touch(dir.Path(c.present));
    UString name = dir.Path(u"data.zip");
    bool cancel = !c.cancel;
    switch (c.kind) {
      case 0:
        archiver.DoRequestBlankVolume(c.volume, name, cancel);
        break;
      case 1:
        archiver.DoRequestFirstVolume(name, cancel);
        break;
      case 2:
        archiver.DoRequestLastVolume(name, cancel);
        break;
      default:
        archiver.DoRequestMiddleVolume(c.volume, name, cancel);
        break;
    }
    EXPECT_EQ(cancel, c.cancel);
    // Without letter case on disk, the rule's own name opens a present part.
    EXPECT_EQ(name, dir.Path(test::kCaseSensitiveFiles ? c.expectedName
                                                       : LowerCaseAscii(c.expectedName)));
    EXPECT_TRUE(dialogs.Questions().empty());
  }
}

TEST_F(DefaultHandlers, DiskFullOutsideSpanningRaisesNativeError65) {
  for (TKelSpanningMode mode : {smNone, smSplitting}) {
    SCOPED_TRACE(int(mode));
    THandlersProbe archiver(nullptr);
    archiver.SetName(u"Archiver");
    archiver.SetSpanningMode(mode);
    bool cancel = true;
    try {
      archiver.DoDiskFull(-1, Archive(), cancel);
      ADD_FAILURE() << "no exception";
    } catch (const EKelException& e) {
      EXPECT_EQ(e.NativeError, 65);
      EXPECT_NE(e.Message().find(u"Disk is full. There is not enough free space on disk."),
                UString::npos);
    }
  }
  EXPECT_TRUE(FDialogs.Questions().empty());
}

// Handlers get the volume's name and no box is shown when one is assigned.
TEST_F(DefaultHandlers, HandlersSeeTheVolumeNameAndNoBoxIsShown) {
  FArchiver.SetSpanningMode(smSplitting);
  std::vector<std::pair<int32_t, UString>> seen;
  FArchiver.SetOnRequestBlankVolume(
      [&](TKelBaseArchiver*, int32_t n, UString& name, bool&) { seen.emplace_back(n, name); });
  FArchiver.SetOnRequestFirstVolume(
      [&](TKelBaseArchiver*, UString& name, bool&) { seen.emplace_back(0, name); });
  FArchiver.SetOnRequestLastVolume(
      [&](TKelBaseArchiver*, UString& name, bool&) { seen.emplace_back(-1, name); });
  FArchiver.SetOnRequestMiddleVolume(
      [&](TKelBaseArchiver*, int32_t n, UString& name, bool&) { seen.emplace_back(n, name); });
  FArchiver.SetOnDiskFull([&](TKelBaseArchiver*, int32_t n, const UString& name, bool&) {
    seen.emplace_back(n, name);
  });
  FArchiver.SetOnConfirmOverwrite([](TKelBaseArchiver*, const UString&, UString&, bool&) {});
  FArchiver.SetOnPassword([](TKelBaseArchiver*, const UString&, AnsiString&, bool&) {});
  FArchiver.SetOnProcessFileFailure([](TKelBaseArchiver*, const UString&, TKelProcessOperation,
                                       int32_t, int32_t, const UString&, TKelAction&) {});

  bool cancel = false;
  UString name = Archive();
  FArchiver.DoRequestBlankVolume(0, name, cancel);
  name = Archive();
  FArchiver.DoRequestFirstVolume(name, cancel);
  name = Archive();
  FArchiver.DoRequestLastVolume(name, cancel);
  name = Archive();
  FArchiver.DoRequestMiddleVolume(4, name, cancel);
  FArchiver.DoDiskFull(-1, Archive(), cancel);  // the retrying writer's number: 0 for handlers
  UString dest = u"d";
  FArchiver.DoConfirmOverwrite(u"s", dest, cancel);
  AnsiString password;
  FArchiver.DoPassword(u"p", password, cancel);
  TKelAction action = fxaRetry;
  FArchiver.DoProcessFileFailure(u"f", poTest, 19, 0, u"m", action);

  const std::vector<std::pair<int32_t, UString>> expected = {
      {1, FDir.Path(u"data.z01")},
      {0, FDir.Path(u"data.z01")},
      {-1, Archive()},
      {5, FDir.Path(u"data.z05")},
      {0, Archive()},
  };
  EXPECT_EQ(seen, expected);
  EXPECT_TRUE(FDialogs.Questions().empty());
}

// Without anyone to answer, every default gives its safe answer at once.
TEST(DefaultHandlersUnattended, NonInteractiveAnswersAreTheSafeOnes) {
  TNonInteractiveDialogs nobody;
  TCurrentDialogsScope use(nobody);
  test::TempDir dir;
  const UString archive = dir.Path(u"data.zip");
  THandlersProbe a(nullptr);
  a.SetFileName(archive);

  a.Options().SetOverwriteMode(omPrompt);
  UString dest = u"/out/a.txt";
  bool confirm = true;
  a.DoConfirmOverwrite(u"a.txt", dest, confirm);
  EXPECT_FALSE(confirm);
  EXPECT_EQ(a.Options().OverwriteMode(), omPrompt);

  AnsiString password = "old";
  bool skip = false;
  a.DoPassword(u"a.txt", password, skip);
  EXPECT_TRUE(skip);
  EXPECT_EQ(password, "old");

  TKelAction action = fxaIgnore;
  a.DoProcessFileFailure(u"a.txt", poExtract, 46, 25, u"Archiver: failed", action);
  EXPECT_EQ(action, fxaAbort);
  action = fxaIgnore;
  a.DoProcessFileFailure(u"a.txt", poExtract, 61, 36, u"Archiver: too long", action);
  EXPECT_EQ(action, fxaAbort);

  a.SetSpanningMode(smSpanning);
  UString name;
  bool cancel = false;
  name = archive;
  a.DoRequestBlankVolume(0, name, cancel);
  EXPECT_TRUE(cancel);
  name = archive;
  a.DoRequestFirstVolume(name, cancel);
  EXPECT_TRUE(cancel);
  name = archive;
  a.DoRequestLastVolume(name, cancel);  // the file is missing: asking again would never end
  EXPECT_TRUE(cancel);
  name = archive;
  a.DoRequestMiddleVolume(1, name, cancel);
  EXPECT_TRUE(cancel);
  cancel = false;
  a.DoDiskFull(0, archive, cancel);
  EXPECT_TRUE(cancel);
}

}  // namespace
}  // namespace kelvane
