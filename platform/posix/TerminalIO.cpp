#include "platform/TerminalIO.h"

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>

namespace kelvane {

void WriteAll(int fd, std::string_view text) {
  while (!text.empty() && fd >= 0) {
    const ssize_t n = ::write(fd, text.data(), text.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return;
    text.remove_prefix(static_cast<size_t>(n));
  }
}

std::optional<std::string> ReadLine(int fd, size_t maxBytes) {
  std::string line;
  bool any = false;
  for (;;) {
    char c;
    const ssize_t n = ::read(fd, &c, 1);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      if (!any) return std::nullopt;
      break;
    }
    any = true;
    if (c == '\n') break;
    if (line.size() < maxBytes) line += c;
  }
  if (!line.empty() && line.back() == '\r') line.pop_back();
  return line;
}

bool IsTerminal(int fd) {
  return ::isatty(fd) != 0;
}

TProcessTerminal::TProcessTerminal() {
  const int tty = ::open("/dev/tty", O_RDWR | O_CLOEXEC | O_NOCTTY);
  if (tty >= 0) {
    FIn = FOut = tty;
    FOwned = true;
  } else if (::isatty(STDIN_FILENO)) {
    FIn = STDIN_FILENO, FOut = STDERR_FILENO;
  }
}

TProcessTerminal::~TProcessTerminal() {
  if (FOwned) ::close(FIn);
}

struct TEchoOff::TSaved {
  struct termios Mode {};
};

TEchoOff::TEchoOff(int fd) : FFd(fd), FSaved(std::make_unique<TSaved>()) {
  if (::tcgetattr(fd, &FSaved->Mode) != 0) return;
  struct termios quiet = FSaved->Mode;
  quiet.c_lflag &= ~tcflag_t(ECHO);
  quiet.c_lflag |= ECHONL;
  FActive = ::tcsetattr(fd, TCSANOW, &quiet) == 0;
}

TEchoOff::~TEchoOff() {
  if (FActive) ::tcsetattr(FFd, TCSANOW, &FSaved->Mode);
}

}  // namespace kelvane
