// kelvane extract: the selected items below a destination folder.
#include <cstdio>

#include "cli/ArgParser.h"
#include "cli/CliArchiver.h"
#include "cli/Commands.h"
#include "cli/Damage.h"
#include "cli/ItemRun.h"
#include "platform/FileSystem.h"
#include "platform/TerminalIO.h"
#include "platform/Text.h"

namespace kelvane::cli {
namespace {

const char* const kHelp =
    "Usage: kelvane extract ARCHIVE [MASK...] [-x EXCLUDE...] [-d DIR] [OPTIONS]\n"
    "       kelvane x ...\n"
    "\n"
    "Extracts the items of ARCHIVE (a split set is named by its last volume)\n"
    "with their stored folders, times and attributes. Stored names never reach\n"
    "outside DIR: leading \"/\" and \"..\" parts are dropped (on Windows drives\n"
    "too; device names such as CON get \"_\" in front, and \":\" and trailing\n"
    "dots or spaces become \"_\"). Nothing is written through a link in DIR.\n"
    "\n"
    "MASK selects items by stored name (\"*\" and \"?\" match any characters,\n"
    "\"/\" included; case of A-Z ignored); default: every item.\n"
    "\n"
    "Options:\n"
    "  -d, --dir DIR            extract below DIR (made when missing; default: .)\n"
    "  -x, --exclude MASK...    leave out the items these masks select\n"
    "      --overwrite WHEN     existing files: always, never, prompt, newer (the\n"
    "                           item is newer), older (the item is older); default:\n"
    "                           prompt on a terminal, never otherwise\n"
    "  -p, --password PW        password of encrypted items\n"
    "      --password-file FILE read the password from the first line of FILE\n"
    "                           (\"-\": standard input)\n"
    "      --no-dirs            put every file directly in DIR\n"
    "      --no-recurse         a mask selects only items in the folder it names\n"
    "      --attrs, --no-attrs  give files their stored attributes (default) or not\n"
    "  -v, --verbose            name each item as it is done\n"
    "  -q, --quiet              no progress line\n"
    "  -h, --help               show this help\n"
    "\n"
    "Without a terminal nobody is asked: an item whose password is missing or\n"
    "wrong fails. The exit status is 0 when every item was extracted, 1 when\n"
    "any failed or the archive is damaged (its items were recovered from the\n"
    "local headers), 2 for a usage error.\n";

TKelOverwriteMode OverwriteMode(const TParsedArgs& a) {
  if (!a.Has("overwrite")) return IsTerminal(0) ? omPrompt : omNever;
  const std::string v = a.Last("overwrite");
  if (v == "always") return omAlways;
  if (v == "never") return omNever;
  if (v == "prompt") return omPrompt;
  if (v == "newer") return omIfNewer;
  if (v == "older") return omIfOlder;
  throw EUsageError("--overwrite takes always, never, prompt, newer or older, not '" + v + "'");
}

}  // namespace

int RunExtract(const std::vector<std::string>& args) {
  std::vector<TOptionSpec> specs = ItemRunOptions();
  specs.insert(specs.end(),
               {{"dir", 'd', true}, {"overwrite", 0, true}, {"no-dirs"}, {"attrs"}, {"no-attrs"}});
  const TParsedArgs a = ParseArgs(args, specs);
  if (a.Has("help")) {
    std::fputs(kHelp, stdout);
    return ExitOk;
  }
  if (a.Positional.empty()) throw EUsageError("no archive named");
  if (a.Has("attrs") && a.Has("no-attrs")) throw EUsageError("give either --attrs or --no-attrs");
  const TKelOverwriteMode overwrite = OverwriteMode(a);
  const std::vector<std::string> masks(a.Positional.begin() + 1, a.Positional.end());

  TCliArchiver& archiver = ArchiverUntilExit();
  ApplyPasswordOptions(archiver, a);
  archiver.OpenForReading(a.Positional[0]);
  WarnMissingVolumes(archiver);
  const bool damaged = WarnIfRebuilt(archiver);

  const UString dir = FullPath(FromUtf8(a.Last("dir", ".")));
  if (!IsDirectory(dir) && !CreateDirectories(dir)) {
    PrintError("cannot create the folder " + ToUtf8(dir));
    return ExitFailure;
  }
  archiver.SetBaseDir(dir);
  TKelOptions& o = archiver.Options();
  o.SetOverwriteMode(overwrite);
  o.SetCreateDirs(!a.Has("no-dirs"));
  o.SetRecurse(!a.Has("no-recurse"));
  o.SetSetAttributes(!a.Has("no-attrs"));

  TItemRun run(archiver, masks, a.All("exclude"), a.Has("quiet"));
  for (const std::string& mask : run.UnmatchedMasks())
    PrintError("no item matches " + mask);
  if (a.Has("verbose"))
    run.OnItemDone = [](const std::string& name) { std::printf("%s\n", name.c_str()); };
  run.OnItemFailed = [](const TItemFailure& f) { PrintError(f.Name + ": " + f.Message); };
  run.Run([&archiver] { archiver.ExtractFiles(); });
  std::fflush(stdout);

  if (run.Interrupted()) {
    PrintError("interrupted");
    return ExitInterrupted;
  }
  // Every selected item either ends or fails; one that did neither was not
  // looked at, which must not pass for success.
  const int64_t unaccounted =
      run.SelectedItems() - run.DoneItems() - static_cast<int64_t>(run.Failures().size());
  if (unaccounted > 0)
    PrintError(std::to_string(unaccounted) + " selected items were not processed");
  if (!run.Failures().empty())
    PrintError(std::to_string(run.Failures().size()) + " of " +
               std::to_string(run.SelectedItems()) + " items failed");
  return run.Failures().empty() && !damaged && run.UnmatchedMasks().empty() && unaccounted <= 0
             ? ExitOk
             : ExitFailure;
}

}  // namespace kelvane::cli
