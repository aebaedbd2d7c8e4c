#include "container/KelExtraField.h"

#include "coding/KelCrc32.h"
#include "platform/Format.h"
#include "platform/Text.h"

namespace kelvane {
namespace {

constexpr size_t kMaxExtraData = 0xFFFF;

void CheckDataSize(uint16_t headerID, size_t size) {
  if (size > kMaxExtraData)
    throw Exception(Format(u"Extra field %u holds %u bytes; at most 65535 fit",
                           {int64_t{headerID}, static_cast<int64_t>(size)}));
}

}  // namespace

TKelExtraFieldDataBlock::TKelExtraFieldDataBlock(uint16_t HeaderID, TBytes Data)
    : headerID(HeaderID), pData(std::move(Data)) {
  CheckDataSize(headerID, pData.size());
}

void TKelExtraFieldDataBlock::Write(TKelByteWriter& out) const {
  CheckDataSize(headerID, pData.size());
  out.U16(headerID);
  out.U16(dataSize());
  out.Bytes(pData);
}

bool ParseExtraFields(std::span<const uint8_t> area, TKelExtraFields& blocks) {
  TKelByteReader in(area);
  bool whole = true;
  while (in.Remaining() > 0) {
    if (!in.CanRead(KelExtraFieldHeaderSize)) {
      whole = false;
      break;
    }
    TKelExtraFieldDataBlock block;
    block.headerID = in.U16();
    size_t size = in.U16();
    if (size > in.Remaining()) {
      size = in.Remaining();
      whole = false;
    }
    const auto data = in.Bytes(size);
    block.pData.assign(data.begin(), data.end());
    blocks.push_back(std::move(block));
  }
  return whole;
}

void WriteExtraFields(const TKelExtraFields& blocks, TKelByteWriter& out) {
  for (const TKelExtraFieldDataBlock& block : blocks)
    block.Write(out);
}

uint16_t TKelZip64Escapes::DataSize() const {
  return static_cast<uint16_t>((unCompSize ? 8 : 0) + (compSize ? 8 : 0) + (relOffsetLH ? 8 : 0) +
                               (diskNumberStart ? 4 : 0));
}

TKelZip64Escapes Zip64EscapesOf(const TKelZipCentralDir& header) {
  return {header.unCompSize == KelZip64Escape32, header.compSize == KelZip64Escape32,
          header.relOffsetLH == KelZip64Escape32, header.diskNumberStart == KelZip64Escape16};
}

TKelZip64Escapes Zip64EscapesOf(const TKelZipLocalFileHeader& header) {
  return {header.unCompSize == KelZip64Escape32, header.compSize == KelZip64Escape32, false, false};
}

void ReadZip64ExtendedInfo(std::span<const uint8_t> data, const TKelZip64Escapes& escapes,
                           TKelZip64ExtendedInfo& info) {
  TKelByteReader in(data);
  // Values stand in a fixed order, so a missing one hides where the next begins.
  auto take64 = [&](bool escaped, uint64_t& value) {
    if (!escaped || !in.Ok()) return;
    if (!in.CanRead(8)) {
      in.Skip(8);  // marks the reader failed; later values are not taken
      return;
    }
    value = in.U64();
  };
  take64(escapes.unCompSize, info.uncompSize);
  take64(escapes.compSize, info.compSize);
  take64(escapes.relOffsetLH, info.relOffsetLH);
  if (escapes.diskNumberStart && in.CanRead(4)) info.diskNumberStart = in.U32();
}

TKelExtraFieldDataBlock BuildZip64ExtraField(const TKelZip64Escapes& escapes,
                                             const TKelZip64ExtendedInfo& info) {
  TBytes data;
  TKelByteWriter out(data);
  if (escapes.unCompSize) out.U64(info.uncompSize);
  if (escapes.compSize) out.U64(info.compSize);
  if (escapes.relOffsetLH) out.U64(info.relOffsetLH);
  if (escapes.diskNumberStart) out.U32(info.diskNumberStart);
  return TKelExtraFieldDataBlock(KelZip64ExtraId, std::move(data));
}

TKelExtraFieldDataBlock BuildLocalZip64ExtraField(uint64_t uncompSize, uint64_t compSize) {
  TBytes data;
  TKelByteWriter out(data);
  out.U64(uncompSize);
  out.U64(compSize);
  return TKelExtraFieldDataBlock(KelZip64ExtraId, std::move(data));
}

bool TKelAesExtraField::Read(std::span<const uint8_t> data) {
  if (data.size() < KelAesExtraDataSize) return false;
  TKelByteReader in(data);
  version = in.U16();
  vendorId = in.U16();
  strength = in.U8();
  compMethod = in.U16();
  return true;
}

TKelExtraFieldDataBlock TKelAesExtraField::ToBlock() const {
  TBytes data;
  TKelByteWriter out(data);
  out.U16(version);
  out.U16(vendorId);
  out.U8(strength);
  out.U16(compMethod);
  return TKelExtraFieldDataBlock(KelAesExtraId, std::move(data));
}

bool TUnicodeExtendedInfo::Load(const uint8_t* Data, int32_t Size) {
  if (Size < 0 || (Size > 0 && Data == nullptr)) return false;
  TMemoryStream stream;
  if (Size > 0) stream.WriteBuffer(Data, Size);
  return LoadFromStream(stream);
}

bool TUnicodeExtendedInfo::LoadFromStream(TStream& Stream) {
  Stream.SetPosition(0);
  auto left = [&] { return Stream.Size() - Stream.Position(); };
  uint8_t word[4];
  auto readI32 = [&] {
    Stream.ReadBuffer(word, 4);
    return TKelByteReader(std::span<const uint8_t>(word, 4)).I32();
  };
  if (left() < 4) return false;
  FAdditionalSignature = readI32();
  if (FAdditionalSignature != Signature || left() < 4) return false;
  const int32_t count = readI32();
  if (count < 0 || int64_t{count} * 2 > left()) return false;
  TBytes units(static_cast<size_t>(count) * 2);
  Stream.ReadBuffer(units.data(), static_cast<int64_t>(units.size()));
  UString name;
  name.reserve(static_cast<size_t>(count));
  TKelByteReader in(units);
  for (int32_t i = 0; i < count; ++i)
    name += static_cast<char16_t>(in.U16());
  FName = std::move(name);
  return true;
}

void TUnicodeExtendedInfo::SaveToStream(TStream& Stream) const {
  TBytes data;
  TKelByteWriter out(data);
  out.I32(Signature);
  out.I32(static_cast<int32_t>(FName.size()));
  for (char16_t c : FName)
    out.U16(c);
  Stream.WriteBuffer(data.data(), static_cast<int64_t>(data.size()));
}

TKelExtraFieldDataBlock BuildUnicodeNameField(const UString& name) {
  const size_t size = KelUnicodeNameHeaderSize + 2 * name.size();
  CheckDataSize(KelUnicodeNameExtraId, size);
  TUnicodeExtendedInfo info;
  info.FName = name;
  TMemoryStream stream;
  info.SaveToStream(stream);
  return TKelExtraFieldDataBlock(KelUnicodeNameExtraId, stream.Bytes());
}

bool TKelUnicodePathExtraField::Read(std::span<const uint8_t> data) {
  if (data.size() < KelUnicodePathHeaderSize) return false;
  TKelByteReader in(data);
  version = in.U8();
  nameCrc32 = in.U32();
  const auto name = in.Bytes(in.Remaining());
  utf8Name.assign(name.begin(), name.end());
  return true;
}

TKelExtraFieldDataBlock TKelUnicodePathExtraField::ToBlock() const {
  TBytes data;
  TKelByteWriter out(data);
  out.U8(version);
  out.U32(nameCrc32);
  data.insert(data.end(), utf8Name.begin(), utf8Name.end());
  return TKelExtraFieldDataBlock(KelUnicodePathExtraId, std::move(data));
}

std::optional<UString> UnicodePathFieldName(std::span<const uint8_t> data,
                                            std::string_view NameBytes) {
  TKelUnicodePathExtraField field;
  if (!field.Read(data) || field.version != KelUnicodePathVersion) return std::nullopt;
  if (field.nameCrc32 != Crc32Of(NameBytes.data(), NameBytes.size())) return std::nullopt;
  // An empty name would leave the item nameless; a zero byte would make the
  // name say one thing to us and another to whatever cuts it there.
  const AnsiString& name = field.utf8Name;
  if (name.empty() || name.find('\0') != AnsiString::npos || !IsWellFormedUtf8(name))
    return std::nullopt;
  return FromUtf8(name);
}

}  // namespace kelvane
