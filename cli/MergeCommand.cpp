// kelvane merge: the items of other archives appended to one, each other
// archive in a commit of its own.
#include <cstdio>
#include <stdexcept>

#include "cli/ArgParser.h"
#include "cli/CliArchiver.h"
#include "cli/Commands.h"
#include "cli/DiskFile.h"
#include "cli/WriteRun.h"
#include "platform/FileSystem.h"
#include "platform/Text.h"

namespace kelvane::cli {
namespace {

const char* const kHelp =
    "Usage: kelvane merge ARCHIVE OTHER... [OPTIONS]\n"
    "\n"
    "Appends the items of each OTHER archive to ARCHIVE, which is made when it\n"
    "is missing. Their data is copied as it is stored: nothing is decoded or\n"
    "encrypted again. OTHER may have a self-extractor stub in front.\n"
    "\n"
    "Options:\n"
    "      --overwrite WHEN     an item named as one ARCHIVE has already:\n"
    "                           never (default: keep ARCHIVE's), always,\n"
    "                           newer (take it when it is newer), older\n"
    "  -q, --quiet              no progress line\n"
    "  -h, --help               show this help\n"
    "\n"
    "Each OTHER is merged in one commit; Ctrl-C rolls the running one back.\n"
    "The exit status is 0 when every OTHER was merged, 1 when one could not\n"
    "be read (the ones before it stay merged), 2 for a usage error, 130 when\n"
    "interrupted.\n";

TKelOverwriteMode OverwriteMode(const std::string& when) {
  if (when == "never") return omNever;
  if (when == "always") return omAlways;
  if (when == "newer") return omIfNewer;
  if (when == "older") return omIfOlder;
  throw EUsageError("--overwrite takes never, always, newer or older, not '" + when + "'");
}

}  // namespace

int RunMerge(const std::vector<std::string>& args) {
  const TParsedArgs a = ParseArgs(args, {{"help", 'h'}, {"overwrite", 0, true}, {"quiet", 'q'}});
  if (a.Has("help")) {
    std::fputs(kHelp, stdout);
    return ExitOk;
  }
  if (a.Positional.empty()) throw EUsageError("no archive named");
  if (a.Positional.size() < 2) throw EUsageError("no archive to merge named");
  const TKelOverwriteMode mode = OverwriteMode(a.Last("overwrite", "never"));
  const std::vector<std::string> others(a.Positional.begin() + 1, a.Positional.end());
  uint64_t total = 0;
  for (const std::string& other : others) {
    const int64_t size = DiskFileSize(FromUtf8(other));
    if (size < 0) throw std::runtime_error(other + ": no such archive");
    total += static_cast<uint64_t>(size);
  }

  TCliArchiver archiver;
  const bool created = OpenForWriting(archiver, a.Positional[0], true);
  archiver.Options().SetOverwriteMode(mode);
  TWriteRun run(archiver, a.Has("quiet"), false);
  run.CountWholeFiles(total);
  try {
    run.Run([&] {
      for (const std::string& other : others) {
        try {
          archiver.MergeWith(FromUtf8(other));
        } catch (const std::exception& e) {
          throw std::runtime_error(other + ": " + e.what());
        }
        if (run.RolledBack()) break;
      }
    });
  } catch (...) {
    DropIfEmpty(archiver, created);
    throw;
  }
  DropIfEmpty(archiver, created);
  return run.Finish();
}

}  // namespace kelvane::cli
