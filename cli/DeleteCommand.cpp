// kelvane delete: items out of an archive, in one commit.
#include <cstdio>

#include "cli/ArgParser.h"
#include "cli/CliArchiver.h"
#include "cli/Commands.h"
#include "cli/WriteRun.h"
#include "platform/Text.h"

namespace kelvane::cli {
namespace {

const char* const kHelp =
    "Usage: kelvane delete ARCHIVE MASK... [-x EXCLUDE...] [OPTIONS]\n"
    "       kelvane d ...\n"
    "\n"
    "Deletes the items MASK selects by stored name (\"*\" and \"?\" match any\n"
    "characters, \"/\" included; case of A-Z ignored). A MASK that names a\n"
    "folder deletes everything below it too.\n"
    "\n"
    "Options:\n"
    "  -x, --exclude MASK...    keep the items these masks select\n"
    "  -q, --quiet              no progress line\n"
    "  -h, --help               show this help\n"
    "\n"
    "The items after the first deleted one are moved up in place; the bytes\n"
    "moved are saved first, so Ctrl-C or a crash leaves the archive as it was.\n"
    "The exit status is 0 when the items were deleted, 1 when a MASK selects\n"
    "nothing (nothing is changed), 2 for a usage error.\n";

bool HasWildcards(const std::string& mask) {
  return mask.find_first_of("*?") != std::string::npos;
}

}  // namespace

int RunDelete(const std::vector<std::string>& args) {
  const TParsedArgs a =
      ParseArgs(args, {{"help", 'h'}, {"exclude", 'x', true, true}, {"quiet", 'q'}});
  if (a.Has("help")) {
    std::fputs(kHelp, stdout);
    return ExitOk;
  }
  if (a.Positional.empty()) throw EUsageError("no archive named");
  if (a.Positional.size() < 2) throw EUsageError("no item named");

  TCliArchiver archiver;
  OpenForWriting(archiver, a.Positional[0], false);
  std::vector<std::string> masks;
  std::vector<std::string> unmatched;
  TKelArchiveItem found;
  for (size_t i = 1; i < a.Positional.size(); ++i) {
    std::string mask = a.Positional[i];
    while (mask.size() > 1 && mask.back() == '/')
      mask.pop_back();
    std::vector<std::string> forms = {mask};
    if (!HasWildcards(mask)) forms.push_back(mask + "/*");
    archiver.Select(forms, a.All("exclude"));
    if (!archiver.FindFirst(found)) unmatched.push_back(a.Positional[i]);
    masks.insert(masks.end(), forms.begin(), forms.end());
  }
  if (!unmatched.empty()) {
    for (const std::string& mask : unmatched)
      PrintError("no item matches " + mask);
    PrintError("nothing was changed");
    return ExitFailure;
  }
  archiver.Select(masks, a.All("exclude"));
  TWriteRun run(archiver, a.Has("quiet"), false);
  run.Run([&archiver] { archiver.DeleteFiles(); });
  return run.Finish();
}

}  // namespace kelvane::cli
