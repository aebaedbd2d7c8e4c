#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

#include "ArchiveFiles.h"
#include "NativeError.h"
#include "container/KelDirManager.h"
#include "engine/Kelvane.h"
#include "names/Paths.h"
#include "platform/FileSystem.h"
#include "platform/Text.h"

namespace kelvane {
namespace {

using test::NativeErrorOf;

using test::ReadFileBytes;
using test::WriteFileBytes;

class TVolumeProbe : public TKelvane {
 public:
  using TKelBaseArchiver::IsExeFileName;
  using TKelBaseArchiver::MakeVolumeFileName;
  using TKelvane::TKelvane;
  UString VolumeName(const UString& archive, int32_t number, bool checkExists = false) {
    UString name = archive;
    MakeVolumeFileName(name, number, checkExists);
    return name;
  }
  // The spanning mode as an opened archive leaves it, without the closed-only check.
  void ForceSpanningMode(TKelSpanningMode mode) { FSpanningMode = mode; }
  void SetOpenMode(uint16_t mode) { FileOpenMode = mode; }
  const UString& CurrentVolumeFile() const { return VolumeFileName; }
  std::vector<uint32_t> DiskNumbers() const {
    std::vector<uint32_t> disks;
    for (int32_t i = 0; i < DMHandle->CDir.Count(); ++i)
      disks.push_back(DMHandle->CDir.GetItemPtr(i).DiskNumberStart());
    return disks;
  }
  // The first four bytes of the volume open now.
  std::string VolumeSignature() {
    uint8_t sig[4] = {};
    FCompressedStream->SetPosition(0);
    FCompressedStream->ReadBuffer(sig, 4);
    return std::string(reinterpret_cast<char*>(sig), 4);
  }
};

TEST(VolumeNames, Rules) {
  const UString f = u"/some/dir/";
  struct {
    TKelSpanningMode Mode;
    bool Advanced;
    bool Stub;
    UString Name;
    int32_t Number;
    UString Expected;
  } cases[] = {
      {smSplitting, false, false, u"data.zip", 0, u"data.z01"},
      {smSplitting, false, false, u"data.zip", 9, u"data.z10"},
      {smSplitting, false, false, u"data.zip", 99, u"data.z100"},
      {smSplitting, false, false, u"data.zip", -1, u"data.zip"},
      {smSplitting, true, false, u"data.zip", 0, u"data_001.zip"},
      {smSplitting, true, false, u"data.zip", 9, u"data_010.zip"},
      {smSplitting, true, false, u"data.zip", -1, u"data.zip"},
      {smSplitting, false, false, u"setup.exe", 0, u"setup.exe"},
      {smSplitting, false, false, u"setup.exe", 1, u"setup.z02"},
      {smSplitting, false, false, u"setup.exe", -1, u"setup.zip"},
      {smSplitting, true, false, u"setup.exe", 1, u"setup_002.exe"},
      // A stub to come makes a self-extractor of any name.
      {smSplitting, false, true, u"data.zip", 0, u"data.exe"},
      {smSplitting, false, true, u"data.zip", -1, u"data.zip"},
      {smSpanning, false, false, u"data.zip", 3, u"data.zip"},
      {smSpanning, true, false, u"data.zip", 3, u"data_004.zip"},
      {smSpanning, false, true, u"data.zip", 3, u"data.exe"},
      {smSpanning, true, true, u"data.zip", 0, u"data_001.exe"},
      {smSpanning, false, false, u"data.zip", -1, u"data.zip"},
      {smNone, true, true, u"data.zip", 4, u"data.zip"},
      {smSplitting, false, false, u"noext", 1, u"noext.z02"},
      {smSplitting, true, false, u"noext", 1, u"noext_002"},
  };
  for (const auto& c : cases) {
    TVolumeProbe a(nullptr);
    a.SetSpanningMode(c.Mode);
    a.SpanningOptions().SetAdvancedNaming(c.Advanced);
    if (c.Stub) a.SetSFXStub(u"stub.exe");
    EXPECT_EQ(a.VolumeName(f + c.Name, c.Number), f + c.Expected)
        << ToUtf8(c.Name) << " volume " << c.Number;
  }
}

// Volumes are named in lower case, as other tools write and look for them;
// parts of older sets in upper case are found under their names, except by
// the writing of a new set, which names its parts by the rule.
TEST(VolumeNames, ExistingVolumesKeepTheirLetterCase) {
  test::TempDir dir;
  WriteFileBytes(dir.NativePath("data.Z01"), {1});
  WriteFileBytes(dir.NativePath("setup.ZIP"), {1});
  TVolumeProbe a(nullptr);
  a.SetSpanningMode(smSplitting);
  const bool keepsCase = test::kCaseSensitiveFiles;  // else the rule's name opens the part
  EXPECT_EQ(a.VolumeName(dir.Path(u"data.zip"), 0),
            dir.Path(keepsCase ? u"data.Z01" : u"data.z01"));
  EXPECT_EQ(a.VolumeName(dir.Path(u"data.zip"), 1), dir.Path(u"data.z02"));
  EXPECT_EQ(a.VolumeName(dir.Path(u"setup.exe"), -1),
            dir.Path(keepsCase ? u"setup.ZIP" : u"setup.zip"));
  a.SetOpenMode(fmCreate);
  EXPECT_EQ(a.VolumeName(dir.Path(u"data.zip"), 0), dir.Path(u"data.z01"));
  EXPECT_EQ(a.VolumeName(dir.Path(u"setup.exe"), -1), dir.Path(u"setup.zip"));
}

TEST(VolumeNames, SpannedVolumesMayBeFoundUnderTheOtherVariant) {
  test::TempDir dir;
  WriteFileBytes(dir.NativePath("data_002.zip"), {1});
  TVolumeProbe a(nullptr);
  a.SetSpanningMode(smSpanning);
  EXPECT_EQ(a.VolumeName(dir.Path(u"data.zip"), 1, false), dir.Path(u"data.zip"));
  EXPECT_EQ(a.VolumeName(dir.Path(u"data.zip"), 1, true), dir.Path(u"data_002.zip"));
  // Neither exists: the rule's own name stays.
  EXPECT_EQ(a.VolumeName(dir.Path(u"data.zip"), 4, true), dir.Path(u"data.zip"));
}

TEST(VolumeNames, ExecutableNames) {
  struct {
    UString Name;
    bool Exe;
  } cases[] = {
      {u"setup.exe", true},  {u"SETUP.EXE", true},
      {u"a.b.exe", true},    {u"a.exe1", true},
      {u"a.zip", false},     {u"exe", false},
      {u"a.exe.zip", false}, {test::OnDisk(u"dir.exe/file"), false},
      {u"", false},
  };
  for (const auto& c : cases)
    EXPECT_EQ(TVolumeProbe::IsExeFileName(c.Name), c.Exe) << ToUtf8(c.Name);
}

// A split archive written the way a splitter writes it, one volume file per
// name in Volumes: item i (SplitItems[i]) on volume i, and the directory on
// the last volume behind its own item.
struct TSplitItem {
  const char* Name;
  const char* Data;
};
constexpr TSplitItem SplitItems[] = {
    {"a.txt", "alpha"}, {"b.txt", "beta"}, {"c.txt", "gamma"}, {"d.txt", "delta"}};

void MakeSplitArchive(const std::string& dir, const std::vector<std::string>& volumes) {
  ASSERT_LE(volumes.size(), std::size(SplitItems));
  std::string table;
  for (size_t i = 0; i < volumes.size(); ++i)
    table +=
        "  ('" + volumes[i] + "', b'" + SplitItems[i].Name + "', b'" + SplitItems[i].Data + "'),\n";
  test::RunPython(
      "import os, zlib\n"
      "table = [\n" +
          table +
          "]\n"
          "last = len(table) - 1\n"
          "vols = [bytearray() for _ in table]\n"
          "items = []\n"
          "for vol, (_, name, data) in enumerate(table):\n"
          "  crc = zlib.crc32(data)\n"
          "  items.append((vol, len(vols[vol]), name, crc, len(data)))\n"
          "  vols[vol] += struct.pack('<IHHHHHIIIHH', 0x04034b50, 20, 0, 0, 0x6dae, 0x58b1, crc,\n"
          "                           len(data), len(data), len(name), 0) + name + data\n"
          "start = len(vols[last])\n"
          "for vol, off, name, crc, size in items:\n"
          "  vols[last] += struct.pack('<IHHHHHHIIIHHHHHII', 0x02014b50, 20, 20, 0, 0, 0x6dae,\n"
          "                            0x58b1, crc, size, size, len(name), 0, 0, vol, 0, 0x20,\n"
          "                            off) + name\n"
          "vols[last] += struct.pack('<IHHHHIIH', 0x06054b50, last, last, len(items), len(items),\n"
          "                          len(vols[last]) - start, start, 0)\n"
          "for (file, _, _), vol in zip(table, vols):\n"
          "  open(os.path.join(out, file), 'wb').write(vol)\n",
      dir);
}

class SplitVolumesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    KEL_NEEDS_PYTHON();
    MakeSplitArchive(dir.Root().string(), {"data.z01", "data.z02", "data.zip"});
    a.SetFileName(dir.Path(u"data.zip"));
  }
  test::TempDir dir;
  TVolumeProbe a{nullptr};
};

