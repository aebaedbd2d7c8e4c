// Archives the engine writes are read by other tools with exactly the bytes the
// engine was given: every compression mode, PKZIP classic and AES, Zip64 when
// needed and always, empty items, folders, UTF-8 names and comments; an update
// that replaces the first item; an item and offsets beyond 4 GiB.
//
// Each peer extracts into a folder of its own and the folder is compared with
// what was added; unzip and 7zz also test. python3's zipfile reads the bytes
// directly and reports the comments and which items carry a Zip64 field.
// unzip and python3 cannot decrypt AES, so AES items are read by 7zz (and by
// bsdtar when its libarchive can).
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <array>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

#include "PeerTools.h"
#include "TempDir.h"
#include "engine/Kelvane.h"
#include "platform/FileSystem.h"
#include "platform/Text.h"

namespace kelvane {
namespace {

using namespace test;
namespace fs = std::filesystem;

// 7zz reports headers it finds fault with as warnings, and still says
// "Everything is Ok" and exits with 0.
bool HasWarning(std::string out) {
  for (char& ch : out)
    ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
  return out.find("warning") != std::string::npos;
}

std::string Hex(const std::string& bytes) {
  static const char digits[] = "0123456789abcdef";
  std::string out;
  for (unsigned char ch : bytes) {
    out += digits[ch >> 4];
    out += digits[ch & 15];
  }
  return out;
}

// Files (with their bytes) and folders (ending in "/", empty) below Root, by
// relative UTF-8 path. An entry its owner could not use (read and write; and
// enter, for a folder) is recorded as "<mode NNN>": the tests run as root too,
// who would read it anyway.
using TTree = std::map<std::string, std::string>;

TTree ReadTree(const fs::path& root) {
  using fs::perms;
  TTree tree;
  for (const auto& e : fs::recursive_directory_iterator(root)) {
    const std::string rel = e.path().lexically_relative(root).generic_string();
    const bool folder = e.is_directory();
    const perms need =
        perms::owner_read | perms::owner_write | (folder ? perms::owner_exec : perms::none);
    const perms have = e.status().permissions();
    if ((have & need) != need)
      tree[rel + (folder ? "/" : "")] = "<mode " + std::to_string(int(have)) + ">";
    else if (folder)
      tree[rel + "/"] = "";
    else
      tree[rel] = ReadFile(e.path());
  }
  return tree;
}

// What a set of items must extract to: every file and folder, with the folders
// that hold a file even when they have no item of their own.
TTree ExpectedTree(const std::vector<std::pair<std::string, std::string>>& items) {
  TTree tree;
  for (const auto& [name, data] : items) {
    tree[name] = data;
    for (size_t slash = name.find('/'); slash != std::string::npos && slash + 1 < name.size();
         slash = name.find('/', slash + 1))
      tree[name.substr(0, slash + 1)] = "";
  }
  return tree;
}

// Reports a difference by name and size rather than dumping megabytes.
std::string TreeDiff(const TTree& want, const TTree& got) {
  std::ostringstream out;
  for (const auto& [name, data] : want) {
    auto it = got.find(name);
    if (it == got.end())
      out << "missing " << name << "\n";
    else if (it->second != data)
      out << "differs " << name << " (" << it->second.size() << " bytes, want " << data.size()
          << ")\n";
  }
  for (const auto& [name, data] : got)
    if (!want.count(name)) out << "unexpected " << name << "\n";
  return out.str();
}

// Reads every item with python3's zipfile (which checks each CRC) into Dest
// and prints, one line each: "comment <hex>" for the archive, then per item
// "<name hex> <comment hex> <1 when it has a Zip64 field, else 0>".
const char kPythonReader[] = R"(
import os, sys, zipfile
path, pwd, dest = sys.argv[1], sys.argv[2].encode(), sys.argv[3]
with zipfile.ZipFile(path) as z:
    print('comment', z.comment.hex())
    for info in z.infolist():
        target = os.path.join(dest, info.filename)
        if info.is_dir():
            os.makedirs(target, exist_ok=True)
        else:
            os.makedirs(os.path.dirname(target), exist_ok=True)
            with open(target, 'wb') as f:
                f.write(z.read(info, pwd=pwd or None))
        extra, zip64 = info.extra, 0
        while len(extra) >= 4:
            tag, size = int.from_bytes(extra[:2], 'little'), int.from_bytes(extra[2:4], 'little')
            zip64 |= tag == 1
            extra = extra[4 + size:]
        print(info.filename.encode().hex(), info.comment.hex(), zip64)
)";

struct TPeerReport {
  TTree Tree;
  std::string Log;
  std::map<std::string, std::string> PythonLines;  // first word -> rest of the line
};

enum TPeerKind : uint8_t { pkUnzip, pk7zz, pkBsdtar, pkPython };

// Every peer decrypts PKZIP classic.
struct TPeer {
  TPeerKind Kind;
  const char* Tool;
  bool Aes;
};

// bsdtar's AES support depends on the crypto library libarchive was built
// with; it is asked for, and a refusal is told apart from a wrong result below.
const TPeer kPeers[] = {
    {pkUnzip, "unzip", false},
    {pk7zz, "7zz", true},
    {pkBsdtar, "bsdtar", true},
    {pkPython, "python3", false},
};

// Has Peer test (where it can) and extract Archive into a fresh folder below
// Work; failures of the peer itself are added as test failures.
TPeerReport ReadWithPeer(const TPeer& peer, const std::string& archive, const std::string& pwd,
                         const fs::path& work) {
  TPeerReport report;
  const fs::path dest = work / (std::string("out-") + peer.Tool);
  fs::remove_all(dest);
  fs::create_directories(dest);
  const std::string a = Quote(archive), d = Quote(dest.string());
  auto step = [&](const std::string& cmd) {
    const auto [status, out] = RunShell(cmd);
    report.Log += "$ " + cmd + "\n" + out;
    EXPECT_EQ(status, 0) << peer.Tool << " failed:\n" << out;
    return out;
  };
  switch (peer.Kind) {
    case pkUnzip: {
      const std::string p = pwd.empty() ? "" : " -P " + Quote(pwd);
      const std::string out = step("unzip -t" + p + " " + a);
      EXPECT_NE(out.find("No errors detected"), std::string::npos) << out;
      step("unzip -q" + p + " " + a + " -d " + d);
      break;
    }
    case pk7zz: {
      const std::string p = " -p" + Quote(pwd);
      const std::string out = step("7zz t" + p + " " + a);
      EXPECT_NE(out.find("Everything is Ok"), std::string::npos) << out;
      EXPECT_FALSE(HasWarning(out)) << out;
      step("7zz x -y -bd" + p + " -o" + d + " " + a);
      break;
    }
    case pkBsdtar:
      step("bsdtar -xf " + a + " -C " + d + (pwd.empty() ? "" : " --passphrase " + Quote(pwd)));
      break;
    case pkPython: {
      std::istringstream lines(
          step("python3 -c " + Quote(kPythonReader) + " " + a + " " + Quote(pwd) + " " + d));
      for (std::string line; std::getline(lines, line);) {
        const size_t space = line.find(' ');
        if (space != std::string::npos)
          report.PythonLines[line.substr(0, space)] = line.substr(space + 1);
      }
      break;
    }
  }
  report.Tree = ReadTree(dest);
  fs::remove_all(dest);
  return report;
}

struct TWriteCase {
  uint8_t Mode;
  TKelCryptoAlgorithm Cipher;
  bool Encrypted;
  TZip64Mode Zip64;
};

const char* CipherName(const TWriteCase& c) {
  if (!c.Encrypted) return "Plain";
  switch (c.Cipher) {
    case caAES_128:
      return "Aes128";
    case caAES_192:
      return "Aes192";
    case caAES_256:
      return "Aes256";
    default:
      return "Pkzip";
  }
}

void PrintTo(const TWriteCase& c, std::ostream* os) {
  *os << "mode " << int(c.Mode) << ", " << CipherName(c) << ", "
      << (c.Zip64 == zmAlways ? "zmAlways" : "zmAuto");
}

const char kPassword[] = "p\xC3\xA4ss w'rd";  // UTF-8, a blank and a quote
const char kArchiveComment[] = "Written by the engine\r\nsecond line";
const char kItemComment[] = "the comment of one.txt";
const std::string kUtf8Name =
    "Gr\xC3\xB6\xC3\x9F"
    "e/na\xC3\xAFve \xCE\xB1\xCE\xB2\xCE\xB3 "
    "\xE6\x97\xA5\xE6\x9C\xAC.txt";

// The items of every case: empty and one-byte files, a folder item with a file
// in it and an empty folder item, an item over several compression chunks
// (part noise, part text), a non-ASCII name that the OEM code page could
// hold, and one it could not in a folder that has no item.
std::vector<std::pair<std::string, std::string>> CaseItems() {
  std::string text;
  while (text.size() < 1100000)
    text += "line " + std::to_string(text.size()) + " of the text part\n";
  return {
      {"empty.txt", ""},
      {"one.txt", "1"},
      {"caf\xC3\xA9.txt", "a name the OEM code page can hold"},
      {"dir/", ""},
      {"dir/big.bin", Noise(600000, 7) + text},
      {"dir/empty folder/", ""},
      {kUtf8Name, "\xCE\xB1\xCE\xB2\xCE\xB3\n"},
  };
}

// An archiver on Path whose failures are test failures (the engine's default
// answer would drop the item, or abort the commit, and raise nothing).
std::unique_ptr<TKelvane> NewArchiver(const std::string& path) {
  auto a = std::make_unique<TKelvane>(nullptr);
  a->SetFileName(FromUtf8(path));
  a->SetOnProcessFileFailure([](TKelBaseArchiver*, const UString& name, TKelProcessOperation,
                                int32_t native, int32_t, const UString& message,
                                TKelAction& action) {
    ADD_FAILURE() << "storing " << ToUtf8(name) << " failed (" << native
                  << "): " << ToUtf8(message);
    action = fxaAbort;
  });
  return a;
}

// Adds Items (a name ending in "/" is a folder) to the open archive A in one
// update; one.txt gets its comment through OnStoreFile.
void AddItems(TKelvane& a, const std::vector<std::pair<std::string, std::string>>& items) {
  a.SetOnStoreFile(
      [](TKelBaseArchiver*, UString& name, int32_t&, AnsiString& comment, const UString&) {
        if (name == u"one.txt") comment = kItemComment;
      });
  a.BeginUpdate();
  for (const auto& [name, data] : items) {
    const bool folder = name.back() == '/';
    a.AddFromBuffer(FromUtf8(name), data.data(), static_cast<int32_t>(data.size()),
                    folder ? faDirectory : faArchive, 0);
  }
  a.EndUpdate();
}

// Checks Archive with every installed peer that can decrypt it: the
// extracted tree must be Want. Returns python3's report (empty without it).
std::map<std::string, std::string> CheckWithPeers(const std::string& archive, bool encrypted,
                                                  bool aes, const TTree& want,
                                                  const fs::path& work) {
  std::map<std::string, std::string> python;
  int peersRun = 0;
  for (const TPeer& peer : kPeers) {
    if (aes && !peer.Aes) continue;
    if (!HasTool(peer.Tool)) {
      ADD_FAILURE() << peer.Tool << " is not installed (scripts/install-deps.sh installs it)";
      continue;
    }
    SCOPED_TRACE(peer.Tool);
    TPeerReport r = ReadWithPeer(peer, archive, encrypted ? kPassword : "", work);
    if (peer.Kind == pkBsdtar && aes && r.Log.find("not supported") != std::string::npos) {
      continue;  // libarchive without AES: it says so and writes nothing
    }
    EXPECT_EQ(TreeDiff(want, r.Tree), "") << r.Log;
    if (peer.Kind == pkPython) python = std::move(r.PythonLines);
    ++peersRun;
  }
  EXPECT_GE(peersRun, 1);
  return python;
}

class WriteInterop : public ::testing::TestWithParam<TWriteCase> {
 protected:
  test::TempDir FDir;
};

TEST_P(WriteInterop, PeersReadEveryItemNameAndComment) {
  const TWriteCase& c = GetParam();
  const auto items = CaseItems();
  const std::string path = FDir.NativePath("case.zip");
  {
    auto a = NewArchiver(path);
    a->SetCompressionMode(c.Mode);
    a->SetZip64Mode(c.Zip64);
    if (c.Encrypted) {
      a->SetPassword(kPassword);
      a->SetEncryptionMethod(c.Cipher);
    }
    a->OpenArchive();
    a->BeginUpdate();
    a->SetComment(kArchiveComment);
    AddItems(*a, items);
    a->EndUpdate();
    a->CloseArchive();
  }
  const bool aes = c.Encrypted && c.Cipher != caPkzipClassic;
  const auto python = CheckWithPeers(path, c.Encrypted, aes, ExpectedTree(items), FDir.Root());
  if (aes) return;
  ASSERT_FALSE(python.empty());
  EXPECT_EQ(python.at("comment"), Hex(kArchiveComment));
  for (const auto& [name, data] : items) {
    SCOPED_TRACE(name);
    const auto it = python.find(Hex(name));
    ASSERT_NE(it, python.end());
    const std::string comment = name == "one.txt" ? Hex(kItemComment) : "";
    EXPECT_EQ(it->second, comment + " " + (c.Zip64 == zmAlways ? "1" : "0"));
  }
}

std::vector<TWriteCase> AllCases() {
  std::vector<TWriteCase> cases;
  for (TZip64Mode zip64 : {zmAuto, zmAlways})
    for (uint8_t mode : {0, 1, 6, 9}) {
      cases.push_back({mode, caPkzipClassic, false, zip64});
      for (TKelCryptoAlgorithm cipher : {caPkzipClassic, caAES_128, caAES_192, caAES_256})
        cases.push_back({mode, cipher, true, zip64});
    }
  return cases;
}

INSTANTIATE_TEST_SUITE_P(Cases, WriteInterop, ::testing::ValuesIn(AllCases()),
                         [](const auto& info) {
                           const TWriteCase& c = info.param;
                           return "Mode" + std::to_string(c.Mode) + CipherName(c) +
                                  (c.Zip64 == zmAlways ? "Zip64Always" : "Zip64Auto");
                         });

// Per item: "<name hex> <sha256 of its local header and data>", from each
// item's local header offset as the directory gives it.
const char kPythonRawItems[] = R"(
import hashlib, sys, zipfile
with zipfile.ZipFile(sys.argv[1]) as z, open(sys.argv[1], 'rb') as f:
    for info in z.infolist():
        f.seek(info.header_offset)
        head = f.read(30)
        n, e = int.from_bytes(head[26:28], 'little'), int.from_bytes(head[28:30], 'little')
        rest = f.read(n + e + info.compress_size)
        print(info.filename.encode().hex(), hashlib.sha256(head + rest).hexdigest())
)";

