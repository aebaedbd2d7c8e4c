#include "platform/ResolvedPath.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdlib>

#include "platform/NativePath.h"

namespace kelvane {
namespace {

bool ResolveNative(const std::string& native, std::string& out) {
  if (native.empty()) return false;  // a NUL in the path: it names nothing
  char* resolved = ::realpath(native.c_str(), nullptr);
  if (!resolved) return false;
  out = resolved;
  std::free(resolved);
  return true;
}

}  // namespace

bool TResolvedPath::Resolve(const UString& path) {
  return ResolveNative(NativePath(path), FPath);
}

bool TResolvedPath::Resolve() {
  return ResolveNative(FPath, FPath);
}

bool TResolvedPath::Append(std::string_view name) {
  if (name.empty() || name.find('/') != std::string_view::npos ||
      name.find('\0') != std::string_view::npos)
    return false;
  if (FPath.empty() || FPath.back() != '/') FPath += '/';
  FPath += name;
  return true;
}

void TResolvedPath::RemoveLast() {
  const size_t at = FPath.rfind('/');
  if (at == std::string::npos) return;
  FPath.resize(at == 0 ? 1 : at);  // "/x" leads up to "/", and "/" stays
}

bool TResolvedPath::IsInside(const TResolvedPath& root) const {
  const std::string& r = root.FPath;
  if (r.empty() || FPath.compare(0, r.size(), r) != 0) return false;
  return FPath.size() == r.size() || r.back() == '/' || FPath[r.size()] == '/';
}

TEntryKind TResolvedPath::Kind() const {
  struct stat st {};
  if (FPath.empty()) return TEntryKind::Missing;
  if (::lstat(FPath.c_str(), &st) != 0)
    return errno == ENOENT || errno == ENOTDIR ? TEntryKind::Missing : TEntryKind::Unreadable;
  if (S_ISLNK(st.st_mode)) return TEntryKind::Link;
  if (S_ISDIR(st.st_mode)) return TEntryKind::Folder;
  return TEntryKind::Other;
}

}  // namespace kelvane