TEST_F(SplitVolumesTest, OpensThroughItsLastVolume) {
  a.OpenArchive();
  EXPECT_EQ(a.SpanningMode(), smSplitting);
  EXPECT_FALSE(a.SpanningOptions().AdvancedNaming());
  EXPECT_EQ(test::Found(a, u"*.*", 0x28BF, u""),
            (std::vector<std::string>{"a.txt", "b.txt", "c.txt"}));
  EXPECT_EQ(a.DiskNumbers(), (std::vector<uint32_t>{0, 1, 2}));
  EXPECT_EQ(a.CurrentVolumeFile(), dir.Path(u"data.zip"));
}

TEST_F(SplitVolumesTest, AdvancedNamingIsDetected) {
  ASSERT_EQ(std::rename(dir.NativePath("data.z01").c_str(), dir.NativePath("data_001.zip").c_str()),
            0);
  ASSERT_EQ(std::rename(dir.NativePath("data.z02").c_str(), dir.NativePath("data_002.zip").c_str()),
            0);
  a.OpenArchive(fmOpenRead | fmShareDenyNone);
  EXPECT_EQ(a.SpanningMode(), smSplitting);
  EXPECT_TRUE(a.SpanningOptions().AdvancedNaming());
}

// Without the part before the last and the first part, the archive is taken
// as spanned, its disks to be asked for: a crafted disk count must not make
// the opening look for every part, so a middle part beside it is not seen.
TEST(SplitVolumes, WithoutItsFirstAndPreviousPartsItLooksSpanned) {
  KEL_NEEDS_PYTHON();
  test::TempDir dir;
  MakeSplitArchive(dir.Root().string(), {"data.z01", "data.z02", "data.z03", "data.zip"});
  std::remove(dir.NativePath("data.z01").c_str());
  std::remove(dir.NativePath("data.z03").c_str());
  TVolumeProbe a(nullptr);
  a.SetFileName(dir.Path(u"data.zip"));
  a.SetOnRequestFirstVolume([](TKelBaseArchiver*, UString&, bool& cancel) { cancel = true; });
  a.OpenArchive(fmOpenRead | fmShareDenyNone);
  EXPECT_EQ(a.SpanningMode(), smSpanning);
}

