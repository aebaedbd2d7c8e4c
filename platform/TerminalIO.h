// Plain line I/O on a terminal's descriptors, shared by the text dialogs.
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
