// TFileStream over Win32 handles (wrapped in CRT descriptors, so Handle() is
// the same int as on other systems). The share mode of the stream's mode word
// is the system's own: CreateFileW refuses an opener that conflicts with it.
#include <io.h>

#include "platform/FileLayerProbe.h"
#include "platform/Stream.h"
#include "platform/win/WinPath.h"

namespace kelvane {
namespace {

// fmShareCompat denies nothing, as on the other systems. Renaming or deleting
// the file is allowed to others unless they are denied writing.
DWORD ShareFlags(uint16_t share) {
  switch (share) {
    case fmShareExclusive:
      return 0;
    case fmShareDenyWrite:
      return FILE_SHARE_READ;
    case fmShareDenyRead:
      return FILE_SHARE_WRITE | FILE_SHARE_DELETE;
    default:
      return FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
  }
}

UString Reason(DWORD error) {
  if (error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION)
    return u"The file is in use by another process";
  return SystemErrorText(error);
}

[[noreturn]] void FailOpen(const UString& path, bool create, DWORD error) {
  if (create) throw EFCreateError(u"Cannot create file \"" + path + u"\". " + Reason(error));
  throw EFOpenError(u"Cannot open file \"" + path + u"\". " + Reason(error));
}

}  // namespace

TFileStream::TFileStream(const UString& path, uint16_t mode) : FFileName(path), FMode(mode) {
  const bool create = mode == fmCreate;
  const uint16_t access = create ? fmOpenReadWrite : (mode & 0x3);
  const uint16_t share = create ? fmShareExclusive : (mode & 0x70);
  const DWORD rights = access == fmOpenWrite       ? GENERIC_WRITE
                       : access == fmOpenReadWrite ? GENERIC_READ | GENERIC_WRITE
                                                   : GENERIC_READ;
  if (create && !FileLayerStep(flcCreate)) FailOpen(path, true, ERROR_DISK_FULL);
  const std::wstring native = SystemPath(path);
  if (native.empty()) FailOpen(path, create, ERROR_FILE_NOT_FOUND);
  // Never cut a file someone else holds: the open (with our share mode) must
  // succeed first, then the data goes.
  const HANDLE h =
      CreateFileW(native.c_str(), rights, ShareFlags(share), nullptr,
                  create ? OPEN_ALWAYS : OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) FailOpen(path, create, GetLastError());
  if (create && !SetEndOfFile(h)) {
    const DWORD error = GetLastError();
    CloseHandle(h);
    FailOpen(path, true, error);
  }
  FHandle = DescriptorOf(h, access == fmOpenRead);
  if (FHandle < 0) FailOpen(path, create, ERROR_TOO_MANY_OPEN_FILES);
}

TFileStream::TFileStream(const UString& path, TNewFile) : FFileName(path), FMode(fmCreate) {
  if (!FileLayerStep(flcCreate)) FailOpen(path, true, ERROR_DISK_FULL);
  const std::wstring native = SystemPath(path);
  if (native.empty()) FailOpen(path, true, ERROR_FILE_NOT_FOUND);
  // CREATE_NEW fails on anything at the name, a link or junction included.
  const HANDLE h = CreateFileW(native.c_str(), GENERIC_READ | GENERIC_WRITE,
                               FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                               CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) FailOpen(path, true, GetLastError());
  FHandle = DescriptorOf(h, false);
  if (FHandle < 0) FailOpen(path, true, ERROR_TOO_MANY_OPEN_FILES);
}

std::unique_ptr<TFileStream> TFileStream::CreateNew(const UString& path) {
  return std::unique_ptr<TFileStream>(new TFileStream(path, TNewFile{}));
}

TFileStream::~TFileStream() {
  if (FHandle >= 0) _close(FHandle);
}

int64_t TFileStream::Read(void* buffer, int64_t count) {
  auto* p = static_cast<uint8_t*>(buffer);
  int64_t done = 0;
  const HANDLE h = HandleOf(FHandle);
  while (done < count) {
    const DWORD step = static_cast<DWORD>(std::min<int64_t>(count - done, 1 << 30));
    DWORD got = 0;
    if (!ReadFile(h, p + done, step, &got, nullptr)) {
      const DWORD error = GetLastError();
      if (error == ERROR_HANDLE_EOF || error == ERROR_BROKEN_PIPE) break;
      FPosition = -1;
      throw EReadError(u"Cannot read file \"" + FFileName + u"\". " + Reason(error));
    }
    if (got == 0) break;
    done += got;
  }
  if (FPosition >= 0) FPosition += done;
  return done;
}

int64_t TFileStream::Write(const void* buffer, int64_t count) {
  auto* p = static_cast<const uint8_t*>(buffer);
  int64_t done = 0;
  if (count > 0 && !FileLayerStep(flcWrite)) return 0;
  const HANDLE h = HandleOf(FHandle);
  while (done < count) {
    const DWORD step = static_cast<DWORD>(std::min<int64_t>(count - done, 1 << 30));
    DWORD put = 0;
    if (!WriteFile(h, p + done, step, &put, nullptr)) {
      const DWORD error = GetLastError();
      // A full medium is reported as a short count so callers can ask for space.
      if (error == ERROR_DISK_FULL || error == ERROR_HANDLE_DISK_FULL) break;
      FPosition = -1;
      throw EWriteError(u"Cannot write file \"" + FFileName + u"\". " + Reason(error));
    }
    if (put == 0) break;
    done += put;
  }
  if (FPosition >= 0) FPosition += done;
  return done;
}

int64_t TFileStream::Seek(int64_t offset, TSeekOrigin origin) {
  // Readers ask for the position and seek to where they are all the time;
  // the handle's offset moves only through this stream.
  if (FPosition >= 0) {
    if (origin == soCurrent && offset == 0) return FPosition;
    if (origin == soBeginning && offset == FPosition) return FPosition;
  }
  const DWORD method = origin == soBeginning ? FILE_BEGIN
                       : origin == soCurrent ? FILE_CURRENT
                                             : FILE_END;
  LARGE_INTEGER to;
  to.QuadPart = offset;
  LARGE_INTEGER now;
  if (!SetFilePointerEx(HandleOf(FHandle), to, &now, method)) {
    FPosition = -1;
    throw EStreamError(u"Cannot seek in file \"" + FFileName + u"\". " +
                       SystemErrorText(GetLastError()));
  }
  FPosition = now.QuadPart;
  return FPosition;
}

int64_t TFileStream::Size() {
  LARGE_INTEGER size;
  if (!GetFileSizeEx(HandleOf(FHandle), &size))
    throw EStreamError(u"Cannot read the size of \"" + FFileName + u"\". " +
                       SystemErrorText(GetLastError()));
  return size.QuadPart;
}

void TFileStream::SetSize(int64_t newSize) {
  if (!FileLayerStep(flcCut))
    throw EStreamError(u"Cannot change the size of \"" + FFileName + u"\". " +
                       SystemErrorText(ERROR_DISK_FULL));
  const int64_t position = Position();
  FILE_END_OF_FILE_INFO end;
  end.EndOfFile.QuadPart = newSize;
  if (newSize < 0 ||
      !SetFileInformationByHandle(HandleOf(FHandle), FileEndOfFileInfo, &end, sizeof end))
    throw EStreamError(u"Cannot change the size of \"" + FFileName + u"\". " +
                       SystemErrorText(newSize < 0 ? ERROR_NEGATIVE_SEEK : GetLastError()));
  if (position > newSize) Seek(newSize, soBeginning);
}

bool TFileStream::Flush() {
  return FileLayerStep(flcFlush) && FlushFileBuffers(HandleOf(FHandle));
}

}  // namespace kelvane
