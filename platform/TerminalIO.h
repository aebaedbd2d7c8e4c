// Plain line I/O on a terminal's descriptors, shared by the text dialogs.
// On Windows a terminal is a console: text goes to it and comes from it as
// UTF-16, so UTF-8 text shows and reads right whatever its code page.
#pragma once

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace kelvane {

// Writes all of Text to Fd; gives up quietly when nobody reads (the caller's
// decision does not depend on the text being seen).
void WriteAll(int fd, std::string_view text);

// One line without its end ("\n" or "\r\n"); nothing at the end of input. A
// line longer than MaxBytes is cut there (the rest is read and dropped).
std::optional<std::string> ReadLine(int fd, size_t maxBytes = 4096);

// True when Fd is an interactive terminal (a console on Windows; the NUL
// device, which the C library calls a terminal there, is none).
bool IsTerminal(int fd);

// The terminal of the process, for one question: its own descriptors when
// the process has a controlling terminal (/dev/tty; the console's CONIN$ and
// CONOUT$ on Windows), else standard input and standard error when standard
// input is a terminal; with neither, Valid() is false.
class TProcessTerminal {
 public:
  TProcessTerminal();
  ~TProcessTerminal();
  TProcessTerminal(const TProcessTerminal&) = delete;
  TProcessTerminal& operator=(const TProcessTerminal&) = delete;
  bool Valid() const { return FIn >= 0; }
  int In() const { return FIn; }
  int Out() const { return FOut; }

 private:
  int FIn = -1;
  int FOut = -1;
  bool FOwned = false;
};

// Echo off on the terminal at Fd for as long as it lives (the line end is
// still shown); nothing happens on a descriptor that is not a terminal.
class TEchoOff {
 public:
  explicit TEchoOff(int fd);
  ~TEchoOff();
  TEchoOff(const TEchoOff&) = delete;
  TEchoOff& operator=(const TEchoOff&) = delete;
  bool Active() const { return FActive; }

 private:
  struct TSaved;
  int FFd;
  std::unique_ptr<TSaved> FSaved;
  bool FActive = false;
};

}  // namespace kelvane
