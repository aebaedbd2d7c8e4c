// Writing split and spanned sets: volume limits, names, reading them back,
// what may follow their writing, and a full disk on the way.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>

#include "ArchiveFiles.h"
#include "NativeError.h"
#include "TempDir.h"
#include "UpdateTestSupport.h"
#include "names/Paths.h"
#include "platform/FileLayerProbe.h"
#include "platform/FileSystem.h"
#include "platform/Text.h"

namespace kelvane {
namespace {

using namespace test;
namespace fs = std::filesystem;

constexpr int64_t kVolume = 64 * 1024;

// Every file in Dir (not below it) by name, with its bytes.
std::map<std::string, std::string> FilesIn(const fs::path& dir) {
  std::map<std::string, std::string> files;
  for (const auto& entry : fs::directory_iterator(dir))
    if (entry.is_regular_file())
      files[entry.path().filename().string()] = ReadAll(entry.path().string());
  return files;
}

std::vector<std::string> NamesIn(const fs::path& dir) {
  std::vector<std::string> names;
  for (const auto& [name, bytes] : FilesIn(dir))
    names.push_back(name);
  return names;
}

struct TItem {
  UString Name;
  std::string Data;
  AnsiString Password;
};

// Items larger than a volume, compressible and not, one AES-encrypted, one
// PKZIP-encrypted, one empty, and names that make central headers of
// different lengths.
std::vector<TItem> SampleItems() {
  std::string text;
  for (int i = 0; text.size() < 150000; ++i)
    text += "line " + std::to_string(i) + " of a text that deflates well\n";
  return {
      {u"small.txt", "hello", ""},
      {u"big/noise.bin", Noise(200000, 7), ""},
      {u"big/text.txt", text, ""},
      {u"secret/aes.bin", Noise(90000, 8), "pass word"},
      {u"secret/classic.txt", text.substr(0, 70000), "other"},
      {u"empty.dat", "", ""},
      {u"a/rather/long/folder/name/to/make/a/longer/central/header/item.bin", Noise(3000, 9), ""},
  };
}

TContents Expected(const std::vector<TItem>& items) {
  TContents contents;
  for (const TItem& item : items)
    contents[item.Name] = item.Data;
  return contents;
}

// Sets up A to write a split set FileName with the volume limits given.
void SplitSettings(TKelvane& a, const UString& fileName, int64_t volumeSize,
                   int64_t firstVolumeSize = 0) {
  a.SetFileName(fileName);
  a.SetSpanningMode(smSplitting);
  a.SpanningOptions().SetVolumeSize(vsCustom);
  a.SpanningOptions().SetCustomVolumeSize(volumeSize);
  a.SpanningOptions().SetFirstVolumeSize(firstVolumeSize);
  a.SetCompressionMode(6);
}

void AddItems(TKelvane& a, const std::vector<TItem>& items) {
  for (const TItem& item : items) {
    a.SetPassword(item.Password);
    a.AddFromBuffer(item.Name, item.Data.data(), static_cast<int32_t>(item.Data.size()), faArchive,
                    0);
  }
  a.SetPassword("");
}

// Reads every item of the set FileName back, with the passwords of Items.
TContents ReadBack(const UString& fileName, const std::vector<TItem>& items) {
  TKelvane reader(nullptr);
  reader.SetFileName(fileName);
  reader.OpenArchive(fmOpenRead | fmShareDenyNone);
  EXPECT_EQ(reader.SpanningMode(), smSplitting);
  TContents contents;
  for (const TItem& item : items) {
    reader.SetPassword(item.Password);
    TMemoryStream out;
    reader.ExtractToStream(item.Name, out);
    contents[item.Name] = std::string(out.Bytes().begin(), out.Bytes().end());
  }
  return contents;
}

TEST(SplitSetWriting, VolumesKeepTheirLimitsAndReadBackExactly) {
  struct {
    const char* Label;
    bool Advanced;
    TZip64Mode Zip64;
    int64_t FirstVolumeSize;
    std::vector<std::string> Expected;  // beside the last volume, data.zip
  } cases[] = {
      {"numbered parts", false, zmAuto, 0, {"data.z01", "data.z02"}},
      {"advanced naming", true, zmAuto, 0, {"data_001.zip", "data_002.zip"}},
      {"zip64 records", false, zmAlways, 0, {"data.z01", "data.z02"}},
      {"a smaller first volume", false, zmAuto, 70000, {"data.z01", "data.z02"}},
  };
  const std::vector<TItem> items = SampleItems();
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Label);
    TempDir dir;
    TKelvane a(nullptr);
    SplitSettings(a, dir.Path(u"data.zip"), kVolume, c.FirstVolumeSize);
    a.SpanningOptions().SetAdvancedNaming(c.Advanced);
    a.SetZip64Mode(c.Zip64);
    a.OpenArchive();
    a.BeginUpdate();
    AddItems(a, items);
    a.EndUpdate();
    a.CloseArchive();

