#include "platform/InputFile.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

namespace kelvane {

int OpenInputFile(const std::string& utf8Path) {
  if (utf8Path.find('\0') != std::string::npos) {
    errno = ENOENT;
    return -1;
  }
  return ::open(utf8Path.c_str(), O_RDONLY | O_CLOEXEC);
}

int ReadInputByte(int fd, char& c) {
  for (;;) {
    const ssize_t n = ::read(fd, &c, 1);
    if (n < 0 && errno == EINTR) continue;
    return n < 0 ? -1 : static_cast<int>(n);
  }
}

void CloseInputFile(int fd) {
  ::close(fd);
}

}  // namespace kelvane
