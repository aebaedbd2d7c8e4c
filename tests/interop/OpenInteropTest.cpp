// Archives made by other tools open and list as an independent reader lists
// them; a comment written in place is read by other tools.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>

#include "Fixtures.h"
#include "container/KelDirManager.h"
#include "engine/Kelvane.h"
#include "platform/Text.h"

namespace kelvane {
namespace {

using test::TFixtureItem;
using test::TFixtures;

class TInteropProbe : public TKelvane {
 public:
  using TKelvane::TKelvane;
  int64_t StubSize() const { return DMHandle->StubSize; }
  const TDirItem& Item(int32_t index) const { return DMHandle->CDir.GetItemPtr(index); }
  int32_t ItemCount() const { return DMHandle->CDir.Count(); }
};

struct TListed {
  std::string Name;  // stored name, folders without their trailing "/"
  TKelArchiveItem Item;
};

std::vector<TListed> ListAll(TKelBaseArchiver& a) {
  std::vector<TListed> listed;
  TKelArchiveItem f;
  for (bool ok = a.FindFirst(u"*.*", f, KelAllItemsAttr, u""); ok; ok = a.FindNext(f))
    listed.push_back({ToUtf8(f.StoredPath + f.FileName), f});
  return listed;
}

bool IsAscii(const std::string& s) {
  for (unsigned char c : s)
    if (c >= 0x80) return false;
  return true;
}

// Compares a listing with what the reference reader saw. Names are compared
// where their decoding is not a matter of code pages (ASCII, or UTF-8 flagged).
void ExpectSameListing(const std::vector<TListed>& listed, const std::vector<TFixtureItem>& ref) {
  ASSERT_EQ(listed.size(), ref.size());
  for (size_t i = 0; i < ref.size(); ++i) {
    const TFixtureItem& r = ref[i];
    const TKelArchiveItem& f = listed[i].Item;
    SCOPED_TRACE(r.Name);
    if (IsAscii(r.RawName) || (r.Flags & 0x0800)) {
      std::string name = r.Name;
      if (!name.empty() && name.back() == '/') name.pop_back();
      EXPECT_EQ(listed[i].Name, name);
    }
    EXPECT_EQ(uint64_t(f.UncompressedSize), r.Size);
    EXPECT_EQ(uint64_t(f.CompressedSize), r.Compressed);
    EXPECT_EQ(f.CRC, r.Crc);
    EXPECT_EQ((uint32_t(f.LastModFileDate) << 16) | f.LastModFileTime, r.DosDateTime);
    EXPECT_EQ(f.ExternalFileAttributes, r.ExternalAttr);
    EXPECT_EQ(f.Encrypted, (r.Flags & 1) != 0);
  }
}

TEST(OpenInterop, EveryArchiveListsAsTheReferenceReader) {
  TFixtures& fx = TFixtures::Get();
  for (const std::string& name : fx.Archives()) {
    if (name == "zip_split.zip") continue;  // its own test below
    SCOPED_TRACE(name);
    TKelvane a(nullptr);
    a.SetFileName(FromUtf8(fx.Path(name)));
    a.OpenArchive(fmOpenRead | fmShareDenyNone);
    ExpectSameListing(ListAll(a), fx.Items(name));
    EXPECT_EQ(a.SpanningMode(), smNone);
    a.CloseArchive();
  }
}

// `cat stub x.zip`, and the same after `zip -A` moved the offsets behind the stub.
TEST(OpenInterop, ArchivesBehindAStub) {
  TFixtures& fx = TFixtures::Get();
  for (const char* name : {"zip_stub.zip", "zip_stub_adjusted.zip"}) {
    if (!fx.Has(name)) GTEST_SKIP() << "zip is not installed";
    SCOPED_TRACE(name);
    TInteropProbe a(nullptr);
    a.SetFileName(FromUtf8(fx.Path(name)));
    a.OpenArchive(fmOpenRead | fmShareDenyNone);
    ExpectSameListing(ListAll(a), fx.Items(name));
    EXPECT_EQ(a.StubSize(), 100000);
    // Every item's offset now counts the stub: its local header is there.
    std::ifstream file(fx.Path(name), std::ios::binary);
    for (int32_t i = 0; i < a.ItemCount(); ++i) {
      if (a.Item(i).IsDirectory()) continue;
      char sig[4] = {};
      file.seekg(std::streamoff(a.Item(i).LocalHeaderOffset()));
      file.read(sig, 4);
      EXPECT_EQ(std::string(sig, 4), std::string("PK\x03\x04", 4)) << ToUtf8(a.Item(i).Name);
    }
  }
}

// The file of volume Disk of a set split as Base.z01, Base.z02, ..., Base.zip.
std::string VolumePath(const std::string& base, uint32_t disk, uint32_t lastDisk) {
  if (disk == lastDisk) return base + ".zip";
  char suffix[16];
  std::snprintf(suffix, sizeof suffix, ".z%02u", disk + 1);
  return base + suffix;
}

// Each item's local header is where its volume number and offset say, with the
// name bytes the reference reader saw.
void ExpectLocalHeadersInTheirVolumes(const TInteropProbe& a, const std::string& base,
                                      uint32_t lastDisk, const std::vector<TFixtureItem>& ref) {
  ASSERT_EQ(size_t(a.ItemCount()), ref.size());
  std::set<uint32_t> volumes;
  for (int32_t i = 0; i < a.ItemCount(); ++i) {
    const TDirItem& item = a.Item(i);
    SCOPED_TRACE(ToUtf8(item.Name));
    const uint32_t disk = item.DiskNumberStart();
    ASSERT_LE(disk, lastDisk);
    volumes.insert(disk);
    std::ifstream file(VolumePath(base, disk, lastDisk), std::ios::binary);
    ASSERT_TRUE(file);
    std::vector<char> header(30 + item.CentralDir.nameLength);
    file.seekg(std::streamoff(item.LocalHeaderOffset()));
    file.read(header.data(), std::streamsize(header.size()));
    ASSERT_TRUE(file);
    EXPECT_EQ(std::string(header.data(), 4), std::string("PK\x03\x04", 4));
    EXPECT_EQ(std::string(header.data() + 30, header.size() - 30), ref[size_t(i)].RawName);
  }
  EXPECT_GE(volumes.size(), 2u);  // the items really are spread over the volumes
}

TEST(OpenInterop, ASplitArchiveOpensThroughItsLastVolume) {
  TFixtures& fx = TFixtures::Get();
  if (!fx.Has("zip_split.zip")) GTEST_SKIP() << "zip is not installed";
  TInteropProbe a(nullptr);
  a.SetFileName(FromUtf8(fx.Path("zip_split.zip")));
  a.OpenArchive(fmOpenRead | fmShareDenyNone);
  EXPECT_EQ(a.SpanningMode(), smSplitting);
  // The reference listing comes from a joined copy, whose sizes and times are
  // the same.
  ExpectSameListing(ListAll(a), fx.Items("zip_split.zip"));
  std::string base = fx.Path("zip_split.zip");
  base.resize(base.size() - 4);
  ExpectLocalHeadersInTheirVolumes(a, base, 5, fx.Items("zip_split.zip"));
}

// The same set renamed into a split self-extractor: setup.exe, setup.z02, ...,
// and the directory in setup.zip.
TEST(OpenInterop, ASplitSelfExtractorOpensThroughItsZipVolume) {
  TFixtures& fx = TFixtures::Get();
  if (!fx.Has("zip_split.zip")) GTEST_SKIP() << "zip is not installed";
  test::TempDir dir;
  std::string source = fx.Path("zip_split.zip");
  source.resize(source.size() - 4);
  namespace fs = std::filesystem;
  fs::copy_file(source + ".z01", dir.NativePath("setup.exe"));
  for (int n = 2; n <= 5; ++n)
    fs::copy_file(source + ".z0" + std::to_string(n),
                  dir.NativePath("setup.z0" + std::to_string(n)));
  fs::copy_file(source + ".zip", dir.NativePath("setup.zip"));

  TInteropProbe a(nullptr);
  a.SetFileName(dir.Path(u"setup.exe"));
  a.OpenArchive(fmOpenRead | fmShareDenyNone);
  EXPECT_EQ(a.SpanningMode(), smSplitting);
  ExpectSameListing(ListAll(a), fx.Items("zip_split.zip"));
  // Volume 0 is setup.exe itself.
  fs::copy_file(dir.NativePath("setup.exe"), dir.NativePath("setup.z01"));
  ExpectLocalHeadersInTheirVolumes(a, dir.NativePath("setup"), 5, fx.Items("zip_split.zip"));
}

std::string RunAndRead(const std::string& cmd) {
  std::string out;
  if (FILE* p = popen(cmd.c_str(), "r")) {
    char buf[4096];
    for (size_t n; (n = fread(buf, 1, sizeof buf, p)) > 0;)
      out.append(buf, n);
    pclose(p);
  }
  return out;
}

TEST(OpenInterop, ACommentWrittenInPlaceIsReadByOtherTools) {
  TFixtures& fx = TFixtures::Get();
  test::TempDir dir;
  const std::string path = dir.NativePath("commented.zip");
  std::filesystem::copy_file(fx.Path("python.zip"), path);
  const AnsiString comment = "Written in place by the archiver";
  {
    TKelvane a(nullptr);
    a.SetFileName(FromUtf8(path));
    a.OpenArchive();
    a.SetComment(comment);
    a.CloseArchive();
    a.OpenArchive(fmOpenRead | fmShareDenyNone);
    EXPECT_EQ(a.Comment(), comment);
    ExpectSameListing(ListAll(a), fx.Items("python.zip"));
  }
  EXPECT_EQ(RunAndRead("python3 -c \"import zipfile,sys; z=zipfile.ZipFile(sys.argv[1]); "
                       "sys.stdout.write(z.comment.decode()); assert z.testzip() is None\" '" +
                       path + "'"),
            comment);
  if (std::system("unzip -v >/dev/null 2>&1") == 0) {
    EXPECT_NE(RunAndRead("unzip -z '" + path + "'").find(comment), std::string::npos);
    EXPECT_EQ(std::system(("unzip -tqq '" + path + "' >/dev/null 2>&1").c_str()), 0);
  }
}

}  // namespace
}  // namespace kelvane
