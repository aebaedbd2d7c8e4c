// kelvane sfx, merge and repair: commands that take whole archives, checked
// by what unzip and python3 zipfile read from their outputs.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <utime.h>

#include "WriteSupport.h"

namespace kelvane::test {
namespace {

class CliWhole : public ::testing::Test {
 protected:
  std::string P(const std::string& name) const { return FDir.NativePath(name); }
  TCliRun Run(std::vector<std::string> args) { return RunCli(args, P("")); }
  // "name=content" per item, in directory order, as python3 reads them.
  std::string Contents(const std::string& archive) {
    return Shell(
               "python3 -c \"import sys, zipfile\n"
               "z = zipfile.ZipFile(sys.argv[1])\n"
               "for i in z.infolist(): print(i.filename + '=' + z.read(i).decode())\" " +
               ShellQuoted(P(archive)))
        .Out;
  }
  // A file whose modification time is Stamp (seconds since 1970).
  void WriteDated(const std::string& name, const std::string& text, time_t stamp) {
    WriteFile(P(name), text);
    const utimbuf times{stamp, stamp};
    ::utime(P(name).c_str(), &times);
  }

  TempDir FDir;
};

TEST_F(CliWhole, SfxWritesARunnableProgramAndRefusesWhatItCannotMake) {
  WriteFile(P("in/o.txt"), "o");
  ASSERT_EQ(Run({"add", "t.zip", "in"}).Status, 0);
  const std::string before = ReadWhole(P("t.zip"));

  const TCliRun run = Run({"sfx", "t.zip", "setup", "--stub", "console", "-q"});
  ASSERT_EQ(run.Status, 0) << run.Err;
  EXPECT_EQ(ReadWhole(P("t.zip")), before);
  struct stat st {};
  ASSERT_EQ(::stat(P("setup").c_str(), &st), 0);
  EXPECT_NE(st.st_mode & S_IXUSR, 0u);
  const TShellRun extracted = Shell("cd " + ShellQuoted(P("")) + " && ./setup --dest out");
  EXPECT_EQ(extracted.Status, 0) << extracted.Out;
  EXPECT_EQ(ReadWhole(P("out/in/o.txt")), "o");
  // Offsets count the stub: no stray bytes for unzip.
  const TShellRun test = Shell("unzip -t " + ShellQuoted(P("setup")));
  EXPECT_EQ(test.Status, 0) << test.Out;
  EXPECT_EQ(test.Out.find("extra bytes"), std::string::npos) << test.Out;

  struct TCase {
    std::vector<std::string> Args;
    std::string Output;
  } refused[] = {
      {{"sfx", "setup", "again", "--stub", "console"}, "again"},  // a stub already
      {{"sfx", "missing.zip", "m", "--stub", "console"}, "m"},    // no archive
      {{"sfx", "t.zip", "n", "--stub", "no-such-stub"}, "n"},     // no stub
      {{"sfx", "t.zip", "t.zip", "--stub", "console"}, "t.zip"},  // over its own archive
  };
  for (const TCase& c : refused) {
    SCOPED_TRACE(c.Args[1] + " -> " + c.Output);
    const std::string existing = c.Output == "t.zip" ? before : "";
    const TCliRun bad = Run(c.Args);
    EXPECT_EQ(bad.Status, 1) << bad.Err;
    EXPECT_NE(bad.Err, "");
    if (existing.empty()) {
      EXPECT_FALSE(std::filesystem::exists(P(c.Output)));
    } else {
      EXPECT_EQ(ReadWhole(P(c.Output)), existing);
    }
  }
  // Nothing is left beside the outputs.
  size_t files = 0;
  for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(P("")))
    ++files;
  EXPECT_EQ(files, 4u);  // in, t.zip, setup, out
}

TEST_F(CliWhole, MergeTakesTheUnionAndDecidesSharedNamesByTheOverwriteMode) {
  WriteDated("a/same.txt", "older", 1600000000);
  WriteDated("a/only-a.txt", "A", 1600000000);
  WriteDated("b/same.txt", "newer", 1700000000);
  WriteDated("b/only-b.txt", "B", 1700000000);
  ASSERT_EQ(RunCli({"add", P("a.zip"), "same.txt", "only-a.txt"}, P("a")).Status, 0);
  ASSERT_EQ(RunCli({"add", P("b.zip"), "same.txt", "only-b.txt"}, P("b")).Status, 0);
  // b.zip behind a stub: merged all the same.
  ASSERT_EQ(Run({"sfx", "b.zip", "b-setup", "--stub", "console"}).Status, 0);

  struct TCase {
    std::vector<std::string> Options;
    std::string Contents;
  } cases[] = {
      {{}, "same.txt=older\nonly-a.txt=A\nonly-b.txt=B\n"},
      {{"--overwrite", "never"}, "same.txt=older\nonly-a.txt=A\nonly-b.txt=B\n"},
      {{"--overwrite", "always"}, "same.txt=newer\nonly-a.txt=A\nonly-b.txt=B\n"},
      {{"--overwrite", "newer"}, "same.txt=newer\nonly-a.txt=A\nonly-b.txt=B\n"},
      {{"--overwrite", "older"}, "same.txt=older\nonly-a.txt=A\nonly-b.txt=B\n"},
  };
  int n = 0;
  for (const TCase& c : cases) {
    const std::string target = "m" + std::to_string(n++) + ".zip";
    SCOPED_TRACE(target);
    std::filesystem::copy_file(P("a.zip"), P(target));
    std::vector<std::string> args = {"merge", target, "b-setup"};
    args.insert(args.end(), c.Options.begin(), c.Options.end());
    const TCliRun run = Run(args);
    EXPECT_EQ(run.Status, 0) << run.Err;
    // The directory lists every item once, in the order python3 reads them.
    std::string got = Contents(target);
    EXPECT_EQ(got, c.Contents);
    EXPECT_EQ(Shell("unzip -tq " + ShellQuoted(P(target))).Status, 0);
  }

  // A missing ARCHIVE is made; a bad OTHER changes nothing and is named.
  EXPECT_EQ(Run({"merge", "new.zip", "a.zip", "b.zip"}).Status, 0);
  EXPECT_EQ(Contents("new.zip"), "same.txt=older\nonly-a.txt=A\nonly-b.txt=B\n");
  WriteFile(P("not-a-zip"), std::string(500, 'x'));
  const std::string kept = ReadWhole(P("a.zip"));
  for (const char* other : {"not-a-zip", "missing.zip"}) {
    const TCliRun bad = Run({"merge", "a.zip", other});
    EXPECT_EQ(bad.Status, 1) << other;
    EXPECT_NE(bad.Err.find(other), std::string::npos) << bad.Err;
    EXPECT_EQ(ReadWhole(P("a.zip")), kept) << other;
  }
  EXPECT_EQ(Run({"merge", "a.zip", "b.zip", "--overwrite", "sometimes"}).Status, 2);
  EXPECT_FALSE(std::filesystem::exists(P("none.zip")));
  EXPECT_EQ(Run({"merge", "none.zip", "not-a-zip"}).Status, 1);
  EXPECT_FALSE(std::filesystem::exists(P("none.zip")));
}

TEST_F(CliWhole, RepairKeepsWhatCanBeReadWithItsTimes) {
  WriteDated("src/one.txt", std::string(300, '1'), 1500000000);
  WriteDated("src/two.txt", "second item", 1500000100);
  std::string counting;
  for (int i = 0; i < 1000; ++i)
    counting += std::to_string(i * 7919 % 10007) + " ";
  WriteDated("src/three.txt", counting, 1500000200);
  ASSERT_EQ(Shell("cd " + ShellQuoted(P("src")) +
                  " && zip -qX ../z.zip one.txt two.txt && zip -qX0 ../z.zip three.txt")
                .Status,
            0);
  const std::string whole = ReadWhole(P("z.zip"));
  const std::string expected = "one.txt=" + std::string(300, '1') + "\ntwo.txt=second item\n" +
                               "three.txt=" + counting + "\n";
  const std::string times =
      "python3 -c \"import sys, zipfile\n"
      "print([i.date_time for i in zipfile.ZipFile(sys.argv[1]).infolist()])\" ";

  // The directory cut off: rebuilt from the items, in place.
  WriteFile(P("cut.zip"), whole.substr(0, whole.find("PK\1\2")));
  TCliRun run = Run({"repair", "cut.zip"});
  EXPECT_EQ(run.Status, 0) << run.Err;
  EXPECT_EQ(run.Out, "cut.zip: 3 of 3 items kept, 0 of them damaged\n");
  EXPECT_EQ(Contents("cut.zip"), expected);
  EXPECT_EQ(Shell(times + ShellQuoted(P("cut.zip"))).Out,
            Shell(times + ShellQuoted(P("z.zip"))).Out);

  // The second item's local header broken: left out, named, the rest kept.
  std::string broken = whole;
  const size_t second = broken.find("PK\3\4", 4);
  broken[second + 2] = 'X';
  WriteFile(P("broken.zip"), broken);
  run = Run({"repair", "broken.zip", "-o", "fixed.zip"});
  EXPECT_EQ(run.Status, 1);
  EXPECT_NE(run.Err.find("two.txt: could not be read; left out"), std::string::npos) << run.Err;
  EXPECT_EQ(run.Out, "fixed.zip: 2 of 3 items kept, 0 of them damaged\n");
  EXPECT_EQ(ReadWhole(P("broken.zip")), broken);
  EXPECT_EQ(Contents("fixed.zip"),
            "one.txt=" + std::string(300, '1') + "\nthree.txt=" + counting + "\n");

  // A byte in the middle of the third item's stored data changed: kept as
  // far as it decodes, and named.
  std::string hurt = whole;
  const size_t third = hurt.find("three.txt", hurt.find("PK\3\4", second + 4)) + 9;
  hurt[third + (hurt.find("PK\1\2") - third) / 2] ^= 0x55;
  WriteFile(P("hurt.zip"), hurt);
  run = Run({"repair", "hurt.zip", "-o", "healed.zip"});
  EXPECT_EQ(run.Status, 1);
  EXPECT_NE(run.Err.find("three.txt: damaged; what could be decoded of it is kept"),
            std::string::npos)
      << run.Err;
  EXPECT_EQ(run.Out, "healed.zip: 3 of 3 items kept, 1 of them damaged\n");
  EXPECT_EQ(Contents("healed.zip").substr(0, 2 * 300 + 40), expected.substr(0, 2 * 300 + 40));
  EXPECT_EQ(Shell("unzip -tq " + ShellQuoted(P("healed.zip"))).Status, 0);

  // Not an archive at all: an error, and the file as it was.
  WriteFile(P("text.zip"), "just text");
  run = Run({"repair", "text.zip"});
  EXPECT_EQ(run.Status, 1);
  EXPECT_NE(run.Err, "");
  EXPECT_EQ(ReadWhole(P("text.zip")), "just text");
}

}  // namespace
}  // namespace kelvane::test
