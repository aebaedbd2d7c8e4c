#include "platform/TerminalIO.h"

#include <io.h>

#include "platform/Text.h"
#include "platform/win/WinPath.h"

namespace kelvane {
namespace {

bool IsConsole(HANDLE h) {
  DWORD mode = 0;
  return h != INVALID_HANDLE_VALUE && GetConsoleMode(h, &mode);
}

// One UTF-16 unit from a console; false at the end of input.
bool ReadConsoleUnit(HANDLE h, wchar_t& c) {
  DWORD got = 0;
  return ReadConsoleW(h, &c, 1, &got, nullptr) && got == 1 && c != 0x1A;  // Ctrl-Z ends input
}

int OpenConsole(const wchar_t* name, bool readOnly) {
  const HANDLE h =
      CreateFileW(name, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                  OPEN_EXISTING, 0, nullptr);
  if (h == INVALID_HANDLE_VALUE) return -1;
  return DescriptorOf(h, readOnly);
}

}  // namespace

void WriteAll(int fd, std::string_view text) {
  const HANDLE h = HandleOf(fd);
  if (h == INVALID_HANDLE_VALUE) return;
  if (IsConsole(h)) {
    const UString wide = FromUtf8(text);
    const wchar_t* p = reinterpret_cast<const wchar_t*>(wide.data());
    size_t left = wide.size();
    while (left > 0) {
      DWORD put = 0;
      if (!WriteConsoleW(h, p, static_cast<DWORD>(std::min<size_t>(left, 8192)), &put, nullptr) ||
          put == 0)
        return;
      p += put;
      left -= put;
    }
    return;
  }
  while (!text.empty()) {
    DWORD put = 0;
    if (!WriteFile(h, text.data(), static_cast<DWORD>(std::min<size_t>(text.size(), 1 << 20)), &put,
                   nullptr) ||
        put == 0)
      return;
    text.remove_prefix(put);
  }
}

std::optional<std::string> ReadLine(int fd, size_t maxBytes) {
  const HANDLE h = HandleOf(fd);
  if (h == INVALID_HANDLE_VALUE) return std::nullopt;
  std::string line;
  bool any = false;
  if (IsConsole(h)) {
    UString wide;
    wchar_t c;
    while (ReadConsoleUnit(h, c)) {
      any = true;
      if (c == L'\n') break;
      wide += static_cast<char16_t>(c);
    }
    if (!any) return std::nullopt;
    line = ToUtf8(wide);
    if (line.size() > maxBytes) line.resize(maxBytes);
  } else {
    for (;;) {
      char c;
      DWORD got = 0;
      if (!ReadFile(h, &c, 1, &got, nullptr) || got == 0) {
        if (!any) return std::nullopt;
        break;
      }
      any = true;
      if (c == '\n') break;
      if (line.size() < maxBytes) line += c;
    }
  }
  if (!line.empty() && line.back() == '\r') line.pop_back();
  return line;
}

bool IsTerminal(int fd) {
  return IsConsole(HandleOf(fd));
}

TProcessTerminal::TProcessTerminal() {
  FIn = OpenConsole(L"CONIN$", false);
  FOut = FIn >= 0 ? OpenConsole(L"CONOUT$", false) : -1;
  if (FIn >= 0 && FOut >= 0) {
    FOwned = true;
    return;
  }
  if (FIn >= 0) _close(FIn);
  FIn = FOut = -1;
  if (IsTerminal(0)) FIn = 0, FOut = 2;
}

TProcessTerminal::~TProcessTerminal() {
  if (!FOwned) return;
  _close(FIn);
  _close(FOut);
}

struct TEchoOff::TSaved {
  DWORD Mode = 0;
};

TEchoOff::TEchoOff(int fd) : FFd(fd), FSaved(std::make_unique<TSaved>()) {
  const HANDLE h = HandleOf(fd);
  if (h == INVALID_HANDLE_VALUE || !GetConsoleMode(h, &FSaved->Mode)) return;
  FActive = SetConsoleMode(h, FSaved->Mode & ~DWORD(ENABLE_ECHO_INPUT)) != 0;
}

TEchoOff::~TEchoOff() {
  if (!FActive) return;
  SetConsoleMode(HandleOf(FFd), FSaved->Mode);
  // The line end typed was not shown either.
  const HANDLE out = CreateFileW(L"CONOUT$", GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                 nullptr, OPEN_EXISTING, 0, nullptr);
  if (out == INVALID_HANDLE_VALUE) return;
  DWORD put = 0;
  WriteConsoleW(out, L"\r\n", 2, &put, nullptr);
  CloseHandle(out);
}

}  // namespace kelvane
