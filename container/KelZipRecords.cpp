#include "container/KelZipRecords.h"

#include <algorithm>

namespace kelvane {
namespace {

// Parses into a copy so that a short input leaves the record untouched.
template <class R, class Parse>
bool ReadInto(R& record, std::span<const uint8_t> bytes, Parse parse) {
  if (bytes.size() < R::Size) return false;
  TKelByteReader in(bytes.first(R::Size));
  R parsed;
  parse(in, parsed);
  if (!in.Ok()) return false;
  record = parsed;
  return true;
}

template <class R>
std::array<uint8_t, R::Size> BytesOf(const R& record) {
  TBytes buffer;
  buffer.reserve(R::Size);
  TKelByteWriter out(buffer);
  record.Write(out);
  std::array<uint8_t, R::Size> result{};
  std::copy_n(buffer.begin(), std::min(buffer.size(), result.size()), result.begin());
  return result;
}

}  // namespace

bool TKelZipLocalFileHeader::Read(std::span<const uint8_t> bytes) {
  return ReadInto(*this, bytes, [](TKelByteReader& in, TKelZipLocalFileHeader& r) {
    r.signature = in.U32();
    r.extractVersion = in.U16();
    r.genPurposeFlag = in.U16();
    r.compMethod = in.U16();
    r.lastModTime = in.U16();
    r.lastModDate = in.U16();
    r.crc32 = in.U32();
    r.compSize = in.U32();
    r.unCompSize = in.U32();
    r.nameLength = in.U16();
    r.extraLength = in.U16();
  });
}

void TKelZipLocalFileHeader::Write(TKelByteWriter& out) const {
  out.U32(signature);
  out.U16(extractVersion);
  out.U16(genPurposeFlag);
  out.U16(compMethod);
  out.U16(lastModTime);
  out.U16(lastModDate);
  out.U32(crc32);
  out.U32(compSize);
  out.U32(unCompSize);
  out.U16(nameLength);
  out.U16(extraLength);
}

std::array<uint8_t, TKelZipLocalFileHeader::Size> TKelZipLocalFileHeader::ToBytes() const {
  return BytesOf(*this);
}

bool TKelZipDataDescriptor::Read(std::span<const uint8_t> bytes) {
  return ReadInto(*this, bytes, [](TKelByteReader& in, TKelZipDataDescriptor& r) {
    r.signature = in.U32();
    r.crc32 = in.U32();
    r.compSize = in.U32();
    r.unCompSize = in.U32();
  });
}

void TKelZipDataDescriptor::Write(TKelByteWriter& out) const {
  out.U32(signature);
  out.U32(crc32);
  out.U32(compSize);
  out.U32(unCompSize);
}

std::array<uint8_t, TKelZipDataDescriptor::Size> TKelZipDataDescriptor::ToBytes() const {
  return BytesOf(*this);
}

bool TKelZipCentralDir::Read(std::span<const uint8_t> bytes) {
  return ReadInto(*this, bytes, [](TKelByteReader& in, TKelZipCentralDir& r) {
    r.signature = in.U32();
    r.versionMadeBy = in.U16();
    r.extractVersion = in.U16();
    r.genPurposeFlag = in.U16();
    r.compMethod = in.U16();
    r.lastModTime = in.U16();
    r.lastModDate = in.U16();
    r.crc32 = in.U32();
    r.compSize = in.U32();
    r.unCompSize = in.U32();
    r.nameLength = in.U16();
    r.extraLength = in.U16();
    r.commentLength = in.U16();
    r.diskNumberStart = in.U16();
    r.internalAttr = in.U16();
    r.externalAttr = in.U32();
    r.relOffsetLH = in.U32();
  });
}

void TKelZipCentralDir::Write(TKelByteWriter& out) const {
  out.U32(signature);
  out.U16(versionMadeBy);
  out.U16(extractVersion);
  out.U16(genPurposeFlag);
  out.U16(compMethod);
  out.U16(lastModTime);
  out.U16(lastModDate);
  out.U32(crc32);
  out.U32(compSize);
  out.U32(unCompSize);
  out.U16(nameLength);
  out.U16(extraLength);
  out.U16(commentLength);
  out.U16(diskNumberStart);
  out.U16(internalAttr);
  out.U32(externalAttr);
  out.U32(relOffsetLH);
}

std::array<uint8_t, TKelZipCentralDir::Size> TKelZipCentralDir::ToBytes() const {
  return BytesOf(*this);
}

bool TKelZipCentralDirEnd::Read(std::span<const uint8_t> bytes) {
  return ReadInto(*this, bytes, [](TKelByteReader& in, TKelZipCentralDirEnd& r) {
    r.signature = in.U32();
    r.diskNumber = in.U16();
    r.startDiskNumber = in.U16();
    r.entriesOnDisk = in.U16();
    r.entriesCentralDir = in.U16();
    r.centralDirSize = in.U32();
    r.offsetStartDir = in.U32();
    r.commentLength = in.U16();
  });
}

void TKelZipCentralDirEnd::Write(TKelByteWriter& out) const {
  out.U32(signature);
  out.U16(diskNumber);
  out.U16(startDiskNumber);
  out.U16(entriesOnDisk);
  out.U16(entriesCentralDir);
  out.U32(centralDirSize);
  out.U32(offsetStartDir);
  out.U16(commentLength);
}

std::array<uint8_t, TKelZipCentralDirEnd::Size> TKelZipCentralDirEnd::ToBytes() const {
  return BytesOf(*this);
}

bool TKelZip64CentralDirEnd::Read(std::span<const uint8_t> bytes) {
  return ReadInto(*this, bytes, [](TKelByteReader& in, TKelZip64CentralDirEnd& r) {
    r.signature = in.U32();
    r.centralDirEndSize = in.U64();
    r.versionMadeBy = in.U16();
    r.versionNeededToExtract = in.U16();
    r.diskNumber = in.U32();
    r.startDiskNumber = in.U32();
    r.entriesOnDisk = in.U64();
    r.entriesCentralDir = in.U64();
    r.centralDirSize = in.U64();
    r.offsetStartDir = in.U64();
  });
}

void TKelZip64CentralDirEnd::Write(TKelByteWriter& out) const {
  out.U32(signature);
  out.U64(centralDirEndSize);
  out.U16(versionMadeBy);
  out.U16(versionNeededToExtract);
  out.U32(diskNumber);
  out.U32(startDiskNumber);
  out.U64(entriesOnDisk);
  out.U64(entriesCentralDir);
  out.U64(centralDirSize);
  out.U64(offsetStartDir);
}

std::array<uint8_t, TKelZip64CentralDirEnd::Size> TKelZip64CentralDirEnd::ToBytes() const {
  return BytesOf(*this);
}

bool TKelZip64CentralDirEndLocator::Read(std::span<const uint8_t> bytes) {
  return ReadInto(*this, bytes, [](TKelByteReader& in, TKelZip64CentralDirEndLocator& r) {
    r.signature = in.U32();
    r.startDiskNumber = in.U32();
    r.offsetStartDirEnd = in.U64();
    r.totalNumberOfDisks = in.U32();
  });
}

void TKelZip64CentralDirEndLocator::Write(TKelByteWriter& out) const {
  out.U32(signature);
  out.U32(startDiskNumber);
  out.U64(offsetStartDirEnd);
  out.U32(totalNumberOfDisks);
}

std::array<uint8_t, TKelZip64CentralDirEndLocator::Size> TKelZip64CentralDirEndLocator::ToBytes()
    const {
  return BytesOf(*this);
}

}  // namespace kelvane
