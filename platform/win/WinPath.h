// What every Windows source of the platform layer shares: paths for the wide
// Win32 calls, system errors as text and errno values, descriptors over handles
// and file times.
#pragma once

#include <windows.h>

#include <string>

#include "platform/Types.h"

namespace kelvane {

// UTF-16 text as the wide Win32 calls take it (same code units).
std::wstring Wide(UStringView s);
UString FromWide(const wchar_t* s, size_t length);
UString FromWide(const std::wstring& s);

// Path for the wide Win32 calls: empty when Path holds a NUL (it names no
// file). A path too long for the system's classic limit is made absolute and
// given the "\\?\" prefix ("\\?\UNC\" for a share), so every length works.
std::wstring SystemPath(const UString& path);

// The system's message for Error, without the line end.
UString SystemErrorText(DWORD error);
// The errno value that stands for Error (EIO when none fits).
int ErrnoOf(DWORD error);

// The Win32 handle behind a CRT descriptor; INVALID_HANDLE_VALUE when none.
HANDLE HandleOf(int fd);
// A CRT descriptor that owns Handle (binary); closes Handle and answers -1 when
// the CRT has no descriptor left.
int DescriptorOf(HANDLE handle, bool readOnly);

// FILETIME (100 ns since 1601, UTC) <-> seconds since 1970 UTC.
int64_t UnixTimeOf(const FILETIME& ft);
FILETIME FileTimeOf(int64_t unixTime);

}  // namespace kelvane
