// Progress of an extraction or a test in a terminal or a log: one line per
// item (in a log once the item is done); on a terminal a large item also gets
// a bar that fills on its line.
#pragma once

#include <cstdio>
#include <string>

#include "app/SFXArchiver.h"

namespace kelvane {

class TTerminalProgress {
 public:
  // Writes to Out, which stays the caller's. Bar: Out is a terminal, so the
  // line of the item in work may be redrawn. Tally (may be null, else it
  // outlives this): an item it holds gets its outcome after its name, so an
  // item left in place does not read as extracted.
  TTerminalProgress(std::FILE* out, bool bar, const TRunTally* tally = nullptr)
      : FOut(out), FBar(bar), FTally(tally) {}
  ~TTerminalProgress() { Finish(); }
  TTerminalProgress(const TTerminalProgress&) = delete;
  TTerminalProgress& operator=(const TTerminalProgress&) = delete;

  // Makes this the archiver's OnFileProgress handler (never cancels).
  void Attach(TKelBaseArchiver& archiver);
  // One report of the archiver's OnFileProgress.
  void Report(const UString& fileName, double progress, TKelProgressPhase phase);
  // Ends a line left open by an item that never reported its end.
  void Finish();

 private:
  void Redraw(double progress);

  std::string Outcome(const UString& fileName) const;

  std::FILE* FOut;
  bool FBar;
  const TRunTally* FTally;
  bool FLineOpen = false;  // an item's line has been started, not yet ended
  bool FBarShown = false;
  std::string FName;
};

}  // namespace kelvane