    const auto files = FilesIn(dir.Root());
    // About 300 KB of stored data: five volumes or more, and nothing else.
    ASSERT_GE(files.size(), 5u);
    for (size_t i = 0; i < c.Expected.size(); ++i)
      EXPECT_TRUE(files.contains(c.Expected[i])) << c.Expected[i];
    ASSERT_TRUE(files.contains("data.zip"));
    for (const auto& [name, bytes] : files) {
      const bool first = name == c.Expected[0];
      const int64_t limit = first && c.FirstVolumeSize > 0 ? c.FirstVolumeSize : kVolume;
      EXPECT_LE(static_cast<int64_t>(bytes.size()), limit) << name;
      EXPECT_NE(name[0], '.') << "a hidden file stayed";
    }
    EXPECT_EQ(ReadBack(dir.Path(u"data.zip"), items), Expected(items));
  }
}

// A set made with the wrong letter case is still read, and a new set, named
// as other tools name them, replaces the old one's parts.
TEST(SplitSetWriting, NewVolumesAreNamedInLowerCase) {
  TempDir dir;
  const std::vector<TItem> items = {{u"n.bin", Noise(150000, 3), ""}};
  TKelvane a(nullptr);
  SplitSettings(a, dir.Path(u"data.zip"), kVolume);
  a.OpenArchive();
  AddItems(a, items);
  a.CloseArchive();
  EXPECT_EQ(NamesIn(dir.Root()), (std::vector<std::string>{"data.z01", "data.z02", "data.zip"}));

  fs::rename(dir.NativePath("data.z01"), dir.NativePath("data.Z01"));
  fs::rename(dir.NativePath("data.z02"), dir.NativePath("data.Z02"));
  EXPECT_EQ(ReadBack(dir.Path(u"data.zip"), items), Expected(items));
}

TEST(SplitSetWriting, AFirstVolumeTooSmallForTheStubIsRefused) {
  TempDir dir;
  WriteFileBytes(dir.NativePath("stub"), StubBytes(100000));
  fs::permissions(dir.NativePath("stub"), fs::perms::owner_all);
  TKelvane a(nullptr);
  SplitSettings(a, dir.Path(u"data.zip"), kVolume);
  a.SetSFXStub(dir.Path(u"stub"));
  EXPECT_EQ(NativeErrorOf([&] { a.OpenArchive(fmCreate); }), 47);
  EXPECT_FALSE(a.Active());
  EXPECT_EQ(NamesIn(dir.Root()), std::vector<std::string>{"stub"});
  // A first volume that takes it.
  a.SpanningOptions().SetFirstVolumeSize(200000);
  a.OpenArchive(fmCreate);
  const std::vector<TItem> items = {{u"n.bin", Noise(150000, 3), ""}};
  AddItems(a, items);
  a.CloseArchive();
  const auto files = FilesIn(dir.Root());
  ASSERT_TRUE(files.contains("data.exe"));
  EXPECT_EQ(files.at("data.exe").substr(0, 100000), files.at("stub"));
  EXPECT_LE(files.at("data.exe").size(), 200000u);
  EXPECT_EQ(fs::status(dir.NativePath("data.exe")).permissions() & fs::perms::owner_exec,
            fs::perms::owner_exec);
  TKelvane reader(nullptr);
  reader.SetFileName(dir.Path(u"data.exe"));
  reader.OpenArchive(fmOpenRead | fmShareDenyNone);
  EXPECT_EQ(ContentsOf(reader), Expected(items));
}

// A set is written once, by the update that creates it.
TEST(SplitSetWriting, ASetIsNotChangedAfterItsCreation) {
  TempDir dir;
  const std::vector<TItem> items = {{u"n.bin", Noise(100000, 3), ""}};
  TKelvane a(nullptr);
  SplitSettings(a, dir.Path(u"data.zip"), kVolume);
  a.OpenArchive();
  AddItems(a, items);
  // The same opening, after its update: open for reading and writing, and read.
  EXPECT_EQ(NativeErrorOf([&] { a.BeginUpdate(); }), 62);
  EXPECT_EQ(NativeErrorOf([&] { a.AddFromString(u"more.txt", u"x", faArchive, 0); }), 52);
  EXPECT_EQ(ContentsOf(a), Expected(items));
  a.CloseArchive();
  const auto before = FilesIn(dir.Root());

  // Opened again from the disk.
  a.SetSpanningMode(smNone);
  a.OpenArchive();
  EXPECT_EQ(a.SpanningMode(), smSplitting);
  EXPECT_EQ(NativeErrorOf([&] { a.AddFromString(u"more.txt", u"x", faArchive, 0); }), 52);
  EXPECT_EQ(NativeErrorOf([&] { a.DeleteFiles(u"n.bin", KelAllItemsAttr, u""); }), 52);
  EXPECT_EQ(NativeErrorOf([&] { a.BeginUpdate(); }), 62);
  EXPECT_FALSE(a.InUpdate());
  EXPECT_EQ(ContentsOf(a), Expected(items));
  a.CloseArchive();
  EXPECT_EQ(FilesIn(dir.Root()), before);
}

