// PBKDF2 (RFC 2898) with HMAC over a hash descriptor, and the key generator the
// AES transform uses (HMAC-SHA-1).
#pragma once

#include <span>

#include "coding/KelHashDesc.h"
#include "platform/Exception.h"
#include "platform/Types.h"

namespace kelvane {

// Longest password TPBKDF2 accepts (bytes).
inline constexpr int32_t MaxPBKDF2PasswordLength = 32767;

// Derives KLen bytes into Key. Returns 0 on success, 1 when the descriptor is
// missing (or invalid), 2 when its digest length is 0; Key is untouched then.
// An iteration count below 1 derives zeros.
int PBKDF2_Derive(PHashDesc phash, const void* password, uint16_t plen, const void* salt,
                  uint16_t slen, int32_t iterations, void* key, uint16_t klen) noexcept;

// Bytes Offset .. Offset + Len - 1 of the key PBKDF2_Derive would make,
// computing only the blocks that hold them (a password check needs only the
// last two bytes). Same results as above.
int PBKDF2_DeriveRange(PHashDesc phash, const void* password, uint16_t plen, const void* salt,
                       uint16_t slen, int32_t iterations, uint16_t offset, void* key,
                       uint16_t len) noexcept;

class EPBKDF2 : public Exception {
 public:
  using Exception::Exception;
};

// Key derivation set-up for one password and salt: PBKDF2-HMAC-SHA-1.
// Password and salt are wiped when the object is destroyed.
class TPBKDF2 {
 public:
  // A fresh salt of SaltSize bytes from the system's random source, with every
  // byte below 255. Raises EPBKDF2 for a password longer than
  // MaxPBKDF2PasswordLength or a salt size outside 0..65,535.
  TPBKDF2(const AnsiString& password, int32_t iterations, int32_t saltSize);
  // Copies Salt. Raises as above.
  TPBKDF2(const AnsiString& password, int32_t iterations, std::span<const uint8_t> salt);
  ~TPBKDF2();
  TPBKDF2(const TPBKDF2&) = delete;
  TPBKDF2& operator=(const TPBKDF2&) = delete;

  // Cb derived bytes. Raises EPBKDF2 when Cb is outside 0..65,535.
  TBytes GetKeyBytes(int32_t cb) const;
  // Bytes Offset .. Offset + Count - 1 of GetKeyBytes(Offset + Count).
  TBytes GetKeyBytesRange(int32_t offset, int32_t count) const;
  void Initialize() {}
  void Reset() {}
  int32_t IterationCount() const { return FIterationNumber; }
  // An independent copy of the salt.
  TBytes GetSaltValue() const { return FSaltValue; }

 private:
  void CheckPassword() const;

  int32_t FIterationNumber;
  TBytes FSaltValue;
  int32_t FSaltLength;
  AnsiString FPassword;
};

// Count bytes from the system's random source, each below 255 (bytes equal to
// 255 are drawn again, so the others stay equally likely).
TBytes MakeRandomSalt(int32_t count);

}  // namespace kelvane
