// Signatures, record sizes and field values of the ZIP format as this engine
// reads and writes it.
#pragma once

#include <cstddef>
#include <cstdint>

namespace kelvane {

// Record signatures (stored little-endian: 50 4B xx yy).
inline constexpr uint32_t KelLocalFileHeaderSig = 0x04034B50;
inline constexpr uint32_t KelCentralFileHeaderSig = 0x02014B50;
inline constexpr uint32_t KelDataDescriptorSig = 0x08074B50;
inline constexpr uint32_t KelZip64CentralDirEndSig = 0x06064B50;
inline constexpr uint32_t KelZip64CentralDirEndLocatorSig = 0x07064B50;
inline constexpr uint32_t KelCentralDirEndSig = 0x06054B50;

// Fixed sizes of the records, without their variable tails.
inline constexpr size_t KelLocalFileHeaderSize = 30;
inline constexpr size_t KelCentralFileHeaderSize = 46;
inline constexpr size_t KelDataDescriptorSize = 16;
inline constexpr size_t KelZip64CentralDirEndSize = 56;
inline constexpr size_t KelZip64CentralDirEndLocatorSize = 20;
inline constexpr size_t KelCentralDirEndSize = 22;
inline constexpr size_t KelExtraFieldHeaderSize = 4;

// The Zip64 end record's size field counts the record less its first 12 bytes.
inline constexpr uint64_t KelZip64CentralDirEndRestSize = KelZip64CentralDirEndSize - 12;

// Values that say "the real value is in the Zip64 records or field".
inline constexpr uint32_t KelZip64Escape32 = 0xFFFFFFFF;
inline constexpr uint16_t KelZip64Escape16 = 0xFFFF;

// Extra field header ids.
inline constexpr uint16_t KelZip64ExtraId = 0x0001;
inline constexpr uint16_t KelAesExtraId = 0x9901;
inline constexpr uint16_t KelUnicodeNameExtraId = 0x554E;

// Data sizes of the extra fields the engine builds.
inline constexpr uint16_t KelAesExtraDataSize = 7;
inline constexpr uint16_t KelLocalZip64ExtraDataSize = 16;
inline constexpr uint16_t KelUnicodeNameHeaderSize = 8;  // "NUCX" and the count

// General purpose flag bits.
inline constexpr uint16_t KelFlagEncrypted = 0x0001;
inline constexpr uint16_t KelFlagDirectory = 0x0002;  // the whole flag word of a folder item
inline constexpr uint16_t KelFlagDataDescriptor = 0x0008;
inline constexpr uint16_t KelFlagUtf8Name = 0x0800;

// Compression methods.
inline constexpr uint16_t KelMethodStored = 0;
inline constexpr uint16_t KelMethodDeflate = 8;
inline constexpr uint16_t KelMethodDeflate64 = 9;
inline constexpr uint16_t KelMethodAes = 99;

// Version fields written for stored items.
inline constexpr uint16_t KelVersionZip64 = 45;
inline constexpr uint16_t KelVersionOemNames = 20;
inline constexpr uint16_t KelVersionAnsiNames = 0x0B14;
// Items whose extractVersion is at least this are handled apart: their AES field
// is ignored and their CRC is not checked.
inline constexpr uint16_t KelVersionApart = 0x4114;

// Attribute bit of folder items in externalAttr.
inline constexpr uint32_t KelAttrDirectory = 0x10;
inline constexpr uint32_t KelAttrArchive = 0x20;

// The two bytes of the AES field's vendor id, "AE".
inline constexpr uint16_t KelAesVendorId = 0x4541;

}  // namespace kelvane
