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

void TTerminalProgress::Report(const UString& fileName, double progress, TKelProgressPhase phase) {
  switch (phase) {
    case ppStart:
      Finish();
      FName = ToUtf8(fileName);
      FBarShown = false;
      if (FBar) {
        std::fprintf(FOut, "  %s", FName.c_str());
        FLineOpen = true;
      } else {
        // A log gets the name as soon as the item starts, so a stop shows where.
        std::fprintf(FOut, "  %s\n", FName.c_str());
      }
      break;
    case ppProcess:
      // Only an item that takes several reports is large enough for a bar.
      if (FBar && FLineOpen && progress > 0 && progress < 100) Redraw(progress);
      break;
    case ppEnd:
      if (FBar && FLineOpen && FBarShown) {
        // Clear the bar and leave the plain name.
        std::fprintf(FOut, "\r  %s%*s\r  %s", FName.c_str(), kBarWidth + 8, "", FName.c_str());
      }
      Finish();
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
