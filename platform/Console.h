// The process as a command-line program: its arguments, and the width of its
// terminal (a console window on Windows). Whether a descriptor is a terminal
// at all: IsTerminal in TerminalIO.h.
#pragma once

#include <string>
#include <vector>

namespace kelvane {

// Readies a command-line program, once, before it does anything else: on
// Windows the console shows the UTF-8 text the program prints names in and
// acts on the terminal's control sequences; on Linux the local time zone is
// read once instead of at every conversion, and freed item buffers stay in
// the heap for the next item.
void StartConsoleProgram();

// The program's arguments after its own name, as UTF-8. On Windows they come
// from the wide command line, so names outside the ANSI code page survive
// (Argv there holds them already lost); on Linux they are Argv as given.
std::vector<std::string> ProgramArguments(int argc, char** argv);

// How many columns the terminal at Fd shows; 0 when Fd is not a terminal or
// the system does not say.
int TerminalColumns(int fd);

}  // namespace kelvane
