// The fixed-size ZIP records, one struct each, with explicit little-endian
// parsing and building (no packed structs, no memcpy of layouts).
//
// Common contract of every record type R:
//   R::Size                      the record's fixed size in bytes;
//   bool Read(bytes)             parses the first R::Size bytes; returns false and
//                                leaves the record unchanged when fewer are given;
//                                signatures are parsed, never checked (callers
//                                decide what a wrong one means);
//   void Write(TKelByteWriter&)  appends exactly R::Size bytes;
//   std::array ToBytes()         the R::Size bytes of the record.
// A value-initialised record is all zero, signature included.
#pragma once

#include <array>
#include <span>

#include "container/KelByteIO.h"
#include "container/KelZipConst.h"
#include "platform/Stream.h"

namespace kelvane {

// Local file header; followed on disk by the name bytes and the local extra fields.
struct TKelZipLocalFileHeader {
  static constexpr size_t Size = KelLocalFileHeaderSize;

  uint32_t signature = 0;
  uint16_t extractVersion = 0;
  uint16_t genPurposeFlag = 0;
  uint16_t compMethod = 0;
  uint16_t lastModTime = 0;
  uint16_t lastModDate = 0;
  uint32_t crc32 = 0;
  uint32_t compSize = 0;
  uint32_t unCompSize = 0;
  uint16_t nameLength = 0;
  uint16_t extraLength = 0;

  // Every field in record order: the one list that reading and writing follow.
  template <class Self, class Visit>
  static constexpr void Fields(Self& r, Visit&& visit) {
    visit(r.signature);
    visit(r.extractVersion);
    visit(r.genPurposeFlag);
    visit(r.compMethod);
    visit(r.lastModTime);
    visit(r.lastModDate);
    visit(r.crc32);
    visit(r.compSize);
    visit(r.unCompSize);
    visit(r.nameLength);
    visit(r.extraLength);
  }

  bool Read(std::span<const uint8_t> bytes);
  void Write(TKelByteWriter& out) const;
  std::array<uint8_t, Size> ToBytes() const;
  bool operator==(const TKelZipLocalFileHeader&) const = default;
};

// Data descriptor (no Zip64 form); only the recovery scan reads it.
struct TKelZipDataDescriptor {
  static constexpr size_t Size = KelDataDescriptorSize;

  uint32_t signature = 0;
  uint32_t crc32 = 0;
  uint32_t compSize = 0;
  uint32_t unCompSize = 0;

  // Every field in record order: the one list that reading and writing follow.
  template <class Self, class Visit>
  static constexpr void Fields(Self& r, Visit&& visit) {
    visit(r.signature);
    visit(r.crc32);
    visit(r.compSize);
    visit(r.unCompSize);
  }

  bool Read(std::span<const uint8_t> bytes);
  void Write(TKelByteWriter& out) const;
  std::array<uint8_t, Size> ToBytes() const;
  bool operator==(const TKelZipDataDescriptor&) const = default;
};

// Central file header; followed by the name bytes, the central extra fields and
// the item comment. Escape values (KelZip64Escape32/16) in the sizes, the offset
// and the disk number mean the value is in the item's Zip64 field.
struct TKelZipCentralDir {
  static constexpr size_t Size = KelCentralFileHeaderSize;

  uint32_t signature = 0;
  uint16_t versionMadeBy = 0;
  uint16_t extractVersion = 0;
  uint16_t genPurposeFlag = 0;
  uint16_t compMethod = 0;
  uint16_t lastModTime = 0;
  uint16_t lastModDate = 0;
  uint32_t crc32 = 0;
  uint32_t compSize = 0;
  uint32_t unCompSize = 0;
  uint16_t nameLength = 0;
  uint16_t extraLength = 0;
  uint16_t commentLength = 0;
  uint16_t diskNumberStart = 0;
  uint16_t internalAttr = 0;
  uint32_t externalAttr = 0;
  uint32_t relOffsetLH = 0;

  // Every field in record order: the one list that reading and writing follow.
  template <class Self, class Visit>
  static constexpr void Fields(Self& r, Visit&& visit) {
    visit(r.signature);
    visit(r.versionMadeBy);
    visit(r.extractVersion);
    visit(r.genPurposeFlag);
    visit(r.compMethod);
    visit(r.lastModTime);
    visit(r.lastModDate);
    visit(r.crc32);
    visit(r.compSize);
    visit(r.unCompSize);
    visit(r.nameLength);
    visit(r.extraLength);
    visit(r.commentLength);
    visit(r.diskNumberStart);
    visit(r.internalAttr);
    visit(r.externalAttr);
    visit(r.relOffsetLH);
  }

