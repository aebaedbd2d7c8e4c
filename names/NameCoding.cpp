#include "names/NameCoding.h"

#include "platform/CodePage.h"
#include "platform/Text.h"

namespace kelvane {

bool NameToBytes(const UString& Name, AnsiString& Bytes) {
  bool usedDefault = false;
  AnsiString ansi = UnicodeToAnsi(Name, &usedDefault);
  if (!usedDefault && AnsiToUnicode(ansi) == Name) {
    Bytes = std::move(ansi);
    return false;
  }
  // The whole UTF-8 form, however long: a cut or empty name would store a
  // different item than the one asked for.
  Bytes = ToUtf8(Name);
  return true;
}

bool BytesToName(const AnsiString& Bytes, UString& Name) {
  bool high = false;
  for (const char c : Bytes)
    high = high || static_cast<uint8_t>(c) >= 0x80;
  // The strict test also refuses encoded surrogates (0xED 0xA0..0xBF): decoding them
  // would turn the name into replacement characters, the ANSI reading keeps every byte.
  if (high && IsWellFormedUtf8(Bytes)) {
    Name = FromUtf8(Bytes);
    return true;
  }
  Name = AnsiToUnicode(Bytes);
  return false;
}

bool NameToStoredBytes(const UString& Name, bool OemNames, AnsiString& Bytes) {
  if (NameToBytes(Name, Bytes)) return true;
  if (!OemNames) return false;
  for (const char c : Bytes) {
    if (!AnsiCharHasOemForm(static_cast<uint8_t>(c))) {
      Bytes = ToUtf8(Name);
      return true;
    }
  }
  AnsiToOemInPlace(Bytes);
  return false;
}

bool StoredBytesToName(const AnsiString& Bytes, bool OemNames, bool Utf8Flag, UString& Name) {
  if (!OemNames || Utf8Flag) return BytesToName(Bytes, Name);
  AnsiString ansi = Bytes;
  OemToAnsiInPlace(ansi);
  if (BytesToName(ansi, Name)) return true;
  // The in-place step stops at a zero byte; the straight reading keeps that too.
  const size_t zero = Bytes.find('\0');
  if (zero == AnsiString::npos) {
    Name = OemToUnicode(Bytes);
  } else {
    Name = OemToUnicode(std::string_view(Bytes).substr(0, zero)) +
           AnsiToUnicode(std::string_view(Bytes).substr(zero));
  }
  return false;
}

}  // namespace kelvane
