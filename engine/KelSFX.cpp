// Whole-file operations: appending one stream to another in blocks, and
// building a self-extracting archive from a stub and the archive.
#include <sys/stat.h>

#include <algorithm>

#include "container/KelDirManager.h"
#include "engine/Kelvane.h"
#include "names/Paths.h"
#include "platform/FileSystem.h"
#include "platform/UnixFiles.h"

namespace kelvane {
namespace {

constexpr int NativeFileNotFound = 12;
constexpr int NativeStubNotSet = 17;
constexpr int NativeStubNotFound = 18;
constexpr int NativeMultiVolume = 49;
constexpr int NativeHasStub = 50;
constexpr int NativeMakeSfxError = 56;
constexpr int64_t kBlockSize = 1 << 20;
constexpr uint16_t ModeReadShared = fmOpenRead | fmShareDenyNone;

// Bytes in front of the first local header: a stub, or anything else that
// would then stand between the new stub and the archive.
bool HasBytesInFront(const TKelDirManager& dir) {
  if (dir.StubSize > 0) return true;
  if (dir.CDir.Count() == 0) return false;
  uint64_t first = UINT64_MAX;
  for (int32_t i = 0; i < dir.CDir.Count(); ++i)
    first = std::min(first, dir.CDir.GetItemPtr(i).LocalHeaderOffset());
  return first != 0;
}

bool IsMultiVolume(const TKelDirManager& dir) {
  return dir.CentralDirEnd.diskNumber != 0 ||
         (dir.Zip64() && dir.Zip64CentralDirEndLocator.totalNumberOfDisks > 1);
}

// A new file beside Target, so that it can take Target's place by a rename.
UString TempFileBeside(const UString& Target) {
  const UString folder = DirectoryPart(FullPath(Target));
  UString name = CreateTempFile(folder.empty() ? UString(1, PathDelim) : folder, u"FC");
  if (name.empty()) throw EFCreateError(u"Cannot create a file beside \"" + Target + u"\"");
  return name;
}

}  // namespace

bool TKelBaseArchiver::CopyBlocks(TStream& Out, TStream& In, int64_t Count, const UString& FileName,
                                  TKelProcessOperation Operation) {
  FProgressCancel = false;
  bool cancel = false;
  auto report = [&](double percent, TKelProgressPhase phase) {
    if (!FProgressEnabled) return false;
    DoFileProgress(FileName, percent, Operation, phase, cancel);
    if (!cancel) DoOverallProgress(percent, Operation, phase, cancel);
    FProgressCancel = cancel;
    return cancel;
  };
  if (report(0, ppStart)) return true;
  const auto buffer = std::make_unique_for_overwrite<uint8_t[]>(
      static_cast<size_t>(std::clamp<int64_t>(Count, 1, kBlockSize)));
  for (int64_t copied = 0; copied < Count;) {
    if (report(static_cast<double>(copied) / static_cast<double>(Count) * 100, ppProcess))
      return true;
    const int64_t want = std::min(Count - copied, kBlockSize);
    const int64_t got = In.ReadUpTo(buffer.get(), want);
    if (got < want) return false;
    if (Out.Write(buffer.get(), got) != got) return false;
    copied += got;
  }
  report(100, ppEnd);
  return true;
}

bool TKelBaseArchiver::FastFileAppend(TStream& OutStream, TStream& InStream,
                                      const UString& FileName) {
  OutStream.Seek(0, soEnd);
  InStream.SetPosition(0);
  return CopyBlocks(OutStream, InStream, InStream.Size(), FileName, poMakeSFX);
}

void TKelBaseArchiver::MakeSFX(const UString& SFXFileName) {
  if (FSFXStub.empty()) throw EKelException(NativeStubNotSet, this);
  if (!IsFile(FSFXStub)) throw EKelException(NativeStubNotFound, {FSFXStub}, this);
  if (FSpanningMode != smNone) throw EKelException(NativeMultiVolume, this);
  if (InUpdate()) {
    FUpdateCount = 1;
    EndUpdate();
  }

  // The source: the open archive, or FileName read with a directory of its own.
  std::unique_ptr<TFileStream> ownStream;
  std::unique_ptr<TKelDirManager> ownDir;
  TStream* source = FCompressedStream;
  TKelDirManager* dir = DMHandle;
  if (!FActive) {
    if (!IsFile(FFileName)) throw EKelException(NativeFileNotFound, {FFileName}, this);
    FinishInterruptedCommit(ModeReadShared);
    ownStream = std::make_unique<TFileStream>(FFileName, ModeReadShared);
    ownDir = std::make_unique<TKelDirManager>(ownStream.get(), false, this);
    ownDir->LoadDir();
    source = ownStream.get();
    dir = ownDir.get();
  }
  if (IsMultiVolume(*dir)) throw EKelException(NativeMultiVolume, this);
  if (HasBytesInFront(*dir)) throw EKelException(NativeHasStub, this);
  // The output is written beside its place and renamed into it: writing it
  // over the stub or the archive would destroy what it is made of.
  const bool fromFile = !FInMemory && !IsCustomStream;
  if (IsSameFile(SFXFileName, FSFXStub) || (fromFile && IsSameFile(SFXFileName, FFileName)))
    throw Exception(u"The self-extractor \"" + SFXFileName +
                    u"\" would replace its own stub or archive");

  TFileStream stub(FSFXStub, ModeReadShared);
  const UString tempName = TempFileBeside(SFXFileName);
  bool cancelled = false;
  try {
    TFileStream out(tempName, fmOpenReadWrite | fmShareExclusive);
    FProgressEnabled = false;
    if (!CopyBlocks(out, stub, stub.Size(), FSFXStub, poMakeSFX))
      throw EKelException(NativeMakeSfxError, this);
    FProgressEnabled = true;
    const bool appended = FastFileAppend(out, *source, FFileName);
    FProgressEnabled = false;
    if (!appended) throw EKelException(NativeMakeSfxError, this);
    cancelled = FProgressCancel;
    if (!cancelled) {
      // Read back, the directory finds the stub and counts it in every offset;
      // written in place, the offsets stored say so.
      TKelDirManager sfxDir(&out, false, this);
      sfxDir.LoadDir();
      sfxDir.SaveDir(false);
      // Runs as a program: executable for whoever may read it, as a linker's
      // output is.
      const mode_t mask = ::umask(0);
      ::umask(mask);
      if (!SetHandleMode(out.Handle(), 0777 & ~mask) || !out.Flush())
        throw EWriteError(u"Cannot complete \"" + SFXFileName + u"\"");
    }
  } catch (...) {
    FProgressEnabled = false;
    RemoveFile(tempName);
    throw;
  }
  // Removed only once closed: Windows deletes no file that is still open.
  if (cancelled) {
    RemoveFile(tempName);
    return;
  }
  if (!ReplaceOnDisk(tempName, SFXFileName)) {
    RemoveFile(tempName);
    throw EFCreateError(u"Cannot create file \"" + SFXFileName + u"\"");
  }
}

}  // namespace kelvane