std::map<std::string, std::string> RawItems(const std::string& archive) {
  const auto [status, out] =
      RunShell("python3 -c " + Quote(kPythonRawItems) + " " + Quote(archive));
  EXPECT_EQ(status, 0) << out;
  std::map<std::string, std::string> items;
  std::istringstream lines(out);
  for (std::string name, digest; lines >> name >> digest;)
    items[name] = digest;
  return items;
}

// Replacing the first item rewrites everything behind it: the other items
// move, their local headers and data copied byte for byte, and every peer
// still reads them. The new first item is larger, then smaller, than before.
TEST(WriteInteropUpdate, ReplacingTheFirstItemKeepsEveryOtherItemIntact) {
  if (!HasTool("python3")) GTEST_SKIP() << "python3 is not installed";
  const TWriteCase cases[] = {{6, caPkzipClassic, false, zmAuto},
                              {0, caPkzipClassic, true, zmAuto},
                              {1, caAES_256, true, zmAlways}};
  for (const TWriteCase& c : cases) {
    SCOPED_TRACE(testing::Message() << "mode " << int(c.Mode) << " " << CipherName(c));
    test::TempDir dir;
    const std::string path = dir.NativePath("replace.zip");
    auto items = CaseItems();
    items.insert(items.begin(), {"first.txt", "the first item, short"});
    auto archiver = NewArchiver(path);
    TKelvane& a = *archiver;
    a.SetCompressionMode(c.Mode);
    a.SetZip64Mode(c.Zip64);
    if (c.Encrypted) {
      a.SetPassword(kPassword);
      a.SetEncryptionMethod(c.Cipher);
    }
    a.OpenArchive();
    AddItems(a, items);
    a.CloseArchive();
    auto before = RawItems(path);
    ASSERT_EQ(before.size(), items.size());
    before.erase(Hex("first.txt"));

    for (const std::string& replacement : {Noise(300000, 9), std::string()}) {
      SCOPED_TRACE(replacement.size());
      a.OpenArchive();
      a.Options().SetOverwriteMode(omAlways);
      AddItems(a, {{"first.txt", replacement}});
      a.CloseArchive();
      items.front().second = replacement;
      const bool aes = c.Encrypted && c.Cipher != caPkzipClassic;
      CheckWithPeers(path, c.Encrypted, aes, ExpectedTree(items), dir.Root());
      auto after = RawItems(path);
      ASSERT_EQ(after.size(), items.size());
      after.erase(Hex("first.txt"));
      EXPECT_EQ(after, before);
    }
  }
}

