// The extraction dialog in a text terminal: the same controls as the window,
// one line each, and a line of commands. Questions (overwrite, errors, the
// engine's own) go to the current TDialogs provider.
#pragma once

#include <optional>
#include <string>

#include "app/uMain.h"

namespace kelvane {

class TTerminalForm1View : public TForm1View {
 public:
  // Reads commands from InFd and writes the dialog to OutFd; both stay the caller's.
  TTerminalForm1View(int inFd, int outFd) : FInFd(inFd), FOutFd(outFd) {}

  // Shows the dialog and runs its commands until it closes: an empty line (Enter)
  // or "e" extracts, "s", Escape or the end of input leaves, "o" ticks or clears
  // the check box, "r" types a new folder into the path, "..." runs the folder
  // browser. Errors of a handler are shown (ShowException) and the dialog goes on.
  void Run(TForm1& form);

  UString PathText() const override { return FPath; }
  void SetPathText(const UString& text) override { FPath = text; }
  bool OverwriteChecked() const override { return FOverwrite; }
  void SetOverwriteChecked(bool checked) { FOverwrite = checked; }
  // Asks for a folder under Title; only an existing folder counts as chosen,
  // an empty line or the end of input cancels.
  std::optional<UString> BrowseForFolder(const char* title) override;
  void CloseDialog() override { FClosed = true; }

 private:
  void Write(const std::string& text) const;
  std::optional<std::string> ReadLine() const;
  void Show() const;

  int FInFd;
  int FOutFd;
  UString FPath;
  bool FOverwrite = false;
  bool FClosed = false;
};

}  // namespace kelvane
