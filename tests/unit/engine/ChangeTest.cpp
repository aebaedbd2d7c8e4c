// Deleting, renaming and changing items: what each writes, the marks it leaves
// inside an open update, and that refused or failing changes leave the archive
// as it was.
#include <gtest/gtest.h>

#include <fstream>
#include <map>

#include "NativeError.h"
#include "TempDir.h"
#include "container/KelDirManager.h"
#include "engine/Kelvane.h"
#include "names/NameCoding.h"
#include "platform/FileSystem.h"
#include "platform/Text.h"

namespace kelvane {
namespace {

using namespace test;

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

class TChangeProbe : public TKelvane {
 public:
  using TKelBaseArchiver::DMHandle;
  using TKelBaseArchiver::ExtractItemToStream;
  using TKelvane::TKelvane;

  // The spanning mode as an opened multi-volume archive leaves it.
  void ForceSpanningMode(TKelSpanningMode mode) { FSpanningMode = mode; }

  const TDirItem& Item(const UString& name) {
    int32_t i = -1;
    if (!DMHandle->CDir.FileExists(name, i)) throw Exception(u"no item " + name);
    return DMHandle->CDir.GetItemPtr(i);
  }
};

struct TItemState {
  std::string Data;
  uint32_t ExternalAttr = 0;
  uint16_t InternalAttr = 0;
  uint16_t Flags = 0;
  AnsiString Comment;
  bool operator==(const TItemState&) const = default;
};

class ChangeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    a.SetFileName(FPath);
    a.SetCompressionMode(6);
  }

  // Opens (creating when missing) and adds Items in one update; names ending
  // with "/" are folders.
  void Add(const std::vector<std::pair<UString, std::string>>& items) {
    if (!a.Active()) a.OpenArchive();
    a.BeginUpdate();
    for (const auto& [name, data] : items) {
      const bool folder = name.back() == u'/';
      a.AddFromBuffer(name, data.data(), static_cast<int32_t>(data.size()),
                      folder ? faDirectory : faArchive, 0);
    }
    a.EndUpdate();
  }

  // Every item as a fresh reader of the file finds it, in directory order.
  std::vector<std::pair<UString, TItemState>> OnDisk() {
    a.CloseArchive();
    TChangeProbe reader(nullptr);
    reader.SetFileName(FPath);
    reader.SetOpenCorruptedArchives(false);
    reader.OpenArchive(fmOpenRead | fmShareDenyNone);
    std::vector<std::pair<UString, TItemState>> out;
    const TKelDirArray& dir = reader.DMHandle->CDir;
    for (int32_t i = 0; i < dir.Count(); ++i) {
      const TDirItem& item = dir.GetItemPtr(i);
      TItemState state;
      if (!item.IsDirectory()) {
        TMemoryStream s;
        reader.ExtractItemToStream(i, s, 0, 0);
        state.Data.assign(s.Bytes().begin(), s.Bytes().end());
      }
      state.ExternalAttr = item.CentralDir.externalAttr;
      state.InternalAttr = item.CentralDir.internalAttr;
      state.Flags = item.CentralDir.genPurposeFlag;
      state.Comment = item.Comment();
      out.emplace_back(item.Name, state);
    }
    return out;
  }

  std::vector<UString> NamesOnDisk() {
    std::vector<UString> names;
    for (const auto& [name, state] : OnDisk())
      names.push_back(name);
    return names;
  }

  std::map<UString, std::string> DataOnDisk() {
    std::map<UString, std::string> out;
    for (const auto& [name, state] : OnDisk())
      out[name] = state.Data;
    return out;
  }

  TempDir FDir;
  UString FPath = FDir.Path(u"data.zip");
  std::string FNative = FDir.NativePath("data.zip");
  TChangeProbe a{nullptr};
};

