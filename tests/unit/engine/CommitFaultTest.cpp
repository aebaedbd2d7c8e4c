// A commit stopped, or failed as on a full disk, at each of its calls of the
// file layer in turn, and killed at many moments of a large one: the next
// writable opening finds exactly the old archive or exactly the new one, with
// no file of the commit left beside it.
#include <gtest/gtest.h>
#ifndef _WIN32
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <filesystem>
#include <functional>

#include "TempDir.h"
#include "UpdateTestSupport.h"
#include "container/KelDirManager.h"
#include "engine/KelCommitJournal.h"
#include "names/Paths.h"
#include "platform/FileLayerProbe.h"
#include "platform/FileSystem.h"

namespace kelvane {
namespace {

using namespace test;

// Exit codes of a child that ran a commit.
constexpr int kStopped = 42;    // the probe stopped it
constexpr int kCompleted = 43;  // the commit returned
constexpr int kRaised = 44;     // the commit raised

// The probes' state: a probe is a plain function.
int GCall = 0;
int GStopAt = 0;
bool GDiskStaysFull = false;
int GPipe = -1;
std::vector<TFileLayerCall> GCalls;

bool RecordCall(TFileLayerCall call) {
  GCalls.push_back(call);
  return true;
}

#ifndef _WIN32  // a stopped or killed process needs fork(): no such thing on Windows
bool ExitAtCall(TFileLayerCall) {
  if (++GCall == GStopAt) _exit(kStopped);  // before the call happens
  return true;
}
#endif  // _WIN32

bool FailAtCall(TFileLayerCall call) {
  ++GCall;
  if (GCall == GStopAt) return false;
  // A full disk refuses what needs room, and nothing else.
  return !(GDiskStaysFull && GCall > GStopAt && (call == flcCreate || call == flcWrite));
}

#ifndef _WIN32  // a stopped or killed process needs fork(): no such thing on Windows
bool ReportToPipe(TFileLayerCall) {
  const char byte = 0;
  if (write(GPipe, &byte, 1) != 1) _exit(kRaised);
  return true;
}
#endif  // _WIN32

// Openings of the archive at GIntruderPath by others, tried from within the
// commit at call GStopAt: what they found, and whether the commit's files stayed.
UString GIntruderPath;
bool GIntruding = false;
bool GWriterOpened = false;
UString GWriterError;
TContents GReaderSaw;
UString GReaderError;
bool GCommitFilesKept = true;

bool IntrudeAtCall(TFileLayerCall) {
  if (GIntruding || ++GCall != GStopAt) return true;
  GIntruding = true;
  const auto present = [] {
    return std::pair(IsFile(CommitJournalName(GIntruderPath)),
                     IsFile(CommitTailName(GIntruderPath)));
  };
  const auto before = present();
  try {
    TKelvane writer(nullptr);
    writer.SetFileName(GIntruderPath);
    writer.OpenArchive(fmOpenReadWrite | fmShareDenyWrite);
    GWriterOpened = true;
  } catch (const Exception& e) {
    GWriterError = e.Message();
  }
  try {
    TKelvane reader(nullptr);
    reader.SetFileName(GIntruderPath);
    reader.OpenArchive(fmOpenRead | fmShareDenyNone);
    GReaderSaw = ContentsOf(reader);
  } catch (const Exception& e) {
    GReaderError = e.Message();
  }
  GCommitFilesKept = present() == before;
  GIntruding = false;
  return true;
}

const char* CallName(TFileLayerCall call) {
  static const char* const names[] = {"create", "write", "cut", "flush", "remove", "rename"};
  return names[call];
}

#ifndef _WIN32  // a stopped or killed process needs fork(): no such thing on Windows
// Runs Body in a child process; returns its exit code (-1 when it did not exit).
int InChild(const std::function<void()>& body) {
  fflush(nullptr);
  const pid_t pid = fork();
  if (pid == 0) {
    try {
      body();
    } catch (...) {
      _exit(kRaised);
    }
    _exit(kCompleted);
  }
  int status = 0;
  waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}
#endif  // _WIN32

// Renames and deletes items within an update, as the public calls will.
class TChanger : public TKelvane {
 public:
  TChanger() : TKelvane(nullptr) {}