// ---- Beyond 4 GiB, cheaply: sources of zeros that take no memory, and an
// archive file in which the runs of zeros the engine writes past its end
// become holes, so that 4 GiB of stored zeros cost neither disk space nor the
// time of writing them (every byte still goes through the engine).

// Size zero bytes.
class TZeroStream : public TStream {
 public:
  explicit TZeroStream(int64_t size) : FSize(size) {}
  int64_t Read(void* buffer, int64_t count) override {
    const int64_t n = std::max<int64_t>(0, std::min(count, FSize - FPos));
    std::memset(buffer, 0, static_cast<size_t>(n));
    FPos += n;
    return n;
  }
  int64_t Write(const void*, int64_t) override { return 0; }
  int64_t Seek(int64_t offset, TSeekOrigin origin) override {
    const int64_t base = origin == soBeginning ? 0 : origin == soCurrent ? FPos : FSize;
    if (base + offset < 0) throw EStreamError(u"negative position");
    return FPos = base + offset;
  }
  int64_t Size() override { return FSize; }

 private:
  int64_t FSize;
  int64_t FPos = 0;
};

// A file stream that writes a block of zeros that would extend the file as a
// hole. What is read back is what was written.
class TSparseFileStream : public TFileStream {
 public:
  using TFileStream::TFileStream;
  int64_t Write(const void* buffer, int64_t count) override {
    const auto* bytes = static_cast<const uint8_t*>(buffer);
    const int64_t pos = Position();
    if (count > 0 && pos >= Size() && bytes[0] == 0 &&
        std::memcmp(bytes, bytes + 1, static_cast<size_t>(count - 1)) == 0) {
      SetSize(pos + count);
      SetPosition(pos + count);
      return count;
    }
    return TFileStream::Write(buffer, count);
  }
};

