#include "platform/Console.h"

#include <windows.h>
// These need windows.h before them.
#include <io.h>
#include <shellapi.h>

#include <cstdlib>
#include <cwchar>

#include "platform/Text.h"

namespace kelvane {
namespace {

HANDLE StdHandle(int fd) {
  return reinterpret_cast<HANDLE>(::_get_osfhandle(fd));
}

UINT gOldOutputCodePage = 0;
struct TSavedMode {
  HANDLE Handle = INVALID_HANDLE_VALUE;
  DWORD Mode = 0;
};
TSavedMode gOldModes[2];

// The console outlives the program: the shell in it gets its page and modes
// back.
void RestoreConsole() {
  if (gOldOutputCodePage != 0) ::SetConsoleOutputCP(gOldOutputCodePage);
  for (const TSavedMode& saved : gOldModes)
    if (saved.Handle != INVALID_HANDLE_VALUE) ::SetConsoleMode(saved.Handle, saved.Mode);
}

}  // namespace

void StartConsoleProgram() {
  // Names are printed as UTF-8; the console would otherwise show them in the
  // OEM code page, which holds few of them. Input is left alone: questions
  // read the console as UTF-16 (TerminalIO.h).
  gOldOutputCodePage = ::GetConsoleOutputCP();
  if (gOldOutputCodePage == CP_UTF8 || !::SetConsoleOutputCP(CP_UTF8)) gOldOutputCodePage = 0;
  // The progress line redraws itself with the terminal's erase sequence,
  // which a console acts on only when asked to.
  for (int i = 0; i < 2; ++i) {
    const HANDLE h = StdHandle(i + 1);
    DWORD mode = 0;
    if (h != INVALID_HANDLE_VALUE && ::GetConsoleMode(h, &mode) &&
        ::SetConsoleMode(h, mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING))
      gOldModes[i] = {h, mode};
  }
  std::atexit(RestoreConsole);
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
