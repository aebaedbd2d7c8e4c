// What extraction and testing share: the password options, the selection and
// its totals, progress, interruption, and the record of failed items.
#pragma once

#include <csignal>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "cli/ArgParser.h"
#include "cli/CliArchiver.h"
#include "cli/Progress.h"

namespace kelvane::cli {

// The options both subcommands take, for their parser.
std::vector<TOptionSpec> ItemRunOptions();

// Sets the archiver's password from --password or --password-file and
// whether a password may be asked for (standard input is a terminal).
void ApplyPasswordOptions(TCliArchiver& archiver, const TParsedArgs& args);

// Names on standard error each volume of the open split or spanned set that
// is not there: the engine's error for the items on it names none.
void WarnMissingVolumes(TCliArchiver& archiver);

struct TItemFailure {
  std::string Name;
  std::string Message;
};

// Watches one run of ExtractFiles or TestFiles through the archiver's events.
class TItemRun {
 public:
  // Selects Masks minus Exclusions in Archiver (which must be open) and counts
  // what they select. Quiet: no progress line even on a terminal.
  TItemRun(TCliArchiver& archiver, const std::vector<std::string>& masks,
           const std::vector<std::string>& exclusions, bool quiet);
  ~TItemRun();
  TItemRun(const TItemRun&) = delete;
  TItemRun& operator=(const TItemRun&) = delete;

  // Masks that select no item.
  const std::vector<std::string>& UnmatchedMasks() const { return FUnmatched; }
  int64_t SelectedItems() const { return FSelectedItems; }

  // Called with each item that ended without an error, and with each failure
  // as it happens (the progress line is out of the way then).
  std::function<void(const std::string& name)> OnItemDone;
  std::function<void(const TItemFailure& failure)> OnItemFailed;

  // Runs Operation (ExtractFiles or TestFiles on the archiver) with the events
  // attached; Ctrl-C or SIGTERM stops it after the current item, whose partial
  // output the engine removes.
  void Run(const std::function<void()>& operation);

  const std::vector<TItemFailure>& Failures() const { return FFailures; }
  // Local records that disagreed with the directory, which settled them; each
  // was named on standard error as it came.
  int64_t Warnings() const { return FWarnings; }
  int64_t DoneItems() const { return FDoneItems; }
  bool Interrupted() const;

 private:
  // The item last started when it is named Name (disk separators).
  const TDirItem* StartedItem(const UString& name) const;

  TCliArchiver& FArchiver;
  std::vector<std::string> FUnmatched;
  int64_t FSelectedItems = 0;
  uint64_t FSelectedBytes = 0;
  std::vector<TItemFailure> FFailures;
  int64_t FDoneItems = 0;
  bool FQuiet;
  std::vector<uint64_t> FSizes;  // of the selected items, in directory order
  std::vector<int32_t> FItems;   // their indices
  size_t FNext = 0;              // next entry of FSizes to start
  int64_t FWarnings = 0;
};

}  // namespace kelvane::cli
