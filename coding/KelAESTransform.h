// Per-item encryption transforms. TAESCryptoTransform implements the AES item
// format: PBKDF2-HMAC-SHA-1 keys from password and salt, AES in counter mode,
// a 2-byte password verification value after the salt, and a 10-byte
// HMAC-SHA-1 authentication code over the encrypted bytes behind the data.
//
// Layout of an item's data: salt (key length / 2 bytes), verification value
// (2), encrypted data (n), authentication code (10).
//
// The transform knows nothing of archive items; the container layer passes
// what it needs and wraps the extra field it returns.
#pragma once

#include <memory>
#include <span>

#include "coding/KelCipher.h"
#include "coding/KelPBKDF_2.h"
#include "coding/Kelhmac.h"
#include "platform/Stream.h"

namespace kelvane {

enum TCryptoTransformMode : uint8_t { Encryption, Decryption };

// An extra-field block as the transform describes it.
struct TCryptoExtraField {
  uint16_t HeaderId = 0;
  uint16_t DataSize = 0;
  TBytes Data;
};

inline constexpr uint16_t AESExtraFieldId = 0x9901;
inline constexpr int32_t AESKeyIterations = 1000;
inline constexpr int32_t AESAuthenticationCodeSize = 10;

class TKelCryptoTransform {
 public:
  virtual ~TKelCryptoTransform() = default;

  virtual void GenerateKey(const AnsiString& password) = 0;
  virtual bool CheckPassword(const AnsiString& password) = 0;
  virtual TBytes GetKey() = 0;
  virtual AnsiString GetPassword() = 0;
  virtual void Initialize(TCryptoTransformMode mode) { FTransformMode = mode; }
  virtual void Reset() = 0;
  // Code Count bytes from Input[InputOffset] to Output[OutputOffset]; Input and
  // Output may be the same buffer. Return Count.
  virtual int32_t DecryptBuffer(std::span<const uint8_t> input, size_t inputOffset, int32_t count,
                                std::span<uint8_t> output, size_t outputOffset) = 0;
  virtual int32_t EncryptBuffer(std::span<const uint8_t> input, size_t inputOffset, int32_t count,
                                std::span<uint8_t> output, size_t outputOffset) = 0;
  virtual TBytes GetFileStorageStartBlock() = 0;
  virtual void LoadFileStorageStartBlock(TStream& stream, int64_t offset) = 0;
  virtual int32_t GetFileStorageStartBlockSize() = 0;
  virtual TBytes GetFileStorageEndBlock() = 0;
  virtual void LoadFileStorageEndBlock(TStream& stream, int64_t offset) = 0;
  virtual int32_t GetFileStorageEndBlockSize() = 0;
  virtual bool IsDirItemCorrupted(uint32_t crc32) = 0;
  virtual void GetExtraFieldData(TCryptoExtraField& block) = 0;

  TCryptoTransformMode TransformMode() const { return FTransformMode; }

 protected:
  TCryptoTransformMode FTransformMode = Encryption;
};

class TAESCryptoTransform : public TKelCryptoTransform {
 public:
  // KeyBits 128, 192 or 256 (anything else raises ECipherException 2).
  // Version: the format version written into the extra field (2 for new items).
  TAESCryptoTransform(int32_t keyBits, uint16_t version, uint16_t actualCompressionMethod);
  ~TAESCryptoTransform() override;
  TAESCryptoTransform(const TAESCryptoTransform&) = delete;
  TAESCryptoTransform& operator=(const TAESCryptoTransform&) = delete;

  // Sets the password. Decryption with a salt present: keys from that salt.
  // Otherwise a fresh salt from the system's random source (no byte 255),
  // then keys. Every derivation restarts the counter and the authentication
  // code. Raises EPBKDF2 for a password longer than 32,767 bytes.
  void GenerateKey(const AnsiString& password) override;
  // Whether Password with the current salt gives the verification value held
  // (stored or derived). Changes no key.
  bool CheckPassword(const AnsiString& password) override;
  // The encryption key as the cipher's key set-up left it (overwritten).
  TBytes GetKey() override;
  AnsiString GetPassword() override { return FPassword; }
  // Forgets password, keys, salt and cipher; the key length becomes 0.
  void Reset() override;
  // Add the encrypted bytes to the authentication code and decrypt them. Raise
  // Exception when a range lies outside its buffer or no key was generated.
  int32_t DecryptBuffer(std::span<const uint8_t> input, size_t inputOffset, int32_t count,
                        std::span<uint8_t> output, size_t outputOffset) override;
  // Encrypt, then add the encrypted bytes to the authentication code.
  int32_t EncryptBuffer(std::span<const uint8_t> input, size_t inputOffset, int32_t count,
                        std::span<uint8_t> output, size_t outputOffset) override;
  // Salt followed by the verification value.
  TBytes GetFileStorageStartBlock() override;
  // Moves the stream by Offset, reads the salt, derives keys from the held
  // password and that salt, then reads the stored verification value. A short
  // read leaves zeros; the password check or the authentication code fails then.
  void LoadFileStorageStartBlock(TStream& stream, int64_t offset) override;
  int32_t GetFileStorageStartBlockSize() override { return FKeyLengthBytes / 2 + 2; }
  // Finishes the authentication code (once) and returns its 10 bytes.
  TBytes GetFileStorageEndBlock() override;
  // Moves the stream by Offset and reads the stored authentication code.
  void LoadFileStorageEndBlock(TStream& stream, int64_t offset) override;
  int32_t GetFileStorageEndBlockSize() override { return FAuthenticationCodeSize; }
  // True when the computed code differs from the stored one (compared in
  // constant time), or no complete code was stored. The CRC is not used.
  bool IsDirItemCorrupted(uint32_t crc32) override;
  // Id 0x9901, 7 bytes: version (LE), "AE", strength 1/2/3, method (LE).
  void GetExtraFieldData(TCryptoExtraField& block) override;

  uint16_t KeyLengthBytes() const { return FKeyLengthBytes; }
  uint16_t Version() const { return FVersion; }
  uint16_t ActualCompressionMethod() const { return FActualCompressionMethod; }
  const TBytes& SaltValue() const { return FSaltValue; }

 private:
  // Keys are derived when first needed rather than when requested: the decoder
  // asks for keys from a throw-away salt before it loads the stored one, and a
  // derivation costs thousands of hash compressions. Results are the same.
  void DeriveKeys();
  void RealizeKeys();
  void FinishAuthentication();
  void ForgetKeys();
  void RequireCipher() const;

  std::unique_ptr<TPBKDF2> FKeyGenerator;
  THMAC_Context FHMAC_Context;
  PHashDesc FPHash;
  std::unique_ptr<TCipher_Rijndael> FCryptor;
  uint16_t FKeyLengthBytes;
  TBytes FHashKey;
  TBytes FEncryptionKey;
  TBytes FPasswordVerificationValue;
  TBytes FSaltValue;
  TBytes FAuthenticationCode;
  AnsiString FPassword;
  uint16_t FVersion;
  uint16_t FActualCompressionMethod;
  int32_t FAuthenticationCodeSize = AESAuthenticationCodeSize;

  bool FKeysPending = false;
  bool FVerifierPending = false;
  bool FAuthenticationFinished = false;
  bool FStoredCodeComplete = false;
  TBytes FComputedCode;
  // The last full derivation, so that checking the password the keys came
  // from does not derive again.
  AnsiString FDerivedPassword;
  TBytes FDerivedSalt;
  TBytes FDerivedMaterial;
};

}  // namespace kelvane
