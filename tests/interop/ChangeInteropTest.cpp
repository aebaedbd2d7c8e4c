// Deleting, renaming and changing comments as other tools see the result:
// python's zipfile reads every name, comment and byte, unzip lists the names
// and tests the archive clean, bsdtar lists the names; after each change, on
// an archive of ours and on one made by zip.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>

#include "TempDir.h"
#include "engine/Kelvane.h"
#include "platform/FileSystem.h"
#include "platform/Text.h"

namespace kelvane {
namespace {

// Runs a shell command in a UTF-8 locale, returning its exit status and what
// it printed.
std::pair<int, std::string> RunCommand(const std::string& cmd) {
  std::string out;
  FILE* pipe = popen(("LC_ALL=C.UTF-8 " + cmd + " 2>&1").c_str(), "r");
  if (!pipe) return {-1, out};
  std::array<char, 4096> buf;
  while (size_t n = fread(buf.data(), 1, buf.size(), pipe))
    out.append(buf.data(), n);
  const int status = pclose(pipe);
  return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, out};
}

bool Installed(const std::string& tool) {
  return std::system(("command -v " + tool + " >/dev/null 2>&1").c_str()) == 0;
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  size_t start = 0;
  for (size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1)
    lines.push_back(text.substr(start, end - start));
  if (start < text.size()) lines.push_back(text.substr(start));
  return lines;
}

struct TExpected {
  std::string Data;
  std::string Comment;
};

// What python's zipfile reads: one line per item (name, comment, data in
// hex), then the archive comment; every item's CRC is checked on the way.
const char* const PythonListing =
    "import sys, zipfile\n"
    "z = zipfile.ZipFile(sys.argv[1])\n"
    "for i in z.infolist():\n"
    "  print(i.filename, i.comment.decode('latin-1'), z.read(i).hex(), sep='\\t')\n"
    "print('archive comment:', z.comment.decode('latin-1'))\n";

std::string Hex(const std::string& data) {
  static const char digits[] = "0123456789abcdef";
  std::string out;
  for (const unsigned char c : data) {
    out += digits[c >> 4];
    out += digits[c & 15];
  }
  return out;
}

class ChangeInteropTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* tool : {"python3", "unzip", "bsdtar"})
      if (!Installed(tool)) GTEST_SKIP() << tool << " is not installed";
    std::ofstream(FDir.NativePath("script.py")) << PythonListing;
  }

  // Names in directory order as each peer sees them, the data and comments
  // as python reads them, and a clean test by unzip. unzip reads a flagged
  // UTF-8 name of an item made on a Windows host (as the engine's items from
  // memory are) through the OEM code page: with UnzipNamesAsciiOnly it is
  // shown only the ASCII names.
  void ExpectPeersSee(const std::vector<std::pair<std::string, TExpected>>& items,
                      const std::string& archiveComment, bool UnzipNamesAsciiOnly = false) {
    std::vector<std::string> names;
    std::string listing;
    for (const auto& [name, e] : items) {
      names.push_back(name);
      listing += name + "\t" + e.Comment + "\t" + Hex(e.Data) + "\n";
    }
    listing += "archive comment: " + archiveComment + "\n";
    const auto [pyStatus, pyOut] =
        RunCommand("python3 '" + FDir.NativePath("script.py") + "' '" + FNative + "'");
    EXPECT_EQ(pyStatus, 0) << pyOut;
    EXPECT_EQ(pyOut, listing);

    const auto [listStatus, listOut] = RunCommand("unzip -Z1 '" + FNative + "'");
    EXPECT_EQ(listStatus, 0) << listOut;
    const std::vector<std::string> unzipNames = Lines(listOut);
    ASSERT_EQ(unzipNames.size(), names.size()) << listOut;
    for (size_t i = 0; i < names.size(); ++i) {
      const bool ascii = std::all_of(names[i].begin(), names[i].end(),
                                     [](char c) { return static_cast<unsigned char>(c) < 0x80; });
      if (ascii || !UnzipNamesAsciiOnly) {
        EXPECT_EQ(unzipNames[i], names[i]);
      }
    }
    const auto [testStatus, testOut] = RunCommand("unzip -t '" + FNative + "'");
    EXPECT_EQ(testStatus, 0) << testOut;
    EXPECT_NE(testOut.find("No errors detected"), std::string::npos) << testOut;

    const auto [tarStatus, tarOut] = RunCommand("bsdtar -tf '" + FNative + "'");
    EXPECT_EQ(tarStatus, 0) << tarOut;
    EXPECT_EQ(Lines(tarOut), names);
  }

  void Reopen() {
    a.CloseArchive();
    a.OpenArchive();
  }

  test::TempDir FDir;
  UString FPath = FDir.Path(u"data.zip");
  std::string FNative = FDir.NativePath("data.zip");
  TKelvane a{nullptr};
};

