#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "app/TerminalProgress.h"

namespace kelvane {
namespace {

// Feeds reports (name, progress, phase) and returns what was printed.
std::string Printed(bool bar,
                    const std::vector<std::tuple<UString, double, TKelProgressPhase>>& reports,
                    const TRunTally* tally = nullptr) {
  std::FILE* f = std::tmpfile();
  {
    TTerminalProgress progress(f, bar, tally);
    for (const auto& [name, value, phase] : reports)
      progress.Report(name, value, phase);
  }
  std::rewind(f);
  std::string text;
  for (int c; (c = std::fgetc(f)) != EOF;)
    text += char(c);
  std::fclose(f);
  return text;
}

TEST(TerminalProgress, LogGetsOneLinePerItem) {
  EXPECT_EQ(Printed(false, {{u"a.txt", 0, ppStart},
                            {u"a.txt", 50, ppProcess},
                            {u"a.txt", 100, ppEnd},
                            {u"dir/b.txt", 0, ppStart},
                            {u"dir/b.txt", 100, ppEnd}}),
            "  a.txt\n  dir/b.txt\n");
}

TEST(TerminalProgress, TerminalGetsABarForItemsThatReportOnTheWay) {
  const std::string text = Printed(true, {{u"big.iso", 0, ppStart},
                                          {u"big.iso", 50, ppProcess},
                                          {u"big.iso", 100, ppEnd},
                                          {u"small", 0, ppStart},
                                          {u"small", 100, ppEnd}});
  EXPECT_NE(text.find("\r  big.iso [############............]  50%"), std::string::npos) << text;
  // The bar is cleared and the plain name stays; the small item never gets a bar.
  EXPECT_EQ(text.substr(text.rfind("  big.iso")), "  big.iso\n  small\n");
}

TEST(TerminalProgress, ItemsNotExtractedSayWhat) {
  TRunTally tally;
  tally.Note(u"docs\\old.txt", ioKept);  // as the overwrite question names it
  tally.Note(u"secret.bin", ioSkipped);
  const std::vector<std::tuple<UString, double, TKelProgressPhase>> reports = {
      {u"docs/old.txt", 0, ppStart}, {u"docs/old.txt", 100, ppEnd}, {u"secret.bin", 0, ppStart},
      {u"secret.bin", 100, ppEnd},   {u"new.txt", 0, ppStart},      {u"new.txt", 100, ppEnd}};
  const std::string expected = "  docs/old.txt  (kept)\n  secret.bin  (skipped)\n  new.txt\n";
  EXPECT_EQ(Printed(false, reports, &tally), expected);
  EXPECT_EQ(Printed(true, reports, &tally), expected);
}

TEST(TerminalProgress, AnItemThatNeverEndsDoesNotRunIntoTheNextLine) {
  EXPECT_EQ(Printed(true, {{u"failed", 0, ppStart}, {u"next", 0, ppStart}, {u"next", 100, ppEnd}}),
            "  failed\n  next\n");
  EXPECT_EQ(Printed(true, {{u"last", 0, ppStart}}), "  last\n") << "ended when done";
  EXPECT_EQ(Printed(false, {{u"failed", 0, ppStart}, {u"next", 0, ppStart}, {u"next", 100, ppEnd}}),
            "  next\n")
      << "a log lists the items done";
}

}  // namespace
}  // namespace kelvane
