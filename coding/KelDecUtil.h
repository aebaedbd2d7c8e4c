// The base of the coding-object library: chainable protections, the text
// formats that coded bytes are shown in, and the library's global settings.
#pragma once

#include <functional>
#include <memory>
#include <vector>

#include "platform/Exception.h"
#include "platform/Stream.h"
#include "platform/Types.h"

namespace kelvane {

class EProtection : public Exception {
 public:
  using Exception::Exception;
};

class EStringFormat : public Exception {
 public:
  using Exception::Exception;
};

enum TPAction : uint8_t { paEncode, paDecode, paScramble, paCalc, paWipe };

// A set of TPAction, one bit per action.
using TPActions = uint8_t;
constexpr TPActions PActionSet(TPAction action) {
  return static_cast<TPActions>(1u << action);
}
inline constexpr TPActions paAllActions = 0x1F;

// --- Global settings ---------------------------------------------------------

// Called with (done, total) after each piece CodeStream codes and with (0, 0)
// at its end. None by default.
using TProtectionProgress = std::function<void(int64_t done, int64_t total)>;
void SetProtectionProgress(TProtectionProgress progress);
const TProtectionProgress& ProtectionProgress();

// When on, a cipher key longer than the cipher's largest key raises
// ECipherException (error 2); when off (the default) the key is cut.
bool CheckCipherKeySize();
void SetCheckCipherKeySize(bool value);

// --- Protections -------------------------------------------------------------

// A coding object that can pass what it codes on to the next one in a chain.
// Objects are shared: the chain holds counted references.
class TProtection : public std::enable_shared_from_this<TProtection> {
 public:
  // Raises EProtection when Protection's chain leads back to this object.
  explicit TProtection(std::shared_ptr<TProtection> protection = nullptr);
  virtual ~TProtection() = default;
  TProtection(const TProtection&) = delete;
  TProtection& operator=(const TProtection&) = delete;

  virtual const char* ClassName() const { return "TProtection"; }

  const std::shared_ptr<TProtection>& Protection() const { return FProtection; }
  // Raises EProtection "Circular Protection detected, Protection Object is
  // invalid." when Value's chain reaches this object; the chain is unchanged then.
  void SetProtection(std::shared_ptr<TProtection> value);
  TPActions Actions() const { return FActions; }
  void SetActions(TPActions actions) { FActions = actions; }
  // Always raises "Not implemented 13".
  uint32_t Identity() const;

  // The base passes each call on to the next protection, when there is one.
  virtual void BeginCoding(TPAction action);
  virtual void EndCoding(TPAction action);
  virtual void CodeChunk(void* buffer, int32_t size, TPAction action);

  // Codes Size bytes from Source's position (Size < 0: all of Source from
  // position 0) in pieces of 4,096 bytes. paCalc only reads; other actions write
  // each coded piece to Dest at its own position, or back into Source when
  // Dest is null. Stops early when Source delivers nothing more.
  virtual void CodeStream(TStream& source, TStream* dest, TPAction action, int64_t size = -1);
  // Codes the file Source into Dest, or in place when Dest is empty or names
  // the same file; a written file is cut at the end of what was written.
  // Raises the file streams' errors.
  virtual void CodeFile(const UString& source, const UString& dest, TPAction action);
  // paDecode: Source is text in Format, the result the decoded bytes. Other
  // actions: the coded bytes of Source shown in Format. Raises EStringFormat.
  virtual AnsiString CodeString(const AnsiString& source, TPAction action, int32_t format);
  // BeginCoding, CodeChunk, EndCoding (also when CodeChunk raises); returns Size.
  virtual int32_t CodeBuffer(void* buffer, int32_t size, TPAction action);

 protected:
  bool HasAction(TPAction action) const { return (FActions & PActionSet(action)) != 0; }

