// Byte-wise reading of a file or of standard input, for input that must not
// be drained past what is needed (a password line in front of a script's
// other input).
#pragma once

#include <string>

namespace kelvane {

inline constexpr int kStandardInput = 0;

// Opens the file at Utf8Path for reading; -1 with errno set when it cannot.
int OpenInputFile(const std::string& utf8Path);
// Reads one byte from Fd: 1, 0 at the end of input, -1 with errno set
// (interruptions are retried). From a Windows console the bytes are what was
// typed in the system's ANSI code page, as a file saved there would hold it.
int ReadInputByte(int fd, char& c);
// Closes a descriptor from OpenInputFile.
void CloseInputFile(int fd);

}  // namespace kelvane
