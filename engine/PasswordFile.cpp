#include "engine/PasswordFile.h"

#include <cerrno>
#include <cstring>

#include "coding/KelSecure.h"
#include "platform/Exception.h"
#include "platform/InputFile.h"
#include "platform/TerminalIO.h"

namespace kelvane {
namespace {

// A password is one line; reading stops at the first line end, so a pipe that
// carries more (a script's other input) is not drained.
constexpr size_t kMaxPasswordBytes = 4096;

}  // namespace

AnsiString ReadPasswordFile(const std::string& path) {
  const bool fromStdin = path == "-";
  const std::string shownName = fromStdin ? std::string("standard input") : path;
  const int fd = fromStdin ? kStandardInput : OpenInputFile(path);
  if (fd < 0)
    throw Exception("cannot read the password file " + shownName + ": " + std::strerror(errno));
  AnsiString line;
  bool any = false, ended = false;
  int error = 0;
  {
    TEchoOff quiet(fd);
    while (!ended) {
      char c;
      const int n = ReadInputByte(fd, c);
      if (n < 0) error = errno;
      if (n <= 0) break;
      any = true;
      if (c == '\n') {
        ended = true;
      } else if (line.size() < kMaxPasswordBytes) {
        line += c;
      } else {
        error = EFBIG;
        break;
      }
    }
  }
  if (!fromStdin) CloseInputFile(fd);
  if (error != 0) {
    WipeString(line);
    throw Exception("cannot read the password file " + shownName + ": " + std::strerror(error));
  }
  if (!line.empty() && line.back() == '\r') line.pop_back();
  if (!any) throw Exception("the password file " + shownName + " is empty");
  return line;
}

}  // namespace kelvane