  void Rename(const UString& from, const UString& to) {
    TKelDirArray& dir = DMHandle->CDir;
    const int32_t i = IndexOf(from);
    dir.GetItemPtr(i).SetOldName(from);
    dir.SetItemName(i, to);
    TDirItem& item = dir.GetItemPtr(i);
    item.Modified = true;
    item.Operation = poRename;
  }

  void Delete(const UString& name) { DeleteTaggedItem(IndexOf(name)); }

  // Adds the file Source as an item named by its last component.
  void AddFile(const UString& source) { AddOneFile(source, DirectoryPart(source), 0, 0, true); }

 private:
  int32_t IndexOf(const UString& name) {
    int32_t i = -1;
    if (!DMHandle->CDir.FileExists(name, i)) throw Exception(u"No item " + name);
    return i;
  }
};

// One kind of commit: the change it makes, and what the archive holds after it.
struct TCommitKind {
  const char* Name;
  std::function<void(TChanger&)> Change;
  TContents After;
};

enum TOutcome { oOld, oNew };

class CommitFaultTest : public ::testing::Test {
 protected:
  void TearDown() override { SetFileLayerProbe(nullptr); }

  // Writes the archive the commits start from.
  void MakeOld(const TContents& items, uint8_t mode) {
    std::filesystem::remove(FNative);
    TKelvane a(nullptr);
    a.SetFileName(FPath);
    a.SetCompressionMode(mode);
    a.OpenArchive();
    a.BeginUpdate();
    for (const auto& [name, data] : items)
      a.AddFromBuffer(name, data.data(), static_cast<int32_t>(data.size()), faArchive, 0);
    a.EndUpdate();
    a.CloseArchive();
    FOld = items;
    FOldBytes = ReadAll(FNative);
  }

  void MakeSmallOld() {
    MakeOld({{u"a.txt", Noise(300, 1)}, {u"b.bin", Noise(5000, 2)}, {u"c.txt", "ccc"}}, 6);
  }

  // An append, a rewrite from the first item, a rename and a deletion of it.
  std::vector<TCommitKind> Kinds() const {
    TContents appended = FOld, rewritten = FOld, renamed = FOld, deleted = FOld;
    appended[u"d.txt"] = "new item";
    rewritten[u"a.txt"] = Noise(2000, 3);
    renamed[u"z.txt"] = renamed.extract(u"a.txt").mapped();
    deleted.erase(u"a.txt");
    const std::string newA = rewritten[u"a.txt"];
    return {
        {"append", [](TChanger& a) { a.AddFromString(u"d.txt", u"new item", faArchive, 0); },
         appended},
        {"rewrite",
         [newA](TChanger& a) {
           a.AddFromBuffer(u"a.txt", newA.data(), static_cast<int32_t>(newA.size()), faArchive, 0);
         },
         rewritten},
        {"rename", [](TChanger& a) { a.Rename(u"a.txt", u"z.txt"); }, renamed},
        {"delete", [](TChanger& a) { a.Delete(u"a.txt"); }, deleted},
    };
  }

  // Puts the old archive back, alone in its folder.
  void RestoreOld() {
    for (const auto& entry : std::filesystem::directory_iterator(FDir.Root()))
      std::filesystem::remove_all(entry.path());
    WriteAll(FNative, FOldBytes);
  }

  // Opens the archive, makes Kind's change in one update and commits it with
  // Probe installed. A failed item is reported in FReported and aborts.
  void Commit(const TCommitKind& kind, TFileLayerProbe probe, const UString& tempDir = u"") {
    TChanger a;
    a.SetFileName(FPath);
    a.SetCompressionMode(6);
    a.SetTempDir(tempDir);
    a.Options().SetOverwriteMode(omAlways);
    a.SetOnProcessFileFailure([this](TKelBaseArchiver*, const UString&, TKelProcessOperation,
                                     int32_t, int32_t, const UString& message, TKelAction& action) {
      FReported = message;
      action = fxaAbort;
    });
    a.OpenArchive();
    a.BeginUpdate();
    kind.Change(a);
    SetFileLayerProbe(probe);
    try {
      a.EndUpdate();
    } catch (...) {
      SetFileLayerProbe(nullptr);
      FOldItemsInMemory = a.FileCount() == static_cast<int32_t>(FOld.size());
      throw;
    }
    SetFileLayerProbe(nullptr);
    FOldItemsInMemory = a.FileCount() == static_cast<int32_t>(FOld.size());
  }

