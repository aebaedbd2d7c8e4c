// kelvane extract and test on archives of other tools: the trees they
// recreate, what they verify, and how their failures show.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <zlib.h>

#include <ctime>
#include <filesystem>
#include <set>

#include "CliRun.h"

namespace kelvane::test {
namespace {

namespace fs = std::filesystem;

uint32_t FileCrc(const std::string& path) {
  const std::string data = ReadWhole(path);
  return static_cast<uint32_t>(
      crc32(0, reinterpret_cast<const Bytef*>(data.data()), static_cast<uInt>(data.size())));
}

uint32_t DosTimeOf(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return 0;
  std::tm t{};
  localtime_r(&st.st_mtime, &t);
  return (uint32_t(t.tm_year - 80) << 25) | (uint32_t(t.tm_mon + 1) << 21) |
         (uint32_t(t.tm_mday) << 16) | (uint32_t(t.tm_hour) << 11) | (uint32_t(t.tm_min) << 5) |
         uint32_t(t.tm_sec / 2);
}

size_t CountFiles(const std::string& root) {
  size_t n = 0;
  for (const auto& e : fs::recursive_directory_iterator(root))
    n += e.is_regular_file();
  return n;
}

std::vector<std::string> Extract(const std::string& archive, const std::string& dest,
                                 std::vector<std::string> more = {}) {
  std::vector<std::string> args = {"extract", archive, "-d", dest};
  if (NeedsPassword(archive)) args.insert(args.end(), {"--password", "secret"});
  args.insert(args.end(), more.begin(), more.end());
  return args;
}

TEST(CliExtract, RecreatesTheTreesOfOtherToolsArchives) {
  TFixtures& fx = TFixtures::Get();
  for (const std::string& archive : fx.Archives()) {
    if (archive == "python_many.zip") continue;  // its size only slows the run; tested below
    SCOPED_TRACE(archive);
    TempDir dir;
    const std::string dest = dir.NativePath("out");
    const TCliRun run = RunCli(Extract(fx.Path(archive), dest));
    ASSERT_EQ(run.Status, 0) << run.Err;
    EXPECT_EQ(run.Out, "");  // no terminal: nothing but what was asked for
    EXPECT_EQ(run.Err, "");
    size_t files = 0;
    for (const TFixtureItem& item : fx.Items(archive)) {
      const bool folder = item.Name.back() == '/';
      files += !folder;
      if (!NameIsPortable(item)) continue;
      SCOPED_TRACE(item.Name);
      const std::string path = dest + "/" + item.Name;
      if (folder) {
        EXPECT_TRUE(fs::is_directory(path));
        continue;
      }
      ASSERT_TRUE(fs::is_regular_file(path));
      EXPECT_EQ(fs::file_size(path), item.Size);
      // AES items (AE-2) store no CRC; their source file tells it.
      const bool noCrc = item.Crc == 0 && item.Size > 0;
      EXPECT_EQ(FileCrc(path), noCrc ? FileCrc(fx.Path("src/" + item.Name)) : item.Crc);
      EXPECT_EQ(DosTimeOf(path), item.DosDateTime);
    }
    EXPECT_EQ(CountFiles(dest), files);
  }
}

TEST(CliTest, VerifiesEveryItemOfOtherToolsArchives) {
  TFixtures& fx = TFixtures::Get();
  for (const std::string& archive : fx.Archives()) {
    SCOPED_TRACE(archive);
    std::vector<std::string> args = {"test", fx.Path(archive)};
    if (NeedsPassword(archive)) args.insert(args.end(), {"-p", "secret"});
    const TCliRun run = RunCli(args);
    EXPECT_EQ(run.Status, 0) << run.Out << run.Err;
    const size_t n = fx.Items(archive).size();
    EXPECT_EQ(run.Out, std::to_string(n) + (n == 1 ? " item" : " items") + " tested, all good\n");
  }
}

// Every failure exits non-zero with the engine's message and leaves no
// partial file behind.
TEST(CliExtract, FailuresExitNonZeroWithTheEnginesMessage) {
  TFixtures& fx = TFixtures::Get();
  TCliArchives& ca = TCliArchives::Get();
  struct TCase {
    std::string Name;
    std::vector<std::string> Args;  // "DEST" stands for the destination folder
    std::string Stream;             // "out" or "err": where the message must be
    std::string Message;
    std::vector<std::string> Absent = {}, Present = {};  // below DEST
  } cases[] = {
      {"missing archive",
       {"extract", "/nonexistent/a.zip", "-d", "DEST"},
       "err",
       "kelvane: File \"/nonexistent/a.zip\" not found - Native error: 00012"},
      {"missing archive, test",
       {"test", "/nonexistent/a.zip"},
       "err",
       "kelvane: File \"/nonexistent/a.zip\" not found - Native error: 00012"},
      {"not an archive",
       {"extract", fx.Path("manifest.tsv"), "-d", "DEST"},
       "err",
       "kelvane: Invalid archive file. - Native error: 00035"},
      {"wrong AES password",
       {"extract", fx.Path("7z_aes256.zip"), "-d", "DEST", "-p", "wrong"},
       "err",
       "kelvane: hello.txt: Invalid password. Cannot decompress encrypted file. - Native error: "
       "00067",
       {"hello.txt", "text.txt", "sub/deeper/nested.txt"},
       {"emptydir"}},
      {"no PKZIP password",
       {"extract", fx.Path("zip_pkzip.zip"), "-d", "DEST"},
       "err",
       "kelvane: text.txt: Invalid password. Cannot decompress encrypted file. - Native error: "
       "00067",
       {"hello.txt", "text.txt", "random.bin"},
       {"emptydir"}},
      {"wrong password, test",
       {"test", fx.Path("7z_aes128.zip"), "-p", "wrong"},
       "out",
       "FAILED  text.txt: Invalid password. Cannot decompress encrypted file."},
      {"damaged item",
       {"extract", ca.Path("damaged.zip"), "-d", "DEST"},
       "err",
       "kelvane: bad.txt: Invalid size or check sum of file or unsupported compression format - "
       "Native error: 00008",
       {"bad.txt"},
       {"good.txt", "after.txt"}},
      {"damaged item, test",
       {"test", ca.Path("damaged.zip")},
       "out",
       "FAILED  bad.txt: Invalid size or check sum of file or unsupported compression format - "
       "Native error: 00008\n3 items tested, 1 failed\n"},
  };
  for (TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    TempDir dir;
    const std::string dest = dir.NativePath("out");
    for (std::string& a : c.Args)
      if (a == "DEST") a = dest;
    const TCliRun run = RunCli(c.Args);
    EXPECT_EQ(run.Status, 1);
    const std::string& text = c.Stream == "out" ? run.Out : run.Err;
    EXPECT_NE(text.find(c.Message), std::string::npos) << text;
    for (const std::string& name : c.Absent)
      EXPECT_FALSE(fs::exists(dest + "/" + name)) << name;
    for (const std::string& name : c.Present)
      EXPECT_TRUE(fs::exists(dest + "/" + name)) << name;
  }
}

// A split set without its first volume: the volume is named, the items on
// the others still test good.
TEST(CliTest, AMissingVolumeIsNamed) {
  TFixtures& fx = TFixtures::Get();
  if (!fx.Has("zip_split.zip")) GTEST_SKIP() << "zip is not installed";
  TempDir dir;
  for (const char* ext : {".z02", ".z03", ".z04", ".z05", ".zip"})
    fs::copy_file(fx.Path(std::string("zip_split") + ext),
                  dir.NativePath(std::string("set") + ext));
  const TCliRun run = RunCli({"test", dir.NativePath("set.zip")});
  EXPECT_EQ(run.Status, 1);
  EXPECT_NE(run.Err.find("kelvane: volume " + dir.NativePath("set.z01") + " is missing"),
            std::string::npos)
      << run.Err;
  // empty.txt and text.txt begin on the missing volume.
  EXPECT_NE(run.Out.find("10 items tested, 2 failed"), std::string::npos) << run.Out;
  EXPECT_NE(run.Out.find("FAILED  text.txt: "), std::string::npos) << run.Out;
}

// A split set with one numbered part missing, whichever: the part is named
// on standard error, each item that needs it fails as a cancelled volume
// request, the exit status is 1, and the items on the other parts are
// extracted whole. The set holds text.txt from .z01 to .z04, the small items
// on .z04, and random.bin from .z04 through .z05 into the .zip.
TEST(CliExtract, AMissingPartOfASplitSetIsNamed) {
  TFixtures& fx = TFixtures::Get();
  if (!fx.Has("zip_split.zip")) GTEST_SKIP() << "zip is not installed";
  struct TCase {
    const char* Label;
    std::string Missing;  // extension of the missing part; empty: none
    std::set<std::string> Failing;
  } cases[] = {
      {"nothing missing", "", {}},
      {"the last numbered part", ".z05", {"random.bin"}},
      {"a middle part", ".z03", {"text.txt"}},
      {"the first part", ".z01", {"empty.txt", "text.txt"}},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Label);
    TempDir dir;
    for (const char* ext : {".z01", ".z02", ".z03", ".z04", ".z05", ".zip"})
      if (ext != c.Missing)
        fs::copy_file(fx.Path(std::string("zip_split") + ext),
                      dir.NativePath(std::string("set") + ext));
    const std::string dest = dir.NativePath("out");
    const TCliRun run = RunCli(Extract(dir.NativePath("set.zip"), dest));
    EXPECT_EQ(run.Out, "");
    if (c.Missing.empty()) {
      EXPECT_EQ(run.Status, 0) << run.Err;
      EXPECT_EQ(run.Err, "");
    } else {
      EXPECT_EQ(run.Status, 1);
      // Named as new volumes are named: in lower case.
      const std::string part = dir.NativePath("set.z" + c.Missing.substr(2));
      EXPECT_NE(run.Err.find("kelvane: volume " + part + " is missing\n"), std::string::npos)
          << run.Err;
      for (const std::string& item : c.Failing)
        EXPECT_NE(run.Err.find("kelvane: " + item +
                               ": Cannot open archive file. Opening aborted or invalid file - "
                               "Native error: 00045\n"),
                  std::string::npos)
            << run.Err;
      EXPECT_NE(
          run.Err.find("kelvane: " + std::to_string(c.Failing.size()) + " of 10 items failed"),
          std::string::npos)
          << run.Err;
    }
    size_t files = 0;
    for (const TFixtureItem& item : fx.Items("zip_split.zip")) {
      const bool folder = item.Name.back() == '/';
      files += !folder && !c.Failing.count(item.Name);
      if (!NameIsPortable(item)) continue;
      SCOPED_TRACE(item.Name);
      const std::string path = dest + "/" + item.Name;
      if (c.Failing.count(item.Name)) {
        EXPECT_FALSE(fs::exists(path));
      } else if (folder) {
        EXPECT_TRUE(fs::is_directory(path));
      } else {
        ASSERT_TRUE(fs::is_regular_file(path));
        EXPECT_EQ(FileCrc(path), item.Crc);
      }
    }
    EXPECT_EQ(CountFiles(dest), files);
  }
}

TEST(CliExtract, OverwriteModesDecideOnExistingFiles) {
  TFixtures& fx = TFixtures::Get();
  const std::string fresh = "Hello, world!\n";  // hello.txt in the archive, dated 2024
  const time_t old = 946684800;                 // 2000-01-01
  const time_t future = 1893456000;             // 2030-01-01
  struct TCase {
    std::vector<std::string> Option;
    time_t Existing;
    bool Replaced;
  } cases[] = {
      {{}, old, false},  // no terminal: never
      {{"--overwrite", "never"}, old, false},
      {{"--overwrite", "always"}, future, true},
      {{"--overwrite=newer"}, old, true},
      {{"--overwrite=newer"}, future, false},
      {{"--overwrite", "older"}, future, true},
      {{"--overwrite", "older"}, old, false},
      {{"--overwrite", "prompt"}, old, false},  // nobody to ask: No
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE((c.Option.empty() ? std::string("default") : c.Option.back()) + " " +
                 std::to_string(c.Existing));
    TempDir dir;
    const std::string dest = dir.NativePath("out");
    fs::create_directories(dest);
    const std::string existing = dest + "/hello.txt";
    std::ofstream(existing) << "old";
    fs::last_write_time(existing, fs::file_time_type::clock::now() +
                                      std::chrono::seconds(c.Existing - std::time(nullptr)));
    std::vector<std::string> args = Extract(fx.Path("python.zip"), dest, c.Option);
    args.push_back("hello.txt");
    const TCliRun run = RunCli(args);
    EXPECT_EQ(run.Status, 0) << run.Err;
    EXPECT_EQ(ReadWhole(existing), c.Replaced ? fresh : "old");
  }
}

TEST(CliExtract, MasksExclusionsAndFlatExtraction) {
  TFixtures& fx = TFixtures::Get();
  struct TCase {
    std::vector<std::string> Args;
    int Status;
    std::vector<std::string> Files;  // every file below the destination
  } cases[] = {
      {{"sub/*", "-x", "*/deeper/*"}, 0, {"sub/café.txt", "sub/αβγ.txt"}},
      {{"sub/*", "--no-dirs"}, 0, {"café.txt", "nested.txt", "αβγ.txt"}},
      {{"*.bin", "nothing*"}, 1, {"random.bin"}},  // an unmatched mask fails the run
      {{"*.TXT", "--no-recurse"}, 0, {"empty.txt", "forced64.txt", "hello.txt", "text.txt"}},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Args[0] + " " + c.Args.back());
    TempDir dir;
    const std::string dest = dir.NativePath("out");
    const TCliRun run = RunCli(Extract(fx.Path("python.zip"), dest, c.Args));
    EXPECT_EQ(run.Status, c.Status) << run.Err;
    std::vector<std::string> files;
    for (const auto& e : fs::recursive_directory_iterator(dest))
      if (e.is_regular_file()) files.push_back(fs::relative(e.path(), dest).string());
    std::sort(files.begin(), files.end());
    EXPECT_EQ(files, c.Files);
  }
  TempDir dir;
  const TCliRun run = RunCli(Extract(fx.Path("python.zip"), dir.NativePath("o"), {"nothing*"}));
  EXPECT_EQ(run.Status, 1);
  EXPECT_NE(run.Err.find("kelvane: no item matches nothing*"), std::string::npos) << run.Err;
}