// An empty new set is one file; a record larger than a volume's room after
// the stub still finds its volume.
TEST(SplitSetWriting, SetsOfOneVolume) {
  TempDir dir;
  TKelvane a(nullptr);
  SplitSettings(a, dir.Path(u"empty.zip"), kVolume);
  a.OpenArchive();
  a.CloseArchive();
  SplitSettings(a, dir.Path(u"one.zip"), kVolume);
  a.OpenArchive();
  AddItems(a, {{u"x.txt", "x", ""}});
  a.CloseArchive();
  EXPECT_EQ(NamesIn(dir.Root()), (std::vector<std::string>{"empty.zip", "one.zip"}));
  a.SetSpanningMode(smNone);
  a.SetFileName(dir.Path(u"one.zip"));
  a.OpenArchive(fmOpenRead | fmShareDenyNone);
  EXPECT_EQ(a.SpanningMode(), smNone);
  EXPECT_EQ(ContentsOf(a), (TContents{{u"x.txt", "x"}}));
}

TEST(SplitSetWriting, VolumeRequestsAndTheirAnswers) {
  TempDir dir;
  TKelvane a(nullptr);
  SplitSettings(a, dir.Path(u"data.zip"), kVolume);
  std::vector<std::string> asked;
  a.SetOnRequestBlankVolume([&](TKelBaseArchiver*, int32_t n, UString& name, bool& cancel) {
    asked.push_back(std::to_string(n) + " " + ToUtf8(FileNamePart(name)));
    cancel = n == 3;
  });
  a.OpenArchive();
  // The cancelled request aborts the commit without a question.
  const std::string noise = Noise(200000, 1);
  a.AddFromBuffer(u"n.bin", noise.data(), 200000, faArchive, 0);
  EXPECT_EQ(asked, (std::vector<std::string>{"1 data.z01", "2 data.z02", "3 data.z03"}));
  EXPECT_EQ(a.FileCount(), 0);
  a.CloseArchive();
  // Nothing of the set that was given up stays.
  EXPECT_TRUE(NamesIn(dir.Root()).empty());
}

// Spanned volumes, each on a disk of its own (a folder here), all with the
// archive's name.
TEST(SpannedSetWriting, EachDiskHoldsOneVolume) {
  TempDir dir;
  const std::vector<TItem> items = {{u"n.bin", Noise(150000, 3), ""}, {u"s.txt", "small", ""}};
  auto disk = [&](int32_t n) { return dir.Path(u"disk" + FromUtf8(std::to_string(n))); };
  TKelvane a(nullptr);
  a.SetFileName(dir.Path(test::OnDisk(u"disk1/data.zip")));
  a.SetSpanningMode(smSpanning);
  a.SpanningOptions().SetVolumeSize(vsCustom);
  a.SpanningOptions().SetCustomVolumeSize(kVolume);
  a.SetOnRequestBlankVolume([&](TKelBaseArchiver*, int32_t n, UString& name, bool&) {
    CreateDirectories(disk(n));
    name = disk(n) + PathDelim + FileNamePart(name);
  });
  a.OpenArchive(fmCreate);
  a.BeginUpdate();
  AddItems(a, items);
  a.EndUpdate();
  a.CloseArchive();
  for (int n = 1; n <= 3; ++n) {
    const auto files = FilesIn(dir.Root() / ("disk" + std::to_string(n)));
    ASSERT_EQ(files.size(), 1u) << n;
    EXPECT_LE(static_cast<int64_t>(files.at("data.zip").size()), kVolume);
  }

  TKelvane reader(nullptr);
  reader.SetFileName(disk(3) + PathDelim + u"data.zip");
  auto inserted = [&](int32_t n, UString& name) { name = disk(n) + PathDelim + u"data.zip"; };
  reader.SetOnRequestFirstVolume(
      [&](TKelBaseArchiver*, UString& name, bool&) { inserted(1, name); });
  reader.SetOnRequestMiddleVolume(
      [&](TKelBaseArchiver*, int32_t n, UString& name, bool&) { inserted(n, name); });
  reader.SetOnRequestLastVolume(
      [&](TKelBaseArchiver*, UString& name, bool&) { inserted(3, name); });
  reader.OpenArchive(fmOpenRead | fmShareDenyNone);
  EXPECT_EQ(reader.SpanningMode(), smSpanning);
  EXPECT_EQ(ContentsOf(reader), Expected(items));
}

