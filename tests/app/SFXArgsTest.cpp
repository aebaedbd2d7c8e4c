#include <gtest/gtest.h>

#include <stdexcept>

#include "app/SFXArgs.h"

namespace kelvane {
namespace {

TEST(SFXArgs, AcceptedCommandLines) {
  const struct {
    std::vector<std::string> Line;
    TSFXMode Mode;
    std::string Dest;
    bool Overwrite, Console, HasPassword;
    std::string PasswordFile;
  } table[] = {
      {{}, smDialog, "", false, false, false, ""},
      {{"--dest", "/tmp/out"}, smExtract, "/tmp/out", false, false, false, ""},
      {{"--dest=/tmp/a b", "--overwrite"}, smExtract, "/tmp/a b", true, false, false, ""},
      {{"--overwrite", "--console"}, smDialog, "", true, true, false, ""},
      {{"--list"}, smList, "", false, false, false, ""},
      {{"--test", "--password-file", "-"}, smTest, "", false, false, true, "-"},
      {{"--password-file=/run/pw", "--dest", "--x"},
       smExtract,
       "--x",
       false,
       false,
       true,
       "/run/pw"},
      {{"--version"}, smVersion, "", false, false, false, ""},
      // Help wins over everything else on the line, even another mode.
      {{"--list", "--help", "--dest", "--bogus"}, smHelp, "", false, false, false, ""},
      {{"--bogus", "--version"}, smVersion, "", false, false, false, ""},
      {{"-h"}, smHelp, "", false, false, false, ""},
  };
  for (const auto& row : table) {
    std::string shown;
    for (const auto& a : row.Line)
      shown += a + " ";
    const TSFXArgs args = ParseSFXArgs(row.Line);
    EXPECT_EQ(args.Mode, row.Mode) << shown;
    EXPECT_EQ(args.Dest, row.Dest) << shown;
    EXPECT_EQ(args.Overwrite, row.Overwrite) << shown;
    EXPECT_EQ(args.Console, row.Console) << shown;
    EXPECT_EQ(args.HasPasswordFile, row.HasPassword) << shown;
    EXPECT_EQ(args.PasswordFile, row.PasswordFile) << shown;
  }
}

TEST(SFXArgs, RefusedCommandLinesSayWhy) {
  const struct {
    std::vector<std::string> Line;
    std::string Reason;
  } table[] = {
      {{"--dest"}, "--dest needs a value"},
      {{"--dest="}, "--dest needs a value that is not empty"},
      {{"--dest", "a", "--dest", "b"}, "--dest is given twice"},
      {{"--list", "--test"}, "--test cannot be combined with another of --dest, --list, --test"},
      {{"--dest", "a", "--list"}, "--list cannot be combined"},
      {{"--overwrite=yes"}, "--overwrite takes no value"},
      {{"--password-file", "a", "--password-file", "b"}, "--password-file is given twice"},
      {{"--frobnicate"}, "unknown option --frobnicate"},
      {{"-x"}, "unknown option -x"},
      {{"stray"}, "unexpected argument stray"},
  };
  for (const auto& row : table) {
    try {
      ParseSFXArgs(row.Line);
      ADD_FAILURE() << "accepted: " << row.Line[0];
    } catch (const std::invalid_argument& e) {
      EXPECT_NE(std::string(e.what()).find(row.Reason), std::string::npos)
          << e.what() << " | expected: " << row.Reason;
    }
  }
}

TEST(SFXArgs, UsageNamesTheProgramAndEveryOption) {
  const std::string usage = SFXUsage("setup");
  EXPECT_EQ(usage.rfind("Usage: setup ", 0), 0u);
  for (const char* option : {"--dest", "--overwrite", "--list", "--test", "--password-file",
                             "--console", "--help", "--version"})
    EXPECT_NE(usage.find(option), std::string::npos) << option;
}

}  // namespace
}  // namespace kelvane
