#include "cli/WriteRun.h"

#include <unistd.h>

#include <cstdio>
#include <stdexcept>

#include "cli/Commands.h"
#include "cli/Damage.h"
#include "cli/Interrupt.h"
#include "platform/FileSystem.h"
#include "platform/Text.h"

namespace kelvane::cli {

bool OpenForWriting(TCliArchiver& archiver, const std::string& path, bool create) {
  const UString name = FromUtf8(path);
  archiver.SetFileName(name);
  if (!IsFile(name)) {
    if (!create) throw std::runtime_error(path + ": no such archive");
    archiver.OpenArchive(fmCreate);
    return true;
  }
  archiver.OpenArchive(fmOpenReadWrite | fmShareDenyWrite);
  if (archiver.RolledBackInterruptedCommit())
    PrintError(path + ": a change of an earlier run was interrupted; it was rolled back");
  const std::string damage = RecoveryText(archiver.DirRecovery());
  if (!damage.empty()) {
    archiver.CloseArchive();
    throw std::runtime_error(path + " is damaged (" + damage +
                             "); it was not changed. Extract what it holds into a new archive.");
  }
  return false;
}

void DropIfEmpty(TCliArchiver& archiver, bool created) {
  if (!created || !archiver.Active() || archiver.ItemCount() > 0) return;
  const UString name = archiver.FileName();
  archiver.CloseArchive();
  RemoveFile(name);
}

TWriteRun::TWriteRun(TCliArchiver& archiver, bool quiet, bool verbose)
    : FArchiver(archiver), FQuiet(quiet), FVerbose(verbose) {}

TWriteRun::~TWriteRun() {
  FArchiver.SetOnOverallProgress(nullptr);
  FArchiver.SetOnFileProgress(nullptr);
  FArchiver.SetOnProcessFileFailure(nullptr);
  FArchiver.SetOnConfirmProcessFile(nullptr);
}

void TWriteRun::Run(const std::function<void()>& change) {
  const bool terminal = !FQuiet && ::isatty(STDERR_FILENO) == 1;
  // Ctrl-C while files are gathered: the rest are passed over and the commit
  // stops at its first report, before it writes anything.
  FArchiver.SetOnConfirmProcessFile(
      [this](TKelBaseArchiver*, const UString& path, TKelProcessOperation, bool& confirm) {
        if (Interrupted() || (Accept && !Accept(path))) confirm = false;
      });
  FArchiver.SetOnOverallProgress([this, terminal](TKelBaseArchiver*, double, TKelProcessOperation,
                                                  TKelProgressPhase phase, bool& cancel) {
    if (phase == ppStart)
      FBar = std::make_unique<TProgressBar>(stderr, terminal, FArchiver.PendingBytes());
    // After the end report the directory is written: nothing to stop.
    if (phase != ppEnd && Interrupted()) cancel = FCancelled = true;
  });
  FArchiver.SetOnFileProgress([this](TKelBaseArchiver*, const UString& name, double progress,
                                     TKelProcessOperation, TKelProgressPhase phase, bool& cancel) {
    if (FBar) {
      switch (phase) {
        case ppStart:
          FBar->ItemStart(name, FArchiver.ItemSize(name));
          break;
        case ppProcess:
          FBar->ItemProgress(progress);
          break;
        case ppEnd:
          FBar->ItemEnd();
          break;
      }
    }
    if (phase == ppEnd) {
      ++FStored;
      if (FVerbose) {
        if (FBar) FBar->Clear();
        std::printf("%s\n", DisplayText(name).c_str());
        std::fflush(stdout);
      }
    }
    if (Interrupted()) cancel = FCancelled = true;
  });
  FArchiver.SetOnProcessFileFailure([this](TKelBaseArchiver*, const UString& name,
                                           TKelProcessOperation, int32_t, int32_t,
                                           const UString& message, TKelAction& action) {
    if (FBar) FBar->Clear();
    TWriteFailure failure{DisplayText(name), DisplayText(message)};
    PrintError(failure.Name + ": " + failure.Message);
    FFailures.push_back(std::move(failure));
    if (FBar) FBar->ItemEnd();
    action = fxaIgnore;
    if (Interrupted()) {
      action = fxaAbort;
      FCancelled = true;
    }
  });
  TInterruptScope interrupts;
  try {
    change();
  } catch (...) {
    FBar.reset();
    if (FArchiver.InUpdate()) FArchiver.CancelUpdate();
    throw;
  }
  FBar.reset();
}

int TWriteRun::Finish() {
  std::fflush(stdout);
  if (FCancelled) {
    PrintError("interrupted; the archive was left as it was");
    return ExitInterrupted;
  }
  if (FFailures.empty()) return ExitOk;
  PrintError(std::to_string(FFailures.size()) + (FFailures.size() == 1 ? " item" : " items") +
             " failed");
  return ExitFailure;
}

}  // namespace kelvane::cli
