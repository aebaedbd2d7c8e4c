// kelvane add, update, move, delete, rename and comment, checked by what
// python3 zipfile, unzip and 7zz read from the archives they leave.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "WriteSupport.h"

namespace kelvane::test {
namespace {

class CliWrite : public ::testing::Test {
 protected:
  void SetUp() override {
    WriteFile(P("work/src/a.txt"), std::string(3000, 'a'));
    WriteFile(P("work/src/sub/b.log"), "b");
    WriteFile(P("work/src/sub/deep/c.txt"), "c");
    WriteFile(P("work/src/.hidden"), "h");
    WriteFile(P("work/other/o.txt"), "o");
    std::filesystem::create_directories(P("work/empty"));
    std::filesystem::create_symlink("a.txt", P("work/src/link"));
  }
  std::string P(const std::string& name) const { return FDir.NativePath(name); }
  TCliRun Run(std::vector<std::string> args) { return RunCli(args, P("work")); }

  TempDir FDir;
};

TEST_F(CliWrite, AddStoresPathsAsGivenWithTheChosenSettings) {
  struct TCase {
    std::vector<std::string> Args;  // after "add <archive>"
    std::string Listing;            // PeerListing
  } cases[] = {
      {{"src", "empty"},
       "src/ 0 0\nsrc/.hidden 8 0\nsrc/a.txt 8 0\nsrc/link 8 0\nsrc/sub/ 0 0\nsrc/sub/b.log 8 0\n"
       "src/sub/deep/ 0 0\nsrc/sub/deep/c.txt 8 0\nempty/ 0 0\ncomment=\n"},
      // Relative to -C; ".." and the leading "/" dropped.
      {{"-C", "src", "sub", "../other/o.txt", "-0", "--comment", "made here"},
       "sub/ 0 0\nsub/b.log 0 0\nsub/deep/ 0 0\nsub/deep/c.txt 0 0\nother/o.txt 0 0\n"
       "comment=made here\n"},
      {{"src/sub", "-x", "deep", "--store", "*.log", "--level", "9"},
       "src/sub/ 0 0\nsrc/sub/b.log 0 0\ncomment=\n"},
      {{"src/sub/deep/c.txt", "other/*.txt", "-p", "pw"},
       "src/sub/deep/c.txt 99 1\nother/o.txt 99 1\ncomment=\n"},
      {{"src/a.txt", "-p", "pw", "--encryption", "zipcrypto"}, "src/a.txt 8 1\ncomment=\n"},
  };
  int n = 0;
  for (const TCase& c : cases) {
    const std::string archive = "case" + std::to_string(n++) + ".zip";
    SCOPED_TRACE(archive);
    std::vector<std::string> args = {"add", archive};
    args.insert(args.end(), c.Args.begin(), c.Args.end());
    const TCliRun run = Run(args);
    EXPECT_EQ(run.Status, 0) << run.Err;
    EXPECT_EQ(run.Err, "");
    EXPECT_EQ(PeerListing(P("work/" + archive)), c.Listing);
  }
  // An absolute path is stored without its leading "/".
  const TCliRun abs = Run({"add", "abs.zip", P("work/other/o.txt")});
  EXPECT_EQ(abs.Status, 0) << abs.Err;
  EXPECT_NE(PeerListing(P("work/abs.zip")).find(P("work/other/o.txt").substr(1) + " 8 0"),
            std::string::npos);
  // The peers read what was stored, links as links, encrypted items too.
  const std::string work = ShellQuoted(P("work"));
  EXPECT_EQ(Shell("cd " + work + " && unzip -tq case0.zip").Status, 0);
  EXPECT_EQ(Shell("cd " + work + " && 7zz t -ppw case3.zip").Status, 0);
  EXPECT_EQ(Shell("cd " + work + " && unzip -tq -P pw case4.zip").Status, 0);
  const TShellRun link = Shell("cd " + work +
                               " && mkdir x && cd x && unzip -q ../case0.zip && "
                               "readlink src/link && cat src/sub/deep/c.txt");
  EXPECT_EQ(link.Out, "a.txt\nc");
}

TEST_F(CliWrite, ExistingNamesAreKeptUnlessOverwriteAndNewFilesBelowAreAdded) {
  ASSERT_EQ(Run({"add", "t.zip", "src"}).Status, 0);
  WriteFile(P("work/src/a.txt"), "changed");
  WriteFile(P("work/src/sub/deep/new.txt"), "new");
  const TCliRun again = Run({"add", "t.zip", "src/sub", "src/a.txt", "-v"});
  EXPECT_EQ(again.Status, 1);
  EXPECT_EQ(again.Out, "src/sub/deep/new.txt\n");
  EXPECT_NE(again.Err.find("src/a.txt: already in the archive; kept"), std::string::npos);
  EXPECT_EQ(Shell("unzip -p " + ShellQuoted(P("work/t.zip")) + " src/a.txt").Out,
            std::string(3000, 'a'));
  const TCliRun forced = Run({"a", "t.zip", "src/a.txt", "--overwrite"});
  EXPECT_EQ(forced.Status, 0) << forced.Err;
  EXPECT_EQ(Shell("unzip -p " + ShellQuoted(P("work/t.zip")) + " src/a.txt").Out, "changed");
}

TEST_F(CliWrite, UpdateReplacesOnlyNewerFilesAndAddsNewOnes) {
  ASSERT_EQ(Run({"add", "t.zip", "src/a.txt", "src/sub/b.log"}).Status, 0);
  WriteFile(P("work/src/a.txt"), "newer");
  WriteFile(P("work/src/sub/b.log"), "older");
  ASSERT_EQ(Shell("touch -d 2037-01-01 " + ShellQuoted(P("work/src/a.txt")) + " && touch -d " +
                  "2000-01-01 " + ShellQuoted(P("work/src/sub/b.log")))
                .Status,
            0);
  const TCliRun all = Run({"u", "t.zip", "-v"});
  EXPECT_EQ(all.Status, 0) << all.Err;
  EXPECT_EQ(all.Out, "src/a.txt\n");
  const TCliRun paths = Run({"update", "t.zip", "other", "-v"});
  EXPECT_EQ(paths.Status, 0) << paths.Err;
  EXPECT_EQ(paths.Out, "other/\nother/o.txt\n");
  const std::string t = ShellQuoted(P("work/t.zip"));
  EXPECT_EQ(Shell("unzip -p " + t + " src/a.txt src/sub/b.log").Out, "newerb");
}

TEST_F(CliWrite, MoveDeletesExactlyWhatWasStored) {
  const TCliRun run = Run({"move", "t.zip", "src/sub", "other/o.txt"});
  EXPECT_EQ(run.Status, 0) << run.Err;
  EXPECT_FALSE(std::filesystem::exists(P("work/src/sub")));
  EXPECT_FALSE(std::filesystem::exists(P("work/other/o.txt")));
  EXPECT_TRUE(std::filesystem::exists(P("work/src/a.txt")));
  EXPECT_EQ(PeerListing(P("work/t.zip")),
            "src/sub/ 0 0\nsrc/sub/b.log 8 0\nsrc/sub/deep/ 0 0\nsrc/sub/deep/c.txt 8 0\n"
            "other/o.txt 8 0\ncomment=\n");
}

TEST_F(CliWrite, DeleteRenameAndCommentChangeOnlyWhatTheyName) {
  ASSERT_EQ(Run({"add", "t.zip", "src", "other"}).Status, 0);
  EXPECT_EQ(Run({"d", "t.zip", "src/sub/", "*.hidden"}).Status, 0);
  EXPECT_EQ(Run({"rename", "t.zip", "other", "renamed"}).Status, 0);
  EXPECT_EQ(Run({"comment", "t.zip", "--item", "src/a.txt", "about a"}).Status, 0);
  WriteFile(P("work/comment.txt"), "from a file\nsecond line");
  EXPECT_EQ(Run({"comment", "t.zip", "-F", "comment.txt"}).Status, 0);
  EXPECT_EQ(PeerListing(P("work/t.zip")),
            "src/ 0 0\nsrc/a.txt 8 0\nsrc/link 8 0\nrenamed/ 0 0\nrenamed/o.txt 8 0\n"
            "comment=from a file\nsecond line\n");
  EXPECT_EQ(Shell("python3 -c \"import zipfile; print(zipfile.ZipFile('" + P("work/t.zip") +
                  "').getinfo('src/a.txt').comment.decode())\"")
                .Out,
            "about a\n");
  EXPECT_EQ(Shell("unzip -tq " + ShellQuoted(P("work/t.zip"))).Status, 0);
  EXPECT_EQ(Shell("7zz t " + ShellQuoted(P("work/t.zip"))).Status, 0);
}

TEST_F(CliWrite, ANewSelfExtractorStartsWithTheStubAndRuns) {
  const TCliRun run = Run({"add", "setup", "other", "--stub", "console"});
  ASSERT_EQ(run.Status, 0) << run.Err;
  struct stat st {};
  ASSERT_EQ(::stat(P("work/setup").c_str(), &st), 0);
  EXPECT_NE(st.st_mode & S_IXUSR, 0u);
  const TShellRun list = Shell(ShellQuoted(P("work/setup")) + " --list");
  EXPECT_EQ(list.Status, 0) << list.Out;
  EXPECT_NE(list.Out.find("other/o.txt"), std::string::npos);
  EXPECT_EQ(Shell("unzip -tq " + ShellQuoted(P("work/setup"))).Status, 0);
}

}  // namespace
}  // namespace kelvane::test