  // The file-layer calls of Kind's commit, from the old archive.
  std::vector<TFileLayerCall> CallsOf(const TCommitKind& kind, const UString& tempDir = u"") {
    RestoreOld();
    GCalls.clear();
    Commit(kind, RecordCall, tempDir);
    EXPECT_EQ(Reopen(kind.After), oNew);
    return GCalls;
  }

  bool Exists(const std::string& suffix) const { return std::filesystem::exists(FNative + suffix); }

  bool OnlyTheArchiveIsLeft() const {
    return std::distance(std::filesystem::directory_iterator(FDir.Root()),
                         std::filesystem::directory_iterator{}) == 1;
  }

  // What the next writable opening finds, which must be exactly the old
  // archive or exactly After; nothing of the commit may stay beside it.
  TOutcome Reopen(const TContents& after) {
    if (Exists("-journal")) {
      // A reader would see a cut archive, or old and new items mixed.
      TKelvane reader(nullptr);
      reader.SetFileName(FPath);
      EXPECT_THROW(reader.OpenArchive(fmOpenRead | fmShareDenyNone), EKelInterruptedCommit);
    }
    TKelvane a(nullptr);
    a.SetFileName(FPath);
    a.SetOpenCorruptedArchives(false);
    TContents got;
    bool old = false;
    try {
      a.OpenArchive();
      old = ReadAll(FNative) == FOldBytes;
      if (!old) got = ContentsOf(a);
      a.CloseArchive();
    } catch (const Exception& e) {
      ADD_FAILURE() << "the archive cannot be opened: " << e.what();
    }
    EXPECT_TRUE(OnlyTheArchiveIsLeft());
    if (old) return oOld;
    EXPECT_NE(got, FOld) << "the old items, but not the old bytes";
    EXPECT_EQ(got, after);
    return oNew;
  }

  // Outcomes of stops in the order of the calls: old up to one call, new after.
  static void ExpectOneCommitPoint(const std::vector<TOutcome>& outcomes) {
    ASSERT_FALSE(outcomes.empty());
    EXPECT_EQ(outcomes.front(), oOld);
    EXPECT_EQ(outcomes.back(), oNew);
    EXPECT_TRUE(std::is_sorted(outcomes.begin(), outcomes.end()));
  }

