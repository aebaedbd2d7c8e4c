// Block ciphers of the coding-object library: TCipher with its nine modes of
// operation, and TCipher_Rijndael (AES, FIPS 197).
#pragma once

#include "coding/KelDecUtil.h"
#include "coding/KelHashes.h"

namespace kelvane {

enum TCipherMode : uint8_t {
  cmCTS,
  cmCBC,
  cmCFB,
  cmOFB,
  cmCTR,
  cmECB,
  cmCTSMAC,
  cmCBCMAC,
  cmCFBMAC,
};

class ECipherException : public Exception {
 public:
  ECipherException(int32_t errorCode, UString message)
      : Exception(std::move(message)), ErrorCode(errorCode) {}
  int32_t ErrorCode;
};

class TCipher;

// A cipher class: its name, sizes and how to make one from a password.
struct TCipherClassDesc {
  const char* ClassName;
  int32_t BufSize;   // block size
  int32_t KeySize;   // largest key
  int32_t UserSize;  // key schedule
  std::shared_ptr<TCipher> (*Create)(const AnsiString& password,
                                     std::shared_ptr<TProtection> protection);
};
using TCipherClass = const TCipherClassDesc*;

// A block cipher with a mode of operation. Coding requires a key (Init or
// InitKey); key material and chaining state are wiped on destruction.
//
// Modes (E = block encryption, F = the feedback register):
//   cmCTS  c = E(p ^ F), F ^= c;    cmCBC  c = E(p ^ F), F = c;
//     a final partial block of either: out = in ^ E(F), F ^= E(F).
//   cmCFB, cmOFB  one byte per block encryption (8-bit feedback).
//   cmCTR  key stream E(counter), counter little-endian in its first 8 bytes,
//     incremented before each block; the position carries across calls.
//   cmECB  blocks alone; a final partial block is encrypted even when decoding
//     (it cannot be decoded).
//   cmCTSMAC, cmCBCMAC, cmCFBMAC  only advance F; Dest is not written.
class TCipher : public TProtection {
 public:
  ~TCipher() override;

  const char* ClassName() const override { return FClass->ClassName; }
  TCipherClass CipherClass() const { return FClass; }

  TCipherMode Mode() const { return FMode; }
  void SetMode(TCipherMode mode) { FMode = mode; }
  // Null selects THash_RipeMD256. Changing the class releases the hash object.
  THashClass HashClass() const { return FHashClass; }
  void SetHashClass(THashClass hashClass);
  // The key hash, made on first use.
  THash& Hash();

  int32_t KeySize() const { return FKeySize; }
  int32_t BufSize() const { return FBufSize; }
  int32_t UserSize() const { return FUserSize; }
  // Bit 0: a key was set through InitKey; bit 1: the cipher is initialised.
  uint8_t Flags() const { return FFlags; }
  bool Initialized() const { return (FFlags & 2) != 0; }
  // The initial vector and the feedback register, BufSize bytes each.
  const uint8_t* Vector() const { return FVector.data(); }
  const uint8_t* Feedback() const { return FFeedback.data(); }

  // Key from a password: the first min(DigestKeySize, KeySize) bytes of its
  // hash (HashClass). IVector: BufSize bytes or null.
  void InitKey(const AnsiString& key, const void* iVector);
  // Key from raw bytes (cut to KeySize). Afterwards Key holds the same number
  // of bytes encrypted under the new key: the plain key does not stay behind.
  void InitKey(TBytes& key, const void* iVector);
  // The class's key set-up. Size above KeySize raises ECipherException 2 when
  // CheckCipherKeySize() is on, else is cut. IVector: BufSize bytes or null
  // (the vector then is the encryption of a block of 0xFF bytes).
  virtual void Init(const void* key, int32_t size, const void* iVector) = 0;
  // Restarts the chaining: the feedback returns to the vector (its old value
  // moves to the work block).
  virtual void Done();
  // Wipes key schedule, blocks and counter; the cipher is no longer initialised.
  virtual void Protect();
  // One block in place. Raise ECipherException 3 before a key is set.
  virtual void EncodeBlock(void* data) = 0;
  virtual void DecodeBlock(void* data) = 0;

  // Code DataSize bytes in the current mode. Source and Dest may be the same
  // buffer (or overlap). Raise ECipherException 3 when not initialised.
  void EncodeBuffer(const void* source, void* dest, int32_t dataSize);
  void DecodeBuffer(const void* source, void* dest, int32_t dataSize);

  // Raises "Not implemented 14".
  static void SelfTest();
  virtual TBytes GetTestVector() const;

