#include "platform/Console.h"

#include <malloc.h>
#include <sys/ioctl.h>

#include <cstdlib>

namespace kelvane {

void StartConsoleProgram() {
  // Without TZ the C library reads the zone file again for every local-time
  // conversion (one per extracted file); naming the same file reads it once.
  ::setenv("TZ", ":/etc/localtime", 0);
  // The engine takes 1 MiB buffers for every item it decodes. By default the
  // C library hands such blocks back to the system when they are freed and
  // faults fresh zeroed pages in for the next item; keeping them in the heap
  // costs no more than the largest item's buffers at any one time.
  ::mallopt(M_MMAP_THRESHOLD, 8 << 20);
  ::mallopt(M_TRIM_THRESHOLD, 32 << 20);
}

std::vector<std::string> ProgramArguments(int argc, char** argv) {
  if (argc < 1) return {};
  return std::vector<std::string>(argv + 1, argv + argc);
}

int TerminalColumns(int fd) {
  winsize ws{};
  if (::ioctl(fd, TIOCGWINSZ, &ws) == 0) return ws.ws_col;
  return 0;
}

}  // namespace kelvane
