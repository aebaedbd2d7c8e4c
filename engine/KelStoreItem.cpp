// The two ways an item reaches the rewritten archive: stored anew from its
// source, or copied as it was from the saved tail.
#include <algorithm>
#include <climits>

#include "coding/KelCrc32.h"
#include "coding/KelParallelDeflate.h"
#include "coding/KelZlib.h"
#include "container/KelByteIO.h"
#include "container/KelDirManager.h"
#include "container/KelExtraField.h"
#include "container/KelNames.h"
#include "container/KelUnixFields.h"
#include "engine/KelCommitState.h"
#include "engine/KelCompressAhead.h"
#include "engine/KelDecode.h"
#include "engine/Kelvane.h"
#include "platform/FileSystem.h"
#include "platform/Text.h"

namespace kelvane {
namespace {

// An item gathered from a Unix folder that is neither a file, a folder nor a
// link: its mode is in the high half of its external attributes.
bool HasSpecialUnixType(const TDirItem& item) {
  if (MadeByHost(item.CentralDir.versionMadeBy) != KelHostUnix) return false;
  const uint32_t type = (item.CentralDir.externalAttr >> 16) & KelUnixTypeMask;
  return type != 0 && type != KelUnixRegular && type != KelUnixDirectory && type != KelUnixLink;
}

// Unix tools show a name stored in a code page as raw bytes, and some read the
// UTF-8 names of items not made on Unix through a code page as well; the
// Unicode path field gives them the name in UTF-8. A field of an earlier name
// is dropped (its CRC would no longer match anyway).
void PutUnicodePathField(TDirItem& item, const AnsiString& nameBytes) {
  std::erase_if(item.ExtraFields,
                [](const auto& b) { return b.headerID == KelUnicodePathExtraId; });
  const bool ascii = std::all_of(nameBytes.begin(), nameBytes.end(),
                                 [](char c) { return static_cast<unsigned char>(c) < 0x80; });
  if (ascii || MadeByHost(item.CentralDir.versionMadeBy) == KelHostUnix) return;
  TKelUnicodePathExtraField field;
  field.version = KelUnicodePathVersion;
  field.nameCrc32 = Crc32Of(nameBytes.data(), nameBytes.size());
  field.utf8Name = ToUtf8(item.Name);
  item.ExtraFields.push_back(field.ToBlock());
}

constexpr int NativeIndexOutOfBounds = 7;
// Sources up to this size are stored through memory (see StoreItem).
constexpr uint64_t StagedItemLimit = 64 * 1024;
constexpr int NativeCannotOpenSource = 33;
// Files from this size up to one chunk are deflated ahead (AheadJobs).
constexpr uint64_t AheadMinSize = 8 * 1024;
constexpr int NativeZip64Disabled = 43;
constexpr int NativePathTooLong = 61;
#ifndef _WIN32
constexpr uint16_t KelHostUnix = 3;
#endif

// Replaces every block of Block's id in Blocks by Block.
void PutExtraField(TKelExtraFields& blocks, TKelExtraFieldDataBlock block) {
  std::erase_if(blocks, [&](const auto& b) { return b.headerID == block.headerID; });
  blocks.push_back(std::move(block));
}

// The local header and everything up to the item's data, as bytes.
TBytes LocalHeaderBytes(const TKelZipLocalFileHeader& header, const AnsiString& name,
                        const TKelExtraFields& extras) {
  TBytes bytes;
  TKelByteWriter out(bytes);
  header.Write(out);
  out.Bytes(std::span(reinterpret_cast<const uint8_t*>(name.data()), name.size()));
  for (const TKelExtraFieldDataBlock& block : extras)
    block.Write(out);
  return bytes;
}

uint16_t ExtraLength(const TKelExtraFields& extras) {
  size_t size = 0;
  for (const TKelExtraFieldDataBlock& block : extras)
    size += block.DiskSize();
  if (size > 0xFFFF) throw Exception(u"The local extra fields take more than 65535 bytes");
  return static_cast<uint16_t>(size);
}

// Where the item's local header offset goes: the 32-bit field, or its escape
// and the Zip64 value.
void SetLocalHeaderOffset(TDirItem& item, uint64_t pos, bool zip64) {
  if (pos >= KelZip64Escape32 || zip64) {
    item.bHugeFile = true;
    item.CentralDir.relOffsetLH = KelZip64Escape32;
    item.EditZip64ExtInfo().relOffsetLH = pos;
  } else {
    item.CentralDir.relOffsetLH = static_cast<uint32_t>(pos);
  }
}

}  // namespace

std::vector<TAheadJob> TKelBaseArchiver::AheadJobs(int32_t Index) {
  std::vector<TAheadJob> jobs;
  // Sets store each item through a file of its own, and one processor has no
  // other core to deflate on.
  if (FSpanningMode != smNone || DeflateWorkers() < 2) return jobs;
  const TKelDirArray& dir = DMHandle->CDir;
  const int32_t openMode = fmOpenRead | FileShareModeBits(FOptions->ShareMode());
  for (int32_t i = Index; i < dir.Count(); ++i) {
    const TDirItem& item = dir.GetItemPtr(i);
    if (!item.Modified || CopiedAsTheyAre(item.Operation) || item.Stream() || item.IsDirectory() ||
        !item.Password().empty() || item.CompressionMethod != KelMethodDeflate ||
        HasSpecialUnixType(item))
      continue;
    // Below this, opening the file twice costs more than deflating it; above
    // one chunk, the item is deflated on every core by itself.
    const auto chunk = static_cast<uint64_t>(CompressionBlockSize(item.CompressionMode));
    const uint64_t size = item.UncompressedSize();
    if (size < AheadMinSize || size > chunk) continue;
    jobs.push_back({i, item.SrcFileName(), openMode, item.CompressionMode, size_t(chunk)});
  }
  return jobs;
}

bool TKelBaseArchiver::StoreItem(int32_t Index) {
  TKelCommitState& c = *FCommit;
  TDirItem& item = DMHandle->CDir.GetItemPtr(Index);
  UpdateCompressionMethod();
  bool cancel = false;
  DoFileProgress(item.Name, 0, item.Operation, ppStart, cancel);
  if (cancel) {
    FProgressCancel = true;
    return false;
  }

  std::unique_ptr<TFileStream> file;
  // A set's item is coded into a file of its own first: only its finished
  // bytes are laid into the volumes, its header never cut between two.
  const bool volumes = FSpanningMode != smNone;
  std::unique_ptr<TFileStream> staging;
  UString stagingName;
  TStream* source = nullptr;
  int64_t sourcePos = 0;
  // A stream the item owns is kept until the item is stored, so that a retry
  // finds it again.
  auto release = [&](bool stored) {
    c.AheadItem.reset();  // never handed on to the next item
    file.reset();
    staging.reset();
    if (!stagingName.empty()) RemoveFile(stagingName);
    stagingName.clear();
    if (!item.Stream()) return;
    if (stored && item.bDestroyStream) {
      item.SetStream(nullptr, false);
      item.bDestroyStream = false;
      return;
    }
    try {
      item.Stream()->SetPosition(sourcePos);
    } catch (...) {  // the caller's stream failed already
    }
  };

  try {
    if (item.Stream()) {
      source = item.Stream();
      sourcePos = source->Position();
    } else if (!item.IsDirectory()) {
      if (ToUtf8(item.SrcFileName()).size() >= PATH_MAX)
        throw EKelException(NativePathTooLong, {item.SrcFileName()}, this);
      // Pipes, sockets and devices have no contents to store, and opening a
      // pipe would wait for a writer forever.
      if (HasSpecialUnixType(item))
        throw EKelException(NativeCannotOpenSource, {item.SrcFileName()}, this);
      try {
        file = std::make_unique<TFileStream>(item.SrcFileName(),
                                             fmOpenRead | FileShareModeBits(FOptions->ShareMode()));
      } catch (const EStreamError&) {
        throw EKelException(NativeCannotOpenSource, {item.SrcFileName()}, this);
      }
      source = file.get();
    }

    if (volumes) {
      stagingName = MakeTempFileName();
      staging = std::make_unique<TFileStream>(stagingName, fmOpenReadWrite | fmShareExclusive);
    }
    c.AheadItem = c.Ahead && file ? c.Ahead->Take(Index) : nullptr;
    int64_t headerLength = 0;
    if (!WriteNewItem(item, source, volumes ? *staging : *FCompressedStream, &headerLength)) {
      release(false);
      return false;
    }
    if (volumes && !LayIntoVolumes(*staging, headerLength, item, FZip64Mode == zmAlways)) {
      release(false);
      c.Result = fxaAbort;
      return false;
    }
    release(true);
  } catch (const EKelException& e) {
    release(false);
    TKelAction action = fxaAbort;
    if (FCompressedStream) {
      action = fxaIgnore;
      const UString& what =
          item.Operation == poUpdate || item.SrcFileName().empty() ? item.Name : item.SrcFileName();
      DoProcessFileFailure(what, item.Operation, e.NativeError, e.ErrorCode, e.Message(), action);
    }
    c.Result = action;
    return false;
  } catch (...) {
    release(false);
    throw;
  }
  DoFileProgress(item.Name, 100, item.Operation, ppEnd, cancel);
  if (cancel) FProgressCancel = true;
  return true;
}

bool TKelBaseArchiver::LayIntoVolumes(TStream& Staged, int64_t HeaderLen, TDirItem& Item,
                                      bool Zip64Always) {
  TKelVolumeNumberInfo& volume = *FVolumeNumberInfo;
  bool cancel = false;
  Staged.SetPosition(0);
  CopyToVolumes(Staged, FCompressedStream, false, nullptr, 0, HeaderLen, cancel, volume);
  const auto number = static_cast<uint32_t>(std::max(volume.VolumeNumber(), 0));
  if (number >= KelZip64Escape16) {
    Item.bHugeFile = true;
    Item.CentralDir.diskNumberStart = KelZip64Escape16;
    Item.EditZip64ExtInfo().diskNumberStart = number;
  } else {
    Item.CentralDir.diskNumberStart = static_cast<uint16_t>(number);
  }
  SetLocalHeaderOffset(Item, static_cast<uint64_t>(FCompressedStream->Position() - HeaderLen),
                       Zip64Always);
  CopyToVolumes(Staged, FCompressedStream, true, nullptr, -1, -1, cancel, volume);
  if (DMHandle) DMHandle->FollowArchiveStream();
  return !cancel;
}

bool TKelBaseArchiver::WriteNewItem(TDirItem& item, TStream* source, TStream& out,
                                    int64_t* headerLength) {
  TKelZipCentralDir& cd = item.CentralDir;
  const bool oem = FOptions->OEMFileNames();
  const AnsiString name = ItemNameToBytes(item.Name, item.NameInHostUtf8, cd, oem);
  item.bHugeFile = false;
  const auto headerPos = static_cast<uint64_t>(out.Position());
  const bool always = FZip64Mode == zmAlways;
  SetLocalHeaderOffset(item, headerPos, always);
  const uint64_t sourceSize = source ? static_cast<uint64_t>(source->Size()) : 0;
  const bool aes = !item.Password().empty() && IsAesAlgorithm(FKelCryptoAlgorithm);

  // A source just under 4 GiB may still grow past it when deflated or
  // encrypted: its room for the Zip64 sizes is kept before the data is there
  // (without Zip64 such an item fails when it does grow past 4 GiB).
  const bool nearZip64 =
      FZip64Mode != zmDisabled && sourceSize + sourceSize / 1000 + (1 << 20) >= KelZip64Escape32;
  const uint16_t version = item.bHugeFile || nearZip64 ? KelVersionZip64
                           : oem                       ? KelVersionOemNames
                                                       : KelVersionAnsiNames;
  cd.extractVersion = version;
  cd.versionMadeBy = VersionMadeByFor(cd.versionMadeBy, version);
  PutUnicodePathField(item, name);
  TKelZipLocalFileHeader lh;
  lh.signature = KelLocalFileHeaderSig;
  lh.extractVersion = version;
  lh.genPurposeFlag = cd.genPurposeFlag;
  lh.compMethod = aes ? KelMethodAes : cd.compMethod;
  lh.lastModTime = cd.lastModTime;
  lh.lastModDate = cd.lastModDate;
  lh.nameLength = static_cast<uint16_t>(name.size());
  if (sourceSize >= KelZip64Escape32 || always) item.bHugeFile = true;
  if (item.bHugeFile && FZip64Mode == zmDisabled)
    throw EKelException(NativeZip64Disabled, {item.Name}, this);
  lh.unCompSize = item.bHugeFile ? KelZip64Escape32 : static_cast<uint32_t>(sourceSize);

  const bool localZip64 = item.bHugeFile || nearZip64;
  TKelExtraFields local;
  if (localZip64) local.push_back(BuildLocalZip64ExtraField(0, 0));  // filled in below
  if (FUnicodeFilenames) {
    PutExtraField(item.ExtraFields, BuildUnicodeNameField(item.Name));
    local.push_back(item.ExtraFields.back());
  }
  for (const TKelExtraFieldDataBlock& block : item.ExtraFields)
    if (block.headerID == KelUnicodePathExtraId) local.push_back(block);
  // Unix tools read the UTC time from the local header too; the AES field stays last,
  // where it is completed once the data is stored.
  for (const TKelExtraFieldDataBlock& block : item.ExtraFields)
    if (block.headerID == KelExtendedTimestampId) local.push_back(block);
  if (aes) {
    TKelAesExtraField field;
    field.version = 2;
    field.vendorId = KelAesVendorId;
    field.strength = static_cast<uint8_t>(FKelCryptoAlgorithm);  // caAES_128 is 1
    field.compMethod = item.CompressionMethod;
    PutExtraField(item.ExtraFields, field.ToBlock());
    local.push_back(item.ExtraFields.back());
  }
  lh.extraLength = ExtraLength(local);
  TBytes header = LocalHeaderBytes(lh, name, local);
  if (headerLength) *headerLength = static_cast<int64_t>(header.size());
  // A small item is put together in memory, its header completed there, and
  // written with one call instead of three writes and two seeks.
  const bool staged = source && sourceSize <= StagedItemLimit && FSpanningMode == smNone;
  TMemoryStream stage;
  TStream& target = staged ? static_cast<TStream&>(stage) : out;
  const int64_t headerAt = staged ? 0 : static_cast<int64_t>(headerPos);
  CommitWrite(target, header.data(), static_cast<int64_t>(header.size()));

  if (source) {
    if (!StoreItemData(*source, target, item)) return false;
    const int64_t dataEnd = target.Position();
    if (aes) {
      // Other readers know an AES item by its method; the actual one, 0 for
      // an empty item, is in the AES field.
      TKelAesExtraField field;
      field.Read(item.ExtraFields.back().pData);
      field.compMethod = item.CompressionMethod;
      item.ExtraFields.back() = field.ToBlock();
      local.back() = item.ExtraFields.back();
      cd.compMethod = KelMethodAes;
    }
    lh.crc32 = cd.crc32;
    // The local Zip64 field holds both sizes, so both local fields are
    // escaped: readers expect a value in it for each escaped field only.
    lh.compSize = localZip64 ? KelZip64Escape32 : cd.compSize;
    if (localZip64) lh.unCompSize = KelZip64Escape32;
    lh.compMethod = sourceSize == 0 && !aes ? KelMethodStored : cd.compMethod;
    if (localZip64)
      local.front() = BuildLocalZip64ExtraField(item.UncompressedSize(), item.CompressedSize());
    header = LocalHeaderBytes(lh, name, local);
    target.SetPosition(headerAt);
    CommitWrite(target, header.data(), static_cast<int64_t>(header.size()));
    target.SetPosition(dataEnd);
    if (staged) CommitWrite(out, stage.Memory(), stage.Size());
  }
  return true;
}

void TKelBaseArchiver::CopyItem(int32_t Index) {
  TKelCommitState& c = *FCommit;
  TDirItem& item = DMHandle->CDir.GetItemPtr(Index);
  const bool renamed = item.Modified && item.Operation == poRename;
  auto found = c.OldByName.find(renamed ? item.OldName() : item.Name);
  if (found == c.OldByName.end() || found->second.empty())
    throw EKelException(NativeIndexOutOfBounds, this);
  const TDirItem& oldEntry = DMHandle->RBCDir.GetItemPtr(found->second.front());
  found->second.erase(found->second.begin());
  if (item.Modified && item.Operation == poUpdate) item = oldEntry;

  const uint64_t oldOffset = oldEntry.LocalHeaderOffset();
  const auto cut = static_cast<uint64_t>(c.Saved.CutPos);
  if (oldOffset < cut) throw EKelException(NativeIndexOutOfBounds, this);
  // The entry's bytes run to the next entry, or to where the old directory
  // began: its data descriptor and anything between go along.
  auto next = std::upper_bound(c.OldOffsets.begin(), c.OldOffsets.end(), oldOffset);
  uint64_t extentEnd = next != c.OldOffsets.end() ? *next : static_cast<uint64_t>(c.OldDirOffset);

  TStream& tail = *c.TailFile;
  tail.SetPosition(static_cast<int64_t>(oldOffset - cut));
  TKelZipLocalFileHeader lh;
  ReadRecord(tail, lh);
  const uint64_t dataStart = oldOffset + KelLocalFileHeaderSize + lh.nameLength + lh.extraLength;
  extentEnd = std::max(extentEnd, dataStart + oldEntry.CompressedSize());

  TStream& out = *FCompressedStream;
  SetLocalHeaderOffset(item, static_cast<uint64_t>(out.Position()),
                       oldEntry.CentralDir.relOffsetLH == KelZip64Escape32);
  if (!renamed) {
    tail.SetPosition(static_cast<int64_t>(oldOffset - cut));
    CommitCopy(out, tail, static_cast<int64_t>(extentEnd - oldOffset));
    return;
  }

  // A new local header for the new name; the old name's Unicode fields would
  // name the item as before.
  for (TKelExtraFieldDataBlock& block : item.ExtraFields)
    if (block.headerID == KelUnicodeNameExtraId) block = BuildUnicodeNameField(item.Name);
  TKelZipCentralDir& cd = item.CentralDir;
  const AnsiString name =
      ItemNameToBytes(item.Name, item.NameInHostUtf8, cd, FOptions->OEMFileNames());
  PutUnicodePathField(item, name);
  lh.genPurposeFlag = static_cast<uint16_t>((lh.genPurposeFlag & ~KelFlagUtf8Name) |
                                            (cd.genPurposeFlag & KelFlagUtf8Name));
  lh.nameLength = static_cast<uint16_t>(name.size());
  TKelExtraFields local;
  // A local header whose sizes were escaped keeps its Zip64 field: without it
  // the escapes would point nowhere, and a data descriptor behind the data
  // would be read in the wrong size.
  if (oldEntry.CentralDir.unCompSize == KelZip64Escape32 || lh.unCompSize == KelZip64Escape32 ||
      lh.compSize == KelZip64Escape32) {
    local.push_back(BuildLocalZip64ExtraField(item.UncompressedSize(), item.CompressedSize()));
    lh.unCompSize = lh.compSize = KelZip64Escape32;
  }
  for (const TKelExtraFieldDataBlock& block : item.ExtraFields)
    if (block.headerID != KelZip64ExtraId) local.push_back(block);
  lh.extraLength = ExtraLength(local);
  const TBytes header = LocalHeaderBytes(lh, name, local);
  CommitWrite(out, header.data(), static_cast<int64_t>(header.size()));
  tail.SetPosition(static_cast<int64_t>(dataStart - cut));
  CommitCopy(out, tail, static_cast<int64_t>(extentEnd - dataStart));
}

}  // namespace kelvane
