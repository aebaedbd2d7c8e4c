// The stub's work without the dialog: extracting into a given folder, listing
// and testing. Each returns the program's exit status (TSFXExitStatus) and
// writes one line with the reason to Err when it is not esComplete.
#pragma once

#include <cstdio>
#include <optional>
#include <string>

#include "platform/Types.h"

namespace kelvane {

// What the program start hands to every way of running.
struct TSFXRun {
  UString ExePath;                     // the archive: the running executable
  std::string ProgramName;             // the prefix of messages on standard error
  bool Overwrite = false;              // replace existing files without asking
  std::optional<AnsiString> Password;  // from --password-file
};

// The dialog's extraction into Dest, as if Dest had been typed into edPath and
// "Extraer" pressed; the items go to Out as they are done. Questions (the
// overwrite question, the engine's own) go to the current TDialogs provider.
int RunBatchExtract(const TSFXRun& run, const std::string& dest, std::FILE* out, std::FILE* err);
// One line per item (size, packed size, date, time, name) and a total line.
int RunList(const TSFXRun& run, std::FILE* out, std::FILE* err);
// Checks every item without writing anything; every failure is reported and
// the test goes on with the next item.
int RunTest(const TSFXRun& run, std::FILE* out, std::FILE* err);

}  // namespace kelvane
