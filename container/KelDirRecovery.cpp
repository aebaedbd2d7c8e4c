// Rebuilding a directory from the local headers, for archives whose central
// directory is missing or cannot be read.
#include <algorithm>
#include <memory>
#include <vector>

#include "container/KelDirManager.h"
#include "container/KelExcept.h"
#include "container/KelNames.h"
#include "container/KelScanAhead.h"
#include "container/KelStreamReader.h"
#include "platform/Stream.h"

namespace kelvane {
namespace {

constexpr int kErrNoLocalHeader = 35;

constexpr auto kLocalSize = static_cast<int64_t>(TKelZipLocalFileHeader::Size);

// The first data descriptor at or after a position. A search that found one at
// D (or none up to the end) answers every later search from a position up to D
// as well, which keeps the scan linear when many items lack their descriptor.
class TDescriptorSearch {
 public:
  template <class Scan>
  int64_t From(int64_t from, Scan scan) {
    if (FFrom >= 0 && from >= FFrom && (FFound < 0 || from <= FFound)) return FFound;
    FFrom = from;
    FFound = scan(from);
    return FFound;
  }

 private:
  int64_t FFrom = -1;
  int64_t FFound = -1;
};

}  // namespace

void TKelDirManager::RecoverDirectory(bool EndRecordFound) {
  TStream& stream = *FCompressedStream;
  const int64_t size = stream.Size();
  const bool oemStep = EndRecordFound && FArc->OEMFileNames();
  TScanWindow headerWindow;
  TScanWindow descriptorWindow;
  // The second half of a large file is searched on another thread while this
  // one goes through the first; every signature is still visited in order.
  std::unique_ptr<TKelScanAhead> ahead;
  if (auto* file = dynamic_cast<TFileStream*>(&stream); file && size >= RecoveryScanAheadFrom) {
    ahead = std::make_unique<TKelScanAhead>(file->Handle(), size / 2, size, KelLocalFileHeaderSig);
    if (!ahead->Started()) ahead.reset();
  }
  const auto nextHeader = [&](int64_t from) {
    if (ahead) {
      if (from < ahead->From()) {
        const int64_t at =
            ScanFor(from, KelLocalFileHeaderSig, RecoveryScanChunk, &headerWindow, ahead->From());
        if (at >= 0) return WithHeaderRoom(at);
        from = ahead->From();
      }
      ahead->Wait();
      if (from < ahead->End()) {
        const std::vector<int64_t>& hits = ahead->Hits();
        const auto hit = std::lower_bound(hits.begin(), hits.end(), from);
        if (hit != hits.end()) return WithHeaderRoom(*hit);
        from = ahead->End();
      }
    }
    return LocalHeaderFrom(from, &headerWindow);
  };
  int64_t p = nextHeader(0);
  if (p < 0) throw EKelException(kErrNoLocalHeader, nullptr);

  TDescriptorSearch descriptors;
  TBytes extra;
  for (; p != -1; p = nextHeader(p + 4)) {
    TKelZipLocalFileHeader l;
    stream.SetPosition(p);
    ReadRecord(stream, l);
    if (l.extraLength > RecoveryMaxExtraLength) continue;

    const int32_t index = CDir.Count();
    CDir.SetCount(index + 1);
    TDirItem& item = CDir.GetItemPtr(index);
    TKelZipCentralDir& cd = item.CentralDir;
    cd.signature = KelCentralFileHeaderSig;
    cd.versionMadeBy = l.extractVersion;
    cd.extractVersion = l.extractVersion;
    cd.genPurposeFlag = l.genPurposeFlag;
    cd.compMethod = l.compMethod;
    cd.lastModTime = l.lastModTime;
    cd.lastModDate = l.lastModDate;
    cd.crc32 = l.crc32;
    cd.compSize = l.compSize;
    cd.unCompSize = l.unCompSize;
    cd.nameLength = l.nameLength;
    cd.extraLength = l.extraLength;
    cd.externalAttr = l.unCompSize != 0 || (l.genPurposeFlag & KelFlagDataDescriptor)
                          ? KelAttrArchive
                          : KelAttrDirectory;
    item.CompressionMethod = l.compMethod;
    if ((l.genPurposeFlag & KelFlagEncrypted) && l.extractVersion < KelVersionApart)
      item.KelEncryptionAlgorithm = caPkzipClassic;

    const int64_t nameAt = p + kLocalSize;
    AnsiString nameBytes;
    if (l.nameLength > 0 && size - nameAt >= l.nameLength) {
      nameBytes.resize(l.nameLength);
      ReadAt(stream, nameAt, nameBytes.data(), l.nameLength);
    }
    // A header cut by the end of the stream keeps the extra bytes that are there.
    const int64_t extraAt = nameAt + l.nameLength;
    extra.resize(static_cast<size_t>(std::clamp<int64_t>(size - extraAt, 0, l.extraLength)));
    if (!extra.empty()) ReadAt(stream, extraAt, extra.data(), static_cast<int64_t>(extra.size()));
    const auto unicodeName = item.ReadExtraFields(extra, nameBytes);

    // A Zip64 header keeps its sizes in its Zip64 field; the escape value in
    // the header says nothing about whether the header is real.
    const uint64_t compSize = l.compSize == KelZip64Escape32 && item.bHugeFile
                                  ? item.Zip64ExtInfo().compSize
                                  : l.compSize;
    // A header without a name (often a signature inside compressed data) is
    // not taken: nothing could address its item, and a nameless item would
    // keep every later one out of the name index.
    const UString name = unicodeName
                             ? *unicodeName
                             : RecoveredItemNameFromBytes(nameBytes, l.genPurposeFlag, oemStep);
    if (compSize >= static_cast<uint64_t>(size) || name.empty()) {
      CDir.SetCount(index);
      continue;
    }
    CDir.SetItemName(index, name);

    if (l.genPurposeFlag & KelFlagDataDescriptor) {
      const int64_t at = descriptors.From(p, [&](int64_t from) {
        return ScanFor(from, KelDataDescriptorSig, RecoveryScanChunk, &descriptorWindow);
      });
      if (at >= 0 && size - at >= static_cast<int64_t>(TKelZipDataDescriptor::Size)) {
        TKelZipDataDescriptor d;
        stream.SetPosition(at);
        ReadRecord(stream, d);
        cd.crc32 = d.crc32;
        cd.compSize = d.compSize;
        cd.unCompSize = d.unCompSize;
      }
    }

    // Set last: reading the extra fields resets the Zip64 mark. A position of
    // 4 GiB or more goes to the Zip64 value, as the directory writer expects.
    if (p < int64_t{KelZip64Escape32}) {
      cd.relOffsetLH = static_cast<uint32_t>(p);
    } else {
      cd.relOffsetLH = KelZip64Escape32;
      item.EditZip64ExtInfo().relOffsetLH = static_cast<uint64_t>(p);
      item.bHugeFile = true;
    }
  }
}

}  // namespace kelvane