TEST(CliExtract, StoredNamesNeverLeaveTheDestination) {
  TempDir dir;
  const std::string dest = dir.NativePath("a/b/out");
  const TCliRun run = RunCli({"extract", TCliArchives::Get().Path("traversal.zip"), "-d", dest});
  EXPECT_EQ(run.Status, 0) << run.Err;
  EXPECT_EQ(CountFiles(dest), 4u);
  EXPECT_EQ(CountFiles(dir.Root().string()), 4u);
  EXPECT_FALSE(fs::exists("/abs.txt") && ReadWhole("/abs.txt") == "x\n");
}

TEST(CliExtract, StoredAttributesOnRequest) {
  for (const bool attrs : {true, false}) {
    SCOPED_TRACE(attrs);
    TempDir dir;
    const std::string dest = dir.NativePath("out");
    const TCliRun run = RunCli({"extract", TCliArchives::Get().Path("attrs.zip"), "-d", dest,
                                attrs ? "--attrs" : "--no-attrs"});
    ASSERT_EQ(run.Status, 0) << run.Err;
    const auto writable = [](const std::string& p) {
      return (fs::status(p).permissions() & fs::perms::owner_write) != fs::perms::none;
    };
    EXPECT_EQ(writable(dest + "/ro.txt"), !attrs);
    EXPECT_TRUE(writable(dest + "/rw.txt"));
  }
}

