#include "platform/TerminalIO.h"

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

}  // namespace kelvane