TEST_F(ChangeTest, DeletingRemovesTheSelectedItemsAndKeepsTheOthersWithTheirData) {
  const std::string big(300000, 'b');
  Add({{u"a.txt", "aaa"}, {u"b.bin", big}, {u"c.txt", "ccc"}, {u"d/e.txt", "eee"}});
  a.DeleteFiles(u"*.txt", KelAllItemsAttr, u"c.txt");
  EXPECT_EQ(DataOnDisk(), (std::map<UString, std::string>{
                              {u"b.bin", big}, {u"c.txt", "ccc"}}));  // d/e.txt: Recurse is on

  // The property form: FileMasks, ExclusionMasks and Options().SearchAttr().
  a.OpenArchive();
  a.FileMasks().Add(u"*.*");
  a.ExclusionMasks().Add(u"*.bin");
  a.DeleteFiles();
  EXPECT_EQ(DataOnDisk(), (std::map<UString, std::string>{{u"b.bin", big}}));
}

TEST_F(ChangeTest, DeletingWhatNothingMatchesLeavesTheArchiveByteForByte) {
  Add({{u"a.txt", "aaa"}, {u"b.txt", "bbb"}});
  a.CloseArchive();
  const std::string before = ReadAll(FNative);
  a.OpenArchive();
  a.DeleteFiles(u"*.bin", KelAllItemsAttr, u"");
  EXPECT_EQ(ReadAll(FNative), before);
  // Items selected but every deletion refused: the commit still runs and
  // writes the same directory again.
  a.SetOnConfirmProcessFile([](TKelBaseArchiver*, const UString&, TKelProcessOperation,
                               bool& confirm) { confirm = false; });
  a.DeleteFiles(u"*.txt", KelAllItemsAttr, u"");
  a.CloseArchive();
  EXPECT_EQ(ReadAll(FNative), before);
}

TEST_F(ChangeTest, RenamingAFolderReplacesOnlyTheLeadingPartOfTheNamesBelowIt) {
  const std::vector<std::pair<UString, std::string>> items = {
      {u"docs/", ""},
      {u"docs/a.txt", "a"},
      {u"docs/docs/docs.txt", std::string(100000, 'd')},
      {u"docsother.txt", "o"},
      {u"other/docs/x.txt", "x"},
      {u"DOCS/sub/b.txt", "b"},  // below the folder, told apart by ASCII case only
  };
  const std::vector<UString> expected = {
      u"papers/",       u"papers/a.txt",     u"papers/docs/docs.txt",
      u"docsother.txt", u"other/docs/x.txt", u"papers/sub/b.txt"};
  struct TCase {
    bool Recurse;
    UString OldName;
    UString NewName;
  };
  const TCase cases[] = {
      {true, u"docs", u"papers"},
      {false, u"docs", u"papers"},  // found as docs/ by name
      {false, u"docs\\", u"papers\\"},
      {true, u"Docs/", u"papers"},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(testing::Message() << "recurse " << c.Recurse << " " << ToUtf8(c.OldName));
    RemoveFile(FPath);
    Add(items);
    a.Options().SetRecurse(c.Recurse);
    a.BeginUpdate();
    a.RenameFile(c.OldName, c.NewName);
    for (const char16_t* name : {u"papers/", u"papers/docs/docs.txt", u"papers/sub/b.txt"}) {
      const TDirItem& item = a.Item(name);
      EXPECT_TRUE(item.Modified && item.Operation == poRename) << ToUtf8(name);
    }
    EXPECT_EQ(a.Item(u"papers/sub/b.txt").OldName(), u"DOCS/sub/b.txt");
    EXPECT_FALSE(a.Item(u"docsother.txt").Modified);
    a.EndUpdate();
    EXPECT_EQ(NamesOnDisk(), expected);
    const auto data = DataOnDisk();
    EXPECT_EQ(data.at(u"papers/docs/docs.txt"), items[2].second);
    EXPECT_EQ(data.at(u"papers/sub/b.txt"), "b");
    EXPECT_EQ(data.at(u"other/docs/x.txt"), "x");
    a.Options().SetRecurse(true);
  }
}

