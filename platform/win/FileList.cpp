// Folder listings. The matching entries are read and sorted when the listing
// starts, so the order does not depend on the file system.
#include <algorithm>
#include <cerrno>

#include "platform/DosTime.h"
#include "platform/FileSystem.h"
#include "platform/NameMatch.h"
#include "platform/win/WinPath.h"

namespace kelvane {

struct TListEntry {
  UString Name;
  int32_t Attr;
  int64_t Size;
  int32_t Time;
};

struct TListState {
  std::vector<TListEntry> Entries;
  size_t Next = 0;
};

void TListStateDeleter::operator()(TListState* state) const {
  delete state;
}

namespace {

// The attribute word of a listed entry. A link or junction is described by
// its target, as GetAttributes does; one whose target is gone is a system entry.
int32_t EntryAttributes(const UString& folder, const WIN32_FIND_DATAW& data) {
  if (!(data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT))
    return static_cast<int32_t>(data.dwFileAttributes & 0x37);
  return GetAttributes(folder + FromWide(data.cFileName, wcslen(data.cFileName)));
}

int Deliver(TSearchRec& rec) {
  TListState& state = *rec.State;
  if (state.Next < state.Entries.size()) {
    TListEntry& e = state.Entries[state.Next++];
    rec.Name = std::move(e.Name);
    rec.Attr = e.Attr;
    rec.Size = e.Size;
    rec.Time = e.Time;
    return 0;
  }
  rec.State.reset();
  return ENOENT;
}

}  // namespace

int ListFirst(const UString& pattern, int32_t attr, TSearchRec& rec) {
  rec.State.reset();
  const size_t sep = pattern.find_last_of(u"\\/");
  const UString folder = sep == UString::npos ? UString() : pattern.substr(0, sep + 1);
  const UString mask = sep == UString::npos ? pattern : pattern.substr(sep + 1);
  if (mask.empty()) return ENOENT;
  // The system's own matching knows 8.3 aliases and other quirks: every entry
  // is listed and matched here.
  const std::wstring native = SystemPath(folder + u"*");
  if (native.empty()) return ENOENT;
  WIN32_FIND_DATAW data;
  const HANDLE find =
      FindFirstFileExW(native.c_str(), FindExInfoBasic, &data, FindExSearchNameMatch, nullptr, 0);
  if (find == INVALID_HANDLE_VALUE) {
    const DWORD error = GetLastError();
    return error == ERROR_FILE_NOT_FOUND ? ENOENT : ErrnoOf(error);
  }
  const int32_t exclude = ~attr & (faHidden | faSysFile | faVolumeID | faDirectory);
  std::unique_ptr<TListState, TListStateDeleter> state(new TListState);
  DWORD error = ERROR_NO_MORE_FILES;
  do {
    UString name = FromWide(data.cFileName, wcslen(data.cFileName));
    if (!NameMatches(name, mask)) continue;
    const int32_t a = EntryAttributes(folder, data);
    if (a < 0 || (a & exclude)) continue;
    const int64_t size =
        (a & faDirectory) ? 0
                          : static_cast<int64_t>((static_cast<uint64_t>(data.nFileSizeHigh) << 32) |
                                                 data.nFileSizeLow);
    const int32_t time = TimeToDosDateTime(static_cast<time_t>(UnixTimeOf(data.ftLastWriteTime)));
    state->Entries.push_back({std::move(name), a, size, time});
  } while (FindNextFileW(find, &data) || (error = GetLastError()) != ERROR_NO_MORE_FILES);
  FindClose(find);
  if (error != ERROR_NO_MORE_FILES) return ErrnoOf(error);
  std::sort(state->Entries.begin(), state->Entries.end(),
            [](const TListEntry& a, const TListEntry& b) { return a.Name < b.Name; });
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
  if (dir.empty() || dir.find(u'\0') != UString::npos) return false;
  const UString base = (dir.back() == u'\\' || dir.back() == u'/') ? dir : dir + PathDelim;
  const UString self = base.substr(0, base.size() - 1);
  const DWORD selfAttr = GetFileAttributesW(SystemPath(self).c_str());
  if (selfAttr == INVALID_FILE_ATTRIBUTES) {
    const DWORD error = GetLastError();
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
  }
  // Dir given as a link or junction to a folder: not ours to empty.
  if (!(selfAttr & FILE_ATTRIBUTE_DIRECTORY) || (selfAttr & FILE_ATTRIBUTE_REPARSE_POINT))
    return false;
  // Gather the subfolders first so that no listing stays open while we descend.
  std::vector<UString> subfolders;
  TSearchRec rec;
  for (int r = ListFirst(base + u"*", 0x1F7, rec); r == 0; r = ListNext(rec)) {
    if (!(rec.Attr & faDirectory) || rec.Name == u"." || rec.Name == u"..") continue;
    // A link or junction is left alone: following it would empty folders elsewhere.
    const DWORD a = GetFileAttributesW(SystemPath(base + rec.Name).c_str());
    if (a == INVALID_FILE_ATTRIBUTES || (a & FILE_ATTRIBUTE_REPARSE_POINT)) continue;
    subfolders.push_back(rec.Name);
  }
  for (const UString& name : subfolders)
    if (!RemoveEmptyTree(base + name + PathDelim)) return false;
  const std::wstring native = SystemPath(self);
  if (RemoveDirectoryW(native.c_str())) return true;
  const DWORD error = GetLastError();
  return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
}

}  // namespace kelvane