constexpr int64_t kGiB = int64_t(1) << 30;

// Reads the archive with python3's zipfile: each item whose name is given
// with "<name>=zeros:<size>" must be that many zeros (streamed, CRC checked at
// the end), each given as "<name>=<file>" the bytes of that file; prints each
// item's name, size and local header offset.
const char kPythonHugeReader[] = R"(
import sys, zipfile
want = dict(arg.split('=', 1) for arg in sys.argv[2:])
with zipfile.ZipFile(sys.argv[1]) as z:
    assert sorted(want) == sorted(z.namelist()), z.namelist()
    for info in z.infolist():
        w = want[info.filename]
        if w.startswith('zeros:'):
            size, got = int(w[6:]), 0
            with z.open(info) as f:
                while chunk := f.read(1 << 24):
                    assert chunk.count(0) == len(chunk), 'a non-zero byte'
                    got += len(chunk)
            assert got == size, (got, size)
        else:
            assert z.read(info) == open(w, 'rb').read(), info.filename
        print(info.filename, info.file_size, info.header_offset)
)";

// Checks Archive with python3 (Want: name -> "zeros:<size>" or the bytes),
// has 7zz test it, and unzip test the items named in UnzipItems (none when
// empty). Returns the local header offset of each item as python3 found it.
std::map<std::string, uint64_t> CheckHugeWithPeers(const std::string& archive,
                                                   const std::map<std::string, std::string>& want,
                                                   const std::string& unzipItems) {
  std::string args;
  for (const auto& [name, w] : want) {
    if (w.starts_with("zeros:")) {
      args += " " + Quote(name + "=" + w);
    } else {
      const std::string file = archive + "." + name;
      std::ofstream(file, std::ios::binary) << w;
      args += " " + Quote(name + "=" + file);
    }
  }
  std::map<std::string, uint64_t> offsets;
  int peersRun = 0;
  if (HasTool("python3")) {
    const auto [status, out] =
        RunShell("python3 -c " + Quote(kPythonHugeReader) + " " + Quote(archive) + args);
    EXPECT_EQ(status, 0) << out;
    std::istringstream lines(out);
    uint64_t size = 0, offset = 0;
    for (std::string name; lines >> name >> size >> offset;)
      offsets[name] = offset;
    ++peersRun;
  }
  if (HasTool("7zz")) {
    const auto [status, out] = RunShell("7zz t -bd " + Quote(archive));
    EXPECT_EQ(status, 0) << out;
    EXPECT_NE(out.find("Everything is Ok"), std::string::npos) << out;
    EXPECT_FALSE(HasWarning(out)) << out;
    ++peersRun;
  }
  if (!unzipItems.empty() && HasTool("unzip")) {
    const auto [status, out] = RunShell("unzip -t " + Quote(archive) + " " + unzipItems);
    EXPECT_EQ(status, 0) << out;
    EXPECT_NE(out.find("No errors detected"), std::string::npos) << out;
    ++peersRun;
  }
  EXPECT_GE(peersRun, 1) << "none of python3, 7zz, unzip is installed";
  return offsets;
}

