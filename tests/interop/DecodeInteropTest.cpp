// Archives written by other tools decode to exactly the files they were made
// from; damage, wrong passwords and missing volumes are reported.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <set>

#include "Fixtures.h"
#include "NativeError.h"
#include "engine/Kelvane.h"
#include "platform/ScriptedDialogs.h"
#include "platform/Text.h"

namespace kelvane {
namespace {

using test::NativeErrorOf;

using test::TFixtures;
namespace fs = std::filesystem;

std::string FileText(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(f), {});
}

struct TFile {
  UString Name;         // as the engine lists it
  std::string RawName;  // the name bytes as stored
};

// The items that are not folders, in directory order, with their names as
// stored (from the reference listing, which follows the same order).
std::vector<TFile> Files(TKelBaseArchiver& a, const std::vector<test::TFixtureItem>& reference) {
  std::vector<TFile> files;
  TKelArchiveItem f;
  size_t i = 0;
  for (bool ok = a.FindFirst(u"*.*", f, KelAllItemsAttr, u""); ok; ok = a.FindNext(f), ++i) {
    if (i >= reference.size()) {
      ADD_FAILURE() << "more items than the reference reader lists";
      break;
    }
    const std::string& raw = reference[i].RawName;
    if (raw.empty() || raw.back() != '/') files.push_back({f.StoredPath + f.FileName, raw});
  }
  EXPECT_EQ(i, reference.size());
  return files;
}

// What an item of the fixture set holds: the source file its stored name
// names (the tools store UTF-8 bytes on this system), except for the few items
// the generator wrote from memory.
std::string Expected(const TFixtures& fx, const std::string& archive, const std::string& name) {
  if (archive == "python_oem.zip") return "oem\n";
  if (name == "forced64.txt") {
    std::string s;
    for (int i = 0; i < 10; ++i)
      s += "zip64 local header\n";
    return s;
  }
  if (archive == "python_many.zip") {
    // d012/f12345.txt holds "12345".
    const std::string number = name.substr(name.find("/f") + 2, 5);
    return std::to_string(std::stoi(number));
  }
  const std::string path = fx.Path("src") + "/" + name;
  EXPECT_TRUE(fs::is_regular_file(path)) << "no source file for " << name;
  return FileText(path);
}

TKelvane& Opened(TKelvane& a, const std::string& path) {
  a.SetFileName(FromUtf8(path));
  a.OpenArchive(fmOpenRead | fmShareDenyNone);
  return a;
}

TEST(DecodeInterop, EveryItemOfEveryArchiveDecodesToItsSource) {
  TFixtures& fx = TFixtures::Get();
  ASSERT_FALSE(fx.Archives().empty());
  for (const std::string& archive : fx.Archives()) {
    SCOPED_TRACE(archive);
    TKelvane a(nullptr);
    a.SetPassword("secret");
    a.SetOnPassword([](TKelBaseArchiver*, const UString& name, AnsiString&, bool&) {
      ADD_FAILURE() << "asked for a password for " << ToUtf8(name);
      throw Exception("no password question expected");
    });
    Opened(a, fx.Path(archive));
    const std::vector<TFile> files = Files(a, fx.Items(archive));
    EXPECT_FALSE(files.empty());
    for (size_t i = 0; i < files.size(); ++i) {
      // The large set is sampled; every other archive is decoded whole.
      if (archive == "python_many.zip" && i % 61 != 0 && i + 1 != files.size()) continue;
      SCOPED_TRACE(files[i].RawName);
      TMemoryStream out;
      a.ExtractToStream(files[i].Name, out);
      EXPECT_TRUE(AnsiString(out.Bytes().begin(), out.Bytes().end()) ==
                  Expected(fx, archive, files[i].RawName));
    }
  }
}

// Folder items decode to nothing and verify.
TEST(DecodeInterop, FolderItemsDecodeToNothing) {
  TFixtures& fx = TFixtures::Get();
  const std::pair<std::string, UString> folders[] = {{"zip_best.zip", u"emptydir/"},
                                                     {"7z_deflate.zip", u"sub/deeper/"},
                                                     {"bsdtar.zip", u"./sub/"}};
  for (const auto& [archive, folder] : folders) {
    if (!fx.Has(archive)) continue;
    SCOPED_TRACE(archive);
    TKelvane a(nullptr);
    Opened(a, fx.Path(archive));
    TMemoryStream out;
    a.ExtractToStream(folder, out);
    EXPECT_EQ(out.Size(), 0);
  }
}

// The byte in the middle of an item's stored data, found from its local header.
size_t MiddleOfItemData(const std::string& path, const UString& item) {
  TKelvane a(nullptr);
  Opened(a, path);
  TKelArchiveItem f;
  EXPECT_TRUE(a.FindFirst(item, f, KelAllItemsAttr, u""));
  a.CloseArchive();
  const std::string bytes = FileText(path);
  const std::string name = ToUtf8(item);
  const std::string signature("PK\x03\x04", 4);
  for (size_t p = bytes.find(signature); p != std::string::npos; p = bytes.find(signature, p + 1)) {
    auto u16 = [&](size_t o) {
      return size_t(uint8_t(bytes[o])) | size_t(uint8_t(bytes[o + 1])) << 8;
    };
    const size_t nameLength = u16(p + 26);
    if (bytes.compare(p + 30, nameLength, name) != 0) continue;
    return p + 30 + nameLength + u16(p + 28) + size_t(f.CompressedSize) / 2;
  }
  ADD_FAILURE() << "no local header for " << name;
  return 0;
}

TEST(DecodeInterop, AFlippedDataByteFailsTheItem) {
  TFixtures& fx = TFixtures::Get();
  test::TempDir dir;
  for (const std::string archive :
       {"zip_stored.zip", "zip_best.zip", "zip_pkzip.zip", "zip_stream.zip", "7z_aes256.zip",
        "7z_aes128.zip", "python.zip"}) {
    if (!fx.Has(archive)) continue;
    SCOPED_TRACE(archive);
    const std::string path = dir.NativePath(archive);
    fs::copy_file(fx.Path(archive), path, fs::copy_options::overwrite_existing);
    const size_t at = MiddleOfItemData(path, u"text.txt");
    {
      std::fstream f(path, std::ios::in | std::ios::out | std::ios::binary);
      f.seekg(std::streamoff(at));
      const char c = char(f.get());
      f.seekp(std::streamoff(at));
      f.put(char(c ^ 0x01));
    }
    TKelvane a(nullptr);
    a.SetPassword("secret");
    Opened(a, path);
    TMemoryStream out;
    EXPECT_EQ(NativeErrorOf([&] { a.ExtractToStream(u"text.txt", out); }), 8);
    // The other items are untouched.
    TMemoryStream hello;
    a.ExtractToStream(u"hello.txt", hello);
    EXPECT_EQ(hello.Size(), 14);
  }
}

TEST(DecodeInterop, AWrongPasswordIsAskedForAgain) {
  TFixtures& fx = TFixtures::Get();
  const std::string hello = FileText(fx.Path("src") + "/hello.txt");
  for (const std::string archive :
       {"zip_pkzip.zip", "7z_aes128.zip", "7z_aes192.zip", "7z_aes256.zip"}) {
    if (!fx.Has(archive)) continue;
    SCOPED_TRACE(archive);
    TScriptedDialogs dialogs;
    TCurrentDialogsScope use(dialogs);
    TKelvane a(nullptr);
    a.SetPassword("nope");
    Opened(a, fx.Path(archive));
    dialogs.AnswerInput(u"still wrong");
    dialogs.AnswerInput(u"secret");
    TMemoryStream out;
    a.ExtractToStream(u"hello.txt", out);
    EXPECT_EQ(std::string(out.Bytes().begin(), out.Bytes().end()), hello);
    EXPECT_EQ(dialogs.Questions().size(), 2u);
    EXPECT_EQ(a.Password(), "secret");

    // Cancel in the dialog skips the item: nothing is written, no error.
    a.SetPassword("nope");
    dialogs.CancelInput();
    TMemoryStream skipped;
    a.ExtractToStream(u"text.txt", skipped);
    EXPECT_EQ(skipped.Size(), 0);
    EXPECT_EQ(dialogs.Questions().size(), 3u);
  }
}

TEST(DecodeInterop, PasswordChecks) {
  TFixtures& fx = TFixtures::Get();
  struct Case {
    std::string Archive;
    AnsiString Password;
    bool Valid;
  };
  const Case cases[] = {
      {"zip_pkzip.zip", "secret", true},  {"zip_pkzip.zip", "secreT", false},
      {"7z_aes128.zip", "secret", true},  {"7z_aes128.zip", "", false},
      {"7z_aes192.zip", "secret", true},  {"7z_aes192.zip", "secret ", false},
      {"7z_aes256.zip", "secret", true},  {"7z_aes256.zip", "s", false},
      {"zip_best.zip", "anything", true},
  };
  for (const Case& c : cases) {
    if (!fx.Has(c.Archive)) continue;
    SCOPED_TRACE(c.Archive + " / " + c.Password);
    TKelvane a(nullptr);
    Opened(a, fx.Path(c.Archive));
    EXPECT_EQ(a.IsFilePasswordValid(u"text.txt", c.Password), c.Valid);
    EXPECT_EQ(a.IsFilePasswordValid(u"random.bin", c.Password), c.Valid);
  }
}

TEST(DecodeInterop, EveryArchiveIsValid) {
  TFixtures& fx = TFixtures::Get();
  for (const std::string& archive : fx.Archives()) {
    SCOPED_TRACE(archive);
    TKelvane a(nullptr);
    a.SetFileName(FromUtf8(fx.Path(archive)));
    EXPECT_TRUE(a.IsValidArchiveFile());
    EXPECT_FALSE(a.Active());
  }
}

// zip -s 64k's split set with one of its numbered parts missing is still a
// split set: the items that touch the missing part fail as a cancelled volume
// request (native error 45), the others decode. The set holds text.txt from
// .z01 to .z04, the small items on .z04, and random.bin from .z04 through
// .z05 into the .zip, which also holds the directory.
TEST(DecodeInterop, AMissingVolumeFailsOnlyTheItemsInIt) {
  TFixtures& fx = TFixtures::Get();
  if (!fx.Has("zip_split.zip")) GTEST_SKIP() << "zip is not installed";
  struct TCase {
    const char* Label;
    std::string Missing;            // extension of the missing part; empty: none
    std::set<std::string> Failing;  // items that need it
  } cases[] = {
      {"nothing missing", "", {}},
      {"the last numbered part", ".z05", {"random.bin"}},
      {"a middle part", ".z03", {"text.txt"}},
      {"the first part", ".z01", {"empty.txt", "text.txt"}},
  };
  std::string base = fx.Path("zip_split.zip");
  base.resize(base.size() - 4);
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Label);
    test::TempDir dir;
    for (const char* ext : {".z01", ".z02", ".z03", ".z04", ".z05", ".zip"})
      if (ext != c.Missing) fs::copy_file(base + ext, dir.NativePath(std::string("split") + ext));
    TKelvane a(nullptr);
    Opened(a, dir.NativePath("split.zip"));
    EXPECT_EQ(a.SpanningMode(), smSplitting);
    std::set<std::string> failed;
    for (const TFile& file : Files(a, fx.Items("zip_split.zip"))) {
      SCOPED_TRACE(file.RawName);
      TMemoryStream out;
      const int native = NativeErrorOf([&] { a.ExtractToStream(file.Name, out); });
      if (native == 0) {
        EXPECT_TRUE(std::string(out.Bytes().begin(), out.Bytes().end()) ==
                    Expected(fx, "zip_split.zip", file.RawName));
      } else {
        failed.insert(file.RawName);
        EXPECT_EQ(native, 45);
      }
    }
    EXPECT_EQ(failed, c.Failing);
  }
}

}  // namespace
}  // namespace kelvane
