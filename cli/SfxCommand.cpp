// kelvane sfx: a self-extractor made of a stub and an archive.
#include <algorithm>
#include <cstdio>
#include <stdexcept>

#include "cli/ArgParser.h"
#include "cli/CliArchiver.h"
#include "cli/Commands.h"
#include "cli/DiskFile.h"
#include "cli/StubLocator.h"
#include "cli/WriteRun.h"
#include "platform/FileSystem.h"
#include "platform/Text.h"

namespace kelvane::cli {
namespace {

const char* const kHelp =
    "Usage: kelvane sfx ARCHIVE OUTPUT [OPTIONS]\n"
    "\n"
    "Writes OUTPUT, a program that extracts ARCHIVE: the self-extractor stub\n"
    "followed by the archive, with the archive's offsets counting the stub.\n"
    "ARCHIVE itself is not changed, and zip tools still read OUTPUT.\n"
    "\n"
    "Options:\n"
    "      --stub KIND          gui (default: a window), console (a terminal),\n"
    "                           or the path of a stub file\n"
    "  -q, --quiet              no progress line\n"
    "  -h, --help               show this help\n"
    "\n"
    "OUTPUT is written beside its place and takes it, executable, only when\n"
    "complete. The exit status is 0 when OUTPUT was written, 1 when it could\n"
    "not be (an archive with volumes or with a stub already, a missing stub;\n"
    "nothing is changed), 2 for a usage error, 130 when interrupted.\n";

}  // namespace

int RunSfx(const std::vector<std::string>& args) {
  const TParsedArgs a = ParseArgs(args, {{"help", 'h'}, {"stub", 0, true}, {"quiet", 'q'}});
  if (a.Has("help")) {
    std::fputs(kHelp, stdout);
    return ExitOk;
  }
  if (a.Positional.size() != 2) throw EUsageError("sfx takes an archive and an output file");
  const std::string& archive = a.Positional[0];
  if (!IsFile(FromUtf8(archive))) throw std::runtime_error(archive + ": no such archive");
  TCliArchiver archiver;
  archiver.SetFileName(FromUtf8(archive));
  const std::string stub = FindStub(a.Last("stub", "gui"));
  archiver.SetSFXStub(FromUtf8(stub));
  TWriteRun run(archiver, a.Has("quiet"), false);
  run.CountWholeFiles(static_cast<uint64_t>(std::max<int64_t>(DiskFileSize(FromUtf8(archive)), 0)));
  run.Run([&] { archiver.MakeSFX(FromUtf8(a.Positional[1])); });
  return run.Finish();
}

}  // namespace kelvane::cli
