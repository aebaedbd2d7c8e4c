// The subcommands. Each takes the arguments after its name, prints its own
// help for --help, and returns the exit status; usage errors raise
// EUsageError, engine and system errors pass through to the caller.
#pragma once

#include <string>
#include <vector>

namespace kelvane::cli {

inline constexpr int ExitOk = 0;
inline constexpr int ExitFailure = 1;
inline constexpr int ExitUsage = 2;
inline constexpr int ExitInterrupted = 130;

int RunList(const std::vector<std::string>& args);
int RunExtract(const std::vector<std::string>& args);
int RunTest(const std::vector<std::string>& args);
int RunInfo(const std::vector<std::string>& args);
int RunAdd(const std::vector<std::string>& args);
int RunUpdate(const std::vector<std::string>& args);
int RunMove(const std::vector<std::string>& args);
int RunDelete(const std::vector<std::string>& args);
int RunRename(const std::vector<std::string>& args);
int RunComment(const std::vector<std::string>& args);

// "kelvane: <message>" on standard error.
void PrintError(const std::string& message);

}  // namespace kelvane::cli
