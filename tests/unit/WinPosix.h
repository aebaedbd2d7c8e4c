// The few POSIX descriptor calls the unit tests use, on Windows: pipes and
// positioned reads and writes over the CRT's descriptors. Elsewhere the
// system's own are used.
#pragma once

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <cstdint>

#ifndef STDIN_FILENO
#define STDIN_FILENO 0
#endif

inline int pipe(int fds[2]) {
  return _pipe(fds, 1 << 16, _O_BINARY);
}

namespace kelvane::test {

inline OVERLAPPED OffsetOf(int64_t at) {
  OVERLAPPED o{};
  o.Offset = static_cast<DWORD>(at);
  o.OffsetHigh = static_cast<DWORD>(static_cast<uint64_t>(at) >> 32);
  return o;
}

}  // namespace kelvane::test

inline long long pread(int fd, void* buffer, size_t count, int64_t at) {
  OVERLAPPED o = kelvane::test::OffsetOf(at);
  DWORD got = 0;
  if (!ReadFile(reinterpret_cast<HANDLE>(_get_osfhandle(fd)), buffer, static_cast<DWORD>(count),
                &got, &o))
    return GetLastError() == ERROR_HANDLE_EOF ? 0 : -1;
  return got;
}

inline long long pwrite(int fd, const void* buffer, size_t count, int64_t at) {
  OVERLAPPED o = kelvane::test::OffsetOf(at);
  DWORD put = 0;
  if (!WriteFile(reinterpret_cast<HANDLE>(_get_osfhandle(fd)), buffer, static_cast<DWORD>(count),
                 &put, &o))
    return -1;
  return put;
}
#else
#include <unistd.h>
#endif