  // Require an initialised cipher; call Done (except for paCalc); paWipe raises
  // "Not implemented 12".
  void BeginCoding(TPAction action) override;
  void EndCoding(TPAction action) override;
  // paDecode: decode, then pass on; others: pass on, then encode (each only
  // when the action is allowed).
  void CodeChunk(void* buffer, int32_t size, TPAction action) override;

 protected:
  // Sizes from the class, buffers allocated, Protect, no key-stream byte left.
  explicit TCipher(TCipherClass cipherClass);
  // Common set-up of the password constructors: chain, all actions, key hash.
  void SetUpForPassword(const AnsiString& password, std::shared_ptr<TProtection> protection);

  // Raises ECipherException 3 unless initialised.
  void CheckInitialized() const;
  // EncodeBuffer / DecodeBuffer: the checks and overlap handling they share.
  void CodeBlocks(const void* source, void* dest, int32_t dataSize, bool encode);
  // Start and end of a key set-up (steps shared by all classes). InitBegin
  // returns the usable key size.
  int32_t InitBegin(int32_t size);
  void InitEnd(const void* iVector);

  // Counter mode over Count bytes from Src to Dst (same or disjoint). The base
  // codes block by block with EncodeBlock; a class may supply a faster path
  // with the same key stream and state.
  virtual void CodeCTR(const uint8_t* src, uint8_t* dst, size_t count);
  // Next counter value: little-endian increment of the first 8 bytes.
  void IncrementNonce();

  TCipherMode FMode = cmCTS;
  std::shared_ptr<THash> FHash;
  THashClass FHashClass = nullptr;
  int32_t FKeySize;
  int32_t FBufSize;
  int32_t FUserSize;
  TBytes FBuffer;
  TBytes FVector;
  TBytes FFeedback;
  TBytes FUser;
  uint8_t FFlags = 0;
  int32_t ctrMode_Position;
  TBytes ctrMode_EncryptionBlock;
  TBytes ctrMode_Nonce;

 private:
  void Encode(const uint8_t* src, uint8_t* dst, size_t count);
  void Decode(const uint8_t* src, uint8_t* dst, size_t count);
  void EncodePartialWithFeedback(const uint8_t* src, uint8_t* dst, size_t count);
  void MacPartial();
  void ShiftFeedback(uint8_t in);

  TCipherClass FClass;
};

// AES: 16-byte blocks, keys up to 32 bytes (10, 12 or 14 rounds by key length),
// a 480-byte schedule holding the encryption and the decryption round keys.
// Uses the processor's AES instructions when present; the table-driven code
// gives the same output everywhere else.
class TCipher_Rijndael : public TCipher {
 public:
  // Chain, all actions, RIPEMD-256 key hash; InitKey(Password) when not empty.
  explicit TCipher_Rijndael(const AnsiString& password = {},
                            std::shared_ptr<TProtection> protection = nullptr);
  // The engine's path: InitKey(Key, no vector) with no chain and no actions.
  // Key is replaced by its encryption (see InitKey).
  explicit TCipher_Rijndael(TBytes& key);
  ~TCipher_Rijndael() override;

  static TCipherClass Class();
  static void GetContextSizes(int32_t& bufSize, int32_t& keySize, int32_t& userSize);
  static int32_t MaxKeySize() { return 32; }
  TBytes GetTestVector() const override;  // raises "Not implemented 20"

  void Init(const void* key, int32_t size, const void* iVector) override;
  void EncodeBlock(void* data) override;
  void DecodeBlock(void* data) override;
  int32_t Rounds() const { return FRounds; }

  // Whether this processor has AES instructions.
  static bool HasAesInstructions();
  bool UsesAesInstructions() const { return FUseAesNi; }
  // Off forces the table-driven code; on takes effect only where the
  // instructions exist.
  void SetUseAesInstructions(bool value) { FUseAesNi = value && HasAesInstructions(); }

 protected:
  void CodeCTR(const uint8_t* src, uint8_t* dst, size_t count) override;

 private:
  void CheckKey() const;

  int32_t FRounds = 0;
  bool FUseAesNi;
};

// --- Cipher list ---------------------------------------------------------------

struct TCipherListEntry {
  UString Text;  // "Name=Description"
  TCipherClass Class;
};

// The class's name in the list: its class name without the leading "T" and
// without everything up to and including the first "_" (TCipher_Rijndael:
// "Rijndael").
UString CipherName(TCipherClass cipherClass);
// Adds the class, or replaces the text of an already listed class.
void RegisterCipher(TCipherClass cipherClass, const UString& description);
// Holds "Rijndael=" from the start.
const std::vector<TCipherListEntry>& CipherList();

}  // namespace kelvane
