// The item driver: selection, confirmation, progress reports, the failure
// question with its three answers, cancellation, the process-wide lock, and
// testing without output.
#include <gtest/gtest.h>

#include <unistd.h>
#include <atomic>
#include <stdexcept>
#include <thread>

#include "ExtractTestSupport.h"
#include "platform/FileSystem.h"
#include "platform/ProcessLock.h"
#include "platform/ScriptedDialogs.h"

namespace kelvane {
namespace {

using test::MakeZip;
using test::ReadText;
using test::TEventLog;
using test::TExtractProbe;
using test::TreeOf;
using Lines = std::vector<std::string>;

class ExtractDriver : public ::testing::Test {
 protected:
  // docs/ (folder), docs/a.txt, b.txt, c.txt; b.txt's data is damaged.
  void OpenWithDamagedItem() {
    const std::string path = FDir.NativePath("d.zip");
    MakeZip(path, {{"docs/", 0x10},
                   {"docs/a.txt", 0x20, "first item's data"},
                   {"b.txt", 0x20, "DAMAGED-ITEM-PAYLOAD", true},
                   {"c.txt", 0x20, "last item's data"}});
    test::FlipDataByte(path, "DAMAGED-ITEM-PAYLOAD");
    Open(path);
  }
  void Open(const std::string& path) {
    FArchiver.SetFileName(FromUtf8(path));
    FArchiver.OpenArchive(fmOpenRead | fmShareDenyNone);
    FArchiver.SetBaseDir(FDir.Path(u"out"));
  }
  std::string Out(const std::string& name = {}) const {
    return FDir.NativePath("out") + (name.empty() ? "" : "/" + name);
  }
  // Answers the failure question with Answers in turn, recording the native
  // errors and names asked about.
  void AnswerFailures(std::vector<TKelAction> answers) {
    FFailureAnswers = std::move(answers);
    FArchiver.SetOnProcessFileFailure([this](TKelBaseArchiver*, const UString& name,
                                             TKelProcessOperation, int32_t native, int32_t,
                                             const UString&, TKelAction& action) {
      FFailures.push_back(ToUtf8(name) + " " + std::to_string(native));
      action = FFailures.size() <= FFailureAnswers.size() ? FFailureAnswers[FFailures.size() - 1]
                                                          : fxaIgnore;
    });
  }

