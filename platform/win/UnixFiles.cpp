// Windows keeps no Unix modes and this program makes no links here: the
// queries describe files with the mode a Unix tool would show for them.
#include "platform/UnixFiles.h"

#include "platform/FileSystem.h"
#include "platform/Text.h"
#include "platform/win/WinPath.h"

// windows.h names its own CreateSymbolicLink (a macro); ours is meant here.
#undef CreateSymbolicLink

namespace kelvane {
namespace {

constexpr uint32_t kFolderMode = 0040755;
constexpr uint32_t kFileMode = 0100644;
constexpr uint32_t kLinkMode = 0120777;

HANDLE OpenEntry(const UString& path, bool follow) {
  const std::wstring native = SystemPath(path);
  if (native.empty()) return INVALID_HANDLE_VALUE;
  return CreateFileW(native.c_str(), FILE_READ_ATTRIBUTES,
                     FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                     FILE_FLAG_BACKUP_SEMANTICS | (follow ? 0 : FILE_FLAG_OPEN_REPARSE_POINT),
                     nullptr);
}

TFileId IdOf(const BY_HANDLE_FILE_INFORMATION& info) {
  return TFileId{info.dwVolumeSerialNumber,
                 (static_cast<uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow};
}

}  // namespace

bool ReadDiskEntry(const UString& path, bool followLinks, TDiskEntry& entry) {
  const std::wstring native = SystemPath(path);
  if (native.empty()) return false;
  const DWORD attr = GetFileAttributesW(native.c_str());
  if (attr == INVALID_FILE_ATTRIBUTES) return false;
  bool isLink = (attr & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
  HANDLE h = INVALID_HANDLE_VALUE;
  if (isLink && followLinks) {
    h = OpenEntry(path, true);
    if (h != INVALID_HANDLE_VALUE) isLink = false;
  }
  if (h == INVALID_HANDLE_VALUE) h = OpenEntry(path, false);
  if (h == INVALID_HANDLE_VALUE) return false;
  BY_HANDLE_FILE_INFORMATION info{};
  const bool ok = GetFileInformationByHandle(h, &info);
  std::wstring target;
  if (ok && isLink) {
    // Where the link leads, as the system resolves it.
    const HANDLE t = OpenEntry(path, true);
    if (t != INVALID_HANDLE_VALUE) {
      wchar_t buf[32768];
      const DWORD n = GetFinalPathNameByHandleW(t, buf, 32768, VOLUME_NAME_DOS);
      if (n > 0 && n < 32768) target.assign(buf, n);
      CloseHandle(t);
    }
  }
  CloseHandle(h);
  if (!ok || (isLink && target.empty())) return false;
  entry = TDiskEntry{};
  entry.MTime = UnixTimeOf(info.ftLastWriteTime);
  entry.Id = IdOf(info);
  if (isLink) {
    entry.Mode = kLinkMode;
    entry.IsLink = true;
    entry.LinkTarget = ToUtf8(FromWide(target));
    entry.Size = static_cast<int64_t>(entry.LinkTarget.size());
    return true;
  }
  const bool folder = info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY;
  entry.Mode = folder ? kFolderMode : kFileMode;
  if (info.dwFileAttributes & FILE_ATTRIBUTE_READONLY) entry.Mode &= ~uint32_t(0222);
  entry.Size = folder ? 0
                      : static_cast<int64_t>((static_cast<uint64_t>(info.nFileSizeHigh) << 32) |
                                             info.nFileSizeLow);
  entry.Attributes = static_cast<int32_t>(info.dwFileAttributes & 0x37);
  return true;
}

bool FileIdentity(const UString& path, TFileId& id) {
  const HANDLE h = OpenEntry(path, true);
  if (h == INVALID_HANDLE_VALUE) return false;
  BY_HANDLE_FILE_INFORMATION info{};
  const bool ok = GetFileInformationByHandle(h, &info);
  CloseHandle(h);
  if (ok) id = IdOf(info);
  return ok;
}

bool IsSymbolicLink(const UString& path) {
  // Every reparse point counts (symbolic links, junctions, mount points): a
  // write through any of them could land outside the folder it seems to be in.
  const std::wstring native = SystemPath(path);
  if (native.empty()) return false;
  const DWORD attr = GetFileAttributesW(native.c_str());
  return attr != INVALID_FILE_ATTRIBUTES && (attr & FILE_ATTRIBUTE_REPARSE_POINT);
}

bool SetHandleMode(int handle, uint32_t) {
  // No permission bits to set: done, as long as the file is there.
  return HandleOf(handle) != INVALID_HANDLE_VALUE;
}

bool SetHandleUnixTime(int handle, int64_t time) {
  const HANDLE h = HandleOf(handle);
  const FILETIME ft = FileTimeOf(time);
  return h != INVALID_HANDLE_VALUE && SetFileTime(h, nullptr, nullptr, &ft);
}

bool CreateSymbolicLink(const AnsiString&, const UString&) {
  return false;
}

bool SetLinkUnixTime(const UString&, int64_t) {
  return false;
}

}  // namespace kelvane
