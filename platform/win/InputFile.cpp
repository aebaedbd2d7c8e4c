#include "platform/InputFile.h"

#include <io.h>

#include <cerrno>

#include "platform/Text.h"
#include "platform/win/WinPath.h"

namespace kelvane {

int OpenInputFile(const std::string& utf8Path) {
  const std::wstring native = SystemPath(FromUtf8(utf8Path));
  if (native.empty() || utf8Path.find('\0') != std::string::npos) {
    errno = ENOENT;
    return -1;
  }
  const HANDLE h = CreateFileW(native.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                               nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    errno = ErrnoOf(GetLastError());
    return -1;
  }
  const int fd = DescriptorOf(h, true);
  if (fd < 0) errno = EMFILE;
  return fd;
}

int ReadInputByte(int fd, char& c) {
  const HANDLE h = HandleOf(fd);
  if (h == INVALID_HANDLE_VALUE) {
    errno = EBADF;
    return -1;
  }
  DWORD mode = 0;
  if (GetConsoleMode(h, &mode)) {
    // A console gives characters; a multibyte ANSI form waits here byte by byte.
    thread_local std::string pending;
    if (pending.empty()) {
      wchar_t w[2];
      DWORD got = 0;
      if (!ReadConsoleW(h, w, 1, &got, nullptr)) {
        errno = EIO;
        return -1;
      }
      if (got == 0 || w[0] == 0x1A) return 0;  // Ctrl-Z ends console input
      int units = 1;
      if (w[0] >= 0xD800 && w[0] <= 0xDBFF && ReadConsoleW(h, w + 1, 1, &got, nullptr) && got == 1)
        units = 2;
      char bytes[8];
      const int n = WideCharToMultiByte(CP_ACP, 0, w, units, bytes, sizeof bytes, nullptr, nullptr);
      pending.assign(bytes, n > 0 ? static_cast<size_t>(n) : 0);
      if (pending.empty()) pending = "?";
    }
    c = pending.front();
    pending.erase(0, 1);
    return 1;
  }
  DWORD got = 0;
  if (!ReadFile(h, &c, 1, &got, nullptr)) {
    const DWORD error = GetLastError();
    if (error == ERROR_BROKEN_PIPE || error == ERROR_HANDLE_EOF) return 0;
    errno = ErrnoOf(error);
    return -1;
  }
  return got == 1 ? 1 : 0;
}

void CloseInputFile(int fd) {
  _close(fd);
}

}  // namespace kelvane