// ---- A full disk while a set is written

int GCall = 0;
int GFailAt = 0;
std::vector<TFileLayerCall> GCalls;

bool CountCall(TFileLayerCall call) {
  GCalls.push_back(call);
  return true;
}

// The disk fills at call GFailAt and stays full: from there on, whatever
// needs room fails. Renames and removals need none.
bool FullFromCall(TFileLayerCall call) {
  if (call == flcRename || call == flcRemove) return true;
  ++GCall;
  return GCall < GFailAt || !(call == flcCreate || call == flcWrite || GCall == GFailAt);
}

// Only rename GFailAt fails, as when the folder's permissions change.
bool RenameFailsAt(TFileLayerCall call) {
  return call != flcRename || ++GCall != GFailAt;
}

TEST(SplitSetWriting, AFullDiskLosesNothingThatWasThere) {
  TempDir dir;
  const fs::path setDir = dir.Root() / "set";
  const fs::path tempDir = dir.Root() / "tmp";
  fs::create_directories(setDir);
  fs::create_directories(tempDir);
  const UString setPath = FromUtf8((setDir / "data.zip").string());
  const std::vector<TItem> oldItems = {{u"old.bin", Noise(150000, 1), ""}};
  const std::vector<TItem> newItems = {{u"new.bin", Noise(120000, 2), ""},
                                       {u"new.txt", "text", "pw"}};
  {
    TKelvane a(nullptr);
    SplitSettings(a, setPath, kVolume);
    a.OpenArchive();
    AddItems(a, oldItems);
  }
  WriteAll((setDir / "unrelated.txt").string(), "mine");
  const auto before = FilesIn(setDir);
  ASSERT_EQ(before.size(), 4u);

  // Writes the new set with Probe installed; true when it was written.
  auto writeNewSet = [&](TFileLayerProbe probe) {
    TKelvane a(nullptr);
    SplitSettings(a, setPath, kVolume);
    a.SetTempDir(FromUtf8(tempDir.string()));
    a.SetOnProcessFileFailure([](TKelBaseArchiver*, const UString&, TKelProcessOperation, int32_t,
                                 int32_t, const UString&,
                                 TKelAction& action) { action = fxaAbort; });
    a.OpenArchive(fmCreate);
    a.BeginUpdate();
    AddItems(a, newItems);
    SetFileLayerProbe(probe);
    bool raised = false;
    try {
      a.EndUpdate();
    } catch (const std::exception&) {
      raised = true;
    }
    SetFileLayerProbe(nullptr);
    a.CloseArchive();
    return !raised;
  };

  GCalls.clear();
  ASSERT_TRUE(writeNewSet(CountCall));
  const auto renames = std::count(GCalls.begin(), GCalls.end(), flcRename);
  const auto roomCalls = static_cast<int64_t>(GCalls.size()) - renames -
                         std::count(GCalls.begin(), GCalls.end(), flcRemove);
  ASSERT_GT(roomCalls, 20);
  ASSERT_GE(renames, 4);  // three parts, and an old one moved aside
  struct {
    const char* Fault;
    TFileLayerProbe Probe;
    int64_t Calls;
  } faults[] = {{"a full disk", FullFromCall, roomCalls},
                {"a refused rename", RenameFailsAt, renames}};
  for (const auto& fault : faults) {
    int oldSeen = 0, newSeen = 0;
    for (int64_t k = 1; k <= fault.Calls + 1; ++k) {
      SCOPED_TRACE(std::string(fault.Fault) + " at call " + std::to_string(k) + " of " +
                   std::to_string(fault.Calls));
      for (const auto& entry : fs::directory_iterator(setDir))
        fs::remove(entry.path());
      for (const auto& [name, bytes] : before)
        WriteAll((setDir / name).string(), bytes);
      GCall = 0;
      GFailAt = static_cast<int>(k);
      writeNewSet(fault.Probe);
      EXPECT_TRUE(fs::is_empty(tempDir));
      const auto after = FilesIn(setDir);
      if (after == before) {
        ++oldSeen;
        continue;
      }
      // Otherwise the new set stands whole, beside what was not its own.
      ++newSeen;
      EXPECT_EQ(after.at("unrelated.txt"), "mine");
      for (const auto& [name, bytes] : after)
        EXPECT_NE(name[0], '.') << name;
      EXPECT_EQ(ReadBack(setPath, newItems), Expected(newItems));
    }
    EXPECT_GT(oldSeen, 0);
    EXPECT_GT(newSeen, 0);
  }
}

}  // namespace
}  // namespace kelvane
