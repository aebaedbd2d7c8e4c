// Archives made of raw local headers and a directory from SaveDir, handed to
// other readers: python's zipfile (which also checks every item's CRC), and
// unzip and 7-Zip's listers when they are installed.
#include <sys/wait.h>

#include <cstdlib>
#include <fstream>

#include "DirManagerTestSupport.h"
#include "TempDir.h"
#include "container/KelNames.h"

namespace kelvane::test {
namespace {

bool Have(const std::string& tool) {
  return std::system(("command -v " + tool + " >/dev/null 2>&1").c_str()) == 0;
}

int RunQuietly(const std::string& command) {
  const int status = std::system((command + " >/dev/null 2>&1").c_str());
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

struct TPeerItem {
  std::u16string Name;
  std::string Data;
  uint32_t Attr = KelAttrArchive;
  std::string Comment;
};

struct TPeerCase {
  const char* Label;
  std::vector<TPeerItem> Items;
  std::string Stub;
  std::string Comment;
  bool HugeOffsets = false;  // local header offsets in the Zip64 field
};

void PrintTo(const TPeerCase& c, std::ostream* os) {
  *os << c.Label;
}

// Stored items: local header, name, data; then SaveDir. Returns the path.
std::string WriteArchive(const TempDir& dir, const TPeerCase& c) {
  const std::string path = dir.NativePath(std::string(c.Label) + ".zip");
  TFileStream file(FromUtf8(path), fmCreate);
  if (!c.Stub.empty()) file.WriteBuffer(c.Stub.data(), static_cast<int64_t>(c.Stub.size()));
  TFakeHost host(&file);
  host.Oem = false;
  TKelDirManager dm(&file, false, &host);
  dm.CDir.SetCount(static_cast<int32_t>(c.Items.size()));
  for (size_t i = 0; i < c.Items.size(); ++i) {
    const TPeerItem& it = c.Items[i];
    uint16_t flag = 0;
    const AnsiString name = ItemNameToBytes(it.Name, flag, false);
    const uint32_t crc = Crc32Of(it.Data.data(), it.Data.size());
    const auto offset = static_cast<uint32_t>(file.Position());
    TKelZipLocalFileHeader local;
    local.signature = KelLocalFileHeaderSig;
    local.extractVersion = 20;
    local.genPurposeFlag = flag;
    local.lastModTime = 0x6DB0;
    local.lastModDate = 0x58B1;
    local.crc32 = crc;
    local.compSize = local.unCompSize = static_cast<uint32_t>(it.Data.size());
    local.nameLength = static_cast<uint16_t>(name.size());
    WriteRecord(file, local);
    file.WriteBuffer(name.data(), static_cast<int64_t>(name.size()));
    if (!it.Data.empty()) file.WriteBuffer(it.Data.data(), static_cast<int64_t>(it.Data.size()));

    TDirItem& item = dm.CDir.GetItemPtr(static_cast<int32_t>(i));
    TKelZipCentralDir& cd = item.CentralDir;
    cd.signature = KelCentralFileHeaderSig;
    cd.versionMadeBy = cd.extractVersion = c.HugeOffsets ? KelVersionZip64 : 20;
    cd.genPurposeFlag = flag;
    cd.lastModTime = local.lastModTime;
    cd.lastModDate = local.lastModDate;
    cd.crc32 = crc;
    cd.compSize = cd.unCompSize = local.compSize;
    cd.externalAttr = it.Attr;
    cd.relOffsetLH = offset;
    if (c.HugeOffsets) {
      cd.relOffsetLH = KelZip64Escape32;
      item.EditZip64ExtInfo().relOffsetLH = offset;
      item.bHugeFile = true;
    }
    item.SetComment(it.Comment);
    dm.CDir.SetItemName(static_cast<int32_t>(i), it.Name);
  }
  dm.ArchiveComment = c.Comment;
  dm.SaveDir(true);
  return path;
}

TPeerItem Peer(std::u16string name, std::string data, uint32_t attr = KelAttrArchive,
               std::string comment = "") {
  return TPeerItem{std::move(name), std::move(data), attr, std::move(comment)};
}

TPeerCase Case(const char* label, std::vector<TPeerItem> items, std::string stub = "",
               std::string comment = "", bool hugeOffsets = false) {
  return TPeerCase{label, std::move(items), std::move(stub), std::move(comment), hugeOffsets};
}

std::vector<TPeerItem> ManyItems(int count) {
  std::vector<TPeerItem> items;
  for (int i = 0; i < count; ++i)
    items.push_back(Peer(FromUtf8("d" + std::to_string(i / 1000) + "/f" + std::to_string(i)),
                         std::to_string(i)));
  return items;
}

const std::vector<TPeerCase>& Cases() {
  static const std::vector<TPeerCase> cases = {
      Case("plain",
           {Peer(u"a.txt", "alpha\n"), Peer(u"b/c.txt", "gamma gamma\n"), Peer(u"empty.txt", "")}),
      Case("names_comments_folders",
           {Peer(u"folder/", "", KelAttrDirectory),
            Peer(u"folder/caf\u00e9.txt", "e acute\n", KelAttrArchive, "item comment"),
            Peer(u"\u03b1\u03b2\u03b3.txt", "greek\n")},
           "", "archive comment"),
      Case("behind_a_stub", {Peer(u"a.txt", "alpha\n"), Peer(u"b.txt", "beta\n")},
           std::string(4096, 'M')),
      Case("zip64_offsets", {Peer(u"a.txt", "alpha\n"), Peer(u"b.txt", "beta\n")}, "", "", true),
      Case("zip64_end_records", ManyItems(65535 + 10)),
  };
  return cases;
}

class DirWriterPeers : public ::testing::TestWithParam<TPeerCase> {};

TEST_P(DirWriterPeers, OtherReadersAcceptTheArchive) {
  const TPeerCase& c = GetParam();
  TempDir dir;
  const std::string path = WriteArchive(dir, c);
  if (!Have("python3")) GTEST_SKIP() << "python3 is not installed";
  const std::string check =
      "python3 -c 'import zipfile,sys; z=zipfile.ZipFile(sys.argv[1]); "
      "assert z.testzip() is None; assert len(z.infolist())==int(sys.argv[2]); "
      "assert z.comment==sys.argv[3].encode()' '" +
      path + "' " + std::to_string(c.Items.size()) + " '" + c.Comment + "'";
  EXPECT_EQ(RunQuietly(check), 0) << check;
  if (c.Items.size() < 100) {
    // The name bytes and UTF-8 flags python finds are those written.
    const std::string names =
        "python3 -c 'import zipfile,sys; print(\"|\".join(\"%s:%d\" % (i.orig_filename.encode("
        "\"utf-8\" if i.flag_bits & 0x800 else \"cp437\").hex(), i.flag_bits >> 11 & 1) for i in "
        "zipfile.ZipFile(sys.argv[1]).infolist()))' '" +
        path + "' > '" + dir.NativePath("names.txt") + "'";
    ASSERT_EQ(std::system(names.c_str()), 0);
    std::ifstream in(dir.NativePath("names.txt"));
    std::string listed;
    std::getline(in, listed);
    std::string expected;
    for (const TPeerItem& it : c.Items) {
      uint16_t flag = 0;
      std::string hex;
      for (unsigned char b : ItemNameToBytes(it.Name, flag, false)) {
        const char digits[] = "0123456789abcdef";
        hex += digits[b >> 4];
        hex += digits[b & 15];
      }
      expected += (expected.empty() ? "" : "|") + hex + ":" + (flag ? "1" : "0");
    }
    EXPECT_EQ(listed, expected);
  }
  if (Have("unzip")) {
    EXPECT_EQ(RunQuietly("unzip -l '" + path + "'"), 0);
  }
  for (const char* sevenZip : {"7z", "7zz"}) {
    if (!Have(sevenZip)) continue;
    EXPECT_EQ(RunQuietly(std::string(sevenZip) + " l '" + path + "'"), 0) << sevenZip;
    break;
  }
}

INSTANTIATE_TEST_SUITE_P(Archives, DirWriterPeers, ::testing::ValuesIn(Cases()),
                         [](const auto& info) { return std::string(info.param.Label); });

// A stub put in front of an archive, then the directory read and written back
// in place (the steps that make a self-extractor): every item, folders too,
// points at its own local header for readers that check them.
TEST(DirWriterPeersSfx, AnArchiveGivenAStubAndRewrittenIsWhole) {
  TempDir dir;
  const TPeerCase plain =
      Case("plain_for_stub", {Peer(u"folder/", "", KelAttrDirectory), Peer(u"folder/a.txt", "a\n"),
                              Peer(u"b.txt", "bb\n")});
  const std::string plainPath = WriteArchive(dir, plain);
  const std::string path = dir.NativePath("sfx.zip");
  {
    std::ifstream in(plainPath, std::ios::binary);
    std::ofstream out(path, std::ios::binary);
    out << std::string(5000, 'M') << in.rdbuf();
  }
  {
    TFileStream file(FromUtf8(path), fmOpenReadWrite);
    TFakeHost host(&file);
    TKelDirManager dm(&file, false, &host);
    dm.LoadDir();
    ASSERT_EQ(dm.StubSize, 5000);
    dm.SaveDir(false);
  }
  if (!Have("python3")) GTEST_SKIP() << "python3 is not installed";
  EXPECT_EQ(RunQuietly("python3 -c 'import zipfile,sys; "
                       "assert zipfile.ZipFile(sys.argv[1]).testzip() is None' '" +
                       path + "'"),
            0);
  if (Have("unzip")) {
    EXPECT_EQ(RunQuietly("unzip -tq '" + path + "'"), 0);
  }
}

}  // namespace
}  // namespace kelvane::test
