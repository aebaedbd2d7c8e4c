// kelvane repair: what can be read of a damaged archive, as a new archive.
#include <cstdio>
#include <set>
#include <stdexcept>

#include "cli/ArgParser.h"
#include "cli/CliArchiver.h"
#include "cli/Commands.h"
#include "cli/ItemRun.h"
#include "container/KelZipConst.h"
#include "platform/FileSystem.h"
#include "platform/Text.h"

namespace kelvane::cli {
namespace {

const char* const kHelp =
    "Usage: kelvane repair ARCHIVE [-o OUTPUT] [OPTIONS]\n"
    "\n"
    "Rebuilds ARCHIVE from what can be read of it (a lost directory is found\n"
    "again from the items themselves) into OUTPUT, or in place of ARCHIVE.\n"
    "Items that verify are copied as they are stored; a damaged item keeps\n"
    "what can be decoded of it; an item that cannot be read at all is left\n"
    "out. Each damaged or lost item is named. Names, times, attributes and\n"
    "comments are kept.\n"
    "\n"
    "Options:\n"
    "  -o, --output FILE        write the repaired archive to FILE\n"
    "  -p, --password PW        the password of encrypted items (without one\n"
    "      --password-file FILE they are copied as stored, unchecked)\n"
    "  -q, --quiet              no progress or summary line\n"
    "  -h, --help               show this help\n"
    "\n"
    "The new archive is written beside its place and takes it only when\n"
    "complete, so a failure leaves ARCHIVE as it was. The exit status is 0\n"
    "when every item was whole, 1 when an item was damaged or left out or the\n"
    "archive could not be repaired, 2 for a usage error.\n";

struct TSurvey {
  std::set<std::string> Names;    // every item found, as displayed
  std::set<std::string> Damaged;  // items that do not verify
};

// Reads Path as far as it can be and tests each item; encrypted items are
// only tested when a password is given, as the repair only decodes them then.
TSurvey Survey(const std::string& path, const TParsedArgs& args) {
  TCliArchiver archiver;
  archiver.SetOpenCorruptedArchives(true);
  ApplyPasswordOptions(archiver, args);
  archiver.SetCanAskPassword(false);
  archiver.OpenForReading(path);
  TSurvey survey;
  std::set<std::string> locked;
  for (int32_t i = 0; i < archiver.ItemCount(); ++i) {
    const TDirItem& item = archiver.Item(i);
    survey.Names.insert(DisplayText(item.Name.Str()));
    if ((item.CentralDir.genPurposeFlag & KelFlagEncrypted) && archiver.Password().empty())
      locked.insert(DisplayText(item.Name.Str()));
  }
  TItemRun run(archiver, {}, {}, args.Has("quiet"));
  run.Run([&archiver] { archiver.TestFiles(); });
  if (run.Interrupted()) throw std::runtime_error("interrupted; nothing was changed");
  for (const TItemFailure& failure : run.Failures())
    if (!locked.count(failure.Name)) survey.Damaged.insert(failure.Name);
  return survey;
}

// The names a repaired archive holds.
std::set<std::string> KeptNames(const std::string& path) {
  TCliArchiver archiver;
  archiver.OpenForReading(path);
  std::set<std::string> names;
  for (int32_t i = 0; i < archiver.ItemCount(); ++i)
    names.insert(DisplayText(archiver.Item(i).Name.Str()));
  return names;
}

}  // namespace

int RunRepair(const std::vector<std::string>& args) {
  const TParsedArgs a = ParseArgs(args, {{"help", 'h'},
                                         {"output", 'o', true},
                                         {"password", 'p', true},
                                         {"password-file", 0, true},
                                         {"quiet", 'q'}});
  if (a.Has("help")) {
    std::fputs(kHelp, stdout);
    return ExitOk;
  }
  if (a.Positional.size() != 1) throw EUsageError("repair takes one archive");
  const std::string& archive = a.Positional[0];
  if (!IsFile(FromUtf8(archive))) throw std::runtime_error(archive + ": no such archive");
  const std::string output = a.Last("output", archive);

  const TSurvey survey = Survey(archive, a);
  {
    TCliArchiver archiver;
    archiver.SetFileName(FromUtf8(archive));
    ApplyPasswordOptions(archiver, a);
    archiver.SetCanAskPassword(false);
    archiver.RepairArchive(FromUtf8(output));
  }
  const std::set<std::string> kept = KeptNames(output);
  size_t damaged = 0;
  for (const std::string& name : survey.Names) {
    if (!kept.count(name)) {
      PrintError(name + ": could not be read; left out");
    } else if (survey.Damaged.count(name)) {
      PrintError(name + ": damaged; what could be decoded of it is kept");
      ++damaged;
    }
  }
  const size_t lost = survey.Names.size() - kept.size();
  if (!a.Has("quiet"))
    std::printf("%s: %zu of %zu items kept, %zu of them damaged\n", output.c_str(), kept.size(),
                survey.Names.size(), damaged);
  return lost > 0 || damaged > 0 ? ExitFailure : ExitOk;
}

}  // namespace kelvane::cli