TEST(CliExtract, PasswordFromAFileAndVerboseNames) {
  TFixtures& fx = TFixtures::Get();
  TempDir dir;
  std::ofstream(dir.NativePath("pw")) << "secret\n";
  const std::string dest = dir.NativePath("out");
  const TCliRun run = RunCli({"x", fx.Path("7z_aes192.zip"), "-d", dest, "--password-file",
                              dir.NativePath("pw"), "-v", "sub/*"});
  ASSERT_EQ(run.Status, 0) << run.Err;
  EXPECT_EQ(run.Out, "sub/\nsub/café.txt\nsub/deeper/\nsub/deeper/nested.txt\nsub/αβγ.txt\n");
  EXPECT_EQ(ReadWhole(dest + "/sub/café.txt"), "e acute\n");
}

// On a terminal a missing password is asked for without echo; script(1)
// gives the program one.
TEST(CliExtract, AsksForAPasswordOnATerminal) {
  if (std::system("script --version >/dev/null 2>&1") != 0) GTEST_SKIP() << "no script(1)";
  TFixtures& fx = TFixtures::Get();
  TempDir dir;
  const std::string dest = dir.NativePath("out");
  const std::string inner = ShellQuoted(KELVANE_CLI) + " x " +
                            ShellQuoted(fx.Path("zip_pkzip.zip")) + " -d " + ShellQuoted(dest) +
                            " -q hello.txt";
  const std::string cmd = "printf 'secret\\n' | script -qec " + ShellQuoted(inner) +
                          " /dev/null >" + ShellQuoted(dir.NativePath("tty"));
  EXPECT_EQ(std::system(cmd.c_str()), 0);
  const std::string screen = ReadWhole(dir.NativePath("tty"));
  EXPECT_NE(screen.find("Enter password"), std::string::npos) << screen;
  // The terminal itself may echo input that arrives before the question.
  const size_t asked = screen.find("Enter password");
  EXPECT_EQ(screen.find("secret", asked), std::string::npos) << screen;
  EXPECT_EQ(ReadWhole(dest + "/hello.txt"), "Hello, world!\n");
}