  TempDir FDir;
  UString FPath = FDir.Path(u"data.zip");
  std::string FNative = FDir.NativePath("data.zip");
  TContents FOld;
  std::string FOldBytes;
  UString FReported;
  bool FOldItemsInMemory = false;
};

#ifndef _WIN32  // a stopped or killed process needs fork(): no such thing on Windows
TEST_F(CommitFaultTest, AStopBeforeAnyCallLeavesExactlyTheOldOrTheNewArchive) {
  MakeSmallOld();
  for (const TCommitKind& kind : Kinds()) {
    const std::vector<TFileLayerCall> calls = CallsOf(kind);
    std::vector<TOutcome> outcomes;
    // The last stop comes after every call: the commit completes.
    for (size_t k = 1; k <= calls.size() + 1; ++k) {
      SCOPED_TRACE(testing::Message()
                   << kind.Name << ": stop before call " << k << " of " << calls.size() << " ("
                   << (k <= calls.size() ? CallName(calls[k - 1]) : "none") << ")");
      RestoreOld();
      const int code = InChild([&] {
        GCall = 0;
        GStopAt = static_cast<int>(k);
        Commit(kind, ExitAtCall);
      });
      EXPECT_EQ(code, k <= calls.size() ? kStopped : kCompleted);
      outcomes.push_back(Reopen(kind.After));
    }
    SCOPED_TRACE(kind.Name);
    ExpectOneCommitPoint(outcomes);
  }
}
#endif  // _WIN32

#ifndef _WIN32  // a stopped or killed process needs fork(): no such thing on Windows
TEST_F(CommitFaultTest, AStopDuringTheRollBackIsRolledBackByTheNextOpening) {
  MakeSmallOld();
  const TCommitKind kind = Kinds()[1];  // the rewrite: everything saved goes back
  const std::vector<TFileLayerCall> calls = CallsOf(kind);
  // Stopped when the new archive is complete, just before its journal goes.
  const auto removal = std::find(calls.begin(), calls.end(), flcRemove);
  ASSERT_NE(removal, calls.end());
  RestoreOld();
  ASSERT_EQ(InChild([&] {
              GCall = 0;
              GStopAt = static_cast<int>(removal - calls.begin()) + 1;
              Commit(kind, ExitAtCall);
            }),
            kStopped);
  ASSERT_TRUE(Exists("-journal") && Exists("-tail"));
  const std::string archive = ReadAll(FNative), journal = ReadAll(FNative + "-journal"),
                    tail = ReadAll(FNative + "-tail");
  ASSERT_FALSE(archive == FOldBytes);
  const auto restoreStopped = [&] {
    RestoreOld();
    WriteAll(FNative, archive);
    WriteAll(FNative + "-journal", journal);
    WriteAll(FNative + "-tail", tail);
  };
  const auto open = [&] {
    TKelvane a(nullptr);
    a.SetFileName(FPath);
    a.OpenArchive();
  };
  restoreStopped();
  GCalls.clear();
  SetFileLayerProbe(RecordCall);
  open();
  SetFileLayerProbe(nullptr);
  const size_t rollBackCalls = GCalls.size();
  EXPECT_TRUE(ReadAll(FNative) == FOldBytes);
  for (size_t m = 1; m <= rollBackCalls; ++m) {
    SCOPED_TRACE(testing::Message() << "roll-back stopped before call " << m << " ("
                                    << CallName(GCalls[m - 1]) << ")");
    restoreStopped();
    EXPECT_EQ(InChild([&] {
                GCall = 0;
                GStopAt = static_cast<int>(m);
                SetFileLayerProbe(ExitAtCall);
                open();
              }),
              kStopped);
    EXPECT_EQ(Reopen(kind.After), oOld);
  }
}
#endif  // _WIN32

TEST_F(CommitFaultTest, OthersOpeningDuringACommitTakeNothingAwayAndAreToldWhy) {
  MakeSmallOld();
  const TCommitKind kind = Kinds()[1];
  const std::vector<TFileLayerCall> calls = CallsOf(kind);
  GIntruderPath = FPath;
  for (size_t k = 1; k <= calls.size(); ++k) {
    SCOPED_TRACE(testing::Message()
                 << "opened before call " << k << " (" << CallName(calls[k - 1]) << ")");
    RestoreOld();
    GCall = 0;
    GStopAt = static_cast<int>(k);
    GWriterOpened = false;
    GWriterError.clear();
    GReaderSaw.clear();
    GReaderError.clear();
    GCommitFilesKept = true;
    Commit(kind, IntrudeAtCall);
    // Neither a roll-back of the live commit nor the removal of its files.
    EXPECT_FALSE(GWriterOpened);
    EXPECT_TRUE(GCommitFilesKept);
    EXPECT_NE(GWriterError.find(u"in use"), UString::npos) << ToUtf8(GWriterError);
    // A reader finds the old items or the new ones, or waits for the commit.
    if (GReaderError.empty()) {
      EXPECT_TRUE(GReaderSaw == FOld || GReaderSaw == kind.After);
    } else {
      EXPECT_NE(GReaderError.find(u"is being updated"), UString::npos) << ToUtf8(GReaderError);
    }
    EXPECT_EQ(Reopen(kind.After), oNew);
  }
}

TEST_F(CommitFaultTest, AFailedCallLeavesTheOldArchiveWithAClearErrorAndNoTemporaryFile) {
  MakeSmallOld();
  TempDir temp;
  const UString tempDirs[] = {u"", FromUtf8(temp.Root().string())};
  for (const TCommitKind& kind : Kinds()) {
    for (const UString& tempDir : tempDirs) {
      const std::vector<TFileLayerCall> calls = CallsOf(kind, tempDir);
      // Once: a failure the roll-back gets past. A disk that stays full: the
      // roll-back cannot put the saved bytes back, the next opening does.
      for (const bool diskStaysFull : {false, true}) {
        std::vector<TOutcome> outcomes;
        for (size_t k = 1; k <= calls.size(); ++k) {
          SCOPED_TRACE(testing::Message()
                       << kind.Name << (tempDir.empty() ? "" : " with a temporary folder")
                       << ": call " << k << " of " << calls.size() << " (" << CallName(calls[k - 1])
                       << ") fails" << (diskStaysFull ? ", and the disk stays full" : ""));
          RestoreOld();
          GCall = 0;
          GStopAt = static_cast<int>(k);
          GDiskStaysFull = diskStaysFull;
          FReported.clear();
          UString error;
          try {
            Commit(kind, FailAtCall, tempDir);
          } catch (const Exception& e) {
            error = e.Message();
          }
          const UString reported = error.empty() ? FReported : error;
          if (!reported.empty()) {
            EXPECT_TRUE(FOldItemsInMemory);
            if (!diskStaysFull) {
              // Rolled back at once: nothing waits for the next opening.
              EXPECT_TRUE(ReadAll(FNative) == FOldBytes);
              EXPECT_TRUE(OnlyTheArchiveIsLeft());
            }
          }
          const TOutcome outcome = Reopen(kind.After);
          outcomes.push_back(outcome);
          // Told of a failure exactly when the change did not happen.
          EXPECT_EQ(outcome == oOld, !reported.empty()) << ToUtf8(reported);
          // A bare stream error says neither what nor where.
          EXPECT_EQ(reported.find(u"Stream write error"), UString::npos) << ToUtf8(reported);
          // Only a tail file in a temporary folder that cannot be removed after
          // the commit is done stays: nothing could find it again.
          if (tempDir.empty() || !reported.empty() || calls[k - 1] != flcRemove) {
            EXPECT_TRUE(std::filesystem::is_empty(temp.Root()));
          }
          for (const auto& entry : std::filesystem::directory_iterator(temp.Root()))
            std::filesystem::remove(entry.path());
        }
        SCOPED_TRACE(kind.Name);
        ExpectOneCommitPoint(outcomes);
      }
    }
  }
}

TEST_F(CommitFaultTest, AFailingTemporaryFolderLeavesTheArchiveAsItWas) {
  MakeSmallOld();
  TempDir temp;
  WriteAll(temp.NativePath("file"), "not a folder");
  std::vector<UString> folders = {FromUtf8(temp.NativePath("missing")),
                                  FromUtf8(temp.NativePath("file"))};
  std::filesystem::create_directory(temp.NativePath("read-only"));
  std::filesystem::permissions(
      temp.NativePath("read-only"),
      std::filesystem::perms::owner_read | std::filesystem::perms::owner_exec);
  if (access(temp.NativePath("read-only").c_str(), W_OK) != 0)  // not for a superuser
    folders.push_back(FromUtf8(temp.NativePath("read-only")));
  for (const UString& folder : folders) {
    SCOPED_TRACE(ToUtf8(folder));
    RestoreOld();
    try {
      Commit(Kinds()[1], nullptr, folder);
      ADD_FAILURE() << "the commit went through";
    } catch (const EFCreateError& e) {
      EXPECT_NE(e.Message().find(folder), UString::npos) << e.what();
    }
    EXPECT_TRUE(ReadAll(FNative) == FOldBytes);
    EXPECT_TRUE(OnlyTheArchiveIsLeft());
  }
}

// A source that gives some bytes, then fails to read.
class TFailingStream : public TStream {
 public:
  int64_t Read(void* buffer, int64_t count) override {
    if (FPos >= 100) throw EReadError(u"Cannot read the source: the device is gone");
    const int64_t n = std::min<int64_t>(count, 100 - FPos);
    std::fill_n(static_cast<char*>(buffer), n, 'x');
    FPos += n;
    return n;
  }
  int64_t Write(const void*, int64_t) override { return 0; }
  int64_t Seek(int64_t offset, TSeekOrigin origin) override {
    return FPos = origin == soBeginning ? offset : FPos + offset;
  }
  int64_t Size() override { return 100000; }