TEST_F(SplitVolumesTest, VolumesAreAskedForByNumber) {
  a.OpenArchive(fmOpenRead | fmShareDenyNone);
  std::vector<std::string> asked;
  a.SetOnRequestFirstVolume([&](TKelBaseArchiver*, UString& name, bool&) {
    asked.push_back("first " + ToUtf8(FileNamePart(name)));
  });
  a.SetOnRequestMiddleVolume([&](TKelBaseArchiver*, int32_t n, UString& name, bool&) {
    asked.push_back("middle " + std::to_string(n) + " " + ToUtf8(FileNamePart(name)));
  });
  a.SetOnRequestLastVolume([&](TKelBaseArchiver*, UString& name, bool&) {
    asked.push_back("last " + ToUtf8(FileNamePart(name)));
  });
  TKelVolumeNumberInfo info;
  info.SetLastVolumeNumber(2);

  info.SetVolumeNumber(1);
  a.OpenVolume(info);
  EXPECT_EQ(a.CurrentVolumeFile(), dir.Path(u"data.z02"));
  EXPECT_EQ(a.VolumeNumberInfo().VolumeNumber(), 1);
  EXPECT_EQ(a.VolumeSignature(), "PK\x03\x04");
  a.OpenVolume(info);  // already current: nobody is asked

  info.SetFirstVolume(true);
  a.OpenVolume(info);
  EXPECT_EQ(a.CurrentVolumeFile(), dir.Path(u"data.z01"));
  EXPECT_TRUE(a.VolumeNumberInfo().FirstVolume());

  info.SetLastVolume(true);
  a.OpenVolume(info);
  EXPECT_EQ(a.CurrentVolumeFile(), dir.Path(u"data.zip"));
  EXPECT_EQ(asked,
            (std::vector<std::string>{"middle 2 data.z02", "first data.z01", "last data.zip"}));
}

