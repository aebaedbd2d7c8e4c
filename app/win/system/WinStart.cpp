#include "app/win/system/WinStart.h"

#include <windows.h>

#include <shellapi.h>

#include <cstdio>

#include "platform/Text.h"

namespace kelvane {

void HardenProcess() {
  // Only what KnownDLLs and the manifest name is imported; everything loaded
  // later (COM servers, the DLLs they need) comes from System32.
  SetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32);
  SetDllDirectoryW(L"");
  SetSearchPathMode(BASE_SEARCH_PATH_ENABLE_SAFE_SEARCHMODE | BASE_SEARCH_PATH_PERMANENT);
}

namespace {

// Before any static constructor of the program.
__attribute__((constructor(101))) void HardenEarly() {
  HardenProcess();
}

}  // namespace

TUtf8Arguments::TUtf8Arguments() {
  int count = 0;
  wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count);
  if (wide) {
    for (int i = 0; i < count; ++i)
      FArgs.push_back(ToUtf8(UString(reinterpret_cast<const char16_t*>(wide[i]))));
    LocalFree(wide);
  }
  for (std::string& arg : FArgs)
    FPointers.push_back(arg.data());
  FPointers.push_back(nullptr);
}

TUtf8Console::TUtf8Console() : FOldOutput(GetConsoleOutputCP()) {
  if (FOldOutput != 0) SetConsoleOutputCP(CP_UTF8);
}

TUtf8Console::~TUtf8Console() {
  if (FOldOutput != 0) SetConsoleOutputCP(FOldOutput);
}

void UseParentConsole() {
  const auto usable = [](DWORD which) {
    HANDLE h = GetStdHandle(which);
    return h != nullptr && h != INVALID_HANDLE_VALUE && GetFileType(h) != FILE_TYPE_UNKNOWN;
  };
  if (usable(STD_OUTPUT_HANDLE) && usable(STD_ERROR_HANDLE)) return;
  if (!AttachConsole(ATTACH_PARENT_PROCESS)) return;
  if (!usable(STD_OUTPUT_HANDLE)) std::freopen("CONOUT$", "w", stdout);
  if (!usable(STD_ERROR_HANDLE)) std::freopen("CONOUT$", "w", stderr);
}

}  // namespace kelvane
