// Archives made by other tools extract to the tree they were made from: every
// file's bytes, size and time, and the folders. Passwords are asked for through
// the dialog provider; a damaged item is found by testing, which writes nothing.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>

#include "Fixtures.h"
#include "engine/Kelvane.h"
#include "platform/FileSystem.h"
#include "platform/ScriptedDialogs.h"
#include "platform/Text.h"

namespace kelvane {
namespace {

namespace fs = std::filesystem;
using test::TFixtureItem;
using test::TFixtures;

std::string ReadAll(const fs::path& path) {
  std::ifstream f(path, std::ios::binary);
  std::stringstream ss;
  ss << f.rdbuf();
  return ss.str();
}

// Files and folders below Root, relative, "/"-separated; folders end with "/".
std::set<std::string> Tree(const fs::path& root) {
  std::set<std::string> entries;
  for (const auto& e : fs::recursive_directory_iterator(root))
    entries.insert(e.path().lexically_relative(root).generic_string() +
                   (e.is_directory() ? "/" : ""));
  return entries;
}

// What comes out for the two non-ASCII names of the source tree (sub/café.txt
// and sub/αβγ.txt, stored as UTF-8 by every tool).
enum TNonAsciiNames : uint8_t {
  // The names come out as they went in: flagged as UTF-8 (bit 11), or, from
  // Info-ZIP, UTF-8 without the flag (and without a Unicode path field) in
  // headers that name the host Unix, whose UTF-8 names skip the OEM page.
  nnRight,
  // The archive does not hold them.
  nnAbsent,
};

struct TRoundTrip {
  const char* Archive;
  const char* Password;
  TNonAsciiNames Names;
  bool HasFolderItems;  // else only the folders that hold files come out
  const char* Made;
};

const TRoundTrip kRoundTrips[] = {
    {"zip_stored.zip", "", nnRight, true, "zip -0"},
    {"zip_fast.zip", "", nnRight, true, "zip -1"},
    {"zip_best.zip", "", nnRight, true, "zip -9"},
    {"zip_pkzip.zip", "secret", nnRight, true, "zip -P (PKZIP classic)"},
    {"zip_stub.zip", "", nnRight, true, "a stub in front of zip -9"},
    {"zip_stub_adjusted.zip", "", nnRight, true, "the same after zip -A"},
    {"zip_split.zip", "", nnRight, true, "zip -s 64k, opened through its last volume"},
    {"zip_stream.zip", "", nnAbsent, false,
     "zip -fd to a pipe: data descriptors, text.txt and hello.txt only"},
    {"7z_deflate.zip", "", nnRight, true, "7z -tzip Deflate"},
    {"7z_aes128.zip", "secret", nnRight, true, "7z -mem=AES128"},
    {"7z_aes192.zip", "secret", nnRight, true, "7z -mem=AES192"},
    {"7z_aes256.zip", "secret", nnRight, true, "7z -mem=AES256"},
    {"bsdtar.zip", "", nnRight, true, "bsdtar -a (names begin with ./)"},
    {"python.zip", "", nnRight, false, "python3 zipfile, with a force_zip64 item"},
};

// The source-tree path of an item: its stored bytes without a leading "./".
std::string SourceName(const TFixtureItem& item) {
  std::string name = item.RawName;
  if (name.rfind("./", 0) == 0) name.erase(0, 2);
  return name;
}

// Extracts Archive into Out with Password and compares the result with the
// source tree and the reference listing.
void ExpectRoundTrip(const TRoundTrip& rt, const fs::path& out, bool oemNames = true) {
  TFixtures& fx = TFixtures::Get();
  const fs::path src = fx.Path("src");
  TKelvane a(nullptr);
  a.SetFileName(FromUtf8(fx.Path(rt.Archive)));
  a.Options().SetOEMFileNames(oemNames);  // names are read when the archive opens
  a.OpenArchive(fmOpenRead | fmShareDenyNone);
  a.SetPassword(rt.Password);
  std::vector<std::string> failures;
  a.SetOnProcessFileFailure([&](TKelBaseArchiver*, const UString& name, TKelProcessOperation,
                                int32_t native, int32_t, const UString&, TKelAction& action) {
    failures.push_back(ToUtf8(name) + " " + std::to_string(native));
    action = fxaIgnore;
  });
  a.SetOnPassword([&](TKelBaseArchiver*, const UString& name, AnsiString&, bool& skip) {
    ADD_FAILURE() << "password asked for " << ToUtf8(name);
    skip = true;
  });
  a.SetBaseDir(FromUtf8(out.string()));
  a.ExtractFiles(u"*.*", KelAllItemsAttr, u"");
  a.CloseArchive();
  EXPECT_TRUE(failures.empty()) << failures.front();

  std::set<std::string> expected;
  for (const TFixtureItem& item : fx.Items(rt.Archive)) {
    const std::string name = SourceName(item);
    if (name.empty() || name == "./" || name.back() == '/') continue;
    SCOPED_TRACE(name);
    expected.insert(name);
    for (fs::path p = fs::path(name).parent_path(); !p.empty(); p = p.parent_path())
      expected.insert(p.generic_string() + "/");

    const fs::path got = out / name;
    ASSERT_TRUE(fs::is_regular_file(got));
    EXPECT_EQ(fs::file_size(got), item.Size);
    const UString gotPath = FromUtf8(got.string());
    EXPECT_EQ(uint32_t(FileDosTime(gotPath)), item.DosDateTime);
    if (fs::exists(src / name)) {
      EXPECT_EQ(ReadAll(got), ReadAll(src / name));
      EXPECT_EQ(FileDosTime(gotPath), FileDosTime(FromUtf8((src / name).string())));
    } else {
      EXPECT_EQ(name, "forced64.txt");  // the one item not made from the tree
      EXPECT_EQ(ReadAll(got), [] {
        std::string s;
        for (int i = 0; i < 10; ++i)
          s += "zip64 local header\n";
        return s;
      }());
    }
  }
  if (rt.HasFolderItems) {
    for (const auto& e : fs::recursive_directory_iterator(src))
      if (e.is_directory())
        expected.insert(e.path().lexically_relative(src).generic_string() + "/");
  }
  if (rt.Names == nnAbsent) {
    EXPECT_EQ(expected.count("sub/"), 0u);
  }
  EXPECT_EQ(Tree(out), expected);
}

TEST(ExtractInterop, EveryArchiveOfOtherToolsExtractsToItsSourceTree) {
  TFixtures& fx = TFixtures::Get();
  for (const TRoundTrip& rt : kRoundTrips) {
    SCOPED_TRACE(std::string(rt.Archive) + ": " + rt.Made);
    if (!fx.Has(rt.Archive)) {
      ADD_FAILURE() << rt.Archive << " was not made (is its tool installed?)";
      continue;
    }
    test::TempDir out;
    ExpectRoundTrip(rt, out.Root() / "out");
  }
}

// Info-ZIP's UTF-8 names come out byte for byte as unzip makes them, with
// OEMFileNames (the default, and the self-extractor's) and without.
TEST(ExtractInterop, InfoZipNamesComeOutAsUnzipMakesThem) {
  TFixtures& fx = TFixtures::Get();
  if (!fx.Has("zip_best.zip")) GTEST_SKIP() << "zip is not installed";
  if (std::system("unzip -v >/dev/null 2>&1") != 0) GTEST_SKIP() << "unzip is not installed";
  test::TempDir out;
  const fs::path byUnzip = out.Root() / "unzip";
  // unzip writes the bytes of a Unix host's names as they are; the locale only
  // keeps it from escaping them.
  const std::string cmd = "LC_ALL=C.UTF-8 unzip -qq '" + fx.Path("zip_best.zip") + "' -d '" +
                          byUnzip.string() + "' >/dev/null 2>&1";
  ASSERT_EQ(std::system(cmd.c_str()), 0);
  ASSERT_TRUE(fs::is_regular_file(byUnzip / "sub" / "caf\xC3\xA9.txt"));
  for (const bool oem : {true, false}) {
    SCOPED_TRACE(oem ? "OEMFileNames" : "no OEMFileNames");
    const fs::path ours = out.Root() / (oem ? "oem" : "ansi");
    ExpectRoundTrip({"zip_best.zip", "", nnRight, true, "zip -9"}, ours, oem);
    EXPECT_EQ(Tree(ours), Tree(byUnzip));
    EXPECT_EQ(ReadAll(ours / "sub" / "caf\xC3\xA9.txt"), "e acute\n");
    EXPECT_EQ(ReadAll(ours / "sub" / "\xCE\xB1\xCE\xB2\xCE\xB3.txt"), "greek\n");
  }
}

// python on Linux also names the host Unix; a byte that is not UTF-8 is read
// in the OEM page, as from any host.
TEST(ExtractInterop, AnOemNameComesOutRight) {
  TFixtures& fx = TFixtures::Get();
  test::TempDir out;
  TKelvane a(nullptr);
  a.SetFileName(FromUtf8(fx.Path("python_oem.zip")));
  a.OpenArchive(fmOpenRead | fmShareDenyNone);
  a.SetBaseDir(FromUtf8(out.Root().string()));
  a.ExtractFiles(u"*.*", KelAllItemsAttr, u"");
  EXPECT_EQ(Tree(out.Root()), (std::set<std::string>{"caf\xC3\xA9.txt"}));
  EXPECT_EQ(ReadAll(out.Root() / "caf\xC3\xA9.txt"), "oem\n");
}

// ---- Passwords through the dialog provider

int EncryptedItems(const std::string& archive) {
  int n = 0;
  for (const TFixtureItem& item : TFixtures::Get().Items(archive))
    n += item.Flags & 1;
  return n;
}

TEST(ExtractInterop, AWrongPasswordIsAskedForAgainAndTheRightOneStays) {
  // AES checks a password by two bytes: a wrong one passes once in 65,536.
  TFixtures& fx = TFixtures::Get();
  for (const char* archive : {"7z_aes128.zip", "7z_aes256.zip"}) {
    SCOPED_TRACE(archive);
    test::TempDir out;
    TScriptedDialogs dialogs;
    TCurrentDialogsScope use(dialogs);
    dialogs.AnswerInput(u"wrong");
    dialogs.AnswerInput(u"secret");
    TKelvane a(nullptr);
    a.SetFileName(FromUtf8(fx.Path(archive)));
    a.OpenArchive(fmOpenRead | fmShareDenyNone);
    a.SetBaseDir(FromUtf8(out.Root().string()));
    a.ExtractFiles(u"*.*", KelAllItemsAttr, u"");
    EXPECT_EQ(a.Password(), "secret");
    ASSERT_EQ(dialogs.Questions().size(), 2u);  // the following items take "secret"
    EXPECT_EQ(dialogs.Questions()[0].Caption, dialogs.Questions()[1].Caption);
    EXPECT_EQ(dialogs.Questions()[0].Text, u"Enter password: ");
    EXPECT_EQ(ReadAll(out.Root() / "text.txt"), ReadAll(fs::path(fx.Path("src")) / "text.txt"));
    EXPECT_EQ(ReadAll(out.Root() / "sub" / "\xCE\xB1\xCE\xB2\xCE\xB3.txt"), "greek\n");
  }
}

TEST(ExtractInterop, SkippingAPasswordSkipsOnlyThatItem) {
  TFixtures& fx = TFixtures::Get();
  for (const char* archive : {"zip_pkzip.zip", "7z_aes256.zip"}) {
    SCOPED_TRACE(archive);
    if (!fx.Has(archive)) GTEST_SKIP() << archive << " was not made";
    test::TempDir out;
    TScriptedDialogs dialogs;  // with no answers left, every question is cancelled
    TCurrentDialogsScope use(dialogs);
    TKelvane a(nullptr);
    a.SetFileName(FromUtf8(fx.Path(archive)));
    a.OpenArchive(fmOpenRead | fmShareDenyNone);
    a.SetBaseDir(FromUtf8(out.Root().string()));
    int failures = 0;
    a.SetOnProcessFileFailure([&](TKelBaseArchiver*, const UString&, TKelProcessOperation, int32_t,
                                  int32_t, const UString&, TKelAction&) { ++failures; });
    a.ExtractFiles(u"*.*", KelAllItemsAttr, u"");
    EXPECT_EQ(failures, 0);  // skipping is not a failure
    EXPECT_EQ(int(dialogs.Questions().size()), EncryptedItems(archive));
    // Only the folders and the items without encryption are there.
    for (const std::string& entry : Tree(out.Root())) {
      if (entry.back() == '/') continue;
      const fs::path got = out.Root() / entry;
      EXPECT_EQ(fs::file_size(got), 0u) << entry;  // empty items need no password
    }
  }
}

// ---- Testing

// Flips the byte in the middle of item Name's data in the file at Path.
void FlipItemByte(const std::string& path, const std::string& name) {
  const std::string cmd =
      "python3 -c \"import sys, zipfile, struct\n"
      "p, n = sys.argv[1], sys.argv[2]\n"
      "i = zipfile.ZipFile(p).getinfo(n)\n"
      "f = open(p, 'r+b'); f.seek(i.header_offset + 26)\n"
      "a, b = struct.unpack('<HH', f.read(4))\n"
      "at = i.header_offset + 30 + a + b + i.compress_size // 2\n"
      "f.seek(at); c = f.read(1)[0]; f.seek(at); f.write(bytes([c ^ 1]))\" '" +
      path + "' '" + name + "'";
  ASSERT_EQ(std::system(cmd.c_str()), 0);
}

TEST(ExtractInterop, TestingFindsOneFlippedByteAndWritesNothing) {
  struct Case {
    const char* archive;
    const char* item;
    const char* password;
  };
  const Case cases[] = {
      {"zip_stored.zip", "random.bin", ""},     // CRC-32
      {"zip_best.zip", "text.txt", ""},         // Deflate data
      {"7z_aes256.zip", "text.txt", "secret"},  // authentication code
  };
  TFixtures& fx = TFixtures::Get();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.archive);
    if (!fx.Has(c.archive)) GTEST_SKIP() << c.archive << " was not made";
    test::TempDir dir;
    const std::string copy = dir.NativePath("damaged.zip");
    fs::copy_file(fx.Path(c.archive), copy);
    FlipItemByte(copy, c.item);
    const fs::path previous = fs::current_path();
    fs::create_directory(dir.Root() / "cwd");
    fs::current_path(dir.Root() / "cwd");
    std::vector<std::string> failures;
    {
      TKelvane a(nullptr);
      a.SetFileName(FromUtf8(copy));
      a.OpenArchive(fmOpenRead | fmShareDenyNone);
      a.SetPassword(c.password);
      a.SetBaseDir(dir.Path(u"never"));
      a.SetOnProcessFileFailure([&](TKelBaseArchiver*, const UString& name, TKelProcessOperation op,
                                    int32_t native, int32_t, const UString&, TKelAction&) {
        EXPECT_EQ(op, poTest);
        failures.push_back(ToUtf8(name) + " " + std::to_string(native));
      });
      a.TestFiles(u"*.*", KelAllItemsAttr, u"");
    }
    fs::current_path(previous);
    EXPECT_EQ(failures, (std::vector<std::string>{std::string(c.item) + " 8"}));
    EXPECT_EQ(Tree(dir.Root()), (std::set<std::string>{"cwd/", "damaged.zip"}));
  }
}

}  // namespace
}  // namespace kelvane
