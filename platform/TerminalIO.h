// Plain line I/O on a terminal's descriptors, shared by the text dialogs.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace kelvane {

// Writes all of Text to Fd; gives up quietly when nobody reads (the caller's
// decision does not depend on the text being seen).
void WriteAll(int fd, std::string_view text);

// One line without its end ("\n" or "\r\n"); nothing at the end of input. A
// line longer than MaxBytes is cut there (the rest is read and dropped).
std::optional<std::string> ReadLine(int fd, size_t maxBytes = 4096);

}  // namespace kelvane
