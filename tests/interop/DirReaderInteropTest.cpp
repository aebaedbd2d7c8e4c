// The directory of archives made by other tools, read from their files, against
// what python's zipfile lists for them (tests/interop/Fixtures.h).
#include <fstream>

#include "Fixtures.h"
#include "platform/Text.h"
#include "unit/container/DirManagerTestSupport.h"

namespace kelvane::test {
namespace {

// Non-ASCII names, as our rules read them. Info-ZIP writes UTF-8 without flag
// bit 11 and, as installed here, without a Unicode path field (0x7075), but
// its headers name the host Unix (3), whose UTF-8 names are read as UTF-8
// with or without OEMFileNames. The other tools set the flag; python
// (host Unix too) stores a real OEM byte in python_oem.zip, which is not UTF-8
// and so keeps the OEM rule (with OEMFileNames, the default).
struct TNameRule {
  std::string Raw;  // name bytes as stored
  bool Utf8Flag;
  std::string WithOem;     // UTF-8 of the name read with OEMFileNames
  std::string WithoutOem;  // ... and without
};

const std::vector<TNameRule> kNonAscii = {
    // Info-ZIP
    {"sub/caf\xC3\xA9.txt", false, "sub/caf\xC3\xA9.txt", "sub/caf\xC3\xA9.txt"},
    {"sub/\xCE\xB1\xCE\xB2\xCE\xB3.txt", false, "sub/\xCE\xB1\xCE\xB2\xCE\xB3.txt",
     "sub/\xCE\xB1\xCE\xB2\xCE\xB3.txt"},
    // 7-Zip, python, bsdtar
    {"sub/caf\xC3\xA9.txt", true, "sub/caf\xC3\xA9.txt", "sub/caf\xC3\xA9.txt"},
    {"sub/\xCE\xB1\xCE\xB2\xCE\xB3.txt", true, "sub/\xCE\xB1\xCE\xB2\xCE\xB3.txt",
     "sub/\xCE\xB1\xCE\xB2\xCE\xB3.txt"},
    {"./sub/caf\xC3\xA9.txt", true, "./sub/caf\xC3\xA9.txt", "./sub/caf\xC3\xA9.txt"},
    {"./sub/\xCE\xB1\xCE\xB2\xCE\xB3.txt", true, "./sub/\xCE\xB1\xCE\xB2\xCE\xB3.txt",
     "./sub/\xCE\xB1\xCE\xB2\xCE\xB3.txt"},
    // python_oem.zip: 0x82 is e acute in the OEM page, a low quote in ANSI
    {"caf\x82.txt", false, "caf\xC3\xA9.txt", "caf\xE2\x80\x9A.txt"},
};

bool IsAscii(const std::string& s) {
  return std::all_of(s.begin(), s.end(),
                     [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

// The name our rules give for a listed item.
std::string ExpectedName(const TFixtureItem& item, bool oem) {
  if (IsAscii(item.RawName)) return item.Name;
  for (const TNameRule& rule : kNonAscii)
    if (rule.Raw == item.RawName && rule.Utf8Flag == ((item.Flags & KelFlagUtf8Name) != 0))
      return oem ? rule.WithOem : rule.WithoutOem;
  ADD_FAILURE() << "no rule for the name " << item.Name;
  return {};
}

void ExpectListedAsInTheManifest(const TKelDirManager& dm, const std::vector<TFixtureItem>& items,
                                 bool oem) {
  ASSERT_EQ(dm.CDir.Count(), static_cast<int32_t>(items.size()));
  for (size_t i = 0; i < items.size(); ++i) {
    const TFixtureItem& want = items[i];
    const TDirItem& got = dm.CDir.GetItemPtr(static_cast<int32_t>(i));
    SCOPED_TRACE(want.Name);
    EXPECT_EQ(ToUtf8(got.Name), ExpectedName(want, oem));
    EXPECT_EQ(got.UncompressedSize(), want.Size);
    EXPECT_EQ(got.CompressedSize(), want.Compressed);
    EXPECT_EQ(got.CentralDir.crc32, want.Crc);  // as stored: 0 for AES items of format 2
    EXPECT_EQ(uint32_t{got.CentralDir.lastModDate} << 16 | got.CentralDir.lastModTime,
              want.DosDateTime);
    EXPECT_EQ(got.CentralDir.externalAttr, want.ExternalAttr);
    EXPECT_EQ(got.CentralDir.genPurposeFlag, want.Flags);
  }
}

// A manager over the archive file, loaded.
struct TLoaded {
  explicit TLoaded(const std::string& path, bool oem = true)
      : Stream(FromUtf8(path), fmOpenRead | fmShareDenyNone), Host(&Stream) {
    Host.Oem = oem;
    Host.Corrupted = false;
    Dm = std::make_unique<TKelDirManager>(&Stream, false, &Host);
    EXPECT_TRUE(Dm->HasCentralDirEnd());
    Dm->LoadDir();
  }
  TFileStream Stream;
  TFakeHost Host;
  std::unique_ptr<TKelDirManager> Dm;
};

const char* const kArchives[] = {"zip_stored.zip", "zip_fast.zip",   "zip_best.zip",
                                 "zip_pkzip.zip",  "zip_stub.zip",   "zip_stub_adjusted.zip",
                                 "zip_stream.zip", "7z_deflate.zip", "7z_aes128.zip",
                                 "7z_aes192.zip",  "7z_aes256.zip",  "bsdtar.zip",
                                 "python.zip",     "python_oem.zip", "python_many.zip"};

class DirReaderInterop : public ::testing::TestWithParam<const char*> {};

TEST_P(DirReaderInterop, ListsWhatTheManifestSays) {
  const std::string archive = GetParam();
  TFixtures& fixtures = TFixtures::Get();
  if (!fixtures.Has(archive)) GTEST_SKIP() << "the tool that makes " << archive << " is missing";
  for (bool oem : {true, false}) {
    SCOPED_TRACE(oem ? "OEMFileNames" : "no OEMFileNames");
    TLoaded loaded(fixtures.Path(archive), oem);
    ExpectListedAsInTheManifest(*loaded.Dm, fixtures.Items(archive), oem);
  }
}

INSTANTIATE_TEST_SUITE_P(Fixtures, DirReaderInterop, ::testing::ValuesIn(kArchives),
                         [](const auto& info) {
                           std::string name = info.param;
                           std::replace(name.begin(), name.end(), '.', '_');
                           return name;
                         });

TEST(DirReaderInteropDetails, AStubInFrontIsMeasuredWhetherOrNotOffsetsCountIt) {
  TFixtures& fixtures = TFixtures::Get();
  if (!fixtures.Has("zip_stub.zip")) GTEST_SKIP() << "zip is not installed";
  TLoaded plain(fixtures.Path("zip_best.zip"));
  for (const char* archive : {"zip_stub.zip", "zip_stub_adjusted.zip"}) {
    SCOPED_TRACE(archive);
    TLoaded stubbed(fixtures.Path(archive));
    EXPECT_EQ(stubbed.Dm->StubSize, 100000);
    EXPECT_TRUE(stubbed.Dm->IsSFXArchive());
    ASSERT_EQ(stubbed.Dm->CDir.Count(), plain.Dm->CDir.Count());
    for (int32_t i = 0; i < plain.Dm->CDir.Count(); ++i) {
      const TDirItem& p = plain.Dm->CDir.GetItemPtr(i);
      const TDirItem& s = stubbed.Dm->CDir.GetItemPtr(i);
      EXPECT_EQ(s.LocalHeaderOffset(), p.LocalHeaderOffset() + 100000) << ToUtf8(p.Name);
    }
  }
}

// What the name rows above stand on: Info-ZIP and python on Linux name the
// host Unix; the rows would not hold for archives of MS-DOS or Windows hosts.
TEST(DirReaderInteropDetails, ZipAndPythonOnThisSystemNameTheUnixHost) {
  TFixtures& fixtures = TFixtures::Get();
  for (const char* archive : {"zip_best.zip", "python_oem.zip"}) {
    if (!fixtures.Has(archive)) continue;
    SCOPED_TRACE(archive);
    TLoaded loaded(fixtures.Path(archive));
    for (int32_t i = 0; i < loaded.Dm->CDir.Count(); ++i)
      EXPECT_EQ(loaded.Dm->CDir.GetItemPtr(i).CentralDir.versionMadeBy >> 8, 3);
  }
}

TEST(DirReaderInteropDetails, EncryptionAndZip64AreRecognised) {
  TFixtures& fixtures = TFixtures::Get();
  struct TCase {
    const char* Archive;
    TKelCryptoAlgorithm Algorithm;
  };
  for (const TCase& c :
       {TCase{"7z_aes128.zip", caAES_128}, TCase{"7z_aes192.zip", caAES_192},
        TCase{"7z_aes256.zip", caAES_256}, TCase{"zip_pkzip.zip", caPkzipClassic}}) {
    if (!fixtures.Has(c.Archive)) continue;
    SCOPED_TRACE(c.Archive);
    TLoaded loaded(fixtures.Path(c.Archive));
    EXPECT_TRUE(loaded.Dm->IsEncrypted() || loaded.Dm->CDir.GetItemPtr(0).IsDirectory());
    for (int32_t i = 0; i < loaded.Dm->CDir.Count(); ++i) {
      const TDirItem& item = loaded.Dm->CDir.GetItemPtr(i);
      if (item.IsDirectory()) continue;
      EXPECT_TRUE(item.CentralDir.genPurposeFlag & KelFlagEncrypted) << ToUtf8(item.Name);
      EXPECT_EQ(item.KelEncryptionAlgorithm, c.Algorithm) << ToUtf8(item.Name);
      if (c.Algorithm != caPkzipClassic) {
        EXPECT_EQ(item.CentralDir.compMethod, KelMethodAes);
        EXPECT_TRUE(item.CompressionMethod == KelMethodDeflate ||
                    item.CompressionMethod == KelMethodStored);
      }
    }
  }
  TLoaded many(fixtures.Path("python_many.zip"));
  EXPECT_TRUE(many.Dm->Zip64());
  EXPECT_EQ(many.Dm->CDir.Count(), 65536 + 100);
  EXPECT_EQ(many.Dm->CentralDirEnd.entriesCentralDir, 0xFFFF);
  TLoaded python(fixtures.Path("python.zip"));
  EXPECT_FALSE(python.Dm->Zip64());
}

// A split archive read through the volume interface: the archiver stand-in
// serves the .z01... parts and the .zip as volumes 0 to N.
TEST(DirReaderInteropDetails, ASplitArchiveIsReadVolumeByVolume) {
  TFixtures& fixtures = TFixtures::Get();
  if (!fixtures.Has("zip_split.zip")) GTEST_SKIP() << "zip is not installed";
  TFakeHost host;
  host.Mode = smSplitting;
  host.Corrupted = false;
  const std::string base = fixtures.Path("zip_split");
  for (int part = 1;; ++part) {
    const std::string name = base + (part < 10 ? ".z0" : ".z") + std::to_string(part);
    std::ifstream in(name, std::ios::binary);
    if (!in) break;
    const TBytes bytes(std::istreambuf_iterator<char>(in), {});
    host.Volumes.push_back(std::make_unique<TMemoryStream>(MemoryOf(bytes)));
  }
  std::ifstream last(fixtures.Path("zip_split.zip"), std::ios::binary);
  host.Volumes.push_back(
      std::make_unique<TMemoryStream>(MemoryOf(TBytes(std::istreambuf_iterator<char>(last), {}))));
  ASSERT_GT(host.Volumes.size(), 2u);
  host.Stream = host.Volumes.back().get();
  TKelDirManager dm(host.Stream, false, &host);
  ASSERT_TRUE(dm.HasCentralDirEnd());
  dm.LoadDir();
  EXPECT_EQ(dm.CentralDirEnd.diskNumber, host.Volumes.size() - 1);
  ExpectListedAsInTheManifest(dm, fixtures.Items("zip_split.zip"), true);
  EXPECT_FALSE(host.Opened.empty());
}

}  // namespace
}  // namespace kelvane::test
