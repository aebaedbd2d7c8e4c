// What a Windows stub does before anything else, and its command line.
#pragma once

#include <string>
#include <vector>

namespace kelvane {

// Loads DLLs from the system folder only, never from the program's own folder
// (a downloads folder may hold a planted DLL of a system name) nor from the
// current folder or PATH. Runs before the program's static constructors too;
// calling it again does no harm.
void HardenProcess();

// The command line as UTF-8 (the wide command line, whatever the ANSI code
// page), in the argc/argv form the stub takes.
class TUtf8Arguments {
 public:
  TUtf8Arguments();
  int Count() const { return static_cast<int>(FPointers.size()) - 1; }
  char** Values() { return FPointers.data(); }

 private:
  std::vector<std::string> FArgs;
  std::vector<char*> FPointers;  // into FArgs, null-terminated
};

// Sends UTF-8 to the console while it lives and puts the console's code page
// back afterwards (the console outlives the program).
class TUtf8Console {
 public:
  TUtf8Console();
  ~TUtf8Console();
  TUtf8Console(const TUtf8Console&) = delete;
  TUtf8Console& operator=(const TUtf8Console&) = delete;

 private:
  unsigned FOldOutput = 0;
};

// A window program started from a console has no standard output of its
// own: it takes the console's, so --help, --list and messages can be seen.
// Handles given by the caller (redirected output) are kept.
void UseParentConsole();

}  // namespace kelvane
