// Split sets the engine writes, as 7zz reads them: every volume within its
// limit, and the items extracted to exactly the bytes added (larger than a
// volume, deflated and stored, PKZIP classic and AES, Zip64 records); and a
// set that zip splits, as the engine reads it. (zip's own joining, "zip -s 0",
// is no judge: it cuts stored items larger than a volume in the sets zip
// splits itself.)
#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>

#include "PeerTools.h"
#include "TempDir.h"
#include "engine/Kelvane.h"
#include "platform/FileSystem.h"
#include "platform/Text.h"

namespace kelvane {
namespace {

using namespace test;
namespace fs = std::filesystem;

constexpr int64_t kVolume = 64 * 1024;
constexpr const char* kPassword = "pass word";

using TTree = std::map<std::string, std::string>;

TTree FilesBelow(const fs::path& root) {
  TTree tree;
  for (const auto& e : fs::recursive_directory_iterator(root))
    if (e.is_regular_file()) tree[e.path().lexically_relative(root).generic_string()] = ReadFile(e);
  return tree;
}

struct TItem {
  std::string Name;
  std::string Data;
  bool Encrypted;
};

std::vector<TItem> SampleItems() {
  std::string text;
  for (int i = 0; text.size() < 150000; ++i)
    text += "line " + std::to_string(i) + " of a text that deflates well\n";
  return {
      {"small.txt", "hello", false}, {"big/noise.bin", Noise(200000, 7), false},
      {"big/text.txt", text, false}, {"secret/aes.bin", Noise(90000, 8), true},
      {"empty.dat", "", false},
  };
}

struct TSetCase {
  const char* Label;
  TZip64Mode Zip64;
  TKelCryptoAlgorithm Cipher;
  uint8_t Mode;
};

void WriteSet(const fs::path& archive, const TSetCase& c, const std::vector<TItem>& items) {
  TKelvane a(nullptr);
  a.SetFileName(FromUtf8(archive.string()));
  a.SetSpanningMode(smSplitting);
  a.SpanningOptions().SetVolumeSize(vsCustom);
  a.SpanningOptions().SetCustomVolumeSize(kVolume);
  a.SetZip64Mode(c.Zip64);
  a.SetEncryptionMethod(c.Cipher);
  a.SetCompressionMode(c.Mode);
  a.OpenArchive();
  a.BeginUpdate();
  for (const TItem& item : items) {
    a.SetPassword(item.Encrypted ? kPassword : "");
    a.AddFromBuffer(FromUtf8(item.Name), item.Data.data(), static_cast<int32_t>(item.Data.size()),
                    faArchive, 0);
  }
  a.EndUpdate();
  a.CloseArchive();
}

TEST(SplitSetInterop, PeersReadTheSetToTheBytesAdded) {
  if (!HasTool("7zz")) GTEST_SKIP() << "7zz is not installed";
  const TSetCase cases[] = {
      {"deflated, AES", zmAuto, caAES_256, 6},
      {"stored, PKZIP classic", zmAuto, caPkzipClassic, 0},
      {"Zip64 records", zmAlways, caAES_128, 1},
  };
  const std::vector<TItem> items = SampleItems();
  TTree expected;
  for (const TItem& item : items)
    expected[item.Name] = item.Data;
  for (const TSetCase& c : cases) {
    SCOPED_TRACE(c.Label);
    test::TempDir dir;
    const fs::path set = dir.Root() / "set";
    fs::create_directories(set);
    WriteSet(set / "data.zip", c, items);
    size_t volumes = 0;
    for (const auto& e : fs::directory_iterator(set)) {
      ++volumes;
      EXPECT_LE(static_cast<int64_t>(fs::file_size(e)), kVolume) << e.path();
    }
    EXPECT_GE(volumes, 5u);
    EXPECT_TRUE(fs::exists(set / "data.z01"));

    const std::string archive = Quote((set / "data.zip").string());
    const auto [testStatus, testOut] = RunShell("7zz t -p" + Quote(kPassword) + " " + archive);
    EXPECT_EQ(testStatus, 0) << testOut;
    EXPECT_NE(testOut.find("Everything is Ok"), std::string::npos) << testOut;
    EXPECT_EQ(testOut.find("Warning"), std::string::npos) << testOut;
    const fs::path out = dir.Root() / "out-7zz";
    const auto [status, log] = RunShell("7zz x -y -bd -p" + Quote(kPassword) + " -o" +
                                        Quote(out.string()) + " " + archive);
    EXPECT_EQ(status, 0) << log;
    EXPECT_EQ(FilesBelow(out), expected);
  }
}

TEST(SplitSetInterop, TheEngineReadsASetZipSplit) {
  if (!HasTool("zip")) GTEST_SKIP() << "zip is not installed";
  test::TempDir dir;
  const std::string noise = Noise(180000, 3);
  std::ofstream(dir.NativePath("n.bin"), std::ios::binary) << noise;
  const auto [status, log] =
      RunShell("cd " + Quote(dir.Root().string()) + " && zip -q -s 64k set.zip n.bin");
  ASSERT_EQ(status, 0) << log;
  ASSERT_TRUE(fs::exists(dir.Root() / "set.z02"));
  TKelvane a(nullptr);
  a.SetFileName(dir.Path(u"set.zip"));
  a.OpenArchive(fmOpenRead | fmShareDenyNone);
  EXPECT_EQ(a.SpanningMode(), smSplitting);
  TMemoryStream out;
  a.ExtractToStream(u"n.bin", out);
  EXPECT_EQ(std::string(out.Bytes().begin(), out.Bytes().end()), noise);
}

}  // namespace
}  // namespace kelvane
