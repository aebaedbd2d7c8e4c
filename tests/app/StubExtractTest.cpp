// The terminal stub in batch mode on archives made by other tools: the source
// tree comes back exactly; existing files and missing passwords are reported.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <sstream>

#include "TempDir.h"

namespace kelvane {
namespace {

namespace fs = std::filesystem;

const std::string kPassword = "pw-Secret 1";

std::string ReadFile(const fs::path& path) {
  std::ifstream f(path, std::ios::binary);
  std::stringstream s;
  s << f.rdbuf();
  return s.str();
}

void WriteFile(const fs::path& path, const std::string& data) {
  fs::create_directories(path.parent_path());
  std::ofstream(path, std::ios::binary) << data;
}

std::string Quoted(const std::string& s) {
  std::string q = "'";
  for (char c : s)
    q += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return q + "'";
}

bool Found(const std::string& tool) {
  return std::system(("command -v " + tool + " >/dev/null 2>&1").c_str()) == 0;
}

// Every entry below Root: "d" for a folder, else the file's bytes.
std::map<std::string, std::string> Tree(const fs::path& root) {
  std::map<std::string, std::string> tree;
  for (const auto& e : fs::recursive_directory_iterator(root))
    tree[fs::relative(e.path(), root).string()] = e.is_directory() ? "d" : ReadFile(e.path());
  return tree;
}

struct TResult {
  int Status = -1;
  std::string Out, Err;
};

class StubExtract : public ::testing::Test {
 protected:
  test::TempDir dir;
  fs::path src = dir.Root() / "src";

  // Folders (one empty), an empty file, text, random bytes, a blank in a name;
  // Utf8: a name beyond ASCII too (for tools that mark UTF-8 names).
  void MakeSource(bool utf8) {
    std::mt19937 random(7);
    std::string bytes(300000, '\0');
    for (char& c : bytes)
      c = char(random());
    std::string text;
    for (int i = 0; i < 20000; ++i)
      text += std::to_string(i) + " línea\n";
    WriteFile(src / "readme.txt", "hola\n");
    WriteFile(src / "dir/empty.txt", "");
    WriteFile(src / "dir/with space.txt", text);
    WriteFile(src / "dir/sub/random.bin", bytes);
    fs::create_directories(src / "empty");
    if (utf8) WriteFile(src / "ñandú.txt", "ñ\n");
  }

  // Runs Command in the source folder to make Zip; false when it failed.
  bool Pack(const std::string& command, const fs::path& zip) {
    return std::system(("cd " + Quoted(src.string()) + " && " + command + " " +
                        Quoted(zip.string()) + " . >/dev/null 2>&1")
                           .c_str()) == 0;
  }

  // The stub with Zip appended, executable, in its own folder.
  fs::path Setup(const fs::path& zip) {
    const fs::path setup = dir.Root() / "gift" / "setup";
    WriteFile(setup, ReadFile(KELVANE_SFX_CLI) + ReadFile(zip));
    fs::permissions(setup, fs::perms::owner_all);
    return setup;
  }

  // No terminal: standard input from /dev/null.
  TResult Run(const fs::path& setup, const std::string& args) {
    const std::string out = dir.NativePath("stdout"), err = dir.NativePath("stderr");
    const int raw = std::system(
        (Quoted(setup.string()) + " " + args + " </dev/null >" + Quoted(out) + " 2>" + Quoted(err))
            .c_str());
    return {WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, ReadFile(out), ReadFile(err)};
  }

