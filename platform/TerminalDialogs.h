// Questions asked on a text terminal.
#pragma once

#include "platform/Dialogs.h"

namespace kelvane {

// Prints the caption, the text and the buttons, each with a letter in brackets,
// and reads the answer line: a button's letter or its whole caption (either
// case), or an empty line for the default button. Other answers are asked again.
// Input queries read one line; an empty line keeps the value offered, the end
// of input (Ctrl-D) or a line holding only Escape cancels. Masked input is not
// echoed. When the input ends before an answer, the non-interactive answer is
// given, so a closed terminal never blocks the program.
class TTerminalDialogs : public TDialogs {
 public:
  // Talks to the controlling terminal (/dev/tty; the console on Windows), or to standard input and
  // standard error when /dev/tty cannot be opened but standard input is a
  // terminal; with neither, answers as TNonInteractiveDialogs.
  TTerminalDialogs() = default;
  // Talks over the given descriptors, which stay the caller's: answers are read
  // from InFd (echo is switched off there for masked input when it is a
  // terminal), everything else is written to OutFd.
  TTerminalDialogs(int inFd, int outFd) : FInFd(inFd), FOutFd(outFd) {}

  TModalResult MessageDlg(const UString& text, const UString& caption, TMsgDlgType type,
                          TMsgDlgButtons buttons, TMsgDlgBtn defaultButton) override;
  bool InputQuery(const UString& caption, const UString& prompt, UString& value,
                  bool masked) override;

 private:
  int FInFd = -1;
  int FOutFd = -1;
};

}  // namespace kelvane
