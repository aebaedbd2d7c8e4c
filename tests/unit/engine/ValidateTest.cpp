// The read-only checks: whether a password opens an item, and whether a file
// holds a usable archive.
#include <gtest/gtest.h>

#include "ArchiveFiles.h"
#include "DecodeTestSupport.h"
#include "TempDir.h"
#include "platform/ScriptedDialogs.h"
#include "platform/Text.h"

namespace kelvane {
namespace {

using namespace test;

constexpr const char* Text = "text behind a password, long enough to be deflated well\n";

// A wrong password that passes the PKZIP classic header check of item Index
// by chance (about one in 256 does).
std::string HeaderCollision(const TBuiltZip& zip, size_t index, const TTestEntry& entry) {
  const size_t header = zip.DataStart[index] - PkzipHeaderSize;
  for (int i = 0; i < 100000; ++i) {
    const std::string candidate = "guess" + std::to_string(i);
    TMemoryStream bytes;
    bytes.Write(zip.Archive.data() + header, PkzipHeaderSize);
    bytes.SetPosition(0);
    PkzipKeys keys;
    const uint32_t crc = Crc32Of(entry.Data.data(), entry.Data.size());
    if (CheckPkzipHeader(bytes, candidate, keys, crc, entry.Time, 0)) return candidate;
  }
  return {};
}

class PasswordCheckTest : public ::testing::Test {
 protected:
  void SetUp() override {
    FArchive.Write(FZip.Archive.data(), int64_t(FZip.Archive.size()));
    a.OpenArchive(FArchive, false);
    a.SetOnPassword([this](TKelBaseArchiver*, const UString&, AnsiString&, bool& skip) {
      ++FAsked;
      skip = true;
    });
  }

  const std::vector<TTestEntry> FEntries = {
      TTestEntry("plain.txt", Text),
      TTestEntry("pkzip.txt", Text, 8, tcPkzip),
      TTestEntry("aes128.txt", Text, 8, tcAes128),
      TTestEntry("aes192.txt", Text, 0, tcAes192),
      TTestEntry("aes256.txt", Text, 8, tcAes256),
      TTestEntry("bzip2.txt", Text, 12, tcPkzip),
      TTestEntry("other.txt", Text, 8, tcPkzip).WithPassword("another"),
  };
  const TBuiltZip FZip = BuildZip(FEntries);
  TMemoryStream FArchive;  // outlives the archiver
  TDecodeProbe a{nullptr};
  int FAsked = 0;
};

TEST_F(PasswordCheckTest, EachKindOfItemAcceptsOnlyItsPassword) {
  struct Case {
    UString Item;
    AnsiString Password;
    bool Valid;
  };
  const Case cases[] = {
      {u"plain.txt", "anything", true},  {u"plain.txt", "", true},
      {u"pkzip.txt", "secret", true},    {u"pkzip.txt", "Secret", false},
      {u"pkzip.txt", "", false},         {u"aes128.txt", "secret", true},
      {u"aes128.txt", "secrets", false}, {u"aes192.txt", "secret", true},
      {u"aes192.txt", "", false},        {u"aes256.txt", "secret", true},
      {u"aes256.txt", "wrong", false},   {u"bzip2.txt", "secret", false},
      {u"other.txt", "another", true},   {u"other.txt", "secret", false},
      {u"aes*", "secret", true},  // a mask: the first match
  };
  a.SetPassword("kept");
  for (const Case& c : cases) {
    SCOPED_TRACE(ToUtf8(c.Item) + " / " + c.Password);
    EXPECT_EQ(a.IsFilePasswordValid(c.Item, c.Password), c.Valid);
    EXPECT_EQ(a.Password(), "kept");
  }
  // The archiver's own password, passed back by reference.
  a.SetPassword("secret");
  EXPECT_TRUE(a.IsFilePasswordValid(u"aes256.txt", a.Password()));
  EXPECT_TRUE(a.IsFilePasswordValid(u"pkzip.txt", a.Password()));
  EXPECT_EQ(a.Password(), "secret");
  EXPECT_EQ(FAsked, 0);
}

// About one wrong password in 256 passes the 12-byte header; decoding the item
// still refuses it, also when corrupted items would otherwise be tolerated.
TEST_F(PasswordCheckTest, APasswordThatOnlyFoolsTheHeaderIsRefused) {
  const std::string fooling = HeaderCollision(FZip, 1, FEntries[1]);
  ASSERT_FALSE(fooling.empty());
  EXPECT_FALSE(a.IsFilePasswordValid(u"pkzip.txt", fooling));
  a.SetExtractCorruptedFiles(true);
  EXPECT_FALSE(a.IsFilePasswordValid(u"pkzip.txt", fooling));
  EXPECT_TRUE(a.ExtractCorruptedFiles());
  EXPECT_TRUE(a.IsFilePasswordValid(u"pkzip.txt", "secret"));
  EXPECT_EQ(FAsked, 0);
}

// A progress handler's cancel cannot make an unchecked item pass.
TEST_F(PasswordCheckTest, ProgressHandlersTakeNoPart) {
  int reports = 0;
  a.SetOnFileProgress([&](TKelBaseArchiver*, const UString&, double, TKelProcessOperation,
                          TKelProgressPhase, bool& cancel) {
    ++reports;
    cancel = true;
  });
  a.ProgressEnabled() = true;
  const std::string fooling = HeaderCollision(FZip, 1, FEntries[1]);
  EXPECT_FALSE(a.IsFilePasswordValid(u"pkzip.txt", fooling));
  EXPECT_TRUE(a.IsFilePasswordValid(u"pkzip.txt", "secret"));
  EXPECT_EQ(reports, 0);
  EXPECT_TRUE(a.ProgressEnabled());
}

TEST_F(PasswordCheckTest, ErrorsAndDamage) {
  EXPECT_EQ(NativeErrorOf([&] { a.IsFilePasswordValid(u"none.txt", "secret"); }), 42);
  // A damaged item is an answer, not an error.
  TBuiltZip damaged = BuildZip({TTestEntry("x", Text, 8, tcAes256)});
  damaged.Archive[damaged.DataStart[0] + 3] ^= 1;
  TMemoryStream stream;
  stream.Write(damaged.Archive.data(), int64_t(damaged.Archive.size()));
  TDecodeProbe b(nullptr);
  b.OpenArchive(stream, false);
  EXPECT_FALSE(b.IsFilePasswordValid(u"x", "secret"));
  b.CloseArchive();
  a.CloseArchive();
  EXPECT_EQ(NativeErrorOf([&] { a.IsFilePasswordValid(u"plain.txt", "secret"); }), 13);
}

// ---- IsValidArchiveFile

class ArchiveCheckTest : public ::testing::Test {
 protected:
  UString Write(const std::string& name, const Bytes& bytes) {
    WriteFileBytes(FDir.NativePath(name), bytes);
    return FDir.Path(FromUtf8(name));
  }
  bool Check(const UString& file) {
    a.SetFileName(file);
    return a.IsValidArchiveFile();
  }