 private:
  int64_t FPos = 0;
};

// A source that ends before the size it claims.
class TShortStream : public TFailingStream {
 public:
  int64_t Read(void*, int64_t) override { return 0; }
};

TEST_F(CommitFaultTest, AFailingSourceLeavesTheArchiveAsItWasAndSaysWhy) {
  MakeSmallOld();
  TempDir sources;
  const std::string gone = sources.NativePath("gone.txt");
  TFailingStream failing;
  TShortStream shortSource;
  struct Case {
    const char* Name;
    std::function<void(TChanger&)> Change;
  };
  const Case cases[] = {
      {"a source file removed before the commit",
       [&](TChanger& a) {
         WriteAll(gone, "soon gone");
         a.AddFile(FromUtf8(gone));
         std::filesystem::remove(gone);
       }},
      {"a source that fails to read",
       [&](TChanger& a) { a.AddFromStream(u"e.txt", failing, false, 0, 0, faArchive, 0); }},
      {"a source shorter than it claims",
       [&](TChanger& a) { a.AddFromStream(u"e.txt", shortSource, false, 0, 0, faArchive, 0); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    RestoreOld();
    FReported.clear();
    UString error;
    // Behind a changed first item, so the archive is cut when the source fails.
    const TCommitKind kind{"",
                           [&](TChanger& a) {
                             a.AddFromString(u"a.txt", u"replaced", faArchive, 0);
                             c.Change(a);
                           },
                           {}};
    try {
      Commit(kind, nullptr);
    } catch (const Exception& e) {
      error = e.Message();
    }
    const UString reported = error.empty() ? FReported : error;
    EXPECT_FALSE(reported.empty());
    EXPECT_TRUE(ReadAll(FNative) == FOldBytes);
    EXPECT_TRUE(OnlyTheArchiveIsLeft());
    EXPECT_TRUE(FOldItemsInMemory);
  }
}

#ifndef _WIN32  // a stopped or killed process needs fork(): no such thing on Windows
TEST_F(CommitFaultTest, AKillAtManyMomentsOfALargeCommitLeavesTheOldOrTheNewArchive) {
  constexpr size_t kItemSize = 4 << 20;
  MakeOld({{u"a.bin", Noise(kItemSize, 1)},
           {u"b.bin", Noise(kItemSize, 2)},
           {u"c.bin", Noise(kItemSize, 3)}},
          0);
  // Replacing the first item saves and rewrites everything after it.
  TContents after = FOld;
  after[u"a.bin"] = Noise(kItemSize, 4);
  const std::string& newA = after[u"a.bin"];
  const TCommitKind kind{"rewrite of 12 MiB",
                         [&](TChanger& a) {
                           a.SetCompressionMode(0);
                           a.AddFromBuffer(u"a.bin", newA.data(), static_cast<int32_t>(newA.size()),
                                           faArchive, 0);
                         },
                         after};
  const size_t calls = CallsOf(kind).size();
  ASSERT_GT(calls, 40u);
  // The child reports each call; it is killed after the k-th report, at
  // whatever it does by then.
  for (size_t step = 0; step <= 16; ++step) {
    const size_t k = std::max<size_t>(1, calls * step / 16);
    SCOPED_TRACE(testing::Message() << "killed after call " << k << " of " << calls);
    RestoreOld();
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    fflush(nullptr);
    const pid_t pid = fork();
    if (pid == 0) {
      close(fds[0]);
      GPipe = fds[1];
      try {
        Commit(kind, ReportToPipe);
      } catch (...) {
        _exit(kRaised);
      }
      _exit(kCompleted);
    }
    close(fds[1]);
    size_t seen = 0;
    char buffer[64];
    while (seen < k) {
      const ssize_t n = read(fds[0], buffer, std::min(sizeof buffer, k - seen));
      if (n <= 0) break;
      seen += static_cast<size_t>(n);
    }
    kill(pid, SIGKILL);
    int status = 0;
    waitpid(pid, &status, 0);
    close(fds[0]);
    EXPECT_EQ(seen, k);
    EXPECT_TRUE(WIFSIGNALED(status) || (WIFEXITED(status) && WEXITSTATUS(status) == kCompleted));
    Reopen(kind.After);
  }
}
#endif  // _WIN32

}  // namespace
}  // namespace kelvane
