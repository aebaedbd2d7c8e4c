#include "container/KelNames.h"

#include "container/KelZipConst.h"
#include "names/NameCoding.h"
#include "platform/Exception.h"
#include "platform/Format.h"
#include "platform/Text.h"

namespace kelvane {

AnsiString ItemNameToBytes(const UString& Name, uint16_t& Flag, bool OemFileNames) {
  AnsiString bytes;
  bool utf8 = (Flag & KelFlagUtf8Name) != 0;
  if (utf8)
    bytes = ToUtf8(Name);
  else
    utf8 = NameToStoredBytes(Name, OemFileNames, bytes);
  if (bytes.size() > 0xFFFF)
    throw Exception(Format(u"Item name of %d bytes is too long to be stored",
                           {static_cast<int64_t>(bytes.size())}));
  if (utf8) Flag |= KelFlagUtf8Name;
  return bytes;
}

UString ItemNameFromBytes(const AnsiString& Bytes, uint16_t Flag, bool OemFileNames) {
  UString name;
  StoredBytesToName(Bytes, OemFileNames, (Flag & KelFlagUtf8Name) != 0, name);
  return name;
}

UString RecoveredItemNameFromBytes(const AnsiString& Bytes, uint16_t Flag, bool OemStep) {
  UString name;
  StoredBytesToName(Bytes.substr(0, Bytes.find('\0')), OemStep, (Flag & KelFlagUtf8Name) != 0,
                    name);
  return name;
}

}  // namespace kelvane
