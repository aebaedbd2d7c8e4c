// Questions about the medium that holds a path: free space, drive kinds, labels.
#include <climits>

#include "platform/FileSystem.h"
#include "platform/win/WinPath.h"

namespace kelvane {
namespace {

// The nearest folder at or above Path that exists: a volume about to be
// written does not exist yet, but its folder tells where it will go.
UString NearestExisting(const UString& path) {
  if (path.empty() || path.find(u'\0') != UString::npos) return {};
  UString p = FullPath(path);
  for (;;) {
    if (GetFileAttributesW(SystemPath(p).c_str()) != INVALID_FILE_ATTRIBUTES) return p;
    while (!p.empty() && (p.back() == u'\\' || p.back() == u'/'))
      p.pop_back();
    const size_t sep = p.find_last_of(u"\\/");
    if (sep == UString::npos) return {};
    p.erase(sep + 1);
  }
}

// The root of the volume that holds Path ("C:\", a mount point, "\\server\share\").
std::wstring VolumeRoot(const UString& path) {
  const UString existing = NearestExisting(path);
  if (existing.empty()) return {};
  const std::wstring native = SystemPath(existing);
  wchar_t root[MAX_PATH + 1];
  if (!GetVolumePathNameW(native.c_str(), root, MAX_PATH + 1)) return {};
  return root;
}

UINT DriveTypeOf(const std::wstring& root) {
  return root.empty() ? DRIVE_UNKNOWN : GetDriveTypeW(root.c_str());
}

// The drive letter of a root such as "A:\" or "\\?\A:\", upper case; 0 without one.
wchar_t DriveLetter(const std::wstring& root) {
  std::wstring r = root;
  if (r.rfind(L"\\\\?\\", 0) == 0) r.erase(0, 4);
  if (r.size() < 2 || r[1] != L':') return 0;
  const wchar_t c = r[0];
  return c >= L'a' && c <= L'z' ? wchar_t(c - 32) : c;
}

}  // namespace

int64_t DiskFreeSpace(const UString& path) {
  const UString existing = NearestExisting(path);
  if (existing.empty()) return -1;
  ULARGE_INTEGER available{};
  if (!GetDiskFreeSpaceExW(SystemPath(existing).c_str(), &available, nullptr, nullptr)) return -1;
  if (available.QuadPart > static_cast<unsigned long long>(INT64_MAX)) return INT64_MAX;
  return static_cast<int64_t>(available.QuadPart);
}

bool IsFloppyDrive(const UString& path) {
  // Floppy drives keep the letters A: and B:; other removable media do not.
  const std::wstring root = VolumeRoot(path);
  const wchar_t letter = DriveLetter(root);
  return (letter == L'A' || letter == L'B') && DriveTypeOf(root) == DRIVE_REMOVABLE;
}

bool IsRemovableDrive(const UString& path) {
  return DriveTypeOf(VolumeRoot(path)) == DRIVE_REMOVABLE;
}

bool IsRemovableHandle(int handle) {
  const HANDLE h = HandleOf(handle);
  if (h == INVALID_HANDLE_VALUE) return false;
  wchar_t name[MAX_PATH + 1];
  const DWORD n = GetFinalPathNameByHandleW(h, name, MAX_PATH + 1, VOLUME_NAME_DOS);
  if (n == 0 || n > MAX_PATH) return false;
  return IsRemovableDrive(FromWide(name, n));
}

bool LabelVolume(const UString& path, const UString& label) {
  const std::wstring root = VolumeRoot(path);
  if (root.empty() || label.find(u'\0') != UString::npos) return false;
  return SetVolumeLabelW(root.c_str(), Wide(label).c_str()) != 0;
}

}  // namespace kelvane
