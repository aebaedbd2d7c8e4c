// The stub's command line. Without options the dialog runs; the batch options
// do the same work without it, for scripts and installers.
#pragma once

#include <string>
#include <vector>

namespace kelvane {

enum TSFXMode : uint8_t {
  smDialog,   // the dialog (window, or terminal)
  smExtract,  // --dest DIR: extract without the dialog
  smList,     // --list
  smTest,     // --test
  smHelp,     // --help
  smVersion,  // --version
};

struct TSFXArgs {
  TSFXMode Mode = smDialog;
  std::string Dest;          // --dest
  bool Overwrite = false;    // --overwrite
  bool Console = false;      // --console
  std::string PasswordFile;  // --password-file ("-": standard input); empty: none
  bool HasPasswordFile = false;
  bool DescribeWindow = false;  // --describe-window (tests of the window)
};

// Parses Args (without the program name). "--opt VALUE" and "--opt=VALUE" are
// both taken. Raises std::invalid_argument with a one-line reason for an
// unknown option, a missing or empty value, a repeated or conflicting mode,
// or a stray argument.
TSFXArgs ParseSFXArgs(const std::vector<std::string>& args);

// The --help text for a program called ProgramName.
std::string SFXUsage(const std::string& programName);

}  // namespace kelvane
