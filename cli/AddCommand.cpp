// kelvane add, update and move: files and folders from the disk into an
// archive, in one commit.
#include <cstdio>
#include <stdexcept>

#include "cli/ArgParser.h"
#include "cli/CliArchiver.h"
#include "cli/Commands.h"
#include "cli/SourcePaths.h"
#include "cli/StoreSettings.h"
#include "cli/StubLocator.h"
#include "cli/WriteRun.h"
#include "names/Paths.h"
#include "platform/FileSystem.h"
#include "platform/ProgramFile.h"
#include "platform/Text.h"

namespace kelvane::cli {
namespace {

#define KEL_STORE_OPTIONS_HELP                                                            \
  "  -0 ... -9, --level N     Deflate level; 0 stores (default: 6)\n"                     \
  "  -C, --dir DIR            PATHs are relative to DIR, and so are stored names\n"       \
  "  -x, --exclude MASK...    leave out files and folders these masks match: a mask\n"    \
  "                           without \"/\" matches names, one with \"/\" stored paths\n" \
  "      --store MASK         store the files MASK matches without compression\n"         \
  "  -p, --password PW        encrypt new items with PW\n"                                \
  "      --password-file FILE read the password from the first line of FILE\n"            \
  "                           (\"-\": standard input)\n"                                  \
  "      --encryption METHOD  zipcrypto, aes128, aes192 or aes256 (default)\n"            \
  "      --zip64 WHEN         Zip64 records: auto (when needed; default), always,\n"      \
  "                           never (an item of 4 GiB or more then fails)\n"              \
  "      --follow-links       store what symbolic links lead to, not the links\n"         \
  "      --comment TEXT       set the archive's comment\n"                                \
  "  -v, --verbose            name each item as it is stored\n"                           \
  "  -q, --quiet              no progress line\n"                                         \
  "  -h, --help               show this help\n"

#define KEL_PATHS_HELP                                                               \
  "A folder is stored with everything below it. Stored names are the PATHs as\n"     \
  "given, made relative: a leading \"/\" and \"..\" parts are dropped. A symbolic\n" \
  "link is stored as a link unless --follow-links.\n"

const char* const kAddHelp =
    "Usage: kelvane add ARCHIVE PATH... [OPTIONS]\n"
    "       kelvane a ...\n"
    "\n"
    "Adds files and folders to ARCHIVE, which is made when it is missing.\n" KEL_PATHS_HELP
    "An item already in the archive is kept unless --overwrite.\n"
    "\n"
    "Options:\n" KEL_STORE_OPTIONS_HELP
    "      --overwrite          replace items of the same name\n"
    "      --split SIZE         a new archive in volumes of SIZE bytes (k, m, g:\n"
    "                           KiB, MiB, GiB; at least 64k)\n"
    "      --sfx                a new archive starts with the self-extractor stub\n"
    "      --stub KIND          that stub: gui (default), console, or a stub file\n"
    "\n"
    "A change is written in one commit; Ctrl-C rolls it back and leaves the\n"
    "archive as it was. The exit status is 0 when every file was stored, 1 when\n"
    "a file could not be read (the others are stored), a PATH is missing\n"
    "(nothing is changed) or an item was kept, 2 for a usage error, 130 when\n"
    "interrupted.\n";

const char* const kUpdateHelp =
    "Usage: kelvane update ARCHIVE [PATH...] [OPTIONS]\n"
    "       kelvane u ...\n"
    "\n"
    "Without PATH replaces each item of ARCHIVE whose file (below the current\n"
    "folder, or -C DIR) is newer. With PATHs adds them as 'kelvane add' does,\n"
    "replacing an item only by a newer file.\n" KEL_PATHS_HELP
    "\n"
    "Options:\n" KEL_STORE_OPTIONS_HELP
    "\n"
    "The exit status is 0 when every file was stored, 1 when one failed or a\n"
    "PATH is missing, 2 for a usage error, 130 when interrupted (the archive is\n"
    "left as it was).\n";

const char* const kMoveHelp =
    "Usage: kelvane move ARCHIVE PATH... [OPTIONS]\n"
    "       kelvane m ...\n"
    "\n"
    "Adds files and folders as 'kelvane add' does, then deletes them from the\n"
    "disk once the archive holds them. A file that was not stored stays.\n" KEL_PATHS_HELP
    "\n"
    "Options:\n" KEL_STORE_OPTIONS_HELP
    "      --overwrite          replace items of the same name\n"
    "\n"
    "The exit status is 0 when every file was moved, 1 when one failed or a\n"
    "PATH is missing, 2 for a usage error, 130 when interrupted (the archive\n"
    "and the files are left as they were).\n";

enum TAddKind { akAdd, akUpdate, akMove };

constexpr int32_t kFilesAndFolders = KelAllItemsAttr;
constexpr int32_t kFilesOnly = KelAllItemsAttr & ~faDirectory;

// Gathers what one source names into the open update; returns how many files
// and folders it found.
int64_t GatherSource(TCliArchiver& archiver, TWriteRun& run, const TSourcePath& source, bool moving,
                     bool followLinks) {
  int64_t found = 0;
  archiver.SetBaseDir(source.Base);
  // Relative to the root is the full path without its root.
  archiver.Options().SetStorePath(source.BaseIsRoot ? spFullPath : spRelativePath);
  const auto gather = [&](const UString& mask, int32_t attr, bool recurse,
                          std::function<bool(const UString&)> accept) {
    archiver.FileMasks().Clear();
    archiver.FileMasks().Add(mask);
    archiver.Options().SetSearchAttr(attr);
    archiver.Options().SetRecurse(recurse);
    run.Accept = [&found, accept](const UString& path) {
      if (accept && !accept(path)) return false;
      ++found;
      return true;
    };
    if (moving)
      archiver.MoveFiles();
    else
      archiver.AddFiles();
    run.Accept = nullptr;
  };
  if (source.Wildcards) {
    gather(source.Path, kFilesOnly, false, nullptr);
    return found;
  }
  // The file, link or folder itself; the search also looks at what lies
  // below a folder of the same name, which is not meant.
  if (!source.Stored.empty()) {
    const UString self = source.Path, selfFolder = source.Path + PathDelim;
    gather(self, kFilesAndFolders, false,
           [self, selfFolder](const UString& path) { return path == self || path == selfFolder; });
  }
  if (SourceKind(source.Path, followLinks) == 'd') {
    const UString below = source.Path.ends_with(PathDelim) ? source.Path : source.Path + PathDelim;
    gather(below + u"*", kFilesAndFolders, true, nullptr);
  }
  return found;
}

int RunAddKind(const std::vector<std::string>& args, TAddKind kind) {
  std::vector<TOptionSpec> specs = StoreOptions();
  if (kind != akUpdate) specs.push_back({"overwrite"});
  if (kind == akAdd) specs.insert(specs.end(), {{"split", 0, true}, {"sfx"}, {"stub", 0, true}});
  const TParsedArgs a = ParseArgs(args, specs);
  if (a.Has("help")) {
    std::fputs(kind == akAdd ? kAddHelp : kind == akUpdate ? kUpdateHelp : kMoveHelp, stdout);
    return ExitOk;
  }
  if (a.Positional.empty()) throw EUsageError("no archive named");
  if (kind != akUpdate && a.Positional.size() < 2) throw EUsageError("no file or folder named");
  const std::string& archivePath = a.Positional[0];
  const bool exists = IsFile(FromUtf8(archivePath));
  const bool makesNew = a.Has("split") || a.Has("sfx") || a.Has("stub");
  if (makesNew && exists)
    throw EUsageError("--split, --sfx and --stub make a new archive; " + archivePath + " exists");

  TCliArchiver archiver;
  ApplyStoreSettings(archiver, a);
  for (const std::string& mask : a.All("exclude"))
    archiver.ExclusionMasks().Add(FromUtf8(mask));
  const bool followLinks = a.Has("follow-links");
  if (a.Has("split")) {
    archiver.SetSpanningMode(smSplitting);
    archiver.SpanningOptions().SetVolumeSize(vsCustom);
    archiver.SpanningOptions().SetCustomVolumeSize(ParseVolumeSize(a.Last("split")));
  }

  // Every PATH is looked at before the archive is touched.
  UString folder = CurrentDirectory();
  if (a.Has("dir")) {
    folder = ExcludeBackslash(FullPath(FromUtf8(a.Last("dir"))));
    if (!IsDirectory(folder)) throw std::runtime_error(a.Last("dir") + ": no such folder");
  }
  std::vector<TSourcePath> sources;
  bool missing = false;
  for (size_t i = 1; i < a.Positional.size(); ++i) {
    sources.push_back(PlanSource(a.Positional[i], folder));
    if (!sources.back().Wildcards && SourceKind(sources.back().Path, followLinks) == 0) {
      PrintError(a.Positional[i] + ": no such file or folder");
      missing = true;
    }
  }
  if (missing) {
    PrintError("nothing was changed");
    return ExitFailure;
  }

  if (a.Has("sfx") || a.Has("stub")) archiver.SetSFXStub(FromUtf8(FindStub(a.Last("stub", "gui"))));
  const bool created = OpenForWriting(archiver, archivePath, !sources.empty());
  CheckPasswordFitsArchive(archiver);

  std::vector<std::string> kept;
  if (kind == akUpdate) {
    archiver.Options().SetOverwriteMode(omIfNewer);
  } else if (a.Has("overwrite")) {
    archiver.Options().SetOverwriteMode(omAlways);
  } else {
    archiver.Options().SetOverwriteMode(omPrompt);
    archiver.SetOnConfirmOverwrite(
        [&kept](TKelBaseArchiver*, const UString&, UString& dest, bool& confirm) {
          confirm = false;
          // A folder item holds nothing that a newer one would change.
          if (!dest.ends_with(u'/')) kept.push_back(DisplayText(dest));
        });
  }

  TWriteRun run(archiver, a.Has("quiet"), a.Has("verbose"));
  std::vector<std::string> unmatched;
  run.Run([&] {
    archiver.BeginUpdate();
    if (sources.empty()) {
      archiver.SetBaseDir(folder);
      archiver.Select({}, a.All("exclude"));
      archiver.UpdateFiles();
    }
    for (const TSourcePath& source : sources)
      if (GatherSource(archiver, run, source, kind == akMove, followLinks) == 0 && source.Wildcards)
        unmatched.push_back(source.Given);
    if (a.Has("comment")) archiver.SetComment(a.Last("comment"));
    if (!unmatched.empty() || (archiver.ModifiedItems() == 0 && !a.Has("comment")))
      archiver.CancelUpdate();
    else
      archiver.EndUpdate();
  });
  for (const std::string& name : kept)
    PrintError(name + ": already in the archive; kept (--overwrite replaces it)");
  for (const std::string& mask : unmatched)
    PrintError(mask + ": no file matches; nothing was changed");
  const int status = run.Finish();
  DropIfEmpty(archiver, created);
  // A self-extractor runs as a program: whoever may read it may run it.
  if (created && !archiver.SFXStub().empty()) AllowRunning(FromUtf8(archivePath));
  if (status != ExitOk) return status;
  return kept.empty() && unmatched.empty() ? ExitOk : ExitFailure;
}

}  // namespace

int RunAdd(const std::vector<std::string>& args) {
  return RunAddKind(args, akAdd);
}

int RunUpdate(const std::vector<std::string>& args) {
  return RunAddKind(args, akUpdate);
}

int RunMove(const std::vector<std::string>& args) {
  return RunAddKind(args, akMove);
}

}  // namespace kelvane::cli
