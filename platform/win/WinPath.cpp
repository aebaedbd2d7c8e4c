#include "platform/win/WinPath.h"

#include <fcntl.h>
#include <io.h>

#include <cerrno>

namespace kelvane {
namespace {

// Below this length every Win32 call takes a plain path (CreateDirectoryW
// leaves room for an 8.3 name inside the 260 of MAX_PATH).
constexpr size_t kPlainPathLimit = 248;

bool IsSeparator(wchar_t c) {
  return c == L'\\' || c == L'/';
}

}  // namespace

std::wstring Wide(UStringView s) {
  return std::wstring(s.begin(), s.end());
}

UString FromWide(const wchar_t* s, size_t length) {
  return UString(s, s + length);
}

UString FromWide(const std::wstring& s) {
  return FromWide(s.data(), s.size());
}

std::wstring SystemPath(const UString& path) {
  if (path.find(u'\0') != UString::npos) return {};
  std::wstring wide = Wide(path);
  if (wide.size() < kPlainPathLimit || wide.rfind(L"\\\\?\\", 0) == 0) return wide;
  // The prefixed form is taken literally: it must be absolute and resolved.
  const DWORD need = GetFullPathNameW(wide.c_str(), 0, nullptr, nullptr);
  if (need == 0) return wide;
  std::wstring full(need, L'\0');
  const DWORD got = GetFullPathNameW(wide.c_str(), need, full.data(), nullptr);
  if (got == 0 || got >= need) return wide;
  full.resize(got);
  if (full.size() >= 2 && IsSeparator(full[0]) && IsSeparator(full[1])) {
    if (full.size() >= 4 && (full[2] == L'?' || full[2] == L'.') && IsSeparator(full[3]))
      return full;  // already a device path
    return L"\\\\?\\UNC\\" + full.substr(2);
  }
  return L"\\\\?\\" + full;
}

UString SystemErrorText(DWORD error) {
  wchar_t* text = nullptr;
  const DWORD n = FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, error, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
  UString out;
  if (n > 0 && text) out = FromWide(text, n);
  if (text) LocalFree(text);
  while (!out.empty() && (out.back() == u'\n' || out.back() == u'\r' || out.back() == u' '))
    out.pop_back();
  if (out.empty()) {
    const std::string code = "System error " + std::to_string(error);
    out.assign(code.begin(), code.end());
  }
  return out;
}

int ErrnoOf(DWORD error) {
  switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_NAME:
    case ERROR_BAD_NETPATH:
    case ERROR_INVALID_DRIVE:
    case ERROR_DIRECTORY:
      return ENOENT;
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
    case ERROR_WRITE_PROTECT:
      return EACCES;
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS:
      return EEXIST;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
      return ENOSPC;
    case ERROR_NOT_ENOUGH_MEMORY:
    case ERROR_OUTOFMEMORY:
      return ENOMEM;
    case ERROR_INVALID_HANDLE:
      return EBADF;
    case ERROR_INVALID_PARAMETER:
    case ERROR_NEGATIVE_SEEK:
      return EINVAL;
    case ERROR_NOT_SAME_DEVICE:
      return EXDEV;
    case ERROR_DIR_NOT_EMPTY:
      return ENOTEMPTY;
    case ERROR_FILENAME_EXCED_RANGE:
      return ENAMETOOLONG;
    case ERROR_TOO_MANY_OPEN_FILES:
      return EMFILE;
    default:
      return EIO;
  }
}

HANDLE HandleOf(int fd) {
  if (fd < 0) return INVALID_HANDLE_VALUE;
  return reinterpret_cast<HANDLE>(_get_osfhandle(fd));
}

int DescriptorOf(HANDLE handle, bool readOnly) {
  const int fd = _open_osfhandle(reinterpret_cast<intptr_t>(handle),
                                 _O_BINARY | _O_NOINHERIT | (readOnly ? _O_RDONLY : 0));
  if (fd < 0) CloseHandle(handle);
  return fd;
}

namespace {

constexpr int64_t kUnixEpochIn100ns = 116444736000000000LL;

}  // namespace

int64_t UnixTimeOf(const FILETIME& ft) {
  const int64_t ticks =
      static_cast<int64_t>((static_cast<uint64_t>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime);
  const int64_t since = ticks - kUnixEpochIn100ns;
  // Seconds rounded down, also before 1970.
  return since >= 0 ? since / 10000000 : -((-since + 9999999) / 10000000);
}

FILETIME FileTimeOf(int64_t unixTime) {
  const uint64_t ticks = static_cast<uint64_t>(unixTime * 10000000 + kUnixEpochIn100ns);
  FILETIME ft;
  ft.dwLowDateTime = static_cast<DWORD>(ticks);
  ft.dwHighDateTime = static_cast<DWORD>(ticks >> 32);
  return ft;
}

}  // namespace kelvane