  TempDir FDir;
  // Nobody answers: a question would be answered at once.
  TScriptedDialogs FDialogs;
  struct TUse {
    TDialogs* Previous;
    ~TUse() { SetCurrentDialogs(Previous); }
  } FUse{SetCurrentDialogs(&FDialogs)};
  TDecodeProbe a{nullptr};
};

TEST_F(ArchiveCheckTest, GoodFilesPassAndOthersDoNot) {
  const TBuiltZip zip =
      BuildZip({TTestEntry("a.txt", "alpha\n"), TTestEntry("b.txt", NoiseText(5000), 0)});
  // Cut where the directory starts: the items are rebuilt from their headers.
  const size_t directory = zip.DataStart[1] + zip.DataSize[1];
  Bytes withoutDirectory(zip.Archive.begin(), zip.Archive.begin() + long(directory));
  Bytes stubbed = StubBytes(3000);
  Append(stubbed, zip.Archive);
  struct Case {
    const char* What;
    UString File;
    bool Valid;
  };
  const Case cases[] = {
      {"an archive", Write("good.zip", zip.Archive), true},
      {"behind a stub", Write("stub.exe", stubbed), true},
      {"without its directory", Write("nodir.zip", withoutDirectory), true},
      {"no file", FDir.Path(u"missing.zip"), false},
      {"an empty file", Write("empty.zip", {}), false},
      {"noise",
       Write("noise.zip",
             [] {
               const std::string n = NoiseText(70000);
               return Bytes(n.begin(), n.end());
             }()),
       false},
      {"a local header and nothing else",
       Write("cut.zip", Bytes(zip.Archive.begin(), zip.Archive.begin() + 20)), false},
  };
  for (bool openCorrupted : {false, true}) {
    for (TKelSpanningMode mode : {smNone, smSplitting}) {
      for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.What) + (openCorrupted ? ", corrupted opened" : "") +
                     (mode == smSplitting ? ", split" : ""));
        a.SetOpenCorruptedArchives(openCorrupted);
        a.SetSpanningMode(mode);
        EXPECT_EQ(Check(c.File), c.Valid);
        EXPECT_FALSE(a.Active());
        EXPECT_EQ(a.SpanningMode(), mode);
        EXPECT_EQ(a.OpenCorruptedArchives(), openCorrupted);
      }
    }
  }
}

TEST_F(ArchiveCheckTest, AnOpenArchiveIsValid) {
  const UString file = Write("open.zip", BuildZip({TTestEntry("a.txt", "alpha\n")}).Archive);
  a.SetFileName(file);
  a.OpenArchive(fmOpenRead | fmShareDenyNone);
  EXPECT_TRUE(a.IsValidArchiveFile());
  EXPECT_TRUE(a.Active());
}

}  // namespace
}  // namespace kelvane
