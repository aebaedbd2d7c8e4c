#include "coding/KelAESTransform.h"

#include <cstring>

#include "coding/KelSecure.h"
#include "coding/Kelsha1.h"

namespace kelvane {

namespace {

// Reads up to Buffer's size; bytes the stream does not deliver stay zero.
// Answers whether all arrived.
bool ReadUpTo(TStream& stream, TBytes& buffer) {
  std::fill(buffer.begin(), buffer.end(), 0);
  const auto size = static_cast<int64_t>(buffer.size());
  return stream.ReadUpTo(buffer.data(), size) == size;
}

void CheckRange(size_t bufferSize, size_t offset, int32_t count) {
  if (count < 0 || offset > bufferSize || bufferSize - offset < static_cast<size_t>(count)) {
    throw Exception(std::string_view("AES transform: buffer range outside the buffer"));
  }
}

}  // namespace

TAESCryptoTransform::TAESCryptoTransform(int32_t keyBits, uint16_t version,
                                         uint16_t actualCompressionMethod)
    : FPHash(FindHashByName("SHA1")),
      FKeyLengthBytes(static_cast<uint16_t>(keyBits / 8)),
      FVersion(version),
      FActualCompressionMethod(actualCompressionMethod) {
  if (keyBits != 128 && keyBits != 192 && keyBits != 256) {
    throw ECipherException(2, u"AES key length must be 128, 192 or 256 bits");
  }
  if (FPHash == nullptr) throw ECipherException(3, u"SHA1 is not registered");
  std::memset(&FHMAC_Context, 0, sizeof(FHMAC_Context));
}

TAESCryptoTransform::~TAESCryptoTransform() {
  ForgetKeys();
  WipeString(FPassword);
}

void TAESCryptoTransform::ForgetKeys() {
  FKeyGenerator.reset();
  FCryptor.reset();
  WipeMemory(&FHMAC_Context, sizeof(FHMAC_Context));
  WipeBytes(FHashKey);
  WipeBytes(FEncryptionKey);
  WipeBytes(FComputedCode);
  WipeString(FDerivedPassword);
  WipeBytes(FDerivedSalt);
  WipeBytes(FDerivedMaterial);
  FKeysPending = false;
  FVerifierPending = false;
  FAuthenticationFinished = false;
}

void TAESCryptoTransform::GenerateKey(const AnsiString& password) {
  if (password.size() > static_cast<size_t>(MaxPBKDF2PasswordLength)) {
    throw EPBKDF2("Password longer than 32767 bytes");
  }
  WipeString(FPassword);
  FPassword = password;
  if (FTransformMode == Decryption && !FSaltValue.empty()) {
    DeriveKeys();
    return;
  }
  // A new salt for every key: two items never share a key stream.
  FSaltValue = MakeRandomSalt(FKeyLengthBytes / 2);
  DeriveKeys();
}

void TAESCryptoTransform::DeriveKeys() {
  FKeyGenerator = std::make_unique<TPBKDF2>(FPassword, AESKeyIterations, FSaltValue);
  FCryptor.reset();
  WipeMemory(&FHMAC_Context, sizeof(FHMAC_Context));
  WipeBytes(FHashKey);
  WipeBytes(FEncryptionKey);
  WipeBytes(FComputedCode);
  FAuthenticationFinished = false;
  FKeysPending = true;
  FVerifierPending = true;
}

void TAESCryptoTransform::RealizeKeys() {
  if (!FKeysPending) return;
  const size_t k = FKeyLengthBytes;
  const bool cached =
      !FDerivedMaterial.empty() && FDerivedPassword == FPassword && FDerivedSalt == FSaltValue;
  if (!cached) {
    WipeBytes(FDerivedMaterial);
    FDerivedMaterial = FKeyGenerator->GetKeyBytes(static_cast<int32_t>(2 * k + 2));
    WipeString(FDerivedPassword);
    FDerivedPassword = FPassword;
    FDerivedSalt = FSaltValue;
  }
  FEncryptionKey.assign(FDerivedMaterial.begin(), FDerivedMaterial.begin() + k);
  FHashKey.assign(FDerivedMaterial.begin() + k, FDerivedMaterial.begin() + 2 * k);
  HMAC_Init(FHMAC_Context, FPHash, FHashKey.data(), static_cast<uint16_t>(k));
  FCryptor = std::make_unique<TCipher_Rijndael>(FEncryptionKey);
  FCryptor->SetMode(cmCTR);
  if (FVerifierPending) {
    FPasswordVerificationValue.assign(FDerivedMaterial.begin() + 2 * k,
                                      FDerivedMaterial.begin() + 2 * k + 2);
  }
  FKeysPending = false;
  FVerifierPending = false;
}

bool TAESCryptoTransform::CheckPassword(const AnsiString& password) {
  const size_t k = FKeyLengthBytes;
  if (password == FPassword && FKeysPending) RealizeKeys();  // needed for decoding anyway
  TBytes derived;
  if (!FDerivedMaterial.empty() && FDerivedPassword == password && FDerivedSalt == FSaltValue) {
    derived.assign(FDerivedMaterial.begin() + 2 * k, FDerivedMaterial.begin() + 2 * k + 2);
  } else {
    // Only the block that holds the verification value is computed.
    TPBKDF2 generator(password, AESKeyIterations, FSaltValue);
    derived = generator.GetKeyBytesRange(static_cast<int32_t>(2 * k), 2);
  }
  return FPasswordVerificationValue.size() == 2 &&
         ConstantTimeEqual(derived.data(), FPasswordVerificationValue.data(), 2);
}

TBytes TAESCryptoTransform::GetKey() {
  RealizeKeys();
  return FEncryptionKey;
}

void TAESCryptoTransform::Reset() {
  WipeString(FPassword);
  FKeyLengthBytes = 0;
  ForgetKeys();
  FPasswordVerificationValue.clear();
  FSaltValue.clear();
}

void TAESCryptoTransform::RequireCipher() const {
  if (!FCryptor) {
    throw ECipherException(3, u"AES transform has no key: GenerateKey was not called");
  }
}

int32_t TAESCryptoTransform::DecryptBuffer(std::span<const uint8_t> input, size_t inputOffset,
                                           int32_t count, std::span<uint8_t> output,
                                           size_t outputOffset) {
  CheckRange(input.size(), inputOffset, count);
  CheckRange(output.size(), outputOffset, count);
  RealizeKeys();
  RequireCipher();
  if (count == 0) return 0;
  const uint8_t* src = input.data() + inputOffset;
  HMAC_Update(FHMAC_Context, src, count);
  FCryptor->DecodeBuffer(src, output.data() + outputOffset, count);
  return count;
}

int32_t TAESCryptoTransform::EncryptBuffer(std::span<const uint8_t> input, size_t inputOffset,
                                           int32_t count, std::span<uint8_t> output,
                                           size_t outputOffset) {
  CheckRange(input.size(), inputOffset, count);
  CheckRange(output.size(), outputOffset, count);
  RealizeKeys();
  RequireCipher();
  if (count == 0) return 0;
  uint8_t* dst = output.data() + outputOffset;
  FCryptor->EncodeBuffer(input.data() + inputOffset, dst, count);
  HMAC_Update(FHMAC_Context, dst, count);
  return count;
}

TBytes TAESCryptoTransform::GetFileStorageStartBlock() {
  RealizeKeys();
  TBytes block = FSaltValue;
  block.insert(block.end(), FPasswordVerificationValue.begin(), FPasswordVerificationValue.end());
  return block;
}

void TAESCryptoTransform::LoadFileStorageStartBlock(TStream& stream, int64_t offset) {
  stream.Seek(offset, soCurrent);
  FSaltValue.resize(FKeyLengthBytes / 2);
  ReadUpTo(stream, FSaltValue);
  DeriveKeys();
  FPasswordVerificationValue.resize(2);
  ReadUpTo(stream, FPasswordVerificationValue);
  FVerifierPending = false;
}

// Without keys there is no code: nothing is computed, so nothing can match.
void TAESCryptoTransform::FinishAuthentication() {
  RealizeKeys();
  if (FAuthenticationFinished || !FCryptor) return;
  THashDigest mac{};
  HMAC_Final(FHMAC_Context, mac);
  FComputedCode.assign(mac.begin(), mac.begin() + FAuthenticationCodeSize);
  WipeMemory(mac.data(), mac.size());
  FAuthenticationFinished = true;
}

TBytes TAESCryptoTransform::GetFileStorageEndBlock() {
  FinishAuthentication();
  RequireCipher();
  FAuthenticationCode = FComputedCode;
  FStoredCodeComplete = true;
  return FComputedCode;
}

void TAESCryptoTransform::LoadFileStorageEndBlock(TStream& stream, int64_t offset) {
  stream.Seek(offset, soCurrent);
  FAuthenticationCode.resize(static_cast<size_t>(FAuthenticationCodeSize));
  FStoredCodeComplete = ReadUpTo(stream, FAuthenticationCode);
}

bool TAESCryptoTransform::IsDirItemCorrupted(uint32_t) {
  FinishAuthentication();
  if (!FAuthenticationFinished || !FStoredCodeComplete ||
      FAuthenticationCode.size() != FComputedCode.size()) {
    return true;
  }
  return !ConstantTimeEqual(FComputedCode.data(), FAuthenticationCode.data(), FComputedCode.size());
}

void TAESCryptoTransform::GetExtraFieldData(TCryptoExtraField& block) {
  block.HeaderId = AESExtraFieldId;
  block.DataSize = 7;
  const uint8_t strength = FKeyLengthBytes == 16 ? 1 : FKeyLengthBytes == 24 ? 2 : 3;
  block.Data = {static_cast<uint8_t>(FVersion),
                static_cast<uint8_t>(FVersion >> 8),
                'A',
                'E',
                strength,
                static_cast<uint8_t>(FActualCompressionMethod),
                static_cast<uint8_t>(FActualCompressionMethod >> 8)};
}

}  // namespace kelvane