TEST_F(SplitVolumesTest, AnswersToAVolumeRequest) {
  a.OpenArchive(fmOpenRead | fmShareDenyNone);
  TKelVolumeNumberInfo first;
  first.SetFirstVolume(true);

  // A name that is not there is asked for again.
  int calls = 0;
  a.SetOnRequestFirstVolume([&](TKelBaseArchiver*, UString& name, bool&) {
    if (++calls == 1) name = dir.Path(u"elsewhere.z01");
  });
  a.OpenVolume(first);
  EXPECT_EQ(calls, 2);
  EXPECT_EQ(a.CurrentVolumeFile(), dir.Path(u"data.z01"));

  // Cancel stops with native error 45; the volume open before stays.
  TKelVolumeNumberInfo middle;
  middle.SetVolumeNumber(1);
  a.SetOnRequestMiddleVolume(
      [](TKelBaseArchiver*, int32_t, UString&, bool& cancel) { cancel = true; });
  EXPECT_EQ(NativeErrorOf([&] { a.OpenVolume(middle); }), 45);

  // An empty name for a split volume opens nothing, without an error.
  a.SetOnRequestMiddleVolume(
      [](TKelBaseArchiver*, int32_t, UString& name, bool&) { name.clear(); });
  EXPECT_EQ(NativeErrorOf([&] { a.OpenVolume(middle); }), 0);
  EXPECT_EQ(a.CurrentVolumeFile(), dir.Path(u"data.z01"));
  EXPECT_TRUE(a.VolumeNumberInfo().FirstVolume());
}

TEST_F(SplitVolumesTest, AMissingVolumeWithoutAHandlerIsCancelled) {
  a.OpenArchive(fmOpenRead | fmShareDenyNone);
  std::remove(dir.NativePath("data.z02").c_str());
  TKelVolumeNumberInfo middle;
  middle.SetVolumeNumber(1);
  EXPECT_EQ(NativeErrorOf([&] { a.OpenVolume(middle); }), 45);
  TKelVolumeNumberInfo first;
  first.SetFirstVolume(true);
  EXPECT_EQ(NativeErrorOf([&] { a.OpenVolume(first); }), 0);
  EXPECT_EQ(a.CurrentVolumeFile(), dir.Path(u"data.z01"));
}

// A split set that lacks some of its numbered parts is still a split set,
// under the naming variant of the parts that are there: the items on those
// come out, each one on a missing part fails as a cancelled request. A
// self-extractor holding the end record itself is no split set by its own
// name.
TEST(SplitSetWithMissingParts, ItemsOnPresentPartsComeOut) {
  KEL_NEEDS_PYTHON();
  struct TCase {
    const char* Label;
    std::vector<std::string> Volumes;  // the whole set, the last one opened
    std::vector<size_t> Missing;       // indexes into Volumes
    bool AdvancedBefore;               // the naming variant set before opening
    bool Advanced;                     // and the one the parts that are there show
    TKelSpanningMode Mode;
  } cases[] = {
      {"nothing missing",
       {"data.z01", "data.z02", "data.z03", "data.zip"},
       {},
       true,
       false,
       smSplitting},
      {"the last numbered part",
       {"data.z01", "data.z02", "data.z03", "data.zip"},
       {2},
       true,
       false,
       smSplitting},
      {"a middle part",
       {"data.z01", "data.z02", "data.z03", "data.zip"},
       {1},
       true,
       false,
       smSplitting},
      {"the first part",
       {"data.z01", "data.z02", "data.z03", "data.zip"},
       {0},
       true,
       false,
       smSplitting},
      {"the last numbered part, advanced naming",
       {"data_001.zip", "data_002.zip", "data_003.zip", "data.zip"},
       {2},
       false,
       true,
       smSplitting},
      // The program is the first part, apart from the file the end record is in.
      {"a self-extractor's last numbered part",
       {"setup.exe", "setup.z02", "setup.zip"},
       {1},
       false,
       false,
       smSplitting},
      {"a self-extractor alone",
       {"setup.z01", "setup.z02", "setup.exe"},
       {0, 1},
       false,
       false,
       smNone},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Label);
    test::TempDir dir;
    MakeSplitArchive(dir.Root().string(), c.Volumes);
    for (size_t m : c.Missing)
      ASSERT_EQ(std::remove(dir.NativePath(c.Volumes[m]).c_str()), 0);
    TVolumeProbe a(nullptr);
    a.SpanningOptions().SetAdvancedNaming(c.AdvancedBefore);
    // A split self-extractor is opened by its program's name.
    const std::string opened = c.Volumes.back() == "setup.zip" ? "setup.exe" : c.Volumes.back();
    a.SetFileName(dir.Path(FromUtf8(opened)));
    a.OpenArchive(fmOpenRead | fmShareDenyNone);
    EXPECT_EQ(a.SpanningMode(), c.Mode);
    EXPECT_EQ(a.SpanningOptions().AdvancedNaming(), c.Advanced);
    for (size_t i = 0; i < c.Volumes.size(); ++i) {
      SCOPED_TRACE(SplitItems[i].Name);
      const bool missing = std::count(c.Missing.begin(), c.Missing.end(), i) != 0;
      TMemoryStream out;
      const int native =
          NativeErrorOf([&] { a.ExtractToStream(FromUtf8(SplitItems[i].Name), out); });
      if (!missing) {
        EXPECT_EQ(native, 0);
        EXPECT_EQ(std::string(out.Bytes().begin(), out.Bytes().end()), SplitItems[i].Data);
      } else if (c.Mode == smSplitting) {
        EXPECT_EQ(native, 45);
      } else {
        EXPECT_NE(native, 0);
      }
    }
  }
}

