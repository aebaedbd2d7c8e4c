// The subcommands of kelvane. A new command is a file with its Run function
// and one line in the table (CommandTable.cpp).
#pragma once

#include <span>
#include <string>
#include <vector>

namespace kelvane::cli {

struct TCommand {
  const char* Name;
  const char* Alias;    // nullptr when there is none
  const char* Summary;  // one line for the tool's help
  int (*Run)(const std::vector<std::string>& args);
};

// Every command, in the order the help lists them.
std::span<const TCommand> Commands();
// The command named or abbreviated Word; nullptr when there is none.
const TCommand* FindCommand(const std::string& word);

}  // namespace kelvane::cli
