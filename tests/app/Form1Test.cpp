#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <stdexcept>

#include "AppTestSupport.h"
#include "TempDir.h"
#include "app/AppTexts.h"
#include "app/Application.h"
#include "platform/ScriptedDialogs.h"
#include "platform/Text.h"

namespace kelvane {
namespace {

using test::TFakeView;
using test::TRecordingForm1;

const UString kExe = u"/opt/gifts/setup";

class Form1 : public ::testing::Test {
 protected:
  TScriptedDialogs dialogs;
  TCurrentDialogsScope useDialogs{dialogs};
  TComponent application{nullptr};
  TFakeView view;
  TRecordingForm1& form = *new TRecordingForm1(&application, view, kExe);

  std::vector<std::string> StepNames() const {
    std::vector<std::string> names;
    for (const auto& s : form.Steps)
      names.push_back(s.Step);
    return names;
  }
};

TEST_F(Form1, ArchiverHasTheDialogsSettings) {
  const TSFXArchiver& a = *form.Archiver;
  const TKelOptions& o = a.Options();
  const struct {
    const char* Property;
    bool Holds;
  } table[] = {
      {"owned by the dialog", a.Owner() == &form},
      {"Name Archiver", a.Name() == u"Archiver"},
      {"ExtractCorruptedFiles false", !a.ExtractCorruptedFiles()},
      {"CompressionLevel clFastest", a.CompressionLevel() == clFastest},
      {"CompressionMode 1", a.CompressionMode() == 1},
      {"SpanningMode smNone", a.SpanningMode() == smNone},
      {"SpanningOptions.AdvancedNaming true", a.SpanningOptions().AdvancedNaming()},
      {"SpanningOptions.VolumeSize vsAutoDetect", a.SpanningOptions().VolumeSize() == vsAutoDetect},
      {"Options.ShareMode smShareCompat", o.ShareMode() == smShareCompat},
      {"Options.FlushBuffers true", o.FlushBuffers()},
      {"Options.OEMFileNames true", o.OEMFileNames()},
      {"InMemory false", !a.InMemory()},
      {"Zip64Mode zmDisabled", a.Zip64Mode() == zmDisabled},
      {"UnicodeFilenames true", a.UnicodeFilenames()},
      {"EncryptionMethod caPkzipClassic", a.EncryptionMethod() == caPkzipClassic},
      {"OnConfirmOverwrite assigned", static_cast<bool>(a.OnConfirmOverwrite())},
      {"Options.Recurse true", o.Recurse()},
      {"Options.CreateDirs true", o.CreateDirs()},
      {"Options.SetAttributes true", o.SetAttributes()},
      {"Options.ReplaceReadOnly true", o.ReplaceReadOnly()},
      {"a stub is never read as a damaged archive", !a.OpenCorruptedArchives()},
      {"bAll false", !form.bAll},
  };
  for (const auto& row : table)
    EXPECT_TRUE(row.Holds) << row.Property;
}

TEST(Form1Create, PathIsTheExecutablesFolderWithItsSeparator) {
  const struct {
    UString Exe;
    UString Path;
  } table[] = {
      {u"/opt/gifts/setup", u"/opt/gifts/"},
      {u"/setup", u"/"},
      {u"/a b/ñandú/setup.bin", u"/a b/ñandú/"},
      {u"", u""},  // no executable path: the field stays empty
  };
  // The same paths with the platform's separator.
  const auto native = [](UString path) {
    std::replace(path.begin(), path.end(), u'/', PathDelim);
    return path;
  };
  for (const auto& row : table) {
    TComponent application(nullptr);
    TFakeView view;
    new TForm1(&application, view, native(row.Exe));
    EXPECT_EQ(view.Path, native(row.Path)) << ToUtf8(row.Exe);
  }
}

TEST_F(Form1, ExtractRunsTheStepsInOrderWithTheDialogsValues) {
  for (bool checked : {false, true}) {
    for (const UString& path : {UString(u"/tmp/dest/"), UString(u"rel/../x "), UString()}) {
      form.Steps.clear();
      view.Closed = 0;
      view.Checked = checked;
      view.Path = path;
      form.bnExtractClick();
      ASSERT_EQ(StepNames(), (std::vector<std::string>{"open", "extract", "close"}));
      for (const auto& step : form.Steps) {
        EXPECT_EQ(step.OverwriteMode, checked ? omAlways : omPrompt) << step.Step;
        EXPECT_EQ(step.FileName, kExe);
        EXPECT_EQ(step.BaseDir, path) << "the path goes on unchanged";
      }
      EXPECT_EQ(view.Closed, 1) << "a finished extraction closes the dialog";
      EXPECT_EQ(form.ExitStatus(), esComplete);
    }
  }
  EXPECT_TRUE(dialogs.Questions().empty()) << "no completion message";
}

TEST_F(Form1, ExitClosesWithoutExtracting) {
  form.bnExitClick();
  EXPECT_TRUE(form.Steps.empty());
  EXPECT_EQ(view.Closed, 1);
  EXPECT_EQ(form.ExitStatus(), esIncomplete);
}

TEST_F(Form1, FolderBrowserOnlyReplacesThePathWhenAFolderWasChosen) {
  view.Path = u"/typed/by/hand";
  view.BrowseAnswers = {std::nullopt, UString(u"/home/ana/Descargas")};
  form.bnSelectDestPathClick();
  EXPECT_EQ(view.Path, u"/typed/by/hand") << "cancelled";
  form.bnSelectDestPathClick();
  EXPECT_EQ(view.Path, u"/home/ana/Descargas");
  EXPECT_EQ(view.BrowseTitles, (std::vector<std::string>{"Seleccionar folder destino ...",
                                                         "Seleccionar folder destino ..."}));
}

TEST_F(Form1, OverwriteQuestionIsAskedInSpanishWithYesNoAll) {
  form.Conflicts = {{u"docs\\léeme.txt", u"/tmp/dest/docs/léeme.txt"}};
  dialogs.Answer(mrYes);
  form.bnExtractClick();
  ASSERT_EQ(dialogs.Questions().size(), 1u);
  const TDialogQuestion& q = dialogs.Questions()[0];
  EXPECT_EQ(q.Kind, dqMessage);
  EXPECT_EQ(q.Text, u"Sobreescribir /tmp/dest/docs/léeme.txt\r\nCon archivo docs\\léeme.txt");
  EXPECT_EQ(q.Caption, u"Confirm");
  EXPECT_EQ(q.Type, mtConfirmation);
  EXPECT_EQ(q.Buttons, (TMsgDlgButtons{mbYes, mbNo, mbAll}));
  EXPECT_EQ(q.DefaultButton, mbYes);
  EXPECT_EQ(form.Answers, std::vector<bool>{true});
}

TEST_F(Form1, OverwriteAnswersDecideEachFileAndAllHoldsForTheRestOfTheExtraction) {
  const struct {
    std::vector<TModalResult> Script;
    std::vector<bool> Answers;
    size_t Asked;
  } table[] = {
      {{mrYes, mrNo, mrYes}, {true, false, true}, 3},
      {{mrNo, mrAll}, {false, true, true}, 2},  // the third file is not asked about
      {{mrAll}, {true, true, true}, 1},
  };
  for (const auto& row : table) {
    TScriptedDialogs script;
    TCurrentDialogsScope useScript(script);
    for (TModalResult r : row.Script)
      script.Answer(r);
    form.Conflicts = {{u"a", u"/d/a"}, {u"b", u"/d/b"}, {u"c", u"/d/c"}};
    form.Answers.clear();
    form.bnExtractClick();
    EXPECT_EQ(form.Answers, row.Answers);
    EXPECT_EQ(script.Questions().size(), row.Asked);
  }
}

TEST_F(Form1, AllIsForgottenWhenTheNextExtractionStarts) {
  form.Conflicts = {{u"a", u"/d/a"}};
  dialogs.Answer(mrAll);
  form.bnExtractClick();
  EXPECT_TRUE(form.bAll);
  form.Steps.clear();
  dialogs.Answer(mrNo);
  form.bnExtractClick();
  EXPECT_FALSE(form.Steps.front().All) << "reset before the archive is opened";
  EXPECT_EQ(dialogs.Questions().size(), 2u);
  EXPECT_EQ(form.Answers, (std::vector<bool>{true, false}));
}

TEST_F(Form1, ItemsLeftBehindMakeTheExitStatusSaySo) {
  form.DuringExtract = [](TRunTally& tally) { tally.Note(u"a.txt", ioKept); };
  form.bnExtractClick();
  EXPECT_EQ(form.ExitStatus(), esIncomplete);
  EXPECT_EQ(view.Closed, 1) << "the dialog still ends as after a complete extraction";
  form.DuringExtract = nullptr;
  form.bnExtractClick();
  EXPECT_EQ(form.ExitStatus(), esComplete) << "each extraction starts a new count";
}

TEST_F(Form1, AnErrorIsShownAndTheDialogStaysUsable) {
  for (const std::string failAt : {"open", "extract", "close"}) {
    TScriptedDialogs script;
    TCurrentDialogsScope useScript(script);
    form.Steps.clear();
    view.Closed = 0;
    form.FailAt = failAt;
    form.Failure = [&] { throw EKelException(48, form.Archiver); };
    EXPECT_FALSE(RunHandler([&] { form.bnExtractClick(); }));
    EXPECT_EQ(StepNames().back(), failAt) << "the steps after the error are skipped";
    EXPECT_EQ(view.Closed, 0) << "the dialog stays open";
    EXPECT_EQ(form.ExitStatus(), esIncomplete);
    ASSERT_EQ(script.Questions().size(), 1u);
    const TDialogQuestion& box = script.Questions()[0];
    EXPECT_EQ(box.Text, u"Archiver: Archive is damaged. Open failed - Native error: 00048.");
    EXPECT_EQ(box.Caption, U(kApplicationTitle));
    EXPECT_EQ(box.Type, mtError);
    EXPECT_EQ(box.Buttons, TMsgDlgButtons{mbOK});

    form.FailAt.clear();
    form.Steps.clear();
    EXPECT_TRUE(RunHandler([&] { form.bnExtractClick(); })) << "Extraer works again";
    EXPECT_EQ(StepNames(), (std::vector<std::string>{"open", "extract", "close"}));
    EXPECT_EQ(view.Closed, 1);
  }
}

TEST_F(Form1, ErrorsOtherThanTheEnginesAreShownToo) {
  form.FailAt = "extract";
  form.Failure = [] { throw std::runtime_error("disk on fire"); };
  EXPECT_FALSE(RunHandler([&] { form.bnExtractClick(); }));
  form.Failure = [] { throw 42; };
  EXPECT_FALSE(RunHandler([&] { form.bnExtractClick(); }));
  ASSERT_EQ(dialogs.Questions().size(), 2u);
  EXPECT_EQ(dialogs.Questions()[0].Text, u"disk on fire.");
  EXPECT_EQ(dialogs.Questions()[1].Text, u"Unknown error.");
}

TEST(ErrorDisplayText, PeriodIsAppendedAfterCharactersAboveThePeriod) {
  const struct {
    UString Message;
    UString Shown;
  } table[] = {
      {u"Archiver: Cannot open file - Native error: 00035",
       u"Archiver: Cannot open file - Native error: 00035."},
      {u"Open failed.", u"Open failed."},  // the period itself: kept as is
      {u"Stop!", u"Stop!"},                // below the period
      {u"(see log)", u"(see log)"},
      {u"ends with -", u"ends with -"},
      {u"path /", u"path /."},  // '/' comes right after '.'
      {u"carpeta ñ", u"carpeta ñ."},
      {u"", u""},
  };
  for (const auto& row : table)
    EXPECT_EQ(ErrorDisplayText(row.Message), row.Shown) << ToUtf8(row.Message);
}

// The real archiver on a file that is no archive but holds local-header
// signatures, as the stub's own code does: the engine's error must reach the
// user, not items rebuilt from those bytes.
TEST(Form1WithEngine, FileWithoutArchiveReportsTheEnginesError) {
  test::TempDir dir;
  const std::string exe = dir.NativePath("setup");
  {
    std::ofstream out(exe, std::ios::binary);
    std::string code(100000, '\x90');
    for (size_t at = 1000; at + 30 < code.size(); at += 7919)
      code.replace(at, 4, "PK\x03\x04");
    out << code;
  }
  TScriptedDialogs dialogs;
  TCurrentDialogsScope useDialogs(dialogs);
  TComponent application(nullptr);
  TFakeView view;
  auto* form = new TForm1(&application, view, FromUtf8(exe));
  view.Path = dir.Path(u"out/");
  EXPECT_FALSE(RunHandler([&] { form->bnExtractClick(); }));
  ASSERT_EQ(dialogs.Questions().size(), 1u);
  EXPECT_EQ(dialogs.Questions()[0].Text,
            u"Archiver: Archive is damaged. Open failed - Native error: 00048.");
  EXPECT_EQ(view.Closed, 0);
  EXPECT_FALSE(form->Archiver->Active());
  EXPECT_FALSE(std::filesystem::exists(dir.NativePath("out"))) << "nothing was written";
}

}  // namespace
}  // namespace kelvane