// A split self-extractor: setup.exe (volume 0, no directory of its own),
// setup.z02, and the directory in setup.zip.
TEST(SplitSelfExtractor, OpensThroughItsZipVolume) {
  KEL_NEEDS_PYTHON();
  test::TempDir dir;
  MakeSplitArchive(dir.Root().string(), {"setup.exe", "setup.z02", "setup.zip"});
  TVolumeProbe a(nullptr);
  a.SetFileName(dir.Path(u"setup.exe"));
  a.OpenArchive(fmOpenRead | fmShareDenyNone);
  EXPECT_EQ(a.SpanningMode(), smSplitting);
  EXPECT_EQ(a.DiskNumbers(), (std::vector<uint32_t>{0, 1, 2}));
  EXPECT_EQ(a.CurrentVolumeFile(), dir.Path(u"setup.zip"));
}

TEST(CreatingVolumes, TheFirstVolumeIsAskedForAndCreated) {
  test::TempDir dir;
  TVolumeProbe a(nullptr);
  a.SetFileName(dir.Path(u"new.zip"));
  a.SetSpanningMode(smSplitting);
  std::vector<std::string> asked;
  a.SetOnRequestBlankVolume([&](TKelBaseArchiver*, int32_t n, UString& name, bool&) {
    asked.push_back(std::to_string(n) + " " + ToUtf8(FileNamePart(name)));
  });
  a.OpenArchive(fmCreate);
  EXPECT_TRUE(a.Active());
  EXPECT_EQ(asked, std::vector<std::string>{"1 new.z01"});
  // Written under a hidden name until the set is complete.
  EXPECT_TRUE(IsFile(a.CurrentVolumeFile()));
  EXPECT_EQ(FileNamePart(a.CurrentVolumeFile()).substr(0, 9), u".new.z01-");
  EXPECT_FALSE(IsFile(dir.Path(u"new.z01")));
  a.CloseArchive();
  // Closed empty: the set is its one volume, under the archive's name.
  EXPECT_FALSE(IsFile(dir.Path(u"new.z01")));
  EXPECT_TRUE(IsFile(dir.Path(u"new.zip")));

  a.SetOnRequestBlankVolume(
      [](TKelBaseArchiver*, int32_t, UString&, bool& cancel) { cancel = true; });
  EXPECT_EQ(NativeErrorOf([&] { a.OpenArchive(fmCreate); }), 45);
  EXPECT_FALSE(a.Active());
}

// Takes at most Room bytes, like a medium that fills up.
class TSmallStream : public TMemoryStream {
 public:
  explicit TSmallStream(int64_t room) : FRoom(room) {}
  int64_t Write(const void* buffer, int64_t count) override {
    const int64_t n = std::min(count, FRoom - Size());
    return n > 0 ? TMemoryStream::Write(buffer, n) : 0;
  }

 private:
  int64_t FRoom;
};

TEST(WritingToOneVolume, AShortWriteIsAnError) {
  struct {
    int32_t Count;
    int64_t Room;
    int Native;
  } cases[] = {{10, 100, 0}, {100, 100, 0}, {101, 100, 46}, {0, 0, 0}, {5, 0, 46}};
  const std::string data(200, 'd');
  for (const auto& c : cases) {
    TVolumeProbe a(nullptr);
    TSmallStream stream(c.Room);
    TStream* target = &stream;
    TKelVolumeNumberInfo info;
    EXPECT_EQ(NativeErrorOf([&] {
                a.WriteToVolumesChecked(data.data(), c.Count, nullptr, -1, info, target);
              }),
              c.Native)
        << c.Count << " into " << c.Room;
    EXPECT_EQ(target, &stream);
    EXPECT_EQ(stream.Size(), std::min<int64_t>(c.Count, c.Room));
  }
}

}  // namespace
}  // namespace kelvane