  bool Read(std::span<const uint8_t> bytes);
  void Write(TKelByteWriter& out) const;
  std::array<uint8_t, Size> ToBytes() const;
  bool operator==(const TKelZipCentralDir&) const = default;
};

// End of central directory record; followed by the archive comment.
struct TKelZipCentralDirEnd {
  static constexpr size_t Size = KelCentralDirEndSize;

  uint32_t signature = 0;
  uint16_t diskNumber = 0;
  uint16_t startDiskNumber = 0;
  uint16_t entriesOnDisk = 0;
  uint16_t entriesCentralDir = 0;
  uint32_t centralDirSize = 0;
  uint32_t offsetStartDir = 0;
  uint16_t commentLength = 0;

  // Every field in record order: the one list that reading and writing follow.
  template <class Self, class Visit>
  static constexpr void Fields(Self& r, Visit&& visit) {
    visit(r.signature);
    visit(r.diskNumber);
    visit(r.startDiskNumber);
    visit(r.entriesOnDisk);
    visit(r.entriesCentralDir);
    visit(r.centralDirSize);
    visit(r.offsetStartDir);
    visit(r.commentLength);
  }

  bool Read(std::span<const uint8_t> bytes);
  void Write(TKelByteWriter& out) const;
  std::array<uint8_t, Size> ToBytes() const;
  bool operator==(const TKelZipCentralDirEnd&) const = default;
};

// Zip64 end of central directory record, without an extensible data sector.
struct TKelZip64CentralDirEnd {
  static constexpr size_t Size = KelZip64CentralDirEndSize;

  uint32_t signature = 0;
  uint64_t centralDirEndSize = 0;
  uint16_t versionMadeBy = 0;
  uint16_t versionNeededToExtract = 0;
  uint32_t diskNumber = 0;
  uint32_t startDiskNumber = 0;
  uint64_t entriesOnDisk = 0;
  uint64_t entriesCentralDir = 0;
  uint64_t centralDirSize = 0;
  uint64_t offsetStartDir = 0;

  // Every field in record order: the one list that reading and writing follow.
  template <class Self, class Visit>
  static constexpr void Fields(Self& r, Visit&& visit) {
    visit(r.signature);
    visit(r.centralDirEndSize);
    visit(r.versionMadeBy);
    visit(r.versionNeededToExtract);
    visit(r.diskNumber);
    visit(r.startDiskNumber);
    visit(r.entriesOnDisk);
    visit(r.entriesCentralDir);
    visit(r.centralDirSize);
    visit(r.offsetStartDir);
  }

  bool Read(std::span<const uint8_t> bytes);
  void Write(TKelByteWriter& out) const;
  std::array<uint8_t, Size> ToBytes() const;
  bool operator==(const TKelZip64CentralDirEnd&) const = default;
};

// Zip64 end of central directory locator, written just before the end record.
struct TKelZip64CentralDirEndLocator {
  static constexpr size_t Size = KelZip64CentralDirEndLocatorSize;

  uint32_t signature = 0;
  uint32_t startDiskNumber = 0;
  uint64_t offsetStartDirEnd = 0;
  uint32_t totalNumberOfDisks = 0;

  // Every field in record order: the one list that reading and writing follow.
  template <class Self, class Visit>
  static constexpr void Fields(Self& r, Visit&& visit) {
    visit(r.signature);
    visit(r.startDiskNumber);
    visit(r.offsetStartDirEnd);
    visit(r.totalNumberOfDisks);
  }

  bool Read(std::span<const uint8_t> bytes);
  void Write(TKelByteWriter& out) const;
  std::array<uint8_t, Size> ToBytes() const;
  bool operator==(const TKelZip64CentralDirEndLocator&) const = default;
};

// The 64-bit values of an item whose header fields hold escape values.
struct TKelZip64ExtendedInfo {
  uint64_t uncompSize = 0;
  uint64_t compSize = 0;
  uint64_t relOffsetLH = 0;
  uint32_t diskNumberStart = 0;

  bool operator==(const TKelZip64ExtendedInfo&) const = default;
};

// Reads R::Size bytes at the stream's position into Record. Raises EReadError
// when the stream ends first (the record is then unchanged).
template <class R>
void ReadRecord(TStream& stream, R& record) {
  std::array<uint8_t, R::Size> bytes;
  stream.ReadBuffer(bytes.data(), static_cast<int64_t>(bytes.size()));
  record.Read(bytes);
}

// Writes the R::Size bytes of Record; raises EWriteError on a short write.
template <class R>
void WriteRecord(TStream& stream, const R& record) {
  const auto bytes = record.ToBytes();
  stream.WriteBuffer(bytes.data(), static_cast<int64_t>(bytes.size()));
}

}  // namespace kelvane