// The progress line is drawn on a terminal only, and removed at the end.
TEST(CliExtract, ProgressLineOnATerminal) {
  if (std::system("script --version >/dev/null 2>&1") != 0) GTEST_SKIP() << "no script(1)";
  TFixtures& fx = TFixtures::Get();
  for (const bool quiet : {false, true}) {
    SCOPED_TRACE(quiet);
    TempDir dir;
    const std::string inner = ShellQuoted(KELVANE_CLI) + " x " +
                              ShellQuoted(fx.Path("python.zip")) + " -d " +
                              ShellQuoted(dir.NativePath("out")) + (quiet ? " -q" : "");
    const std::string cmd = "script -qec " + ShellQuoted(inner) + " /dev/null </dev/null >" +
                            ShellQuoted(dir.NativePath("tty"));
    EXPECT_EQ(std::system(cmd.c_str()), 0);
    const std::string screen = ReadWhole(dir.NativePath("tty"));
    const size_t bar = screen.find("] ");
    if (quiet) {
      EXPECT_EQ(bar, std::string::npos) << screen;
      continue;
    }
    ASSERT_NE(bar, std::string::npos) << screen;
    EXPECT_NE(screen.find("% ", bar), std::string::npos) << screen;
    EXPECT_NE(screen.find("/ 373.2 KiB", bar), std::string::npos) << screen;  // the total
    EXPECT_EQ(screen.substr(screen.size() - 4), "\r\x1b[K") << screen;        // cleared
  }
}

}  // namespace
}  // namespace kelvane::test
