#include "coding/KelCipher.h"

#include <algorithm>
#include <cstring>

#include "coding/KelSecure.h"
#include "platform/Format.h"
#include "platform/Text.h"

namespace kelvane {

namespace {

[[noreturn]] void NotImplemented(const char* text) {
  throw Exception(std::string_view(text));
}

// Fills through volatile stores, so that the passes are not merged or dropped.
void Fill(TBytes& bytes, uint8_t value) noexcept {
  volatile uint8_t* p = bytes.data();
  for (size_t i = 0; i < bytes.size(); ++i)
    p[i] = value;
}

}  // namespace

TCipher::TCipher(TCipherClass cipherClass)
    : FKeySize(cipherClass->KeySize),
      FBufSize(cipherClass->BufSize),
      FUserSize(cipherClass->UserSize),
      FBuffer(static_cast<size_t>(cipherClass->BufSize)),
      FVector(static_cast<size_t>(cipherClass->BufSize)),
      FFeedback(static_cast<size_t>(cipherClass->BufSize)),
      FUser(static_cast<size_t>(cipherClass->UserSize)),
      ctrMode_Position(cipherClass->BufSize),
      ctrMode_EncryptionBlock(static_cast<size_t>(cipherClass->BufSize)),
      ctrMode_Nonce(static_cast<size_t>(cipherClass->BufSize)),
      FClass(cipherClass) {
  FActions = 0;
  TCipher::Protect();
}

TCipher::~TCipher() {
  TCipher::Protect();
  WipeBytes(FBuffer);
  WipeBytes(FVector);
  WipeBytes(FFeedback);
  WipeBytes(FUser);
  WipeBytes(ctrMode_EncryptionBlock);
  WipeBytes(ctrMode_Nonce);
}

void TCipher::SetUpForPassword(const AnsiString& password,
                               std::shared_ptr<TProtection> protection) {
  SetProtection(std::move(protection));
  FActions = paAllActions;
  FHashClass = THash_RipeMD256::Class();
  if (!password.empty()) InitKey(password, nullptr);
}

void TCipher::SetHashClass(THashClass hashClass) {
  if (hashClass == nullptr) hashClass = THash_RipeMD256::Class();
  if (hashClass != FHashClass) FHash.reset();
  FHashClass = hashClass;
}

THash& TCipher::Hash() {
  if (FHashClass == nullptr) FHashClass = THash_RipeMD256::Class();
  if (!FHash) FHash = FHashClass->Create();
  return *FHash;
}

void TCipher::CheckInitialized() const {
  if (!Initialized()) {
    throw ECipherException(3, Format(u"%s is not initialized call Init() or InitKey() before.",
                                     {FromUtf8(ClassName())}));
  }
}

void TCipher::Protect() {
  FFlags &= static_cast<uint8_t>(~3u);
  for (uint8_t pass : {uint8_t{0xAA}, uint8_t{0x55}}) {
    Fill(FVector, pass);
    Fill(FFeedback, pass);
    Fill(FBuffer, pass);
    Fill(FUser, pass);
  }
  Fill(FVector, 0xFF);
  Fill(FFeedback, 0xFF);
  Fill(FBuffer, 0x00);
  Fill(FUser, 0x00);
  Fill(ctrMode_Nonce, 0x00);
  // The key-stream block belongs to the old key: wipe it and mark it used up,
  // so that no byte of it (nor a wiped zero) is ever applied to data.
  Fill(ctrMode_EncryptionBlock, 0x00);
  ctrMode_Position = FBufSize;
}

void TCipher::Done() {
  if (FFeedback != FVector) {
    FBuffer = FFeedback;
    FFeedback = FVector;
  }
}

int32_t TCipher::InitBegin(int32_t size) {
  FFlags &= static_cast<uint8_t>(~2u);
  Protect();
  if (size < 0) size = 0;
  if (size > FKeySize) {
    if (CheckCipherKeySize()) {
      throw ECipherException(
          2,
          Format(u"Length from Encryptionkey is invalid.\r\nKeysize for %s must be to %d-%d bytes",
                 {FromUtf8(ClassName()), int64_t{0}, int64_t{FKeySize}}));
    }
    size = FKeySize;
  }
  return size;
}

void TCipher::InitEnd(const void* iVector) {
  if (iVector != nullptr) {
    std::memcpy(FVector.data(), iVector, FVector.size());
  } else {
    EncodeBlock(FVector.data());
  }
  FFeedback = FVector;
  FFlags |= 2;
}

void TCipher::InitKey(const AnsiString& key, const void* iVector) {
  THash& hash = Hash();
  hash.Init();
  if (key.size() > static_cast<size_t>(INT32_MAX)) throw ECipherException(2, u"Key too long");
  hash.Calc(key.data(), static_cast<int32_t>(key.size()));
  hash.Done();
  TBytes digest = hash.DigestKey();
  hash.Init();  // the hash object must not keep the key either
  const int32_t size = std::min(static_cast<int32_t>(digest.size()), FKeySize);
  try {
    Init(digest.data(), size, iVector);
    EncodeBuffer(digest.data(), digest.data(), static_cast<int32_t>(digest.size()));
  } catch (...) {
    WipeBytes(digest);
    throw;
  }
  WipeBytes(digest);
  Done();
  FFlags |= 1;
}

void TCipher::InitKey(TBytes& key, const void* iVector) {
  if (key.size() > static_cast<size_t>(INT32_MAX)) throw ECipherException(2, u"Key too long");
  const auto length = static_cast<int32_t>(key.size());
  Init(key.data(), std::min(length, FKeySize), iVector);
  TBytes encrypted(key.size());
  EncodeBuffer(key.data(), encrypted.data(), length);
  WipeBytes(key);
  key = std::move(encrypted);
  Done();
  FFlags |= 1;
}

void TCipher::SelfTest() {
  NotImplemented("Not implemented 14");
}

TBytes TCipher::GetTestVector() const {
  NotImplemented("Not implemented 14");
}

void TCipher::BeginCoding(TPAction action) {
  CheckInitialized();
  if (action == paWipe) NotImplemented("Not implemented 12");
  if (action != paCalc) Done();
  TProtection::BeginCoding(action);
}

void TCipher::EndCoding(TPAction action) {
  CheckInitialized();
  if (action == paWipe) NotImplemented("Not implemented 12");
  if (action != paCalc) Done();
  TProtection::EndCoding(action);
}

void TCipher::CodeChunk(void* buffer, int32_t size, TPAction action) {
  if (action == paDecode) {
    if (HasAction(action)) DecodeBuffer(buffer, buffer, size);
    TProtection::CodeChunk(buffer, size, action);
  } else {
    TProtection::CodeChunk(buffer, size, action);
    if (HasAction(action)) EncodeBuffer(buffer, buffer, size);
  }
}

// --- Cipher list ---------------------------------------------------------------

namespace {

std::vector<TCipherListEntry>& Ciphers() {
  static std::vector<TCipherListEntry> list = [] {
    std::vector<TCipherListEntry> l;
    l.push_back({CipherName(TCipher_Rijndael::Class()) + u"=", TCipher_Rijndael::Class()});
    return l;
  }();
  return list;
}

}  // namespace

UString CipherName(TCipherClass cipherClass) {
  std::string_view name = cipherClass->ClassName;
  if (!name.empty() && name.front() == 'T') name.remove_prefix(1);
  const size_t underscore = name.find('_');
  if (underscore != std::string_view::npos) name.remove_prefix(underscore + 1);
  return FromUtf8(name);
}

void RegisterCipher(TCipherClass cipherClass, const UString& description) {
  const UString text = CipherName(cipherClass) + u"=" + description;
  auto& list = Ciphers();
  for (auto& entry : list) {
    if (entry.Class == cipherClass) {
      entry.Text = text;
      return;
    }
  }
  list.push_back({text, cipherClass});
}

const std::vector<TCipherListEntry>& CipherList() {
  return Ciphers();
}

}  // namespace kelvane
