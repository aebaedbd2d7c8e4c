// What the commands that change an archive share: opening it for writing
// (rolling back an interrupted change of an earlier run, refusing a damaged
// archive), and one commit watched for progress, failures and Ctrl-C.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "cli/CliArchiver.h"
#include "cli/Progress.h"

namespace kelvane::cli {

// Opens the archive at Path for a change. A missing archive is made when
// Create (the result is then true), else it raises std::runtime_error, as it
// does for a damaged archive (a directory that had to be rebuilt: writing it
// would settle the damage for good), which is closed again unchanged. Says so
// on standard error when the opening rolled back an interrupted change.
bool OpenForWriting(TCliArchiver& archiver, const std::string& path, bool create);

// Removes an archive this run made when it holds nothing after all (every
// source failed, or the change was interrupted).
void DropIfEmpty(TCliArchiver& archiver, bool created);

struct TWriteFailure {
  std::string Name;
  std::string Message;
};

// Watches one change of an open archive through the archiver's events.
class TWriteRun {
 public:
  TWriteRun(TCliArchiver& archiver, bool quiet, bool verbose);
  ~TWriteRun();
  TWriteRun(const TWriteRun&) = delete;
  TWriteRun& operator=(const TWriteRun&) = delete;

  // Runs Change (which begins and ends an update of its own) with the events
  // attached: a progress line on a terminal, -v names each item stored, a
  // failed item is named and left out (the others go on). Ctrl-C or SIGTERM
  // stops the commit at its next report and rolls it back. When Change raises,
  // the open update is cancelled before the error passes on.
  void Run(const std::function<void()>& change);

  // Asked for each file or folder the engine finds while gathering; false
  // passes it over. Everything is taken when it is empty.
  std::function<bool(const UString& path)> Accept;

  // The commit was stopped by a signal and the archive is as it was.
  bool RolledBack() const { return FCancelled; }
  const std::vector<TWriteFailure>& Failures() const { return FFailures; }
  int64_t StoredItems() const { return FStored; }

  // The status the command ends with, after naming failures on standard
  // error: 130 rolled back, 1 failures, else 0.
  int Finish();

 private:
  TCliArchiver& FArchiver;
  bool FQuiet;
  bool FVerbose;
  bool FCancelled = false;
  std::unique_ptr<TProgressBar> FBar;
  std::vector<TWriteFailure> FFailures;
  int64_t FStored = 0;
};

}  // namespace kelvane::cli