// An item of 4.5 GiB (zeros at mode 1: the archive stays small) between two
// small ones: sizes in Zip64 fields, whichever Zip64 mode.
TEST(WriteInteropHuge, AnItemOf4AndAHalfGiBReadsBack) {
  test::TempDir dir;
  const std::string path = dir.NativePath("huge.zip");
  const std::string before = Noise(1000, 11), after = Noise(70000, 12);
  TZeroStream zeros(4 * kGiB + kGiB / 2);
  {
    auto a = NewArchiver(path);
    a->SetCompressionMode(1);
    a->SetZip64Mode(zmAuto);
    a->OpenArchive();
    a->BeginUpdate();
    a->AddFromBuffer(u"before.bin", before.data(), int32_t(before.size()), faArchive, 0);
    a->AddFromStream(u"huge.bin", zeros, false, 0, 0, faArchive, 0);
    a->AddFromBuffer(u"after.bin", after.data(), int32_t(after.size()), faArchive, 0);
    a->EndUpdate();
  }
  EXPECT_LT(fs::file_size(path), uint64_t(64) << 20);
  CheckHugeWithPeers(path,
                     {{"before.bin", before},
                      {"huge.bin", "zeros:" + std::to_string(zeros.Size())},
                      {"after.bin", after}},
                     "");
}

