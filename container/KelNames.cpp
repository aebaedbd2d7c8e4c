#include "container/KelNames.h"

#include "container/KelZipConst.h"
#include "names/NameCoding.h"
#include "platform/Exception.h"
#include "platform/Format.h"
#include "platform/Text.h"

namespace kelvane {
namespace {

// Hosts of versionMadeBy whose names are not OEM. Kept short on purpose: a
// host missing here keeps the rule it always had, a host wrongly here would
// turn the OEM names of its archives into other names.
constexpr uint8_t kHostUnix = 3;
constexpr uint8_t kHostOsX = 19;

void CheckStorable(size_t bytes) {
  if (bytes > 0xFFFF)
    throw Exception(
        Format(u"Item name of %d bytes is too long to be stored", {static_cast<int64_t>(bytes)}));
}

bool HasHighByte(const AnsiString& Bytes) {
  for (const char c : Bytes)
    if (static_cast<uint8_t>(c) >= 0x80) return true;
  return false;
}

}  // namespace

bool MadeOnHostWithoutOemNames(uint16_t VersionMadeBy) {
  const uint8_t host = VersionMadeBy >> 8;
  return host == kHostUnix || host == kHostOsX;
}

bool IsHostUtf8Name(const AnsiString& Bytes, const TKelZipCentralDir& Header) {
  return (Header.genPurposeFlag & KelFlagUtf8Name) == 0 &&
         MadeOnHostWithoutOemNames(Header.versionMadeBy) && HasHighByte(Bytes) &&
         IsWellFormedUtf8(Bytes);
}

AnsiString ItemNameToBytes(const UString& Name, uint16_t& Flag, bool OemFileNames) {
  AnsiString bytes;
  bool utf8 = (Flag & KelFlagUtf8Name) != 0;
  if (utf8)
    bytes = ToUtf8(Name);
  else
    utf8 = NameToStoredBytes(Name, OemFileNames, bytes);
  CheckStorable(bytes.size());
  if (utf8) Flag |= KelFlagUtf8Name;
  return bytes;
}

AnsiString ItemNameToBytes(const UString& Name, bool HostUtf8, TKelZipCentralDir& Header,
                           bool OemFileNames) {
  if (HostUtf8) {
    AnsiString bytes = ToUtf8(Name);
    CheckStorable(bytes.size());
    return bytes;
  }
  TKelZipCentralDir written = Header;
  AnsiString bytes = ItemNameToBytes(Name, written.genPurposeFlag, OemFileNames);
  if (IsHostUtf8Name(bytes, written)) {
    bytes = ToUtf8(Name);
    CheckStorable(bytes.size());
    written.genPurposeFlag |= KelFlagUtf8Name;
  }
  Header.genPurposeFlag = written.genPurposeFlag;
  return bytes;
}

UString ItemNameFromBytes(const AnsiString& Bytes, const TKelZipCentralDir& Header,
                          bool OemFileNames) {
  UString name;
  if (IsHostUtf8Name(Bytes, Header))
    name = FromUtf8(Bytes);
  else
    StoredBytesToName(Bytes, OemFileNames, (Header.genPurposeFlag & KelFlagUtf8Name) != 0, name);
  return name;
}

UString RecoveredItemNameFromBytes(const AnsiString& Bytes, uint16_t Flag, bool OemStep) {
  UString name;
  StoredBytesToName(Bytes.substr(0, Bytes.find('\0')), OemStep, (Flag & KelFlagUtf8Name) != 0,
                    name);
  return name;
}

}  // namespace kelvane
