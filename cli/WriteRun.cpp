#include "cli/WriteRun.h"

#include <algorithm>
#include <cstdio>
#include <stdexcept>

#include "cli/Commands.h"
#include "cli/Damage.h"
#include "cli/DiskFile.h"
#include "cli/Interrupt.h"
#include "platform/FileSystem.h"
#include "platform/TerminalIO.h"
#include "platform/Text.h"

namespace kelvane::cli {
namespace {

constexpr int32_t NativeWriteError = 46;
constexpr int32_t NativeDiskFull = 65;

uint64_t DiskSize(const UString& path) {
  return static_cast<uint64_t>(std::max<int64_t>(DiskFileSize(path), 0));
}

}  // namespace

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
                             "); it was not changed. 'kelvane repair' rebuilds it.");
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
  const bool terminal = !FQuiet && IsTerminal(2);
  // Ctrl-C while files are gathered: the rest are passed over and the commit
  // stops at its first report, before it writes anything.
  FArchiver.SetOnConfirmProcessFile(
      [this](TKelBaseArchiver*, const UString& path, TKelProcessOperation, bool& confirm) {
        if (Interrupted() || (Accept && !Accept(path))) confirm = false;
      });
  FArchiver.SetOnOverallProgress([this, terminal](TKelBaseArchiver*, double, TKelProcessOperation,
                                                  TKelProgressPhase phase, bool& cancel) {
    if (phase == ppStart && !FBar) MakeBar(terminal);
    // After the end report the directory is written: nothing to stop.
    if (phase != ppEnd && Interrupted()) cancel = FCancelled = true;
  });
  // Whole files report their start before the overall one.
  FArchiver.SetOnFileProgress([this, terminal](TKelBaseArchiver*, const UString& name,
                                               double progress, TKelProcessOperation,
                                               TKelProgressPhase phase, bool& cancel) {
    if (phase == ppStart && !FBar && FWholeFiles) MakeBar(terminal);
    if (FBar) {
      switch (phase) {
        case ppStart:
          FBar->ItemStart(name, FWholeFiles ? DiskSize(name) : FArchiver.ItemSize(name));
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
                                           TKelProcessOperation, int32_t nativeError, int32_t,
                                           const UString& message, TKelAction& action) {
    if (FBar) FBar->Clear();
    TWriteFailure failure{DisplayText(name), DisplayText(message)};
    PrintError(failure.Name + ": " + failure.Message);
    FFailures.push_back(std::move(failure));
    if (FBar) FBar->ItemEnd();
    action = fxaIgnore;
    // A full disk fails every item after this one too, and an archive with
    // only the items that fitted is not what was asked for: all or nothing.
    if (nativeError == NativeDiskFull || nativeError == NativeWriteError) {
      action = fxaAbort;
      FOutputFailed = true;
    }
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

void TWriteRun::MakeBar(bool terminal) {
  FBar = std::make_unique<TProgressBar>(stderr, terminal,
                                        FWholeFiles ? FTotal : FArchiver.PendingBytes());
}

int TWriteRun::Finish() {
  std::fflush(stdout);
  if (FCancelled) {
    PrintError("interrupted; the archive was left as it was");
    return ExitInterrupted;
  }
  if (FOutputFailed) {
    PrintError("the archive could not be written; it was left as it was");
    return ExitFailure;
  }
  if (FFailures.empty()) return ExitOk;
  PrintError(std::to_string(FFailures.size()) + (FFailures.size() == 1 ? " item" : " items") +
             " failed");
  return ExitFailure;
}

}  // namespace kelvane::cli
