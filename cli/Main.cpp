// kelvane: the command-line archiver over the engine.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "cli/ArgParser.h"
#include "cli/CommandTable.h"
#include "cli/Commands.h"
#include "engine/Kelvane.h"
#include "platform/Console.h"
#include "platform/Text.h"

using namespace kelvane;
using namespace kelvane::cli;

namespace {

// The tool's help, with the commands of the table.
std::string Help() {
  std::string help =
      "Usage: kelvane COMMAND [ARGS...]\n"
      "       kelvane --help | --version\n"
      "\n"
      "Reads and writes ZIP archives, also behind a self-extractor stub, Zip64\n"
      "and split sets, with PKZIP or AES encrypted items.\n"
      "\n"
      "Commands:\n";
  for (const TCommand& c : Commands()) {
    std::string names = std::string(c.Name) + (c.Alias ? std::string(", ") + c.Alias : "");
    names.resize(std::max<size_t>(names.size() + 1, 13), ' ');
    help += "  " + names + c.Summary + "\n";
  }
  help +=
      "\n"
      "Run 'kelvane COMMAND --help' for the options of a command.\n"
      "Exit status: 0 success, 1 an item or the archive failed, 2 a wrong\n"
      "command line, 130 interrupted (a change is rolled back).\n";
  return help;
}

int UsageError(const std::string& where, const std::string& message) {
  std::fprintf(stderr, "kelvane%s: %s\nTry 'kelvane%s --help'.\n", where.c_str(), message.c_str(),
               where.c_str());
  return ExitUsage;
}

std::string Version() {
  TKelvane engine(nullptr);
  std::string engineVersion = ToUtf8(engine.CurrentVersion());
  while (!engineVersion.empty() && engineVersion.back() == ' ')
    engineVersion.pop_back();
  return "kelvane " KELVANE_VERSION " (engine " + engineVersion + ")";
}

}  // namespace

namespace kelvane::cli {

void PrintError(const std::string& message) {
  std::fflush(stdout);
  std::fprintf(stderr, "kelvane: %s\n", message.c_str());
}

}  // namespace kelvane::cli

int main(int argc, char** argv) {
  StartConsoleProgram();
  const std::vector<std::string> args = ProgramArguments(argc, argv);
  if (args.empty()) return UsageError("", "no command given");
  const std::string& first = args[0];
  if (first == "--help" || first == "-h") {
    std::fputs(Help().c_str(), stdout);
    return ExitOk;
  }
  if (first == "--version" || first == "-V") {
    std::printf("%s\n", Version().c_str());
    return ExitOk;
  }
  const TCommand* command = FindCommand(first);
  if (!command) return UsageError("", "unknown command '" + first + "'");

  const std::string where = std::string(" ") + command->Name;
  try {
    return command->Run(std::vector<std::string>(args.begin() + 1, args.end()));
  } catch (const EUsageError& e) {
    return UsageError(where, e.what());
  } catch (const std::exception& e) {
    PrintError(e.what());
    return ExitFailure;
  }
}