// 4 GiB and 1 MiB of stored zeros put the next items, and the directory,
// beyond 4 GiB: their offsets go in Zip64 fields and a Zip64 end record. A
// second update appends one more item behind them. unzip tests only the items
// behind 4 GiB: it takes most of a minute to read the zeros.
TEST(WriteInteropHuge, OffsetsBeyond4GiBReadBack) {
  test::TempDir dir;
  const std::string path = dir.NativePath("far.zip");
  const std::string after = Noise(100000, 13), appended = "appended behind 4 GiB";
  const int64_t zeroSize = 4 * kGiB + (1 << 20);
  {
    TSparseFileStream file(FromUtf8(path), fmCreate);
    TZeroStream zeros(zeroSize);
    auto archiver = NewArchiver("");
    TKelvane& a = *archiver;
    a.SetCompressionMode(0);
    a.SetZip64Mode(zmAuto);
    a.OpenArchive(file, true);
    a.BeginUpdate();
    a.AddFromStream(u"zeros.bin", zeros, false, 0, 0, faArchive, 0);
    a.SetCompressionMode(6);
    a.AddFromBuffer(u"after.bin", after.data(), int32_t(after.size()), faArchive, 0);
    a.EndUpdate();
    a.AddFromString(u"appended.txt", FromUtf8(appended), faArchive, 0);
    a.CloseArchive();
  }
  EXPECT_GT(fs::file_size(path), uint64_t(zeroSize));
  const auto offsets = CheckHugeWithPeers(path,
                                          {{"zeros.bin", "zeros:" + std::to_string(zeroSize)},
                                           {"after.bin", after},
                                           {"appended.txt", appended}},
                                          "after.bin appended.txt");
  if (offsets.count("appended.txt")) {
    EXPECT_GT(offsets.at("after.bin"), uint64_t(zeroSize));
    EXPECT_GT(offsets.at("appended.txt"), offsets.at("after.bin"));
  }
}

}  // namespace
}  // namespace kelvane
