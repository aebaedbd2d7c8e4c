// Repairing an archive: every item that can be read is put into a new
// archive, which then takes the place of the output (or of the archive).
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <memory>
#include <system_error>

#include "container/KelByteIO.h"
#include "container/KelDirManager.h"
#include "container/KelLocalRecordCheck.h"
#include "container/KelStreamReader.h"
#include "engine/KelScopedValue.h"
#include "engine/KelVerifyAhead.h"
#include "engine/Kelvane.h"
#include "names/Paths.h"
#include "platform/FileSystem.h"
#include "platform/Text.h"
#include "platform/UnixFiles.h"

namespace kelvane {
namespace {

constexpr int NativeCannotCreateOutput = 36;
constexpr int NativeArchiveOpen = 37;
constexpr int NativeWriteToStreamError = 46;
constexpr int NativeDiskFull = 65;
constexpr uint16_t ModeReadOnly = fmOpenRead;
constexpr uint16_t ModeExclusiveWrite = fmOpenWrite | fmShareExclusive;  // 0x12

// Failures of the output itself end the repair: an item left out for a full
// disk would be a loss reported as success.
bool IsOutputFailure(const std::exception& e) {
  if (dynamic_cast<const EWriteError*>(&e)) return true;
  if (const auto* k = dynamic_cast<const EKelException*>(&e))
    return k->NativeError == NativeDiskFull || k->NativeError == NativeWriteToStreamError;
  return false;
}

// Permission bits for the repaired file: those of the file it replaces, else
// what a new file gets.
uint32_t ModeFor(const UString& target) {
  struct stat st {};
  if (::stat(ToUtf8(target).c_str(), &st) == 0) return st.st_mode & 07777;
  const mode_t mask = ::umask(0);
  ::umask(mask);
  return 0666 & ~mask;
}

// Whether a local extra area holds a Zip64 field: its data descriptor then
// has 8-byte sizes.
bool HasZip64Field(const TBytes& extra) {
  for (size_t at = 0; at + 4 <= extra.size();) {
    const uint16_t id = static_cast<uint16_t>(extra[at] | extra[at + 1] << 8);
    const size_t size = static_cast<size_t>(extra[at + 2] | extra[at + 3] << 8);
    if (id == KelZip64ExtraId) return true;
    at += 4 + size;
  }
  return false;
}

}  // namespace

void TKelBaseArchiver::CopyStoredItem(const TDirItem& Item, TStream& Out) {
  TStream& archive = *FCompressedStream;
  const int64_t size = archive.Size();
  const uint64_t at = Item.LocalHeaderOffset();
  if (at >= static_cast<uint64_t>(size)) throw EReadError("The local header is missing");
  archive.SetPosition(static_cast<int64_t>(at));
  TKelZipLocalFileHeader local;
  ReadRecord(archive, local);
  if (local.signature != KelLocalFileHeaderSig) throw EReadError("The local header is missing");
  TBytes extra(local.extraLength);
  archive.Seek(local.nameLength, soCurrent);
  archive.ReadBuffer(extra.data(), static_cast<int64_t>(extra.size()));
  const uint64_t dataStart = static_cast<uint64_t>(archive.Position());
  uint64_t end = dataStart + Item.CompressedSize();
  if (end > static_cast<uint64_t>(size)) throw EReadError("The item's data is cut off");
  if (local.genPurposeFlag & KelFlagDataDescriptor) {
    uint8_t signature[4] = {};
    archive.SetPosition(static_cast<int64_t>(end));
    const bool signed_ =
        archive.Read(signature, 4) == 4 &&
        TKelByteReader(std::span<const uint8_t>(signature, 4)).U32() == KelDataDescriptorSig;
    end += DataDescriptorSize(signed_, HasZip64Field(extra));
    end = std::min(end, static_cast<uint64_t>(size));
  }
  const int64_t count = static_cast<int64_t>(end - at);
  auto* source = dynamic_cast<TFileStream*>(&archive);
  auto* target = dynamic_cast<TFileStream*>(&Out);
  if (source && target) {
    // Inside the kernel: the bytes never pass through this process.
    const int64_t outAt = Out.Position();
    if (!CopyFileRange(source->Handle(), static_cast<int64_t>(at), target->Handle(), outAt, count))
      throw EWriteError(u"Cannot copy \"" + Item.Name + u"\". " +
                        FromUtf8(std::generic_category().message(errno)));
    Out.SetPosition(outAt + count);
    return;
  }
  archive.SetPosition(static_cast<int64_t>(at));
  const bool progress = FProgressEnabled;
  FProgressEnabled = false;
  const bool copied = CopyBlocks(Out, archive, count, Item.Name, poAdd);
  FProgressEnabled = progress;
  if (!copied) throw EWriteError(u"Cannot copy \"" + Item.Name + u"\"");
}

bool TKelBaseArchiver::RepairItem(int32_t Index, TStream& Out, TKelDirManager& OutDir,
                                  TFileStream& Data, TKelVerdict Verdict) {
  const int64_t itemStart = Out.Position();
  TDirItem item = DMHandle->CDir.GetItem(Index);
  try {
    // Items are copied as stored from a one-file archive only: the bytes of
    // an item on volumes are read through the decoder.
    const bool oneFile = FSpanningMode == smNone;
    bool verified = oneFile && (Verdict == TKelVerdict::Sound || item.IsDirectory());
    // Data found damaged fails the check below as certainly.
    if (oneFile && !verified && Verdict != TKelVerdict::Damaged) {
      // Decoded once to know whether its stored form is sound.
      FExtractCorruptedFiles = false;
      FSkipFile = false;
      FProgressCancel = false;
      try {
        TNullStream sink;
        ExtractItemToStream(Index, sink, 0, 0);
        // Skipped for want of a password: kept as it is, as nothing shows
        // it damaged.
        verified = true;
      } catch (const std::exception& e) {
        if (IsOutputFailure(e)) throw;
      }
    }
    if (verified) {
      CopyStoredItem(item, Out);
      item.bHugeFile = item.bHugeFile || item.CentralDir.relOffsetLH == KelZip64Escape32;
      const auto at = static_cast<uint64_t>(itemStart);
      if (at >= KelZip64Escape32 || item.CentralDir.relOffsetLH == KelZip64Escape32) {
        item.CentralDir.relOffsetLH = KelZip64Escape32;
        item.EditZip64ExtInfo().relOffsetLH = at;
        item.bHugeFile = true;
      } else {
        item.CentralDir.relOffsetLH = static_cast<uint32_t>(at);
      }
    } else {
      // What can be decoded of a damaged item, stored anew.
      Data.SetSize(0);
      Data.SetPosition(0);
      FExtractCorruptedFiles = true;
      FProgressCancel = false;
      if (!item.IsDirectory()) ExtractItemToStream(Index, Data, 0, 0);
      // An empty file in place of one that had data would pass for the real
      // one: an item of which nothing decodes is left out.
      if (!item.IsDirectory() && Data.Size() == 0 && item.UncompressedSize() > 0)
        throw EReadError("Nothing of the item could be decoded");
      UpdateCompressionMethod();
      TKelZipCentralDir& cd = item.CentralDir;
      cd.genPurposeFlag &= static_cast<uint16_t>(~(KelFlagDataDescriptor | KelFlagEncrypted));
      if (!FPassword.empty()) cd.genPurposeFlag |= KelFlagEncrypted;
      cd.compMethod = item.IsDirectory() ? KelMethodStored : FCompressionMethod;
      cd.crc32 = 0;
      const auto size = static_cast<uint64_t>(Data.Size());
      item.SetZip64ExtInfo(TKelZip64ExtendedInfo());
      item.bHugeFile = size >= KelZip64Escape32;
      cd.unCompSize = item.bHugeFile ? KelZip64Escape32 : static_cast<uint32_t>(size);
      if (item.bHugeFile) item.EditZip64ExtInfo().uncompSize = size;
      std::erase_if(item.ExtraFields, [](const TKelExtraFieldDataBlock& b) {
        return b.headerID == KelZip64ExtraId || b.headerID == KelAesExtraId;
      });
      item.SetPassword(item.IsDirectory() ? AnsiString() : FPassword);
      if (item.IsDirectory()) cd.genPurposeFlag &= static_cast<uint16_t>(~KelFlagEncrypted);
      item.KelEncryptionAlgorithm = caPkzipClassic;
      item.CompressionMode = FCompressionMode;
      item.CompressionMethod = cd.compMethod;
      item.SetSrcFileName(item.Name.Str());
      item.Operation = poAdd;
      Out.SetPosition(itemStart);
      if (!WriteNewItem(item, item.IsDirectory() ? nullptr : &Data, Out))
        throw EWriteError(u"\"" + item.Name + u"\" not stored");
      item.SetPassword(AnsiString());
    }
  } catch (const std::exception& e) {
    if (IsOutputFailure(e)) throw;
    // An item that cannot be read is left out.
    Out.SetPosition(itemStart);
    Out.SetSize(itemStart);
    return false;
  }
  item.Modified = false;
  item.Tagged = false;
  item.SetStream(nullptr, false);
  const int32_t at = OutDir.CDir.Count();
  OutDir.CDir.SetCount(at + 1);
  OutDir.CDir.SetItem(at, item);
  return true;
}

void TKelBaseArchiver::RepairArchive(const UString& OutputFileName) {
  if (FActive) throw EKelException(NativeArchiveOpen, this);
  const bool inPlace = OutputFileName.empty() || IsSameFile(OutputFileName, FFileName);
  const UString target = inPlace ? FFileName : OutputFileName;
  // A file that the repaired one replaces must not give way to data still in
  // flight: it is flushed first. A new file replaces nothing.
  const bool replaces = IsFile(target);
  if (inPlace) {
    try {
      TFileStream probe(FFileName, ModeExclusiveWrite);
    } catch (const EStreamError&) {
      throw EKelException(NativeCannotCreateOutput, {FFileName}, this);
    }
  }
  // Written beside its place, so that one rename puts it there.
  const UString folder = DirectoryPart(FullPath(target));
  const UString tempName = CreateTempFile(folder.empty() ? UString(1, PathDelim) : folder, u"FC");
  if (tempName.empty()) throw EKelException(NativeCannotCreateOutput, {target}, this);

  TScopedValue<bool> corrupted(FExtractCorruptedFiles, FExtractCorruptedFiles);
  TScopedValue<bool> openCorrupted(FOpenCorruptedArchives, true);
  TScopedValue<bool> progress(FProgressEnabled, false);
  UString dataName;
  std::unique_ptr<TFileStream> data;
  try {
    OpenArchive(ModeReadOnly);
    FProgressEnabled = false;
    dataName = MakeTempFileName();
    data = std::make_unique<TFileStream>(dataName, fmOpenReadWrite | fmShareExclusive);
    TFileStream out(tempName, fmOpenReadWrite | fmShareExclusive);
    {
      TKelDirManager outDir(&out, false, this);
      const int32_t count = DMHandle->CDir.Count();
      // Items of a one-file archive are verified ahead on other threads; those
      // found sound are copied without decoding them here.
      std::unique_ptr<TKelVerifyAhead> verifier;
      auto* archive = dynamic_cast<TFileStream*>(FCompressedStream);
      if (FSpanningMode == smNone && archive && count > 0)
        verifier =
            std::make_unique<TKelVerifyAhead>(archive->Handle(), DMHandle->CentralDirOffset, count);
      for (int32_t i = 0; i < count; ++i) {
        TKelVerdict verdict = TKelVerdict::NotKnown;
        if (verifier) {
          verifier->QueueAhead(i, DMHandle->CDir);
          verdict = verifier->Verdict(i, DMHandle->CDir.GetItemPtr(i));
        }
        RepairItem(i, out, outDir, *data, verdict);
      }
      verifier.reset();
      outDir.ArchiveComment = DMHandle->ArchiveComment;
      outDir.SaveDir(true);
    }
    if (!SetHandleMode(out.Handle(), ModeFor(target)) || (replaces && !out.Flush()))
      throw EWriteError(u"Cannot complete \"" + tempName + u"\"");
  } catch (...) {
    data.reset();
    if (!dataName.empty()) RemoveFile(dataName);
    CloseArchive();
    RemoveFile(tempName);
    throw;
  }
  data.reset();
  RemoveFile(dataName);
  CloseArchive();
  if (!ReplaceOnDisk(tempName, target)) {
    RemoveFile(tempName);
    throw EKelException(NativeCannotCreateOutput, {target}, this);
  }
}

}  // namespace kelvane