  std::string PasswordFile() {
    const std::string path = dir.NativePath("password");
    WriteFile(path, kPassword + "\n");
    return path;
  }
};

TEST_F(StubExtract, RecreatesTheTreesOfZipAnd7z) {
  std::string sevenZip = Found("7zz") ? "7zz" : Found("7z") ? "7z" : "";
  const struct {
    const char* What;
    std::string Tool;
    std::string Command;
    bool Utf8Names;
  } table[] = {
      {"zip, stored", "zip", "zip -qr -0", false},
      {"zip, deflated", "zip", "zip -qr -9", false},
      {"zip, PKZIP classic", "zip", "zip -qr -P " + Quoted(kPassword), false},
      {"7z, stored", sevenZip, sevenZip + " a -tzip -mx0", true},
      {"7z, deflated", sevenZip, sevenZip + " a -tzip -mx9", true},
      {"7z, PKZIP classic", sevenZip, sevenZip + " a -tzip -mem=ZipCrypto -p" + Quoted(kPassword),
       true},
      {"7z, AES-256", sevenZip, sevenZip + " a -tzip -mem=AES256 -p" + Quoted(kPassword), true},
  };
  int ran = 0;
  for (const auto& row : table) {
    if (row.Tool.empty() || !Found(row.Tool)) continue;
    fs::remove_all(src);
    fs::remove_all(dir.Root() / "gift");
    MakeSource(row.Utf8Names);
    const fs::path zip = dir.Root() / "made.zip";
    fs::remove(zip);
    ASSERT_TRUE(Pack(row.Command, zip)) << row.What;
    const fs::path out = dir.Root() / "gift" / "out";
    const TResult run =
        Run(Setup(zip), "--dest " + Quoted(out.string()) + " --password-file " + PasswordFile());
    EXPECT_EQ(run.Status, 0) << row.What << ": " << run.Err;
    EXPECT_EQ(run.Err, "") << row.What;
    EXPECT_EQ(Tree(out), Tree(src)) << row.What;
    EXPECT_NE(run.Out.find("dir/sub/random.bin\n"), std::string::npos) << row.What << run.Out;
    // Times come back to the two seconds that DOS times hold.
    const auto shift = fs::last_write_time(out / "dir/with space.txt") -
                       fs::last_write_time(src / "dir/with space.txt");
    EXPECT_LE(std::chrono::abs(shift), std::chrono::seconds(2)) << row.What;
    ++ran;
  }
  if (ran == 0) GTEST_SKIP() << "neither zip nor 7z is installed";
}

TEST_F(StubExtract, AnInstallerScriptStaysExecutableAndALinkStaysALink) {
  if (!Found("zip")) GTEST_SKIP() << "zip is needed to make the archive";
  MakeSource(false);
  WriteFile(src / "install.sh", "#!/bin/sh\necho installed\n");
  fs::permissions(src / "install.sh", fs::perms::owner_all | fs::perms::group_read |
                                          fs::perms::group_exec | fs::perms::others_read |
                                          fs::perms::others_exec);
  fs::create_symlink("install.sh", src / "setup.sh");
  const fs::path zip = dir.Root() / "made.zip";
  ASSERT_TRUE(Pack("zip -qry", zip));
  const fs::path out = dir.Root() / "out";
  const TResult run = Run(Setup(zip), "--dest " + Quoted(out.string()));
  EXPECT_EQ(run.Status, 0) << run.Err;
  EXPECT_EQ(fs::status(out / "install.sh").permissions(),
            fs::status(src / "install.sh").permissions());
  EXPECT_EQ(ReadFile(out / "install.sh"), ReadFile(src / "install.sh"));
  EXPECT_TRUE(fs::is_symlink(out / "setup.sh"));
  EXPECT_EQ(fs::read_symlink(out / "setup.sh"), "install.sh");
  EXPECT_EQ(std::system(Quoted((out / "setup.sh").string()).c_str()), 0)
      << "the script runs as it was packed, through its link";
}

TEST_F(StubExtract, WithoutATerminalExistingFilesAreKeptAndTheStatusSaysSo) {
  if (!Found("zip")) GTEST_SKIP() << "zip is needed to make the archive";
  MakeSource(false);
  const fs::path zip = dir.Root() / "made.zip";
  ASSERT_TRUE(Pack("zip -qr", zip));
  const fs::path setup = Setup(zip);
  const fs::path out = dir.Root() / "out";
  WriteFile(out / "readme.txt", "mine\n");
  WriteFile(out / "dir/empty.txt", "mine too\n");

  TResult run = Run(setup, "--dest " + Quoted(out.string()));
  EXPECT_EQ(run.Status, 1);
  EXPECT_EQ(run.Err, "setup: 2 items were not extracted (2 kept)\n");
  EXPECT_NE(run.Out.find("  readme.txt  (kept)\n"), std::string::npos) << run.Out;
  EXPECT_EQ(ReadFile(out / "readme.txt"), "mine\n");
  EXPECT_EQ(ReadFile(out / "dir/empty.txt"), "mine too\n");
  EXPECT_EQ(ReadFile(out / "dir/sub/random.bin"), ReadFile(src / "dir/sub/random.bin"))
      << "the others are extracted";

  run = Run(setup, "--dest " + Quoted(out.string()) + " --overwrite");
  EXPECT_EQ(run.Status, 0) << run.Err;
  EXPECT_EQ(Tree(out), Tree(src));
}

TEST_F(StubExtract, WithoutATerminalAWrongPasswordSkipsTheItems) {
  if (!Found("zip")) GTEST_SKIP() << "zip is needed to make the archive";
  MakeSource(false);
  const fs::path zip = dir.Root() / "made.zip";
  ASSERT_TRUE(Pack("zip -qr -P " + Quoted(kPassword), zip));
  WriteFile(dir.Root() / "wrong", "not it\n");
  const fs::path out = dir.Root() / "out";
  const TResult run = Run(Setup(zip), "--dest " + Quoted(out.string()) + " --password-file " +
                                          Quoted(dir.NativePath("wrong")));
  EXPECT_EQ(run.Status, 1);
  // The one-byte header check lets a wrong password through for about one item
  // in 256; such an item then fails its CRC instead of being skipped. Either way
  // nothing of it is written.
  EXPECT_EQ(run.Err.rfind("setup: 4 items were not extracted (", 0), 0u) << run.Err;
  EXPECT_NE(run.Err.find("skipped for want of a password"), std::string::npos) << run.Err;
  if (fs::exists(out)) {
    for (const auto& entry : fs::recursive_directory_iterator(out)) {
      EXPECT_FALSE(entry.is_regular_file()) << entry.path();
    }
  }
}

TEST_F(StubExtract, TestFindsADamagedItemAndListsTheGoodOnes) {
  if (!Found("zip")) GTEST_SKIP() << "zip is needed to make the archive";
  MakeSource(false);
  const fs::path zip = dir.Root() / "made.zip";
  ASSERT_TRUE(Pack("zip -qr -0", zip));
  fs::path setup = Setup(zip);
  TResult run = Run(setup, "--test");
  EXPECT_EQ(run.Status, 0) << run.Err;
  EXPECT_NE(run.Out.find("No errors found.\n"), std::string::npos) << run.Out;

  // Flip a byte inside the stored text: its CRC no longer fits.
  std::string image = ReadFile(setup);
  const size_t at = image.find("19999 l");
  ASSERT_NE(at, std::string::npos);
  image[at] = '9' + 1;
  WriteFile(setup, image);
  run = Run(setup, "--test");
  EXPECT_EQ(run.Status, 1);
  EXPECT_NE(run.Err.find("1 item was not tested good (1 failed: "), std::string::npos) << run.Err;
  EXPECT_NE(run.Out.find("  dir/sub/random.bin\n"), std::string::npos) << run.Out;
}

}  // namespace
}  // namespace kelvane