  std::shared_ptr<TProtection> FProtection;
  TPActions FActions = paAllActions;
};

// --- String formats ----------------------------------------------------------

inline constexpr int32_t fmtCOPY = 1;
inline constexpr int32_t fmtHEX = 16;
inline constexpr int32_t fmtHEXL = 1016;
inline constexpr int32_t fmtMIME64 = 4196;
inline constexpr int32_t fmtUU = 21845;
inline constexpr int32_t fmtXX = 22616;

// A text format for bytes. Formats are stateless singletons, reached through
// their number. The base copies bytes unchanged.
class TStringFormat {
 public:
  virtual ~TStringFormat() = default;
  virtual const char* ClassName() const { return "TStringFormat"; }
  // Formatted text to bytes.
  virtual AnsiString ToStr(const AnsiString& value) const;
  // Bytes to formatted text.
  virtual AnsiString StrTo(const AnsiString& value) const;
  virtual AnsiString Name() const;
  virtual int32_t Format() const { return fmtCOPY; }
  // ToStrDirection: Value is text about to be turned into bytes.
  virtual bool IsValid(const AnsiString& value, bool toStrDirection) const;
  virtual const char* CharTable() const { return ""; }
};

// The table-based formats have no character tables: CharTable raises, and so
// therefore does every conversion and validation.
class TStringFormat_HEX : public TStringFormat {
 public:
  const char* ClassName() const override { return "TStringFormat_HEX"; }
  AnsiString ToStr(const AnsiString& value) const override;
  AnsiString StrTo(const AnsiString& value) const override;
  AnsiString Name() const override { return "Hexadecimal"; }
  int32_t Format() const override { return fmtHEX; }
  bool IsValid(const AnsiString& value, bool toStrDirection) const override;
  const char* CharTable() const override;  // raises "Not Implemented 2"
};

class TStringFormat_HEXL : public TStringFormat_HEX {
 public:
  const char* ClassName() const override { return "TStringFormat_HEXL"; }
  AnsiString Name() const override { return "Hexadecimal lowercase"; }
  int32_t Format() const override { return fmtHEXL; }
  const char* CharTable() const override;  // raises "Not implemented 3"
};

class TStringFormat_MIME64 : public TStringFormat_HEX {
 public:
  const char* ClassName() const override { return "TStringFormat_MIME64"; }
  AnsiString Name() const override { return "MIME Base 64"; }
  int32_t Format() const override { return fmtMIME64; }
  const char* CharTable() const override;  // raises "Not Implemented 4"
};

class TStringFormat_UU : public TStringFormat_HEX {
 public:
  const char* ClassName() const override { return "TStringFormat_UU"; }
  AnsiString Name() const override { return "UU Coding"; }
  int32_t Format() const override { return fmtUU; }
  const char* CharTable() const override;  // raises "Not implemented 5"
};

class TStringFormat_XX : public TStringFormat_UU {
 public:
  const char* ClassName() const override { return "TStringFormat_XX"; }
  AnsiString Name() const override { return "XX Coding"; }
  int32_t Format() const override { return fmtXX; }
  const char* CharTable() const override;  // raises "Not implemented 6"
};

// The registered formats in order: copy, HEX, HEXL, MIME64, UU, XX, then any
// registered later. Registering a format whose number is listed replaces the
// listed one in place. Formats must outlive the list (use statics).
void RegisterStringFormat(const TStringFormat& format);
const std::vector<const TStringFormat*>& StringFormatList();
// The format with that number, or nullptr.
const TStringFormat* FindStringFormat(int32_t format);

// Bytes to text in Format. Raises EStringFormat "String Format \"%d\" not
// exists." for an unknown number and "Input can not be convert to %s Format."
// when the format refuses the input.
AnsiString StrToFormat(const AnsiString& value, int32_t format);
// Text in Format to bytes; raises as above, with "Input is not an valid %s
// Format." for text the format refuses.
AnsiString FormatToStr(const AnsiString& value, int32_t format);

// 4196 (MIME Base 64) until changed.
int32_t DefaultStringFormat();
void SetDefaultStringFormat(int32_t format);

}  // namespace kelvane
