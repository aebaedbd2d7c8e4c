#include "platform/FileSystem.h"

#include <io.h>

#include <vector>

#include "platform/DosTime.h"
#include "platform/Exception.h"
#include "platform/FileLayerProbe.h"
#include "platform/Random.h"
#include "platform/win/WinPath.h"

namespace kelvane {
namespace {

bool IsSeparator(char16_t c) {
  return c == u'\\' || c == u'/';
}

DWORD AttributesOfPath(const UString& path) {
  const std::wstring native = SystemPath(path);
  return native.empty() ? INVALID_FILE_ATTRIBUTES : GetFileAttributesW(native.c_str());
}

// What the file or folder behind Path is, links followed (share modes of
// other openers never stand in the way: no data is asked for).
HANDLE OpenForQuery(const UString& path, DWORD rights) {
  const std::wstring native = SystemPath(path);
  if (native.empty()) return INVALID_HANDLE_VALUE;
  return CreateFileW(native.c_str(), rights, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                     nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
}

// The length of the part of an absolute path that names its root: "C:\",
// "\\server\share\" or "\\?\C:\"; 0 for other paths.
size_t RootLength(const UString& p) {
  if (p.size() >= 3 && p[1] == u':' && IsSeparator(p[2])) return 3;
  if (p.size() >= 2 && IsSeparator(p[0]) && IsSeparator(p[1])) {
    size_t at = 2;
    if (p.size() >= 4 && (p[2] == u'?' || p[2] == u'.') && IsSeparator(p[3])) {
      if (p.size() >= 7 && p[5] == u':' && IsSeparator(p[6])) return 7;
      at = 4;
      if (p.compare(4, 4, u"UNC\\") == 0) at = 8;
    }
    // server and share
    for (int part = 0; part < 2; ++part) {
      const size_t sep = p.find_first_of(u"\\/", at);
      if (sep == UString::npos) return p.size();
      at = sep + 1;
    }
    return at;
  }
  return 0;
}

bool MakeDirectory(const UString& path) {
  const std::wstring native = SystemPath(path);
  if (native.empty()) return false;
  if (CreateDirectoryW(native.c_str(), nullptr)) return true;
  // Someone else may have made it in the meantime; only a folder will do.
  const DWORD attr = GetFileAttributesW(native.c_str());
  return attr != INVALID_FILE_ATTRIBUTES && (attr & FILE_ATTRIBUTE_DIRECTORY);
}

constexpr DWORD kSettable = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN |
                            FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE;

// The system's attributes with Attr's settable bits in place of its own. A
// folder keeps its read-only bit (see the header).
DWORD WithAttributes(DWORD current, int32_t attr) {
  DWORD wanted = static_cast<DWORD>(attr) & kSettable;
  if (current & FILE_ATTRIBUTE_DIRECTORY)
    wanted = (wanted & ~DWORD(FILE_ATTRIBUTE_READONLY)) | (current & FILE_ATTRIBUTE_READONLY);
  return (current & ~kSettable & ~DWORD(FILE_ATTRIBUTE_NORMAL)) | wanted;
}

bool SetTimeOfHandle(HANDLE h, int32_t dos) {
  const std::optional<time_t> t = DosDateTimeToTime(dos);
  if (!t || h == INVALID_HANDLE_VALUE) return false;
  const FILETIME ft = FileTimeOf(*t);
  return SetFileTime(h, nullptr, nullptr, &ft) != 0;
}

}  // namespace

UString CurrentDirectory() {
  const DWORD need = GetCurrentDirectoryW(0, nullptr);
  std::wstring buf(need, L'\0');
  const DWORD got = need ? GetCurrentDirectoryW(need, buf.data()) : 0;
  if (got == 0 || got >= need) return u"\\";
  buf.resize(got);
  UString out = FromWide(buf);
  if (out.size() > RootLength(out) && IsSeparator(out.back())) out.pop_back();
  return out;
}

UString FullPath(const UString& path) {
  if (path.empty() || path.find(u'\0') != UString::npos) return CurrentDirectory();
  // The system resolves "." and ".." and separators lexically, against the
  // current folder of the path's drive.
  const std::wstring wide = Wide(path);
  const DWORD need = GetFullPathNameW(wide.c_str(), 0, nullptr, nullptr);
  if (need == 0) return path;
  std::wstring full(need, L'\0');
  const DWORD got = GetFullPathNameW(wide.c_str(), need, full.data(), nullptr);
  if (got == 0 || got >= need) return path;
  full.resize(got);
  return FromWide(full);
}

bool IsFile(const UString& path) {
  const DWORD attr = AttributesOfPath(path);
  return attr != INVALID_FILE_ATTRIBUTES && !(attr & FILE_ATTRIBUTE_DIRECTORY);
}

bool IsDirectory(const UString& path) {
  const DWORD attr = AttributesOfPath(path);
  return attr != INVALID_FILE_ATTRIBUTES && (attr & FILE_ATTRIBUTE_DIRECTORY);
}

bool CreateDirectories(const UString& path) {
  if (path.empty()) throw EInOutError("Unable to create directory");
  if (path.find(u'\0') != UString::npos) return false;
  UString p = path;
  const size_t root = RootLength(p);
  if (p.size() > root && IsSeparator(p.back())) p.pop_back();
  if (p.size() <= root) return IsDirectory(p);
  const DWORD attr = AttributesOfPath(p);
  if (attr != INVALID_FILE_ATTRIBUTES) return (attr & FILE_ATTRIBUTE_DIRECTORY) != 0;
  // Outermost first, one component at a time: no recursion however deep the path.
  for (size_t i = root + 1; i < p.size(); ++i) {
    if (!IsSeparator(p[i]) || IsSeparator(p[i - 1])) continue;
    if (!MakeDirectory(p.substr(0, i))) return false;
  }
  return MakeDirectory(p);
}

bool RemoveFile(const UString& path) {
  if (!FileLayerStep(flcRemove)) return false;
  const std::wstring native = SystemPath(path);
  return !native.empty() && DeleteFileW(native.c_str());
}

int32_t GetAttributes(const UString& path) {
  const DWORD attr = AttributesOfPath(path);
  if (attr == INVALID_FILE_ATTRIBUTES) return -1;
  if (attr & FILE_ATTRIBUTE_REPARSE_POINT) {
    // Links are followed: a link whose target is gone counts as a system entry.
    const HANDLE h = OpenForQuery(path, FILE_READ_ATTRIBUTES);
    if (h == INVALID_HANDLE_VALUE) return faSysFile;
    FILE_BASIC_INFO info{};
    const bool ok = GetFileInformationByHandleEx(h, FileBasicInfo, &info, sizeof info);
    CloseHandle(h);
    if (!ok) return faSysFile;
    return static_cast<int32_t>(info.FileAttributes & 0x37);
  }
  return static_cast<int32_t>(attr & 0x37);
}

bool SetAttributes(const UString& path, int32_t attr) {
  const std::wstring native = SystemPath(path);
  if (native.empty()) return false;
  const DWORD current = GetFileAttributesW(native.c_str());
  if (current == INVALID_FILE_ATTRIBUTES) return false;
  DWORD wanted = WithAttributes(current, attr);
  if (wanted == current) return true;
  if (wanted == 0) wanted = FILE_ATTRIBUTE_NORMAL;
  return SetFileAttributesW(native.c_str(), wanted) != 0;
}

bool SetHandleAttributes(int handle, int32_t attr) {
  const HANDLE h = HandleOf(handle);
  FILE_BASIC_INFO info{};
  if (h == INVALID_HANDLE_VALUE ||
      !GetFileInformationByHandleEx(h, FileBasicInfo, &info, sizeof info))
    return false;
  const DWORD wanted = WithAttributes(info.FileAttributes, attr);
  if (wanted == info.FileAttributes) return true;
  // Zero times leave the times as they are.
  FILE_BASIC_INFO change{};
  change.FileAttributes = wanted == 0 ? FILE_ATTRIBUTE_NORMAL : wanted;
  return SetFileInformationByHandle(h, FileBasicInfo, &change, sizeof change) != 0;
}

int32_t FileDosTime(const UString& path) {
  const HANDLE h = OpenForQuery(path, FILE_READ_ATTRIBUTES);
  if (h == INVALID_HANDLE_VALUE) return kNoDosDateTime;
  FILETIME written{};
  const bool ok = GetFileTime(h, nullptr, nullptr, &written);
  CloseHandle(h);
  return ok ? TimeToDosDateTime(static_cast<time_t>(UnixTimeOf(written))) : kNoDosDateTime;
}

bool SetFileDosTime(const UString& path, int32_t dos) {
  if (!IsValidDosDateTime(dos)) return false;
  const HANDLE h = OpenForQuery(path, FILE_WRITE_ATTRIBUTES);
  if (h == INVALID_HANDLE_VALUE) return false;
  const bool ok = SetTimeOfHandle(h, dos);
  CloseHandle(h);
  return ok;
}

bool SetHandleDosTime(int handle, int32_t dos) {
  return SetTimeOfHandle(HandleOf(handle), dos);
}

bool FlushFile(const UString& path) {
  if (!FileLayerStep(flcFlush)) return false;
  const DWORD attr = AttributesOfPath(path);
  if (attr == INVALID_FILE_ATTRIBUTES) return false;
  const HANDLE h = OpenForQuery(path, GENERIC_READ | GENERIC_WRITE);
  if (h == INVALID_HANDLE_VALUE) {
    // A folder's names are kept by the file system's own journal; one that
    // cannot be opened for flushing is already as durable as it gets.
    return (attr & FILE_ATTRIBUTE_DIRECTORY) != 0;
  }
  const bool ok = FlushFileBuffers(h) || (attr & FILE_ATTRIBUTE_DIRECTORY);
  CloseHandle(h);
  return ok;
}

namespace {

bool IdentityOf(const UString& path, BY_HANDLE_FILE_INFORMATION& info) {
  const HANDLE h = OpenForQuery(path, 0);
  if (h == INVALID_HANDLE_VALUE) return false;
  const bool ok = GetFileInformationByHandle(h, &info);
  CloseHandle(h);
  return ok;
}

}  // namespace

bool IsSameFile(const UString& a, const UString& b) {
  BY_HANDLE_FILE_INFORMATION ia{}, ib{};
  return IdentityOf(a, ia) && IdentityOf(b, ib) &&
         ia.dwVolumeSerialNumber == ib.dwVolumeSerialNumber &&
         ia.nFileIndexHigh == ib.nFileIndexHigh && ia.nFileIndexLow == ib.nFileIndexLow;
}

UString CreateTempFile(const UString& dir, const UString& prefix) {
  if (!FileLayerStep(flcCreate)) return {};
  UString folder = dir.empty() ? TempDirectory() : dir;
  if (folder.empty() || folder.find(u'\0') != UString::npos) return {};
  if (!IsSeparator(folder.back())) folder += PathDelim;
  static constexpr char16_t kDigits[] = u"0123456789abcdefghijklmnopqrstuvwxyz";
  for (int attempt = 0; attempt < 100; ++attempt) {
    uint8_t random[6];
    RandomBytes(random, sizeof random);
    UString name = folder + prefix;
    for (const uint8_t b : random)
      name += kDigits[b % 36];
    const std::wstring native = SystemPath(name);
    const HANDLE h = CreateFileW(native.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                 CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h != INVALID_HANDLE_VALUE) {
      CloseHandle(h);
      return name;
    }
    if (GetLastError() != ERROR_FILE_EXISTS && GetLastError() != ERROR_ALREADY_EXISTS) return {};
  }
  return {};
}

UString TempDirectory() {
  wchar_t buf[MAX_PATH + 2];
  const DWORD got = GetTempPathW(MAX_PATH + 2, buf);
  if (got == 0 || got > MAX_PATH + 1) return u"C:\\Windows\\Temp";
  UString out = FromWide(buf, got);
  if (out.size() > RootLength(out) && IsSeparator(out.back())) out.pop_back();
  return out;
}

}  // namespace kelvane
