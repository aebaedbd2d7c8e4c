#include "platform/Console.h"

#include <windows.h>
// after windows.h
#include <io.h>
#include <shellapi.h>

#include <cwchar>

#include "platform/Text.h"

namespace kelvane {
namespace {

HANDLE StdHandle(int fd) {
  return reinterpret_cast<HANDLE>(::_get_osfhandle(fd));
}

}  // namespace

void StartConsoleProgram() {
  // Names are printed as UTF-8; the console would otherwise show them in the
  // OEM code page, which holds few of them. Input is left alone: questions
  // read the console as UTF-16 (TerminalIO.h).
  ::SetConsoleOutputCP(CP_UTF8);
  // The progress line redraws itself with the terminal's erase sequence,
  // which a console acts on only when asked to.
  for (int fd : {1, 2}) {
    const HANDLE h = StdHandle(fd);
    DWORD mode = 0;
    if (h != INVALID_HANDLE_VALUE && ::GetConsoleMode(h, &mode))
      ::SetConsoleMode(h, mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING);
  }
}

std::vector<std::string> ProgramArguments(int argc, char** argv) {
  int count = 0;
  LPWSTR* wide = ::CommandLineToArgvW(::GetCommandLineW(), &count);
  if (!wide)
    return argc < 1 ? std::vector<std::string>{} : std::vector<std::string>(argv + 1, argv + argc);
  std::vector<std::string> args;
  for (int i = 1; i < count; ++i)
    args.push_back(
        ToUtf8(UStringView(reinterpret_cast<const char16_t*>(wide[i]), std::wcslen(wide[i]))));
  ::LocalFree(wide);
  return args;
}

int TerminalColumns(int fd) {
  CONSOLE_SCREEN_BUFFER_INFO info{};
  const HANDLE h = StdHandle(fd);
  if (h == INVALID_HANDLE_VALUE || !::GetConsoleScreenBufferInfo(h, &info)) return 0;
  return info.srWindow.Right - info.srWindow.Left + 1;
}

}  // namespace kelvane