TEST_F(ChangeTest, AFolderMovesIntoOrOutOfItselfWithItsItems) {
  // The new names of some items are the old names of others below them.
  Add({{u"a/", ""}, {u"a/x", "x"}, {u"a/a/", ""}, {u"a/a/x", "ax"}, {u"a/a/a/x", "aax"}});
  a.RenameFile(u"a", u"a/a");
  EXPECT_EQ(DataOnDisk(), (std::map<UString, std::string>{{u"a/a/", ""},
                                                          {u"a/a/a/", ""},
                                                          {u"a/a/a/x", "ax"},
                                                          {u"a/a/x", "x"},
                                                          {u"a/a/a/a/x", "aax"}}));
  a.OpenArchive();
  a.RenameFile(u"a/a", u"a");
  EXPECT_EQ(DataOnDisk(),
            (std::map<UString, std::string>{
                {u"a/", ""}, {u"a/a/", ""}, {u"a/a/x", "ax"}, {u"a/x", "x"}, {u"a/a/a/x", "aax"}}));
}

TEST_F(ChangeTest, RenamingAFileReplacesThePartOfItsNameThatWasAskedFor) {
  Add({{u"top.txt", "t"}, {u"sub/a.txt", "a"}, {u"sub/b.txt", "b"}});
  a.RenameFile(u"sub\\a.txt", u"sub/moved/a2.txt");  // the whole name
  a.OpenArchive();
  a.RenameFile(u"b.txt", u"b2.txt");  // found below a folder: its last part
  EXPECT_EQ(DataOnDisk(),
            (std::map<UString, std::string>{
                {u"top.txt", "t"}, {u"sub/moved/a2.txt", "a"}, {u"sub/b2.txt", "b"}}));
}

TEST_F(ChangeTest, RenamingTwiceInOneUpdateKeepsTheFirstOldNameAndTheData) {
  const std::string data(50000, 'q');
  Add({{u"first.txt", "1"}, {u"a.txt", data}, {u"last.txt", "3"}});
  a.BeginUpdate();
  a.ChangeFilesAttr(u"a.txt", faArchive | faReadOnly);
  EXPECT_EQ(a.Item(u"a.txt").Operation, poChangeAttr);
  a.RenameFile(u"a.txt", u"b.txt");
  a.RenameFile(u"b.txt", u"c.txt");
  const TDirItem& item = a.Item(u"c.txt");
  EXPECT_EQ(item.OldName(), u"a.txt");
  EXPECT_EQ(item.Operation, poRename) << "a rename replaces a pending attribute change";
  a.ChangeFilesComment(u"c.txt", "note");
  EXPECT_EQ(item.Operation, poRename);
  a.EndUpdate();
  const auto disk = OnDisk();
  ASSERT_EQ(disk.size(), 3u);
  EXPECT_EQ(disk[1].first, u"c.txt");
  EXPECT_EQ(disk[1].second.Data, data);
  EXPECT_EQ(disk[1].second.ExternalAttr, uint32_t{faArchive | faReadOnly});
  EXPECT_EQ(disk[1].second.Comment, "note");
}

