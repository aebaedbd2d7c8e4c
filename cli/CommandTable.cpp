#include "cli/CommandTable.h"

#include "cli/Commands.h"

namespace kelvane::cli {
namespace {

const TCommand kCommands[] = {
    {"list", "l", "list the items of an archive", RunList},
    {"extract", "x", "extract items", RunExtract},
    {"test", "t", "verify items without writing them", RunTest},
    {"info", nullptr, "describe an archive", RunInfo},
    {"add", "a", "add files and folders (makes the archive when missing)", RunAdd},
    {"update", "u", "replace items by newer files, add new files", RunUpdate},
    {"move", "m", "add files and folders, then delete them from the disk", RunMove},
    {"delete", "d", "delete items", RunDelete},
    {"rename", nullptr, "rename an item or a folder", RunRename},
    {"comment", nullptr, "set the comment of the archive or of items", RunComment},
};

}  // namespace

std::span<const TCommand> Commands() {
  return kCommands;
}

const TCommand* FindCommand(const std::string& word) {
  for (const TCommand& c : kCommands)
    if (word == c.Name || (c.Alias && word == c.Alias)) return &c;
  return nullptr;
}

}  // namespace kelvane::cli
