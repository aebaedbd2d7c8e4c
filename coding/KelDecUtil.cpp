#include "coding/KelDecUtil.h"

#include <algorithm>

#include "platform/FileSystem.h"
#include "platform/Format.h"
#include "platform/Text.h"

namespace kelvane {

namespace {

constexpr int64_t CodeStreamPiece = 4096;

struct TGlobals {
  TProtectionProgress progress;
  bool checkKeySize = false;
  int32_t defaultFormat = fmtMIME64;
};

TGlobals& Globals() {
  static TGlobals globals;
  return globals;
}

std::vector<const TStringFormat*>& FormatList() {
  static const TStringFormat copy;
  static const TStringFormat_HEX hex;
  static const TStringFormat_HEXL hexl;
  static const TStringFormat_MIME64 mime64;
  static const TStringFormat_UU uu;
  static const TStringFormat_XX xx;
  static std::vector<const TStringFormat*> list = {&copy, &hex, &hexl, &mime64, &uu, &xx};
  return list;
}

const TStringFormat& RequireFormat(int32_t format) {
  const TStringFormat* f = FindStringFormat(format);
  if (f == nullptr) {
    throw EStringFormat(Format(u"String Format \"%d\" not exists.", {int64_t{format}}));
  }
  return *f;
}

[[noreturn]] void NotImplemented(const char* text) {
  throw Exception(std::string_view(text));
}

int32_t CheckedSize(size_t size) {
  if (size > static_cast<size_t>(INT32_MAX)) throw EProtection("Data too large to code at once");
  return static_cast<int32_t>(size);
}

}  // namespace

// --- Global settings ---------------------------------------------------------

void SetProtectionProgress(TProtectionProgress progress) {
  Globals().progress = std::move(progress);
}

const TProtectionProgress& ProtectionProgress() {
  return Globals().progress;
}

bool CheckCipherKeySize() {
  return Globals().checkKeySize;
}

void SetCheckCipherKeySize(bool value) {
  Globals().checkKeySize = value;
}

int32_t DefaultStringFormat() {
  return Globals().defaultFormat;
}

void SetDefaultStringFormat(int32_t format) {
  Globals().defaultFormat = format;
}

// --- Protections -------------------------------------------------------------

TProtection::TProtection(std::shared_ptr<TProtection> protection) {
  SetProtection(std::move(protection));
}

void TProtection::SetProtection(std::shared_ptr<TProtection> value) {
  for (const TProtection* p = value.get(); p != nullptr; p = p->FProtection.get()) {
    if (p == this) {
      throw EProtection("Circular Protection detected, Protection Object is invalid.");
    }
  }
  FProtection = std::move(value);
}

uint32_t TProtection::Identity() const {
  NotImplemented("Not implemented 13");
}

void TProtection::BeginCoding(TPAction action) {
  if (FProtection) FProtection->BeginCoding(action);
}

void TProtection::EndCoding(TPAction action) {
  if (FProtection) FProtection->EndCoding(action);
}

void TProtection::CodeChunk(void* buffer, int32_t size, TPAction action) {
  if (FProtection) FProtection->CodeChunk(buffer, size, action);
}

int32_t TProtection::CodeBuffer(void* buffer, int32_t size, TPAction action) {
  BeginCoding(action);
  try {
    CodeChunk(buffer, size, action);
  } catch (...) {
    EndCoding(action);
    throw;
  }
  EndCoding(action);
  return size;
}

void TProtection::CodeStream(TStream& source, TStream* dest, TPAction action, int64_t size) {
  if (size < 0) {
    source.SetPosition(0);
    size = source.Size();
  }
  TStream& target = dest != nullptr ? *dest : source;
  int64_t sourcePos = source.Position();
  int64_t destPos = dest != nullptr ? dest->Position() : sourcePos;
  const int64_t total = size;
  int64_t done = 0;
  TBytes piece(static_cast<size_t>(CodeStreamPiece));

  BeginCoding(action);
  try {
    while (done < total) {
      const int64_t want = std::min(CodeStreamPiece, total - done);
      source.SetPosition(sourcePos);
      const int64_t got = source.Read(piece.data(), want);
      if (got <= 0) break;
      sourcePos += got;
      CodeChunk(piece.data(), static_cast<int32_t>(got), action);
      if (action != paCalc) {
        target.SetPosition(destPos);
        target.WriteBuffer(piece.data(), got);
        destPos += got;
      }
      done += got;
      if (ProtectionProgress()) ProtectionProgress()(done, total);
    }
  } catch (...) {
    EndCoding(action);
    throw;
  }
  EndCoding(action);
  if (action != paCalc) target.SetPosition(destPos);
  if (ProtectionProgress()) ProtectionProgress()(0, 0);
}

void TProtection::CodeFile(const UString& source, const UString& dest, TPAction action) {
  // On this platform names differ when their full paths differ; case matters.
  const bool separate = !dest.empty() && FullPath(source) != FullPath(dest);
  if (action == paCalc && !separate) {
    TFileStream src(source, fmOpenRead | fmShareDenyNone);
    CodeStream(src, nullptr, action, -1);
    return;
  }
  if (separate) {
    TFileStream src(source, fmOpenRead | fmShareDenyNone);
    TFileStream dst(dest, fmCreate);
    CodeStream(src, action == paCalc ? nullptr : &dst, action, -1);
    if (action != paCalc) dst.SetSize(dst.Position());
    return;
  }
  TFileStream src(source, fmOpenReadWrite);
  CodeStream(src, nullptr, action, -1);
  src.SetSize(src.Position());
}

AnsiString TProtection::CodeString(const AnsiString& source, TPAction action, int32_t format) {
  if (action == paDecode) {
    AnsiString data = FormatToStr(source, format);
    CodeBuffer(data.data(), CheckedSize(data.size()), action);
    return data;
  }
  AnsiString data = source;
  CodeBuffer(data.data(), CheckedSize(data.size()), action);
  return StrToFormat(data, format);
}

// --- String formats ----------------------------------------------------------

AnsiString TStringFormat::ToStr(const AnsiString& value) const {
  return value;
}

AnsiString TStringFormat::StrTo(const AnsiString& value) const {
  return value;
}

AnsiString TStringFormat::Name() const {
  return "copy Input to Output";
}

bool TStringFormat::IsValid(const AnsiString&, bool) const {
  return true;
}

AnsiString TStringFormat_HEX::ToStr(const AnsiString&) const {
  CharTable();
  return {};
}

AnsiString TStringFormat_HEX::StrTo(const AnsiString&) const {
  CharTable();
  return {};
}

bool TStringFormat_HEX::IsValid(const AnsiString&, bool) const {
  CharTable();
  return false;
}

const char* TStringFormat_HEX::CharTable() const {
  NotImplemented("Not Implemented 2");
}

const char* TStringFormat_HEXL::CharTable() const {
  NotImplemented("Not implemented 3");
}

const char* TStringFormat_MIME64::CharTable() const {
  NotImplemented("Not Implemented 4");
}

const char* TStringFormat_UU::CharTable() const {
  NotImplemented("Not implemented 5");
}

const char* TStringFormat_XX::CharTable() const {
  NotImplemented("Not implemented 6");
}

void RegisterStringFormat(const TStringFormat& format) {
  auto& list = FormatList();
  for (auto& entry : list) {
    if (entry->Format() == format.Format()) {
      entry = &format;
      return;
    }
  }
  list.push_back(&format);
}

const std::vector<const TStringFormat*>& StringFormatList() {
  return FormatList();
}

const TStringFormat* FindStringFormat(int32_t format) {
  for (const TStringFormat* f : FormatList()) {
    if (f->Format() == format) return f;
  }
  return nullptr;
}

AnsiString StrToFormat(const AnsiString& value, int32_t format) {
  const TStringFormat& f = RequireFormat(format);
  if (!f.IsValid(value, false)) {
    throw EStringFormat(Format(u"Input can not be convert to %s Format.", {FromUtf8(f.Name())}));
  }
  return f.StrTo(value);
}

AnsiString FormatToStr(const AnsiString& value, int32_t format) {
  const TStringFormat& f = RequireFormat(format);
  if (!f.IsValid(value, true)) {
    throw EStringFormat(Format(u"Input is not an valid %s Format.", {FromUtf8(f.Name())}));
  }
  return f.ToStr(value);
}

}  // namespace kelvane
