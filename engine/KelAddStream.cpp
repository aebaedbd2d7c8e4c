// New items: the step shared by every way of adding, and adding from a
// caller's stream, a buffer or a string.
#include <algorithm>

#include "container/KelDirManager.h"
#include "container/KelNames.h"
#include "container/KelUnixFields.h"
#include "engine/KelUnixMeta.h"
#include "engine/Kelvane.h"
#include "names/Paths.h"
#include "names/StoredName.h"
#include "platform/CodePage.h"
#include "platform/DosTime.h"
#include "platform/FileSystem.h"

namespace kelvane {
namespace {

constexpr int NativeIndexOutOfRange = 24;
constexpr int NativeUpdateNotStarted = 25;
constexpr int NativeMultiVolumeChange = 52;

UString WithSlashes(UString name) {
  for (char16_t& ch : name)
    if (ch == u'\\') ch = u'/';
  return name;
}

#ifndef _WIN32
// New items are Unix items here, made as Unix tools make them: the mode in the
// high half of the external attributes beside the DOS bits, and any non-ASCII
// name in UTF-8 with flag bit 11. Unix tools write OEM bytes to disk as they
// are, and a Unix item without a mode comes out with no permission at all.
uint32_t UnixExternalAttr(int32_t attr) {
  // A mode already there (a file's own, or a handler's) stays.
  if ((static_cast<uint32_t>(attr) >> 16) != 0) return static_cast<uint32_t>(attr);
  uint32_t mode = (attr & faDirectory) ? 0040755 : 0100644;
  if (attr & faReadOnly) mode &= ~uint32_t{0222};
  return mode << 16 | (static_cast<uint32_t>(attr) & 0xFFFF);
}

#endif

}  // namespace

int32_t TKelBaseArchiver::AddOneFile(const UString& Source, const UString& Base, TDateTime DateTime,
                                     int32_t Attr, bool FromDisk) {
  return AddOneFile(Source, Base, DateTime, Attr, FromDisk, nullptr);
}

int32_t TKelBaseArchiver::AddOneFile(const UString& Source, const UString& Base, TDateTime DateTime,
                                     int32_t Attr, bool FromDisk, const TDiskEntry* Known) {
  TKelDirArray& dir = DMHandle->CDir;
  UString stored;
  int32_t attr = Attr;
  int32_t dosTime = 0;
  uint64_t size = 0;
  // Unix metadata: the mode and UTC time of a disk source, and a link stored
  // as a link unless links are followed. One look at the entry gives its
  // attributes, time and size as well.
  TDiskEntry entry;
  bool unixEntry = false;
  if (FromDisk && KeepsUnixMetadata) {
    if (Known) entry = *Known;
    unixEntry = Known || ReadDiskEntry(Source, FOptions->FollowLinks(), entry);
  }
  const bool storeLink = unixEntry && entry.IsLink;
  if (FromDisk) {
    if (FCurrentDir.empty()) FCurrentDir = CurrentDirectory();
    stored = MakeStoredName(Source, Base, FOptions->StorePath(), FCurrentDir);
    attr = storeLink   ? LinkDosAttributes(entry, FileNamePart(Source).starts_with(u"."))
           : unixEntry ? entry.Attributes
                       : GetAttributes(Source);
    if (attr < 0) attr = faArchive;
    if ((attr & faDirectory) && !stored.empty() && stored.back() != u'/') stored += u'/';
    dosTime = unixEntry ? TimeToDosDateTime(static_cast<time_t>(entry.MTime)) : FileDosTime(Source);
    if (dosTime == -1) dosTime = DateTimeToDosDateTime(Now());
    if (storeLink) {
      size = entry.LinkTarget.size();
    } else if (unixEntry) {
      size = static_cast<uint64_t>(entry.Size);
    } else if (!(attr & faDirectory)) {
      try {
        size = static_cast<uint64_t>(TFileStream(Source, fmOpenRead | fmShareDenyNone).Size());
      } catch (const EStreamError&) {  // the commit reports the source it cannot open
      }
    }
  } else {
    stored = WithSlashes(Source);
    dosTime = DateTimeToDosDateTime(DateTime == 0 ? Now() : DateTime);
  }
  AnsiString comment;
  DoStoreFile(stored, attr, comment, Source);

  int32_t index = -1;
  TKelProcessOperation operation = poAdd;
  if (dir.FileExists(stored, index)) {
    const TDirItem& existing = dir.GetItemPtr(index);
    const int32_t existingTime = static_cast<int32_t>(
        (uint32_t{existing.CentralDir.lastModDate} << 16) | existing.CentralDir.lastModTime);
    bool replace = false;
    switch (FOptions->OverwriteMode()) {
      case omPrompt: {
        UString dest = stored;
        replace = true;
        DoConfirmOverwrite(Source, dest, replace);
        break;
      }
      case omAlways:
        replace = true;
        break;
      case omNever:
        break;
      case omIfNewer:
        replace = dosTime > existingTime;
        break;
      case omIfOlder:
        replace = dosTime < existingTime;
        break;
    }
    if (!replace) return -1;
    operation = poUpdate;
  } else {
    index = dir.Count();
    dir.SetCount(index + 1);
    dir.SetItemName(index, stored);
  }
  if (unixEntry && (static_cast<uint32_t>(attr) >> 16) == 0)
    attr = static_cast<int32_t>(static_cast<uint32_t>(attr) | (entry.Mode & 0xFFFF) << 16);
  InitNewItem(index, stored, FromDisk ? Source : UString(), attr, dosTime, size);
  TDirItem& item = dir.GetItemPtr(index);
  if (unixEntry) SetUnixMetadata(item, entry);
  item.Operation = operation;
  item.SetComment(comment);
  return index;
}

void TKelBaseArchiver::InitNewItem(int32_t Index, const UString& StoredName,
                                   const UString& SrcFileName, int32_t Attr, int32_t DosDateTime,
                                   uint64_t Size) {
  TKelDirArray& dir = DMHandle->CDir;
  if (Index < 0 || Index >= dir.Count()) throw EKelException(NativeIndexOutOfRange, this);
  if (!InUpdate()) throw EKelException(NativeUpdateNotStarted, this);
  TDirItem& item = dir.GetItemPtr(Index);
  const bool folder = (Attr & faDirectory) != 0;
  const bool oem = FOptions->OEMFileNames();
  TKelZipCentralDir& cd = item.CentralDir;
  cd = TKelZipCentralDir();
  cd.signature = KelCentralFileHeaderSig;
  cd.versionMadeBy = cd.extractVersion = oem ? KelVersionOemNames : KelVersionAnsiNames;
  cd.genPurposeFlag = folder ? KelFlagDirectory : FPassword.empty() ? 0 : KelFlagEncrypted;
  FlagUtf8NameForPlatform(StoredName, cd.genPurposeFlag);
  cd.compMethod = folder ? KelMethodStored : FCompressionMethod;
  cd.lastModTime = static_cast<uint16_t>(DosDateTime & 0xFFFF);
  cd.lastModDate = static_cast<uint16_t>(static_cast<uint32_t>(DosDateTime) >> 16);
  cd.crc32 = folder ? 0 : 0xFFFFFFFF;
#ifdef _WIN32
  cd.externalAttr = static_cast<uint32_t>(Attr);
#else
  cd.versionMadeBy = static_cast<uint16_t>(KelHostUnix << 8 | (cd.versionMadeBy & 0xFF));
  cd.externalAttr = UnixExternalAttr(Attr);
#endif
  item.SetZip64ExtInfo(TKelZip64ExtendedInfo());
  item.bHugeFile = false;
  if (Size >= KelZip64Escape32 || FZip64Mode == zmAlways) {
    item.bHugeFile = true;
    cd.unCompSize = KelZip64Escape32;
    item.EditZip64ExtInfo().uncompSize = Size;
  } else {
    cd.unCompSize = static_cast<uint32_t>(Size);
  }
  if (item.Name != StoredName) dir.SetItemName(Index, StoredName);
  item.NameInHostUtf8 = false;
  item.SetComment(AnsiString());
  item.ExtraFields.clear();
  item.ExtraAreaCut = false;
  // A folder has no data to encrypt; with the password it would get an
  // encryption header as data while its flags say it is not encrypted.
  item.SetPassword(folder ? AnsiString() : FPassword);
  item.SetSrcFileName(SrcFileName);
  item.SetStream(nullptr, false);
  item.Position = 0;
  item.CompressionMode = folder ? 0 : FCompressionMode;
  item.CompressionMethod = cd.compMethod;
  item.KelEncryptionAlgorithm = caPkzipClassic;
  item.Modified = true;
  item.UseOldRijndael = false;
}

void TKelBaseArchiver::AddStreamItem(const UString& FileName, TStream* Stream, bool Owns,
                                     bool CopyToBuffer, int64_t Position, int64_t Count,
                                     int32_t Attr, TDateTime DateTime) {
  std::unique_ptr<TStream> owned(Owns ? Stream : nullptr);
  CheckActive();
  if (FSpanningMode != smNone && DMHandle->CDir.Count() > 0 && !InUpdate())
    throw EKelException(NativeMultiVolumeChange, this);
  FProgressEnabled = false;
  BeginUpdate();
  try {
    const int32_t index = AddOneFile(FileName, UString(), DateTime, Attr, false);
    if (index >= 0) {
      TDirItem& item = DMHandle->CDir.GetItemPtr(index);
      if (CopyToBuffer) {
        auto copy = std::make_unique<THackMemoryStream>();
        const int64_t saved = Stream->Position();
        try {
          Stream->SetPosition(Position);
          copy->CopyFrom(*Stream, Count);
        } catch (...) {
          Stream->SetPosition(saved);
          throw;
        }
        Stream->SetPosition(saved);
        item.SetStream(copy.release(), true);
        item.Position = 0;
      } else {
        item.SetStream(Owns ? owned.release() : Stream, Owns);
        item.Position = static_cast<int32_t>(Position);
      }
      item.bDestroyStream = CopyToBuffer || Owns;
      const auto size = static_cast<uint64_t>(item.Stream()->Size());
      if (size >= KelZip64Escape32 || FZip64Mode == zmAlways) {
        item.bHugeFile = true;
        item.CentralDir.unCompSize = KelZip64Escape32;
        item.EditZip64ExtInfo().uncompSize = size;
      } else {
        item.CentralDir.unCompSize = static_cast<uint32_t>(size);
      }
    }
  } catch (...) {
    CancelUpdate();
    throw;
  }
  EndUpdate();
}

void TKelBaseArchiver::AddFromStream(const UString& FileName, TStream& Stream, bool CopyToBuffer,
                                     int64_t Position, int64_t Count, int32_t Attr,
                                     TDateTime DateTime) {
  AddStreamItem(FileName, &Stream, false, CopyToBuffer, Position, Count, Attr, DateTime);
}

void TKelBaseArchiver::AddFromBuffer(const UString& FileName, const void* Buffer, int32_t Count,
                                     int32_t Attr, TDateTime DateTime) {
  auto stream = std::make_unique<TMemoryStream>();
  if (Count > 0) stream->WriteBuffer(Buffer, Count);
  stream->SetPosition(0);
  AddStreamItem(FileName, stream.release(), true, false, 0, 0, Attr, DateTime);
}

void TKelBaseArchiver::AddFromString(const UString& FileName, const UString& Text, int32_t Attr,
                                     TDateTime DateTime) {
  auto stream = std::make_unique<TStringStream>(UnicodeToAnsi(Text));
  AddStreamItem(FileName, stream.release(), true, false, 0, 0, Attr, DateTime);
}

}  // namespace kelvane
