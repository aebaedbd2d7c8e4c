#include "cli/Progress.h"

#include <algorithm>

#include "cli/CliArchiver.h"
#include "cli/ItemFormat.h"
#include "platform/Clock.h"
#include "platform/Console.h"

namespace kelvane::cli {
namespace {

constexpr uint64_t kRedrawMs = 100;
constexpr int kBarWidth = 20;

int TerminalWidth(std::FILE* out) {
  const int columns = TerminalColumns(fileno(out));
  return columns > 0 ? columns : 80;
}

// Cuts UTF-8 text to at most Width code points, keeping its end (the file name).
std::string TailOf(const std::string& text, int width) {
  if (width <= 0) return {};
  size_t points = 0;
  for (unsigned char c : text)
    points += (c & 0xC0) != 0x80;
  if (points <= size_t(width)) return text;
  size_t skip = points - size_t(width) + 3, pos = 0;
  while (skip > 0 && pos < text.size()) {
    ++pos;
    while (pos < text.size() && (static_cast<unsigned char>(text[pos]) & 0xC0) == 0x80)
      ++pos;
    --skip;
  }
  return "..." + text.substr(pos);
}

}  // namespace

TProgressBar::TProgressBar(std::FILE* out, bool enabled, uint64_t totalBytes)
    : FOut(out), FEnabled(enabled), FTotal(totalBytes), FStartTick(TickCount()) {}

void TProgressBar::ItemStart(const UString& name, uint64_t size) {
  FCurrent = 0;
  FItemSize = size;
  if (FEnabled) FName = DisplayText(name);
  Draw(false);
}

void TProgressBar::ItemProgress(double percent) {
  FCurrent = static_cast<uint64_t>(double(FItemSize) * std::clamp(percent, 0.0, 100.0) / 100.0);
  Draw(false);
}

void TProgressBar::ItemEnd() {
  FDone += FItemSize;
  FCurrent = 0;
  FItemSize = 0;
  Draw(false);
}

void TProgressBar::Draw(bool force) {
  if (!FEnabled) return;
  const uint64_t now = TickCount();
  if (!force && now - FLastDraw < kRedrawMs) return;
  FLastDraw = now;
  const uint64_t done = std::min(FDone + FCurrent, FTotal);
  const double fraction = FTotal > 0 ? double(done) / double(FTotal) : 1.0;
  const int filled = std::clamp(static_cast<int>(fraction * kBarWidth), 0, kBarWidth);
  const double seconds = double(now - FStartTick) / 1000.0;
  const std::string rate = seconds > 0.2 ? HumanBytes(double(done) / seconds) + "/s" : "";
  char head[160];
  std::snprintf(head, sizeof head, "[%s%s] %3d%% %s / %s %s ", std::string(filled, '#').c_str(),
                std::string(kBarWidth - filled, '.').c_str(), static_cast<int>(fraction * 100),
                HumanBytes(double(done)).c_str(), HumanBytes(double(FTotal)).c_str(), rate.c_str());
  const int room = TerminalWidth(FOut) - 1 - static_cast<int>(std::string(head).size());
  std::fprintf(FOut, "\r%s%s\x1b[K", head, TailOf(FName, room).c_str());
  std::fflush(FOut);
  FShown = true;
}

void TProgressBar::Clear() {
  if (!FShown) return;
  std::fputs("\r\x1b[K", FOut);
  std::fflush(FOut);
  FShown = false;
}

}  // namespace kelvane::cli
