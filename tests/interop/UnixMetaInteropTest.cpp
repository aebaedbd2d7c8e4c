// Unix metadata between us and other tools: a tree we add comes out of unzip,
// 7zz and bsdtar with the same bytes, times, executable bits and links, and a
// tree that zip stores comes out of our extraction the same way.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

#include "TempDir.h"
#include "engine/Kelvane.h"

namespace kelvane {
namespace {

namespace fs = std::filesystem;

// 2021-03-04 05:06:07 UTC: an odd second, which a DOS time cannot hold.
constexpr int64_t kTime = 1614834367;

class TAddProbe : public TKelvane {
 public:
  using TKelBaseArchiver::AddOneFile;
  using TKelvane::TKelvane;
};

bool Found(const std::string& tool) {
  return std::system(("command -v " + tool + " >/dev/null 2>&1").c_str()) == 0;
}

std::string Quoted(const std::string& s) {
  std::string q = "'";
  for (char c : s)
    q += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return q + "'";
}

std::string ReadFile(const fs::path& path) {
  std::ifstream f(path, std::ios::binary);
  std::stringstream s;
  s << f.rdbuf();
  return s.str();
}

// Each entry below Root: a folder as "dir", a link as "-> target", a file as
// its permission bits, its time and its bytes. Times of folders and links are
// left out: not every tool sets them.
std::map<std::string, std::string> Tree(const fs::path& root) {
  std::map<std::string, std::string> tree;
  for (const auto& e : fs::recursive_directory_iterator(root)) {
    const std::string name = e.path().lexically_relative(root).string();
    struct stat st {};
    ::lstat(e.path().c_str(), &st);
    if (S_ISLNK(st.st_mode))
      tree[name] = "-> " + fs::read_symlink(e.path()).string();
    else if (S_ISDIR(st.st_mode))
      tree[name] = "dir";
    else
      tree[name] = std::to_string(st.st_mode & 07777) + " " + std::to_string(st.st_mtime) + " " +
                   ReadFile(e.path());
  }
  return tree;
}

class UnixMetaInterop : public ::testing::Test {
 protected:
  fs::path Src() const { return FDir.Root() / "src"; }

  // A script, a read-only file, a private one, a name beyond ASCII, a folder,
  // links to a file and to a folder; the files have the time kTime.
  void MakeTree() {
    fs::create_directories(Src() / "sub");
    const struct {
      const char* Name;
      const char* Data;
      mode_t Mode;
    } files[] = {{"run.sh", "#!/bin/sh\necho hi\n", 0755},
                 {"ro.txt", "read only", 0444},
                 {"priv.txt", "private", 0600},
                 {"sub/ñandú.txt", "ñ", 0644}};
    for (const auto& f : files) {
      std::ofstream(Src() / f.Name, std::ios::binary) << f.Data;
      ::chmod((Src() / f.Name).c_str(), f.Mode);
      const struct timespec times[2] = {{kTime, 0}, {kTime, 0}};
      ::utimensat(AT_FDCWD, (Src() / f.Name).c_str(), times, 0);
    }
    fs::create_symlink("run.sh", Src() / "link");
    fs::create_symlink("sub", Src() / "sublink");
  }

  // Extracts Zip with Command (the archive and the folder quoted in) into a
  // new folder; false when the tool failed.
  bool Extract(const std::string& command, const fs::path& zip, const fs::path& out) {
    fs::create_directories(out);
    const std::string line = command + " " + Quoted(zip.string()) + " " + Quoted(out.string());
    return std::system((line + " >/dev/null 2>&1").c_str()) == 0;
  }

  test::TempDir FDir;
};

TEST_F(UnixMetaInterop, ATreeWeAddIsWhatOtherToolsExtract) {
  MakeTree();
  const fs::path zip = FDir.Root() / "ours.zip";
  {
    TAddProbe a(nullptr);
    a.SetFileName(FromUtf8(zip.string()));
    a.OpenArchive();
    a.BeginUpdate();
    for (const char* name :
         {"run.sh", "ro.txt", "priv.txt", "sub/", "sub/ñandú.txt", "link", "sublink"})
      ASSERT_GE(a.AddOneFile(FromUtf8((Src() / name).string()), FromUtf8(Src().string() + "/"), 0,
                             0, true),
                0)
          << name;
    a.EndUpdate();
  }
  const std::map<std::string, std::string> expected = Tree(Src());
  ASSERT_EQ(expected.at("run.sh").substr(0, 4), "493 ");  // 0755

  const struct {
    const char* Tool;
    std::string Command;  // followed by the archive and the destination
  } tools[] = {
      {"unzip", "sh -c 'unzip -q \"$0\" -d \"$1\"'"},
      {"7zz", "sh -c '7zz x -snl -y \"$0\" -o\"$1\"'"},
      {"bsdtar", "sh -c 'bsdtar -xf \"$0\" -C \"$1\"'"},
  };
  int ran = 0;
  for (const auto& t : tools) {
    if (!Found(t.Tool)) continue;
    const fs::path out = FDir.Root() / t.Tool;
    ASSERT_TRUE(Extract(t.Command, zip, out)) << t.Tool;
    EXPECT_EQ(Tree(out), expected) << t.Tool;
    ++ran;
  }

  TKelvane back(nullptr);
  back.SetFileName(FromUtf8(zip.string()));
  back.OpenArchive(fmOpenRead | fmShareDenyNone);
  back.SetBaseDir(FromUtf8((FDir.Root() / "ours").string()));
  back.ExtractFiles(u"*.*", KelAllItemsAttr, u"");
  EXPECT_EQ(Tree(FDir.Root() / "ours"), expected);
  if (ran == 0) GTEST_SKIP() << "none of unzip, 7zz and bsdtar is installed";
}

TEST_F(UnixMetaInterop, ATreeZipStoresIsWhatWeExtract) {
  if (!Found("zip")) GTEST_SKIP() << "zip is not installed";
  MakeTree();
  const fs::path zip = FDir.Root() / "theirs.zip";
  ASSERT_EQ(std::system(("cd " + Quoted(Src().string()) + " && zip -qry " + Quoted(zip.string()) +
                         " . >/dev/null 2>&1")
                            .c_str()),
            0);
  TKelvane back(nullptr);
  back.SetFileName(FromUtf8(zip.string()));
  back.OpenArchive(fmOpenRead | fmShareDenyNone);
  back.SetBaseDir(FromUtf8((FDir.Root() / "ours").string()));
  back.ExtractFiles(u"*.*", KelAllItemsAttr, u"");
  EXPECT_EQ(Tree(FDir.Root() / "ours"), Tree(Src()));
}

}  // namespace
}  // namespace kelvane
