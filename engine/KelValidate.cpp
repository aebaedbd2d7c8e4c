// The two read-only checks: whether a file holds a usable archive, and whether
// a password opens an encrypted item.
#include <algorithm>

#include "container/KelDirManager.h"
#include "engine/KelDecode.h"
#include "engine/KelScopedValue.h"
#include "engine/Kelvane.h"
#include "platform/FileSystem.h"

namespace kelvane {
namespace {

constexpr int NativeItemNotFound = 42;
constexpr uint16_t ModeReadShared = fmOpenRead | fmShareDenyNone;

}  // namespace

bool TKelBaseArchiver::IsFilePasswordValid(const UString& FileName, const AnsiString& Password) {
  CheckActive();
  TKelArchiveItem found;
  if (!FindFirst(FileName, found, KelAllItemsAttr, u""))
    throw EKelException(NativeItemNotFound, {FileName}, this);
  const int32_t index = found.Handle.ItemNo;
  const TDirItem item = DMHandle->CDir.GetItem(index);
  if (!(item.CentralDir.genPurposeFlag & KelFlagEncrypted)) return true;
  if (item.CompressionMethod != KelMethodStored && item.CompressionMethod != KelMethodDeflate)
    return false;

  try {
    const bool multiVolume = FSpanningMode != smNone;
    TKelVolumeNumberInfo volume;
    volume.SetLastVolumeNumber(LastVolumeOf(*DMHandle));
    volume.SetVolumeNumber(ItemVolumeOf(*DMHandle, item));
    OpenVolume(volume);
    if (!FCompressedStream) return false;
    TStream& archive = *FCompressedStream;
    archive.SetPosition(int64_t(std::min<uint64_t>(item.LocalHeaderOffset(),
                                                   uint64_t(std::numeric_limits<int64_t>::max()))));
    TKelZipLocalFileHeader local;
    ReadRecord(archive, local);
    archive.Seek(int64_t(local.nameLength) + local.extraLength, soCurrent);

    // The quick check reads only the encryption header.
    if (IsAesAlgorithm(item.KelEncryptionAlgorithm) &&
        item.CentralDir.extractVersion < KelVersionApart) {
      auto transform =
          NewAesDecryptor(item.KelEncryptionAlgorithm, item.CompressionMethod, Password);
      transform->LoadFileStorageStartBlock(archive, 0);
      if (!transform->CheckPassword(Password)) return false;
    } else if (!multiVolume) {
      PkzipKeys keys;
      const bool fits = CheckPkzipHeader(archive, Password, keys, local.crc32, local.lastModTime,
                                         local.genPurposeFlag);
      WipeMemory(&keys, sizeof keys);
      if (!fits) return false;
    }

    // About one wrong password in 256 (PKZIP classic) passes the header: only
    // decoding the item tells. Nothing may turn a failure into success
    // meanwhile: no question, no progress handler's cancel, no tolerance of
    // corrupted data.
    TScopedValue<bool> suppress(FSuppressPasswordEvent, true);
    TScopedValue<bool> progress(FProgressEnabled, false);
    TScopedValue<bool> corrupted(FExtractCorruptedFiles, false);
    AnsiString saved = FPassword;
    struct TRestore {
      TKelBaseArchiver& Self;
      AnsiString& Saved;
      ~TRestore() {
        Self.SetPassword(Saved);
        WipeString(Saved);
      }
    } restore{*this, saved};
    SetPassword(Password);
    FProgressCancel = false;
    TNullStream sink;
    ExtractItemToStream(index, sink, 0, 0);
    return !FProgressCancel && !FSkipFile;
  } catch (const std::exception&) {
    return false;
  }
}

bool TKelBaseArchiver::IsValidArchiveFile() {
  if (FActive) return true;
  if (!IsFile(FFileName)) return false;
  TScopedValue<TKelSpanningMode> spanning(FSpanningMode, FSpanningMode);
  TScopedValue<bool> corrupted(FOpenCorruptedArchives, false);
  bool valid = false;
  bool loaded = false;
  try {
    ReleaseArchive();
    IsCustomStream = false;
    FileOpenMode = ModeReadShared;
    FVolumeNumberInfo->Init();
    FCompressedStream = new TFileStream(FFileName, FileOpenMode);
    VolumeFileName = FFileName;
    DMHandle = new TKelDirManager(FCompressedStream, false, this);
    if (DMHandle->HasCentralDirEnd()) {
      valid = true;
    } else {
      try {
        FSpanningMode = smSplitting;
        DMHandle->LoadDir();
        loaded = true;
      } catch (const std::exception&) {
      }
      if (!loaded) {
        try {
          FSpanningMode = smNone;
          DMHandle->LoadDir();
          loaded = DMHandle->CDir.Count() > 0;
        } catch (const std::exception&) {
        }
      }
    }
    ReleaseArchive();
    if (loaded) {
      // Rebuilt from the local headers: usable when its items can be tested.
      FOpenCorruptedArchives = true;
      OpenArchive(ModeReadShared);
      TestFiles(u"*.*", KelAllItemsAttr, u"");
      valid = true;
    }
  } catch (...) {
    valid = false;
  }
  CloseArchive();
  return valid;
}

}  // namespace kelvane