TEST_F(ChangeTest, ANewNameBeyondAsciiIsStoredAsFlaggedUtf8) {
  Add({{u"plain.txt", "p"}, {u"other.txt", "o"}});
  const UString name = u"caf\u00e9/na\u00efve.txt";  // each in the ANSI code page too
  a.RenameFile(u"plain.txt", name);
#ifdef _WIN32
  // Windows writes a name its code pages hold in them, unflagged, as other
  // Windows tools do.
  AnsiString stored;
  const bool flagged = NameToStoredBytes(name, a.Options().OEMFileNames(), stored);
  EXPECT_FALSE(flagged);
#else
  const AnsiString stored = ToUtf8(name);
  const bool flagged = true;
#endif
  const auto disk = OnDisk();
  EXPECT_EQ(disk[0].first, name);
  EXPECT_EQ(disk[0].second.Data, "p");
  EXPECT_EQ((disk[0].second.Flags & KelFlagUtf8Name) != 0, flagged);
  EXPECT_FALSE(disk[1].second.Flags & KelFlagUtf8Name);
  // The local header says the same as the directory.
  const std::string bytes = ReadAll(FNative);
  ASSERT_EQ(bytes.compare(30, stored.size(), stored), 0);
  EXPECT_EQ((static_cast<uint8_t>(bytes[7]) & 0x08) != 0, flagged);
}

TEST_F(ChangeTest, AttributesAndCommentsAreWrittenAndAFolderKeepsItsBit) {
  Add({{u"dir/", ""}, {u"dir/a.txt", "aaa"}, {u"b.txt", "bbb"}});
  a.ChangeFilesAttr(u"*.*", faReadOnly);
  a.OpenArchive();
  a.ChangeFilesIntAttr(u"a.txt", 0x10001);  // 16 bits are stored
  a.OpenArchive();
  a.ChangeFilesComment(u"b.txt", "a comment");
  const auto disk = OnDisk();
  ASSERT_EQ(disk.size(), 3u);
  EXPECT_EQ(disk[0].second.ExternalAttr, uint32_t{faReadOnly | faDirectory});
  EXPECT_EQ(disk[1].second, (TItemState{"aaa", faReadOnly, 1, 0, ""}));
  EXPECT_EQ(disk[2].second, (TItemState{"bbb", faReadOnly, 0, 0, "a comment"}));
}

TEST_F(ChangeTest, TheArchiveCommentIsWrittenByTheCommitAndDroppedWithACancel) {
  Add({{u"a.txt", "aaa"}});
  a.BeginUpdate();
  a.SetComment("archive note");
  a.RenameFile(u"a.txt", u"b.txt");
  a.EndUpdate();
  a.CloseArchive();
  a.OpenArchive();
  EXPECT_EQ(a.Comment(), "archive note");
  EXPECT_EQ(a.FileCount(), 1);

  a.BeginUpdate();
  a.SetComment("never written");
  a.CancelUpdate();
  EXPECT_EQ(a.Comment(), "archive note");
  a.ChangeFilesComment(u"b.txt", "item note");  // a later commit must not write it either
  a.CloseArchive();
  a.OpenArchive();
  EXPECT_EQ(a.Comment(), "archive note");
}

