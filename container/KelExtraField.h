// Extra-field blocks: the generic block, the parsing of an extra area, and the
// fields the engine interprets (Zip64 extended information 0x0001, AES 0x9901,
// Unicode name 0x554E, and, read only, the Unicode path field 0x7075 of other
// tools).
#pragma once

#include <optional>
#include <span>
#include <string_view>
#include <vector>

#include "container/KelZipRecords.h"
#include "platform/Stream.h"

namespace kelvane {

// One extra-field block as held in memory. The block owns its data bytes; an
// empty pData writes no data bytes. dataSize() is always the number of bytes
// held, so a block cannot announce data it does not carry.
struct TKelExtraFieldDataBlock {
  uint16_t headerID = 0;
  TBytes pData;

  TKelExtraFieldDataBlock() = default;
  // Raises Exception when Data holds more than 65,535 bytes.
  TKelExtraFieldDataBlock(uint16_t HeaderID, TBytes Data);

  uint16_t dataSize() const { return static_cast<uint16_t>(pData.size()); }
  // Bytes the block takes on disk: the 4-byte header and the data.
  size_t DiskSize() const { return KelExtraFieldHeaderSize + pData.size(); }
  // Appends id, data size and data. Raises Exception when pData was grown past
  // 65,535 bytes after construction, rather than write a size that lies.
  void Write(TKelByteWriter& out) const;
  bool operator==(const TKelExtraFieldDataBlock&) const = default;
};

using TKelExtraFields = std::vector<TKelExtraFieldDataBlock>;

// Splits an extra area into its blocks, in order, appending them to Blocks
// (unknown ids included). A block whose data size runs past the end of the area
// is cut to the bytes that remain; a tail of fewer than 4 bytes cannot hold a
// block header and is dropped. Returns false when either happened; the blocks
// that could be read are appended all the same. Never reads outside Area.
bool ParseExtraFields(std::span<const uint8_t> area, TKelExtraFields& blocks);

// Appends every block (header and data) in order.
void WriteExtraFields(const TKelExtraFields& blocks, TKelByteWriter& out);

// Which header fields hold their escape value, and so have a value in the Zip64
// extended information.
struct TKelZip64Escapes {
  bool unCompSize = false;
  bool compSize = false;
  bool relOffsetLH = false;
  bool diskNumberStart = false;

  bool Any() const { return unCompSize || compSize || relOffsetLH || diskNumberStart; }
  // Bytes of Zip64 data these escapes call for: 8 per 64-bit value, 4 for the disk.
  uint16_t DataSize() const;
};

TKelZip64Escapes Zip64EscapesOf(const TKelZipCentralDir& header);
// A local header has no offset or disk fields.
TKelZip64Escapes Zip64EscapesOf(const TKelZipLocalFileHeader& header);

// Takes the escaped values from the Zip64 data in the fixed order (uncompressed
// size, compressed size, local header offset, disk number). A value is taken
// only when the data still holds all its bytes; once one does not fit, it and
// every later value keep what Info held.
void ReadZip64ExtendedInfo(std::span<const uint8_t> data, const TKelZip64Escapes& escapes,
                           TKelZip64ExtendedInfo& info);

// The central Zip64 block for the escaped values of Info, in the fixed order.
// Has no data when nothing is escaped; the writer then leaves the field out.
TKelExtraFieldDataBlock BuildZip64ExtraField(const TKelZip64Escapes& escapes,
                                             const TKelZip64ExtendedInfo& info);

// The local Zip64 block: always 16 bytes of data, uncompressed then compressed size.
TKelExtraFieldDataBlock BuildLocalZip64ExtraField(uint64_t uncompSize, uint64_t compSize);

// The AES field (0x9901).
struct TKelAesExtraField {
  uint16_t version = 0;
  uint16_t vendorId = 0;
  uint8_t strength = 0;  // 1: 128-bit, 2: 192-bit, 3: 256-bit keys
  uint16_t compMethod = 0;

  // Parses the first 7 data bytes; false (and nothing changed) when fewer.
  // Neither the version nor the vendor id is checked.
  bool Read(std::span<const uint8_t> data);
  TKelExtraFieldDataBlock ToBlock() const;
  bool operator==(const TKelAesExtraField&) const = default;
};

// Data of the Unicode name field (0x554E): "NUCX", a signed 32-bit count of
// UTF-16 code units, and the name in UTF-16LE.
class TUnicodeExtendedInfo {
 public:
  // The four bytes "NUCX" read as a little-endian 32-bit value.
  static constexpr int32_t Signature = 0x5843554E;

  UString FName;
  int32_t FAdditionalSignature = 0;

  // Copies Size bytes into a memory stream and loads from it; a negative Size
  // or a null Data with a positive Size loads nothing and returns false.
  bool Load(const uint8_t* Data, int32_t Size);
  // Reads from position 0. Returns false, leaving FName unchanged, when the
  // signature is not "NUCX", when the count is negative, or when the stream
  // does not hold all the code units the count announces: a field that
  // contradicts itself is ignored rather than half-read.
  bool LoadFromStream(TStream& Stream);
  // Writes "NUCX", the length of FName in code units and the code units.
  void SaveToStream(TStream& Stream) const;
};

// The Unicode name block for Name. Raises Exception when the name is too long
// for one block (more than 32,763 code units).
TKelExtraFieldDataBlock BuildUnicodeNameField(const UString& name);

// The Unicode path field (0x7075) that other tools write beside a name they
// store in a code page (without flag bit 11): a version byte, the CRC-32 of the
// header's name bytes as stored, and the name in UTF-8 to the end of the block.
// The engine writes it beside non-ASCII names of items not made on Unix, for the
// Unix tools that would read those names through the wrong code page.
inline constexpr uint16_t KelUnicodePathExtraId = 0x7075;
inline constexpr uint8_t KelUnicodePathVersion = 1;
inline constexpr uint16_t KelUnicodePathHeaderSize = 5;  // version and CRC-32

struct TKelUnicodePathExtraField {
  uint8_t version = 0;
  uint32_t nameCrc32 = 0;
  AnsiString utf8Name;  // bytes as stored, not yet checked

  // Parses the data; false (and nothing changed) when it holds fewer than 5 bytes.
  bool Read(std::span<const uint8_t> data);
  // Raises Exception when the name does not fit one block.
  TKelExtraFieldDataBlock ToBlock() const;
  bool operator==(const TKelUnicodePathExtraField&) const = default;
};

// The name a Unicode path field gives to a header whose name bytes are
// NameBytes (as stored, before any code-page step). Only a version 1 field whose
// CRC-32 equals that of NameBytes, with a non-empty, well-formed UTF-8 name that
// holds no zero byte, names the item; any other yields nothing. The CRC is what
// tells a current field from a stale one, left by a tool that renamed the item
// without rewriting the field.
std::optional<UString> UnicodePathFieldName(std::span<const uint8_t> data,
                                            std::string_view NameBytes);

}  // namespace kelvane
