// kelvane rename: one item, or a folder with everything below it.
#include <cstdio>

#include "cli/ArgParser.h"
#include "cli/CliArchiver.h"
#include "cli/Commands.h"
#include "cli/WriteRun.h"
#include "platform/Text.h"

namespace kelvane::cli {
namespace {

const char* const kHelp =
    "Usage: kelvane rename ARCHIVE OLD NEW\n"
    "\n"
    "Renames the item stored as OLD to NEW. A folder takes everything below it\n"
    "along. Only the names change: the items' data is copied as it is.\n"
    "\n"
    "Options:\n"
    "  -q, --quiet              no progress line\n"
    "  -h, --help               show this help\n"
    "\n"
    "The exit status is 0 when the item was renamed, 1 when there is no item\n"
    "OLD or another item is already named NEW (nothing is changed), 2 for a\n"
    "usage error.\n";

}  // namespace

int RunRename(const std::vector<std::string>& args) {
  const TParsedArgs a = ParseArgs(args, {{"help", 'h'}, {"quiet", 'q'}});
  if (a.Has("help")) {
    std::fputs(kHelp, stdout);
    return ExitOk;
  }
  if (a.Positional.size() != 3) throw EUsageError("rename takes an archive, an old and a new name");
  TCliArchiver archiver;
  OpenForWriting(archiver, a.Positional[0], false);
  TWriteRun run(archiver, a.Has("quiet"), false);
  run.Run([&] { archiver.RenameFile(FromUtf8(a.Positional[1]), FromUtf8(a.Positional[2])); });
  return run.Finish();
}

}  // namespace kelvane::cli
