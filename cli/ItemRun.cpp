#include "cli/ItemRun.h"

#include <algorithm>

#include "cli/Commands.h"
#include "cli/Damage.h"
#include "cli/Interrupt.h"
#include "engine/PasswordFile.h"
#include "platform/TerminalIO.h"
#include "platform/Text.h"

namespace kelvane::cli {

std::vector<TOptionSpec> ItemRunOptions() {
  return {{"help", 'h'},           {"exclude", 'x', true, true},
          {"password", 'p', true}, {"password-file", 0, true},
          {"no-recurse"},          {"verbose", 'v'},
          {"quiet", 'q'}};
}

void ApplyPasswordOptions(TCliArchiver& archiver, const TParsedArgs& args) {
  if (args.Has("password") && args.Has("password-file"))
    throw EUsageError("give either --password or --password-file");
  if (args.Has("password")) archiver.SetPassword(args.Last("password"));
  if (args.Has("password-file")) archiver.SetPassword(ReadPasswordFile(args.Last("password-file")));
  archiver.SetCanAskPassword(IsTerminal(0));
}

void WarnMissingVolumes(TCliArchiver& archiver) {
  if (archiver.SpanningMode() == smNone) return;
  for (const TVolumeFile& v : archiver.VolumeFiles())
    if (v.Size < 0) PrintError("volume " + DisplayText(FromUtf8(v.Path)) + " is missing");
}

TItemRun::TItemRun(TCliArchiver& archiver, const std::vector<std::string>& masks,
                   const std::vector<std::string>& exclusions, bool quiet)
    : FArchiver(archiver), FQuiet(quiet) {
  TKelArchiveItem f;
  for (const std::string& mask : masks) {
    archiver.Select({mask}, exclusions);
    if (!archiver.FindFirst(f)) FUnmatched.push_back(mask);
  }
  archiver.Select(masks, exclusions);
  FItems = archiver.SelectedItems();
  for (const int32_t index : FItems) {
    const TDirItem& item = archiver.Item(index);
    const uint64_t size = item.IsDirectory() ? 0 : item.UncompressedSize();
    FSizes.push_back(size);
    FSelectedBytes += size;
  }
  FSelectedItems = static_cast<int64_t>(FSizes.size());
}

TItemRun::~TItemRun() {
  FArchiver.SetOnFileProgress(nullptr);
  FArchiver.SetOnProcessFileFailure(nullptr);
  FArchiver.SetOnLocalRecordWarning(nullptr);
  FArchiver.SetBeforeQuestion(nullptr);
}

const TDirItem* TItemRun::StartedItem(const UString& name) const {
  if (FNext == 0 || FNext > FItems.size()) return nullptr;
  const TDirItem& item = FArchiver.Item(FItems[FNext - 1]);
  UString stored = item.Name;
  std::replace(stored.begin(), stored.end(), u'/', PathDelim);
  return stored == name ? &item : nullptr;
}

bool TItemRun::Interrupted() const {
  return cli::Interrupted();
}

void TItemRun::Run(const std::function<void()>& operation) {
  TProgressBar bar(stderr, !FQuiet && IsTerminal(2), FSelectedBytes);
  FArchiver.SetBeforeQuestion([&bar] { bar.Clear(); });
  FArchiver.SetOnFileProgress([this, &bar](TKelBaseArchiver*, const UString& name, double progress,
                                           TKelProcessOperation, TKelProgressPhase phase,
                                           bool& cancel) {
    switch (phase) {
      case ppStart:
        bar.ItemStart(name, FNext < FSizes.size() ? FSizes[FNext] : 0);
        ++FNext;
        break;
      case ppProcess:
        bar.ItemProgress(progress);
        break;
      case ppEnd:
        // A cancel is only reported back from here; the item did not end.
        if (Interrupted()) break;
        bar.ItemEnd();
        ++FDoneItems;
        if (OnItemDone) {
          bar.Clear();
          OnItemDone(DisplayText(name));
        }
        break;
    }
    if (Interrupted()) cancel = true;
  });
  FArchiver.SetOnProcessFileFailure([this, &bar](TKelBaseArchiver*, const UString& name,
                                                 TKelProcessOperation, int32_t, int32_t,
                                                 const UString& message, TKelAction& action) {
    TItemFailure failure{DisplayText(name), DisplayText(message)};
    // The engine's message does not say which method it lacks.
    if (const TDirItem* item = StartedItem(name)) {
      const std::string method = UnsupportedMethodText(*item);
      if (!method.empty()) failure.Message += "; " + method;
    }
    bar.Clear();
    bar.ItemEnd();
    if (OnItemFailed) OnItemFailed(failure);
    FFailures.push_back(std::move(failure));
    action = Interrupted() ? fxaAbort : fxaIgnore;
  });
  FArchiver.SetOnLocalRecordWarning([this, &bar](TKelBaseArchiver*, const UString& name,
                                                 TKelLocalRecord record,
                                                 TKelLocalMismatch mismatch) {
    ++FWarnings;
    bar.Clear();
    PrintError("warning: " + DisplayText(name) + ": " + LocalRecordWarningText(record, mismatch) +
               "; read by the central directory");
  });
  TInterruptScope interrupts;
  operation();
  bar.Clear();
}

}  // namespace kelvane::cli
