// kelvane test: decodes the selected items and verifies them, writing nothing.
#include <cstdio>

#include "cli/ArgParser.h"
#include "cli/CliArchiver.h"
#include "cli/Commands.h"
#include "cli/Damage.h"
#include "cli/ItemRun.h"

namespace kelvane::cli {
namespace {

const char* const kHelp =
    "Usage: kelvane test ARCHIVE [MASK...] [-x EXCLUDE...] [OPTIONS]\n"
    "       kelvane t ...\n"
    "\n"
    "Decodes every selected item of ARCHIVE and checks its size and CRC-32 (or\n"
    "AES authentication code); nothing is written. Prints each failed item and\n"
    "a summary.\n"
    "\n"
    "MASK selects items by stored name (\"*\" and \"?\" match any characters,\n"
    "\"/\" included; case of A-Z ignored); default: every item.\n"
    "\n"
    "Options:\n"
    "  -x, --exclude MASK...    leave out the items these masks select\n"
    "  -p, --password PW        password of encrypted items\n"
    "      --password-file FILE read the password from the first line of FILE\n"
    "                           (\"-\": standard input)\n"
    "      --no-recurse         a mask selects only items in the folder it names\n"
    "  -v, --verbose            also name each item that is good\n"
    "  -q, --quiet              no progress line\n"
    "  -h, --help               show this help\n"
    "\n"
    "A damaged archive, whose directory had to be rebuilt from the local\n"
    "headers, is named as such with the items recovered and verified.\n"
    "\n"
    "The exit status is 0 when every item is good, 1 when any failed or the\n"
    "archive is damaged, 2 for a usage error.\n";

}  // namespace

int RunTest(const std::vector<std::string>& args) {
  const TParsedArgs a = ParseArgs(args, ItemRunOptions());
  if (a.Has("help")) {
    std::fputs(kHelp, stdout);
    return ExitOk;
  }
  if (a.Positional.empty()) throw EUsageError("no archive named");
  const std::vector<std::string> masks(a.Positional.begin() + 1, a.Positional.end());

  TCliArchiver& archiver = ArchiverUntilExit();
  ApplyPasswordOptions(archiver, a);
  archiver.OpenForReading(a.Positional[0]);
  WarnMissingVolumes(archiver);
  const bool damaged = WarnIfRebuilt(archiver);
  archiver.Options().SetRecurse(!a.Has("no-recurse"));

  TItemRun run(archiver, masks, a.All("exclude"), a.Has("quiet"));
  for (const std::string& mask : run.UnmatchedMasks())
    PrintError("no item matches " + mask);
  if (a.Has("verbose"))
    run.OnItemDone = [](const std::string& name) { std::printf("OK      %s\n", name.c_str()); };
  run.OnItemFailed = [](const TItemFailure& f) {
    std::printf("FAILED  %s: %s\n", f.Name.c_str(), f.Message.c_str());
    std::fflush(stdout);
  };
  run.Run([&archiver] { archiver.TestFiles(); });

  if (run.Interrupted()) {
    std::fflush(stdout);
    PrintError("interrupted");
    return ExitInterrupted;
  }
  // Every selected item either ends or fails; one that did neither was not
  // looked at, which must not pass for success.
  const int64_t unaccounted =
      run.SelectedItems() - run.DoneItems() - static_cast<int64_t>(run.Failures().size());
  if (unaccounted > 0)
    PrintError(std::to_string(unaccounted) + " selected items were not processed");
  const size_t failed = run.Failures().size();
  const int64_t tested = run.SelectedItems();
  std::printf("%lld item%s tested, ", static_cast<long long>(tested), tested == 1 ? "" : "s");
  if (failed == 0 && unaccounted <= 0)
    std::printf("all good\n");
  else
    std::printf("%zu failed\n", failed);
  // Good items do not make a good archive: other readers see none of them.
  if (damaged) {
    const TKelDirRecovery recovery = archiver.DirRecovery();
    const int32_t recovered = archiver.ItemCount();
    std::printf(
        "Archive damaged in its %s: %s; %d item%s recovered from the local headers, %lld "
        "verified\n",
        RecoveryPart(recovery.Cause), RecoveryText(recovery).c_str(), recovered,
        recovered == 1 ? "" : "s", static_cast<long long>(run.DoneItems()));
  }
  std::fflush(stdout);
  return failed == 0 && !damaged && run.UnmatchedMasks().empty() && unaccounted <= 0 ? ExitOk
                                                                                     : ExitFailure;
}

}  // namespace kelvane::cli