TEST_F(ChangeInteropTest, ChangesToAnArchiveOfOursAreSeenByOtherTools) {
  const std::string big(200000, 'b');
  a.SetFileName(FPath);
  a.SetCompressionMode(6);
  a.OpenArchive();
  a.BeginUpdate();
  a.AddFromBuffer(u"docs/", nullptr, 0, faDirectory, 0);
  for (const auto& [name, data] :
       std::vector<std::pair<UString, std::string>>{{u"docs/a.txt", "alpha"},
                                                    {u"docs/docs/docs.txt", big},
                                                    {u"b.txt", "beta"},
                                                    {u"c.txt", "gamma"}})
    a.AddFromBuffer(name, data.data(), static_cast<int32_t>(data.size()), faArchive, 0);
  a.EndUpdate();

  a.DeleteFiles(u"c.txt", KelAllItemsAttr, u"");
  ExpectPeersSee({{"docs/", {}},
                  {"docs/a.txt", {"alpha", ""}},
                  {"docs/docs/docs.txt", {big, ""}},
                  {"b.txt", {"beta", ""}}},
                 "");

  Reopen();
  a.RenameFile(u"docs", u"r\u00e9sum\u00e9s \u65e5\u672c");
  const std::string folder = "r\xc3\xa9sum\xc3\xa9s \xe6\x97\xa5\xe6\x9c\xac/";
  ExpectPeersSee({{folder, {}},
                  {folder + "a.txt", {"alpha", ""}},
                  {folder + "docs/docs.txt", {big, ""}},
                  {"b.txt", {"beta", ""}}},
                 "", true);

  Reopen();
  a.BeginUpdate();
  a.ChangeFilesComment(u"b.txt", "item note");
  a.SetComment("archive note");
  a.EndUpdate();
  ExpectPeersSee({{folder, {}},
                  {folder + "a.txt", {"alpha", ""}},
                  {folder + "docs/docs.txt", {big, ""}},
                  {"b.txt", {"beta", "item note"}}},
                 "archive note", true);
}

TEST_F(ChangeInteropTest, ChangesToAnArchiveMadeByZipAreSeenByOtherTools) {
  if (!Installed("zip")) GTEST_SKIP() << "zip is not installed";
  const std::string src = FDir.NativePath("src");
  const auto [mkStatus, mkOut] = RunCommand(
      "mkdir -p '" + src + "/dir/sub' && cd '" + src +
      "' && printf one > dir/one.txt && printf two > dir/sub/two.txt && "
      "printf three > three.txt && zip -q -r '" +
      FNative + "' three.txt dir && printf 'first\\n' | zip -q -c '" + FNative + "' three.txt");
  ASSERT_EQ(mkStatus, 0) << mkOut;
  a.SetFileName(FPath);
  a.OpenArchive();

  a.RenameFile(u"dir", u"d\u00eer");
  const std::string folder = "d\xc3\xaer/";
  ExpectPeersSee({{"three.txt", {"three", "first"}},
                  {folder, {}},
                  {folder + "one.txt", {"one", ""}},
                  {folder + "sub/", {}},
                  {folder + "sub/two.txt", {"two", ""}}},
                 "");

  Reopen();
  a.DeleteFiles(u"one.txt", KelAllItemsAttr, u"");
  a.ChangeFilesComment(u"two.txt", "second");
  ExpectPeersSee({{"three.txt", {"three", "first"}},
                  {folder, {}},
                  {folder + "sub/", {}},
                  {folder + "sub/two.txt", {"two", "second"}}},
                 "");
}

}  // namespace
}  // namespace kelvane
