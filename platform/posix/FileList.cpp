// Folder listings. The matching names are read and sorted when the listing
// starts, so the order does not depend on the file system; each entry's status
// is read when it is delivered.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "platform/DosTime.h"
#include "platform/FileSystem.h"
#include "platform/NameMatch.h"
#include "platform/NativePath.h"
#include "platform/Text.h"
#include "platform/posix/FileAttributes.h"

namespace kelvane {

struct TListState {
  int FolderFd = -1;
  int32_t ExcludeAttr = 0;
  std::vector<std::string> Names;
  size_t Next = 0;

  ~TListState() {
    if (FolderFd >= 0) ::close(FolderFd);
  }
};

void TListStateDeleter::operator()(TListState* state) const {
  delete state;
}

namespace {

// Reads the next entry of Rec's listing that passes its filter into Rec.
int Deliver(TSearchRec& rec) {
  TListState& state = *rec.State;
  while (state.Next < state.Names.size()) {
    const std::string& name = state.Names[state.Next++];
    struct stat st {};
    int32_t attr;
    if (::fstatat(state.FolderFd, name.c_str(), &st, 0) == 0) {
      attr = AttributesOf(st, name);
    } else if (::fstatat(state.FolderFd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0) {
      attr = faSysFile;  // listed, but its target cannot be read
    } else {
      continue;  // gone since the listing started
    }
    if (attr & state.ExcludeAttr) continue;
    rec.Name = FromUtf8(name);
    rec.Attr = attr;
    rec.Size = S_ISREG(st.st_mode) ? static_cast<int64_t>(st.st_size) : 0;
    rec.Time = TimeToDosDateTime(st.st_mtime);
    return 0;
  }
  rec.State.reset();
  return ENOENT;
}

}  // namespace

int ListFirst(const UString& pattern, int32_t attr, TSearchRec& rec) {
  rec.State.reset();
  const size_t sep = pattern.rfind(PathDelim);
  const UString folder = sep == UString::npos ? UString(u".") : pattern.substr(0, sep + 1);
  const UString mask = sep == UString::npos ? pattern : pattern.substr(sep + 1);
  if (mask.empty()) return ENOENT;

  std::unique_ptr<TListState, TListStateDeleter> state(new TListState);
  state->FolderFd = ::open(NativePath(folder).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (state->FolderFd < 0) return errno;
  const int readFd = ::dup(state->FolderFd);
  if (readFd < 0) return errno;
  DIR* dir = ::fdopendir(readFd);
  if (!dir) {
    const int err = errno;
    ::close(readFd);
    return err;
  }
  errno = 0;
  while (const dirent* entry = ::readdir(dir)) {
    if (NameMatches(FromUtf8(entry->d_name), mask)) state->Names.emplace_back(entry->d_name);
    errno = 0;
  }
  const int readErr = errno;
  ::closedir(dir);
  if (readErr != 0) return readErr;
  std::sort(state->Names.begin(), state->Names.end());
  state->ExcludeAttr = ~attr & (faHidden | faSysFile | faVolumeID | faDirectory);
  rec.State = std::move(state);
  return Deliver(rec);
}

int ListNext(TSearchRec& rec) {
  if (!rec.State) return ENOENT;
  return Deliver(rec);
}

void ListClose(TSearchRec& rec) {
  rec.State.reset();
}

bool RemoveEmptyTree(const UString& dir) {
  if (dir.empty()) return false;
  const UString base = dir.back() == PathDelim ? dir : dir + PathDelim;
  std::string self = NativePath(base);
  if (self.empty()) return false;
  if (self.size() > 1) self.pop_back();
  struct stat selfStat {};
  if (::lstat(self.c_str(), &selfStat) != 0) return errno == ENOENT;
  // Dir given as a link to a folder: not ours to empty.
  if (!S_ISDIR(selfStat.st_mode)) return false;
  // Gather the subfolders first so that no listing stays open while we descend.
  std::vector<UString> subfolders;
  TSearchRec rec;
  const std::string nativeBase = NativePath(base);
  for (int r = ListFirst(base + u"*", 0x1F7, rec); r == 0; r = ListNext(rec)) {
    if (!(rec.Attr & faDirectory) || rec.Name == u"." || rec.Name == u"..") continue;
    struct stat st {};
    // A link to a folder is left alone: following it would empty folders elsewhere.
    if (::lstat((nativeBase + NativePath(rec.Name)).c_str(), &st) != 0 || !S_ISDIR(st.st_mode))
      continue;
    subfolders.push_back(rec.Name);
  }
  for (const UString& name : subfolders)
    if (!RemoveEmptyTree(base + name + PathDelim)) return false;
  const std::string native = NativePath(base);
  if (::rmdir(native.c_str()) == 0) return true;
  struct stat st {};
  return ::lstat(native.c_str(), &st) != 0 && errno == ENOENT;
}

}  // namespace kelvane