TEST_F(ChangeTest, RefusedChangesRaiseAndLeaveTheArchiveByteForByte) {
  Add({{u"a.txt", "aaa"},
       {u"b.txt", "bbb"},
       {u"dir/", ""},
       {u"dir/c.txt", "c"},
       {u"x/c.txt", "xc"}});
  a.CloseArchive();
  const std::string before = ReadAll(FNative);
  a.OpenArchive();
  struct TCase {
    const char* What;
    std::function<void()> Call;
    int Native;  // -1: Exception without a native number
  };
  const TCase cases[] = {
      {"rename missing", [&] { a.RenameFile(u"missing.txt", u"z.txt"); }, 30},
      {"attr missing", [&] { a.ChangeFilesAttr(u"*.bin", 0); }, 31},
      {"comment missing", [&] { a.ChangeFilesComment(u"*.bin", "x"); }, 31},
      {"int attr missing", [&] { a.ChangeFilesIntAttr(u"*.bin", 0); }, 38},
      {"rename onto another item", [&] { a.RenameFile(u"a.txt", u"B.TXT"); }, -1},
      {"folder onto another item", [&] { a.RenameFile(u"dir", u"x"); }, -1},
      {"empty new name", [&] { a.RenameFile(u"a.txt", u""); }, -1},
      {"file named as a folder", [&] { a.RenameFile(u"a.txt", u"z/"); }, -1},
      {"comment too long", [&] { a.ChangeFilesComment(u"a.txt", std::string(70000, 'c')); }, -1},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.What);
    if (c.Native > 0) {
      try {
        c.Call();
        ADD_FAILURE() << "no error";
      } catch (const EKelException& e) {
        EXPECT_EQ(e.NativeError, c.Native);
        EXPECT_NE(e.Message().find(u"not found"), UString::npos) << ToUtf8(e.Message());
      }
    } else {
      EXPECT_THROW(c.Call(), Exception);
    }
    EXPECT_FALSE(a.InUpdate());
    EXPECT_EQ(ReadAll(FNative), before);
    EXPECT_EQ(a.Item(u"a.txt").Name, u"a.txt");
    EXPECT_EQ(a.Item(u"a.txt").Comment(), "");
  }
  a.CloseArchive();
  EXPECT_EQ(ReadAll(FNative), before);

  TKelvane closed(nullptr);
  for (const auto& call : std::vector<std::function<void()>>{
           [&] { closed.DeleteFiles(); }, [&] { closed.DeleteFiles(u"*.*", KelAllItemsAttr, u""); },
           [&] { closed.RenameFile(u"a", u"b"); }, [&] { closed.ChangeFilesAttr(u"a", 0); },
           [&] { closed.ChangeFilesIntAttr(u"a", 0); },
           [&] { closed.ChangeFilesComment(u"a", ""); }})
    EXPECT_EQ(NativeErrorOf(call), 13);

  TKelvane readOnly(nullptr);
  readOnly.SetFileName(FPath);
  readOnly.OpenArchive(fmOpenRead | fmShareDenyNone);
  EXPECT_EQ(NativeErrorOf([&] { readOnly.DeleteFiles(u"a.txt", KelAllItemsAttr, u""); }), 32);
  EXPECT_EQ(NativeErrorOf([&] { readOnly.RenameFile(u"a.txt", u"z.txt"); }), 32);
  readOnly.CloseArchive();
  EXPECT_EQ(ReadAll(FNative), before);
}

TEST_F(ChangeTest, ARefusalInsideTheCallersUpdateKeepsItsChanges) {
  Add({{u"a.txt", "aaa"}});
  a.BeginUpdate();
  a.AddFromBuffer(u"new.txt", "n", 1, faArchive, 0);
  a.RenameFile(u"a.txt", u"b.txt");
  EXPECT_EQ(NativeErrorOf([&] { a.RenameFile(u"missing", u"x"); }), 30);
  EXPECT_EQ(NativeErrorOf([&] { a.ChangeFilesComment(u"*.bin", "x"); }), 31);
  EXPECT_THROW(a.RenameFile(u"new.txt", u"b.txt"), Exception);
  EXPECT_TRUE(a.InUpdate());
  a.EndUpdate();
  EXPECT_EQ(DataOnDisk(), (std::map<UString, std::string>{{u"b.txt", "aaa"}, {u"new.txt", "n"}}));
}

TEST_F(ChangeTest, DeletingFromAMultiVolumeArchiveNeedsAnExplicitUpdate) {
  Add({{u"a.txt", "aaa"}});
  a.CloseArchive();
  const std::string before = ReadAll(FNative);
  a.OpenArchive();
  a.ForceSpanningMode(smSplitting);
  EXPECT_EQ(NativeErrorOf([&] { a.DeleteFiles(u"a.txt", KelAllItemsAttr, u""); }), 52);
  a.FileMasks().Add(u"*.*");
  EXPECT_EQ(NativeErrorOf([&] { a.DeleteFiles(); }), 52);
  a.ForceSpanningMode(smNone);
  a.CloseArchive();
  EXPECT_EQ(ReadAll(FNative), before);
}

}  // namespace
}  // namespace kelvane
