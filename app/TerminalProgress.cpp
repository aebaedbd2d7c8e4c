#include "app/TerminalProgress.h"

#include <algorithm>

#include "platform/Text.h"

namespace kelvane {
namespace {

constexpr int kBarWidth = 24;

}  // namespace

void TTerminalProgress::Attach(TKelBaseArchiver& archiver) {
  archiver.SetOnFileProgress([this](TKelBaseArchiver*, const UString& fileName, double progress,
                                    TKelProcessOperation, TKelProgressPhase phase,
                                    bool& /*cancel*/) { Report(fileName, progress, phase); });
}

std::string TTerminalProgress::Outcome(const UString& fileName) const {
  if (!FTally) return {};
  const std::optional<TItemOutcome> outcome = FTally->Find(fileName);
  if (!outcome) return {};
  switch (*outcome) {
    case ioKept:
      return "  (kept)";
    case ioSkipped:
      return "  (skipped)";
    case ioFailed:
      return "  (failed)";
  }
  return {};
}

void TTerminalProgress::Report(const UString& fileName, double progress, TKelProgressPhase phase) {
  switch (phase) {
    case ppStart:
      Finish();
      FName = ToUtf8(fileName);
      FBarShown = false;
      if (FBar) {
        // The name shows while the item is in work.
        std::fprintf(FOut, "  %s", FName.c_str());
        FLineOpen = true;
      }
      break;
    case ppProcess:
      // Only an item that takes several reports is large enough for a bar.
      if (FBar && FLineOpen && progress > 0 && progress < 100) Redraw(progress);
      break;
    case ppEnd:
      if (FBar && FLineOpen) {
        if (FBarShown) {
          // Clear the bar and leave the plain name.
          std::fprintf(FOut, "\r  %s%*s\r  %s", FName.c_str(), kBarWidth + 8, "", FName.c_str());
        }
        std::fputs(Outcome(fileName).c_str(), FOut);
        Finish();
      } else if (!FBar) {
        std::fprintf(FOut, "  %s%s\n", ToUtf8(fileName).c_str(), Outcome(fileName).c_str());
      }
      break;
  }
  std::fflush(FOut);
}

void TTerminalProgress::Redraw(double progress) {
  const int filled = std::clamp(static_cast<int>(progress * kBarWidth / 100), 0, kBarWidth);
  std::string bar(static_cast<size_t>(filled), '#');
  bar.append(static_cast<size_t>(kBarWidth - filled), '.');
  std::fprintf(FOut, "\r  %s [%s] %3d%%", FName.c_str(), bar.c_str(), static_cast<int>(progress));
  FBarShown = true;
}

void TTerminalProgress::Finish() {
  if (!FLineOpen) return;
  std::fputc('\n', FOut);
  std::fflush(FOut);
  FLineOpen = false;
}

}  // namespace kelvane