  test::TempDir FDir;
  TExtractProbe FArchiver{nullptr};
  std::vector<TKelAction> FFailureAnswers;
  Lines FFailures;
};

TEST_F(ExtractDriver, OperationsNeedAnOpenArchiveAndNoUpdate) {
  TExtractProbe closed(nullptr);
  MakeZip(FDir.NativePath("u.zip"), {{"a.txt", 0x20, "a"}});
  Open(FDir.NativePath("u.zip"));
  for (auto run : {+[](TKelBaseArchiver& a) { a.ExtractFiles(); },
                   +[](TKelBaseArchiver& a) { a.ExtractFiles(u"*.*", KelAllItemsAttr, u""); },
                   +[](TKelBaseArchiver& a) { a.TestFiles(); },
                   +[](TKelBaseArchiver& a) { a.TestFiles(u"*.*", KelAllItemsAttr, u""); }}) {
    try {
      run(closed);
      ADD_FAILURE() << "no error without an open archive";
    } catch (const EKelException& e) {
      EXPECT_EQ(e.NativeError, 13);
    }
    FArchiver.SetUpdateCount(1);
    try {
      run(FArchiver);
      ADD_FAILURE() << "no error inside an update";
    } catch (const EKelException& e) {
      EXPECT_EQ(e.NativeError, 26);
    }
    FArchiver.SetUpdateCount(0);
    EXPECT_FALSE(std::filesystem::exists(Out()));
  }
}

TEST_F(ExtractDriver, ReportsForFoldersAndFilesInOrder) {
  MakeZip(FDir.NativePath("p.zip"), {{"docs/", 0x10},
                                     {"docs/a.txt", 0x20, std::string(200000, 'a')},
                                     {"b.txt", 0x20, "b"},
                                     {"empty.txt", 0x20, ""}});
  Open(FDir.NativePath("p.zip"));
  TEventLog log;
  log.Attach(FArchiver);
  FArchiver.ExtractFiles(u"*.*", KelAllItemsAttr, u"");
  EXPECT_EQ(log.Lines,
            test::OnDisk(Lines{"overall 0 start", "file docs/ 0 start", "file docs/ 100 end",
                               "file docs/a.txt 0 start", "file docs/a.txt 100 end",
                               "file b.txt 0 start", "file b.txt 100 end", "file empty.txt 0 start",
                               "file empty.txt 100 end", "overall 100 end"}));
  EXPECT_GT(log.ProcessReports, 0);  // the decoded items report while they are decoded
  EXPECT_EQ(FArchiver.ProcessedFileCount(), 4);
  EXPECT_EQ(FArchiver.ProcessedFileNo(), 4);
  EXPECT_EQ(ReadText(Out("docs/a.txt")), std::string(200000, 'a'));
  EXPECT_EQ(ReadText(Out("b.txt")), "b");
}

TEST_F(ExtractDriver, UnconfirmedItemsAreSkippedAndNotCounted) {
  MakeZip(FDir.NativePath("c.zip"),
          {{"a.txt", 0x20, "a"}, {"b.txt", 0x20, "b"}, {"c.txt", 0x20, "c"}});
  Open(FDir.NativePath("c.zip"));
  Lines asked;
  FArchiver.SetOnConfirmProcessFile(
      [&](TKelBaseArchiver*, const UString& name, TKelProcessOperation op, bool& confirm) {
        EXPECT_EQ(op, poExtract);
        EXPECT_TRUE(confirm);
        asked.push_back(ToUtf8(name));
        confirm = name != u"b.txt";
      });
  TEventLog log;
  log.Attach(FArchiver);
  FArchiver.ExtractFiles();  // FileMasks is empty: nothing is selected
  EXPECT_TRUE(asked.empty());
  EXPECT_EQ(log.Lines, (Lines{"overall 0 start", "overall 100 end"}));

  FArchiver.FileMasks().Add(u"*.*");
  log.Lines.clear();
  FArchiver.ExtractFiles();
  EXPECT_EQ(asked, (Lines{"a.txt", "b.txt", "c.txt"}));
  EXPECT_EQ(TreeOf(Out()), (Lines{"a.txt", "c.txt"}));
  EXPECT_EQ(FArchiver.ProcessedFileCount(), 3);
  EXPECT_EQ(FArchiver.ProcessedFileNo(), 2);
  // The skipped item gets no file reports at all.
  EXPECT_EQ(log.Lines, (Lines{"overall 0 start", "file a.txt 0 start", "file a.txt 100 end",
                              "file c.txt 0 start", "file c.txt 100 end", "overall 100 end"}));
}

TEST_F(ExtractDriver, OneNamedItemIsFoundByName) {
  MakeZip(FDir.NativePath("n.zip"), {{"docs/", 0x10},
                                     {"docs/a.txt", 0x20, "wanted"},
                                     {"a.txt", 0x20, "not wanted"},
                                     {"docs/b.txt", 0x20, "not wanted"}});
  Open(FDir.NativePath("n.zip"));
  FArchiver.Options().SetRecurse(false);
  FArchiver.ExtractFiles(u"docs/a.txt", KelAllItemsAttr, u"");
  EXPECT_EQ(TreeOf(Out()), (Lines{"docs/", "docs/a.txt"}));
  EXPECT_EQ(ReadText(Out("docs/a.txt")), "wanted");
  EXPECT_EQ(FArchiver.ProcessedFileCount(), 1);

  std::filesystem::remove_all(Out());
  FArchiver.ExtractFiles(u"docs/misspelt.txt", KelAllItemsAttr, u"");
  EXPECT_FALSE(std::filesystem::exists(Out()));
}

TEST_F(ExtractDriver, AnEmptyBaseDirMeansTheFolderCurrentAtFirstUse) {
  MakeZip(FDir.NativePath("e.zip"), {{"a.txt", 0x20, "a"}});
  Open(FDir.NativePath("e.zip"));
  FArchiver.SetBaseDir(u"");
  std::filesystem::create_directories(FDir.Root() / "first");
  std::filesystem::create_directories(FDir.Root() / "second");
  const std::filesystem::path previous = std::filesystem::current_path();
  std::filesystem::current_path(FDir.Root() / "first");
  FArchiver.ExtractFiles(u"*.*", KelAllItemsAttr, u"");
  std::filesystem::current_path(FDir.Root() / "second");
  std::filesystem::remove(FDir.Root() / "first" / "a.txt");
  FArchiver.ExtractFiles(u"*.*", KelAllItemsAttr, u"");
  std::filesystem::current_path(previous);
  EXPECT_EQ(TreeOf(FDir.Root() / "first"), (Lines{"a.txt"}));
  EXPECT_EQ(TreeOf(FDir.Root() / "second"), Lines{});
  EXPECT_EQ(FArchiver.CurrentDirField(), FromUtf8((FDir.Root() / "first").string()));
}

// ---- The failure question

TEST_F(ExtractDriver, TestingReportsTheDamagedItemAndWritesNothing) {
  OpenWithDamagedItem();
  AnswerFailures({fxaIgnore});
  TEventLog log;
  log.Attach(FArchiver);
  FArchiver.TestFiles(u"*.*", KelAllItemsAttr, u"");
  EXPECT_EQ(FFailures, (Lines{"b.txt 8"}));
  EXPECT_FALSE(std::filesystem::exists(Out()));
  EXPECT_EQ(FArchiver.ProcessedFileCount(), 4);
  EXPECT_EQ(FArchiver.ProcessedFileNo(), 3);  // the failed item is not counted
  // The failed item has its start report but no end report; the run goes on.
  EXPECT_EQ(
      log.Lines,
      test::OnDisk(Lines{"overall 0 start", "file docs/ 0 start", "file docs/ 100 end",
                         "file docs/a.txt 0 start", "file docs/a.txt 100 end", "file b.txt 0 start",
                         "file c.txt 0 start", "file c.txt 100 end", "overall 100 end"}));
}

TEST_F(ExtractDriver, TheDefaultFailureBoxDecides) {
  struct Case {
    const char* what;
    std::vector<TModalResult> answers;
    Lines tree;
  };
  const Case cases[] = {
      {"Ignore goes on without the damaged item", {mrIgnore}, {"c.txt", "docs/", "docs/a.txt"}},
      {"Retry decodes it again, then Ignore",
       {mrRetry, mrIgnore},
       {"c.txt", "docs/", "docs/a.txt"}},
      {"Abort stops; earlier items stay", {mrAbort}, {"docs/", "docs/a.txt"}},
  };
  OpenWithDamagedItem();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::filesystem::remove_all(Out());
    TScriptedDialogs dialogs;
    TCurrentDialogsScope use(dialogs);
    for (TModalResult answer : c.answers)
      dialogs.Answer(answer);
    TEventLog log;
    log.Attach(FArchiver);
    EXPECT_NO_THROW(FArchiver.ExtractFiles(u"*.*", KelAllItemsAttr, u""));
    EXPECT_EQ(dialogs.PendingAnswers(), 0u);
    ASSERT_EQ(dialogs.Questions().size(), c.answers.size());
    for (const TDialogQuestion& q : dialogs.Questions()) {
      EXPECT_EQ(ToUtf8(q.Text),
                "Invalid size or check sum of file or unsupported compression format - Native "
                "error: 00008. File processing error, possibly disk is full");
      EXPECT_EQ(q.Buttons, (TMsgDlgButtons{mbAbort, mbRetry, mbIgnore}));
    }
    EXPECT_EQ(TreeOf(Out()), c.tree);  // never a partial b.txt
    const auto starts = std::count(log.Lines.begin(), log.Lines.end(), "file b.txt 0 start");
    EXPECT_EQ(starts, static_cast<long>(c.answers.size()));  // a retry starts over
    EXPECT_EQ(log.Lines.back(), "overall 100 end");          // also after Abort
  }
}

TEST_F(ExtractDriver, RetryAsksForConfirmationAgain) {
  OpenWithDamagedItem();
  AnswerFailures({fxaRetry, fxaRetry, fxaIgnore});
  int confirmations = 0;
  FArchiver.SetOnConfirmProcessFile(
      [&](TKelBaseArchiver*, const UString& name, TKelProcessOperation, bool&) {
        if (name == u"b.txt") ++confirmations;
      });
  FArchiver.TestFiles(u"*.*", KelAllItemsAttr, u"");
  EXPECT_EQ(confirmations, 3);
  EXPECT_EQ(FFailures, (Lines{"b.txt 8", "b.txt 8", "b.txt 8"}));
}

TEST_F(ExtractDriver, AnErrorThatIsNoEngineErrorLeavesTheRunAndReleasesTheLock) {
  MakeZip(FDir.NativePath("x.zip"), {{"a.txt", 0x20, "a"},
                                     {"big.bin", 0x20, std::string(300000, 'x'), true},
                                     {"c.txt", 0x20, "c"}});
  Open(FDir.NativePath("x.zip"));
  AnswerFailures({});
  TEventLog log;
  log.Attach(FArchiver);
  auto logged = FArchiver.OnFileProgress();
  FArchiver.SetOnFileProgress([&](TKelBaseArchiver* s, const UString& name, double p,
                                  TKelProcessOperation op, TKelProgressPhase phase, bool& cancel) {
    logged(s, name, p, op, phase, cancel);
    if (phase == ppProcess && name == u"big.bin") throw std::runtime_error("handler failed");
  });
  EXPECT_THROW(FArchiver.ExtractFiles(u"*.*", KelAllItemsAttr, u""), std::runtime_error);
  EXPECT_TRUE(FFailures.empty());                       // not a question: the run is left at once
  EXPECT_EQ(TreeOf(Out()), (Lines{"a.txt"}));           // big.bin's partial output is gone
  EXPECT_EQ(log.Lines.back(), "file big.bin 0 start");  // no end reports
  std::atomic<bool> locked{false};
  std::thread([&] {
    if (ProcessLock().try_lock()) {
      locked = true;
      ProcessLock().unlock();
    }
  }).join();
  EXPECT_TRUE(locked);
}

TEST_F(ExtractDriver, TheLockIsHeldForTheWholeRun) {
  MakeZip(FDir.NativePath("l.zip"), {{"a.txt", 0x20, "a"}});
  Open(FDir.NativePath("l.zip"));
  std::vector<bool> othersCouldLock;
  FArchiver.SetOnOverallProgress(
      [&](TKelBaseArchiver*, double, TKelProcessOperation, TKelProgressPhase, bool&) {
        bool locked = false;
        std::thread([&] {
          if (ProcessLock().try_lock()) {
            locked = true;
            ProcessLock().unlock();
          }
        }).join();
        othersCouldLock.push_back(locked);
        // The same thread may come back into a component.
        TProcessLockGuard again;
      });
  FArchiver.TestFiles(u"*.*", KelAllItemsAttr, u"");
  EXPECT_GE(othersCouldLock.size(), 2u);
  EXPECT_EQ(std::count(othersCouldLock.begin(), othersCouldLock.end(), true), 0);
}

// ---- Cancellation

TEST_F(ExtractDriver, CancellingAtTheStartProcessesNothing) {
  MakeZip(FDir.NativePath("s.zip"), {{"a.txt", 0x20, "a"}});
  Open(FDir.NativePath("s.zip"));
  Lines seen;
  FArchiver.SetOnOverallProgress(
      [&](TKelBaseArchiver*, double, TKelProcessOperation, TKelProgressPhase phase, bool& cancel) {
        seen.push_back(test::PhaseName(phase));
        cancel = true;
      });
  FArchiver.ExtractFiles(u"*.*", KelAllItemsAttr, u"");
  EXPECT_EQ(seen, (Lines{"start"}));  // no item and no end report
  EXPECT_FALSE(std::filesystem::exists(Out()));
}

TEST_F(ExtractDriver, ACancelAtAnItemsEndSurvivesAndEndsTheRun) {
  MakeZip(FDir.NativePath("s.zip"),
          {{"a.txt", 0x20, "a"}, {"b.txt", 0x20, "b"}, {"c.txt", 0x20, "c"}});
  Open(FDir.NativePath("s.zip"));
  TEventLog log;
  log.Attach(FArchiver);
  auto logged = FArchiver.OnFileProgress();
  FArchiver.SetOnFileProgress([&](TKelBaseArchiver* s, const UString& name, double p,
                                  TKelProcessOperation op, TKelProgressPhase phase, bool& cancel) {
    logged(s, name, p, op, phase, cancel);
    if (name == u"b.txt" && phase == ppEnd) cancel = true;
  });
  FArchiver.ExtractFiles(u"*.*", KelAllItemsAttr, u"");
  // The overall end report has no handler that keeps the flag; it still ends the run.
  EXPECT_EQ(log.Lines.back(), "overall 100 end");
  EXPECT_EQ(TreeOf(Out()), (Lines{"a.txt", "b.txt"}));
  EXPECT_EQ(FArchiver.ProcessedFileNo(), 1);
}

TEST_F(ExtractDriver, CancellingWhileAnItemIsDecodedRemovesItsPartialFile) {
  std::string big;
  for (uint32_t i = 0; big.size() < 3000000; ++i)
    big += "line " + std::to_string(i * 7919u % 100003u) + "\n";
  // Stored and deflated both report while their data is written. A cancel
  // from the overall report must survive the item's end report, which has no
  // handler there and clears the flag.
  for (bool store : {true, false}) {
    for (bool fromOverall : {false, true}) {
      SCOPED_TRACE(std::string(store ? "stored" : "deflated") +
                   (fromOverall ? ", overall report" : ", file report"));
      std::filesystem::remove_all(Out());
      MakeZip(FDir.NativePath("big.zip"),
              {{"a.txt", 0x20, "a"}, {"big.bin", 0x20, big, store}, {"c.txt", 0x20, "c"}});
      Open(FDir.NativePath("big.zip"));
      AnswerFailures({});
      int64_t sizeWhenCancelled = -1;
      auto cancelOnce = [&](bool& cancel) {
        if (sizeWhenCancelled >= 0) return;
        sizeWhenCancelled = int64_t(std::filesystem::file_size(Out("big.bin")));
        cancel = true;
      };
      FArchiver.SetOnFileProgress(nullptr);
      FArchiver.SetOnOverallProgress(nullptr);
      if (fromOverall)
        FArchiver.SetOnOverallProgress([&](TKelBaseArchiver*, double progress, TKelProcessOperation,
                                           TKelProgressPhase phase, bool& cancel) {
          if (phase == ppProcess && progress > 45) cancelOnce(cancel);  // inside big.bin
        });
      else
        FArchiver.SetOnFileProgress([&](TKelBaseArchiver*, const UString& name, double progress,
                                        TKelProcessOperation, TKelProgressPhase phase,
                                        bool& cancel) {
          if (name == u"big.bin" && phase == ppProcess && progress > 30) cancelOnce(cancel);
        });
      EXPECT_NO_THROW(FArchiver.ExtractFiles(u"*.*", KelAllItemsAttr, u""));
      EXPECT_GT(sizeWhenCancelled, 0);  // there was output to remove
      EXPECT_TRUE(FFailures.empty());   // a cancel is not a failure
      EXPECT_EQ(TreeOf(Out()), (Lines{"a.txt"}));
      EXPECT_EQ(FArchiver.ProcessedFileNo(), 1);
    }
  }
}

// ---- Deleting through the driver

TEST_F(ExtractDriver, DeletingWalksEveryTaggedItemOnce) {
  MakeZip(FDir.NativePath("del.zip"), {{"a.txt"}, {"b.txt"}, {"keep.dat"}, {"c.txt"}, {"d.txt"}});
  Open(FDir.NativePath("del.zip"));
  FArchiver.TagItems(u"*.txt", KelAllItemsAttr, u"");

  // Outside an update every deletion fails; Ignore moves on to the next item.
  AnswerFailures({});
  FArchiver.ProcessItems(poDelete, -1);
  EXPECT_EQ(FFailures, (Lines{"a.txt 22", "b.txt 22", "c.txt 22", "d.txt 22"}));

  // Inside one, the unconfirmed item stays and the others go.
  FArchiver.SetUpdateCount(1);
  FArchiver.SetOnConfirmProcessFile(
      [](TKelBaseArchiver*, const UString& name, TKelProcessOperation op, bool& confirm) {
        EXPECT_EQ(op, poDelete);
        confirm = name != u"c.txt";
      });
  FArchiver.ProcessItems(poDelete, -1);
  FArchiver.SetUpdateCount(0);
  EXPECT_EQ(FArchiver.ItemNames(), (Lines{"keep.dat", "c.txt"}));
  EXPECT_EQ(FArchiver.ProcessedFileNo(), 3);
}

}  // namespace
}  // namespace kelvane
