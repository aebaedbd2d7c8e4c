// The tool's command line: help, version, usage errors and their status.
#include <gtest/gtest.h>

#include "CliRun.h"

namespace kelvane::test {
namespace {

TEST(CliCommandLine, HelpAndVersionSucceed) {
  struct TCase {
    std::vector<std::string> Args;
    std::string Starts;
  } cases[] = {
      {{"--help"}, "Usage: kelvane COMMAND"},
      {{"list", "--help"}, "Usage: kelvane list ARCHIVE"},
      {{"l", "-h"}, "Usage: kelvane list ARCHIVE"},
      {{"extract", "--help"}, "Usage: kelvane extract ARCHIVE"},
      {{"x", "--help", "whatever.zip"}, "Usage: kelvane extract ARCHIVE"},
      {{"test", "--help"}, "Usage: kelvane test ARCHIVE"},
      {{"info", "--help"}, "Usage: kelvane info ARCHIVE"},
      {{"a", "--help"}, "Usage: kelvane add ARCHIVE PATH..."},
      {{"u", "--help"}, "Usage: kelvane update ARCHIVE [PATH...]"},
      {{"m", "--help"}, "Usage: kelvane move ARCHIVE PATH..."},
      {{"d", "--help"}, "Usage: kelvane delete ARCHIVE MASK..."},
      {{"rename", "--help"}, "Usage: kelvane rename ARCHIVE OLD NEW"},
      {{"comment", "--help"}, "Usage: kelvane comment ARCHIVE"},
      {{"--version"}, "kelvane " KELVANE_VERSION " (engine 6.01)\n"},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Args[0] + " " + c.Args.back());
    const TCliRun run = RunCli(c.Args);
    EXPECT_EQ(run.Status, 0);
    EXPECT_EQ(run.Out.rfind(c.Starts, 0), 0u) << run.Out;
    EXPECT_EQ(run.Err, "");
  }
}

TEST(CliCommandLine, UsageErrorsExitWithTwo) {
  struct TCase {
    std::vector<std::string> Args;
    std::string Message;
  } cases[] = {
      {{}, "kelvane: no command given\nTry 'kelvane --help'.\n"},
      {{"frobnicate"}, "kelvane: unknown command 'frobnicate'\n"},
      {{"list"}, "kelvane list: no archive named\nTry 'kelvane list --help'.\n"},
      {{"list", "--colour", "a.zip"}, "kelvane list: unknown option --colour\n"},
      {{"info", "a.zip", "b.zip"}, "kelvane info: info takes one archive\n"},
      {{"x", "a.zip", "-d"}, "kelvane extract: option -d needs a value\n"},
      {{"x", "a.zip", "--overwrite", "sometimes"},
       "kelvane extract: --overwrite takes always, never, prompt, newer or older, not "
       "'sometimes'\n"},
      {{"x", "a.zip", "--attrs", "--no-attrs"}, "kelvane extract: give either --attrs or"},
      {{"t", "a.zip", "-p", "a", "--password-file", "f"},
       "kelvane test: give either --password or --password-file\n"},
      {{"t", "a.zip", "--verbose=yes"}, "kelvane test: option --verbose takes no value\n"},
      {{"add", "a.zip"}, "kelvane add: no file or folder named\n"},
      {{"add", "a.zip", "f", "--level", "10"}, "kelvane add: --level takes 0 to 9, not '10'\n"},
      {{"add", "a.zip", "f", "--split", "10x"}, "kelvane add: --split takes a size such as"},
      {{"add", "a.zip", "f", "--split", "63k"}, "kelvane add: --split needs at least 64k"},
      {{"add", "a.zip", "f", "--encryption", "aes256"}, "kelvane add: --encryption needs a"},
      {{"add", "a.zip", "f", "-p", "x", "--encryption", "rot13"},
       "kelvane add: --encryption takes zipcrypto, aes128, aes192 or aes256, not 'rot13'\n"},
      {{"add", "a.zip", "f", "--zip64", "maybe"}, "kelvane add: --zip64 takes auto, always or"},
      {{"update", "a.zip", "--overwrite"}, "kelvane update: unknown option --overwrite\n"},
      {{"rename", "a.zip", "old"}, "kelvane rename: rename takes an archive, an old and a new"},
      {{"comment", "a.zip", "x", "-F", "f"}, "kelvane comment: give either TEXT or --file\n"},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Message);
    const TCliRun run = RunCli(c.Args);
    EXPECT_EQ(run.Status, 2);
    EXPECT_EQ(run.Err.rfind(c.Message, 0), 0u) << run.Err;
    EXPECT_EQ(run.Out, "");
  }
}

}  // namespace
}  // namespace kelvane::test
