// kelvane comment: the archive's comment, or the comment of items.
#include <cstdio>
#include <iostream>
#include <sstream>
#include <stdexcept>

#include "cli/ArgParser.h"
#include "cli/CliArchiver.h"
#include "cli/Commands.h"
#include "cli/DiskFile.h"
#include "cli/WriteRun.h"
#include "platform/Text.h"

namespace kelvane::cli {
namespace {

const char* const kHelp =
    "Usage: kelvane comment ARCHIVE [--item MASK] [TEXT | -F FILE]\n"
    "\n"
    "Sets the comment of ARCHIVE, or with --item of the items MASK selects, to\n"
    "TEXT, to the contents of FILE, or without either to what standard input\n"
    "holds. An empty TEXT removes the comment. The bytes are stored as they are.\n"
    "\n"
    "Options:\n"
    "      --item MASK          the items to comment, by stored name\n"
    "  -F, --file FILE          take the comment from FILE (\"-\": standard input)\n"
    "  -q, --quiet              no progress line\n"
    "  -h, --help               show this help\n"
    "\n"
    "The exit status is 0 when the comment was set, 1 when --item selects no\n"
    "item or the comment is longer than 65535 bytes (nothing is changed), 2 for\n"
    "a usage error.\n";

constexpr size_t kMaxComment = 65535;

std::string ReadAll(const std::string& path) {
  std::stringstream text;
  if (path == "-") {
    text << std::cin.rdbuf();
    return text.str();
  }
  return ReadDiskFile(path);
}

}  // namespace

int RunComment(const std::vector<std::string>& args) {
  const TParsedArgs a =
      ParseArgs(args, {{"help", 'h'}, {"item", 0, true}, {"file", 'F', true}, {"quiet", 'q'}});
  if (a.Has("help")) {
    std::fputs(kHelp, stdout);
    return ExitOk;
  }
  if (a.Positional.empty()) throw EUsageError("no archive named");
  if (a.Positional.size() > 2) throw EUsageError("give the comment as one argument (quote it)");
  if (a.Positional.size() == 2 && a.Has("file")) throw EUsageError("give either TEXT or --file");
  const std::string comment =
      a.Positional.size() == 2 ? a.Positional[1] : ReadAll(a.Last("file", "-"));
  if (comment.size() > kMaxComment)
    throw std::runtime_error("the comment has " + std::to_string(comment.size()) +
                             " bytes; at most 65535 fit");

  TCliArchiver archiver;
  OpenForWriting(archiver, a.Positional[0], false);
  if (a.Has("item")) {
    archiver.Select({a.Last("item")}, {});
    TKelArchiveItem found;
    if (!archiver.FindFirst(found)) throw std::runtime_error("no item matches " + a.Last("item"));
  }
  TWriteRun run(archiver, a.Has("quiet"), false);
  run.Run([&] {
    if (a.Has("item"))
      archiver.ChangeFilesComment(FromUtf8(a.Last("item")), comment);
    else
      archiver.SetComment(comment);
  });
  return run.Finish();
}

}  // namespace kelvane::cli
