// The password loop of an encrypted item (PKZIP classic or AES) and the AES
// transform the decoder and the password check use.
#include "engine/KelDecode.h"
#include "engine/Kelvane.h"

namespace kelvane {
namespace {

// The format version of every transform the engine makes.
constexpr uint16_t AesFormatVersion = 2;

}  // namespace

std::unique_ptr<TAESCryptoTransform> NewAesDecryptor(TKelCryptoAlgorithm algorithm,
                                                     uint16_t compressionMethod,
                                                     const AnsiString& password) {
  auto transform = std::make_unique<TAESCryptoTransform>(AesKeyBits(algorithm), AesFormatVersion,
                                                         compressionMethod);
  transform->Initialize(Decryption);
  // No salt is loaded yet: this only provides the salt buffer and holds the
  // password; the keys come from the stored salt in the password loop.
  transform->GenerateKey(password);
  return transform;
}

bool TKelBaseArchiver::CheckItemPassword(TKelItemDecoding& D) {
  // The header is read once, through the volumes; every attempt reads it
  // again from memory.
  const int32_t size =
      D.Transform ? D.Transform->GetFileStorageStartBlockSize() : int32_t(PkzipHeaderSize);
  TMemoryStream header;
  header.SetSize(size);
  // An item too short for its header could never be opened: asking for
  // passwords would not end.
  if (!ReadAcrossVolumes(D, header.Memory(), size)) return false;

  for (;;) {
    header.SetPosition(0);
    bool right = false;
    if (D.Transform) {
      D.Transform->LoadFileStorageStartBlock(header, 0);
      right = D.Transform->CheckPassword(FPassword);
    } else if (!FPassword.empty()) {
      right = CheckPkzipHeader(header, FPassword, D.Keys, D.LocalHeader.crc32,
                               D.LocalHeader.lastModTime, D.LocalHeader.genPurposeFlag);
    }
    if (FSuppressPasswordEvent) {
      // Decoded whatever the answer, so that a password that passes the
      // header by chance is still refused by the check value. An empty
      // password never opens a PKZIP classic item and sets up no keys.
      return D.Transform || !FPassword.empty();
    }
    if (right) return true;
    DoPassword(D.Item->Name, FPassword, FSkipFile);
    if (FSkipFile) return false;
    if (D.Transform) {
      AnsiString held = D.Transform->GetPassword();
      if (held != FPassword) D.Transform->GenerateKey(FPassword);
      WipeString(held);
    }
  }
}

}  // namespace kelvane
