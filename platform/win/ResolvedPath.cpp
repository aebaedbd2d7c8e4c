#include "platform/ResolvedPath.h"

#include <algorithm>

#include "platform/Text.h"
#include "platform/win/WinPath.h"

namespace kelvane {
namespace {

constexpr wchar_t kDevicePrefix[] = L"\\\\?\\";
constexpr wchar_t kSharePrefix[] = L"\\\\?\\UNC\\";

bool ResolveWide(const std::wstring& native, std::wstring& out) {
  if (native.empty()) return false;  // a NUL in the path: it names nothing
  const HANDLE h = CreateFileW(native.c_str(), FILE_READ_ATTRIBUTES,
                               FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                               OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  std::wstring buffer(32768, L'\0');
  const DWORD n = GetFinalPathNameByHandleW(h, buffer.data(), static_cast<DWORD>(buffer.size()),
                                            VOLUME_NAME_DOS);
  CloseHandle(h);
  if (n == 0 || n >= buffer.size()) return false;
  buffer.resize(n);
  out = std::move(buffer);
  return true;
}

// The length of the part of a final path that climbing cannot remove:
// "\\?\C:\" or "\\?\UNC\server\share".
size_t RootLength(const std::wstring& path) {
  if (path.rfind(kSharePrefix, 0) == 0) {
    const size_t server = path.find(L'\\', std::size(kSharePrefix) - 1);
    if (server == std::wstring::npos) return path.size();
    const size_t share = path.find(L'\\', server + 1);
    return share == std::wstring::npos ? path.size() : share;
  }
  if (path.rfind(kDevicePrefix, 0) == 0 && path.size() >= 7 && path[5] == L':') return 7;
  return 0;
}

}  // namespace

bool TResolvedPath::Resolve(const UString& path) {
  return ResolveWide(SystemPath(path), FPath);
}

bool TResolvedPath::Resolve() {
  return ResolveWide(FPath, FPath);
}

bool TResolvedPath::Append(std::string_view name) {
  // "\" and "/" would add folders, ":" names a stream or a drive.
  if (name.empty() || name.find_first_of(std::string_view("\\/:\0", 4)) != std::string_view::npos)
    return false;
  if (FPath.empty() || FPath.back() != L'\\') FPath += L'\\';
  FPath += Wide(FromUtf8(name));
  return true;
}

void TResolvedPath::RemoveLast() {
  const size_t root = RootLength(FPath);
  const size_t at = FPath.rfind(L'\\');
  if (FPath.size() <= root || at == std::wstring::npos) return;
  FPath.resize(std::max(at, root));
}

bool TResolvedPath::IsInside(const TResolvedPath& root) const {
  const std::wstring& r = root.FPath;
  if (r.empty() || FPath.compare(0, r.size(), r) != 0) return false;
  return FPath.size() == r.size() || r.back() == L'\\' || FPath[r.size()] == L'\\';
}

TEntryKind TResolvedPath::Kind() const {
  if (FPath.empty()) return TEntryKind::Missing;
  const DWORD attr = GetFileAttributesW(FPath.c_str());
  if (attr == INVALID_FILE_ATTRIBUTES) {
    const DWORD error = GetLastError();
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ||
                   error == ERROR_DIRECTORY
               ? TEntryKind::Missing
               : TEntryKind::Unreadable;
  }
  // Every reparse point counts: junctions and mount points lead elsewhere too.
  if (attr & FILE_ATTRIBUTE_REPARSE_POINT) return TEntryKind::Link;
  if (attr & FILE_ATTRIBUTE_DIRECTORY) return TEntryKind::Folder;
  return TEntryKind::Other;
}

}  // namespace kelvane
