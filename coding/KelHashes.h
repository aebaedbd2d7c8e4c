// Hash classes of the coding-object library: the abstract THash, MD4 and
// RIPEMD-256 (the default key hash of every cipher).
#pragma once

#include "coding/KelDecUtil.h"

namespace kelvane {

class THash;

// A hash class: what the library knows about a hash without an object of it.
struct THashClassDesc {
  const char* ClassName;
  int32_t DigestKeySize;
  std::shared_ptr<THash> (*Create)();
};
using THashClass = const THashClassDesc*;

// Computes nothing: Calc ignores its data, DigestKey raises.
class THash : public TProtection {
 public:
  explicit THash(std::shared_ptr<TProtection> protection = nullptr);
  const char* ClassName() const override { return "THash"; }
  static THashClass Class();
  virtual THashClass HashClass() const { return Class(); }

  // Raises "Not implemented 14" (28 for MD4, 31 for RIPEMD-256).
  virtual TBytes GetTestVector() const;
  virtual void Init() {}
  virtual void Calc(const void* data, int32_t size);
  virtual void Done() {}
  // The digest after Done, DigestKeySize bytes. Raises "Not implemented 14" here.
  virtual TBytes DigestKey();
  static int32_t DigestKeySize() { return 0; }
  // The digest in the given string format (raises as StrToFormat does).
  AnsiString DigestStr(int32_t format);

  // Hash the data with a temporary object of HashClass and return the digest
  // in Format.
  static AnsiString CalcBuffer(THashClass hashClass, const void* buffer, int32_t size,
                               int32_t format);
  // Size < 0: all of Stream from position 0.
  static AnsiString CalcStream(THashClass hashClass, TStream& stream, int64_t size, int32_t format);
  static AnsiString CalcString(THashClass hashClass, const AnsiString& data, int32_t format);
  static AnsiString CalcFile(THashClass hashClass, const UString& fileName, int32_t format);
  // Raises "Not implemented 14".
  static void SelfTest();

  // BeginCoding starts the hash (paWipe raises "Not implemented 12"); EndCoding
  // finishes it for paCalc and restarts it otherwise; CodeChunk adds the data
  // when the action is allowed. All pass the call on down the chain.
  void BeginCoding(TPAction action) override;
  void EndCoding(TPAction action) override;
  void CodeChunk(void* buffer, int32_t size, TPAction action) override;
};

// MD4 (RFC 1320). RIPEMD-256 shares its buffering.
class THash_MD4 : public THash {
 public:
  explicit THash_MD4(std::shared_ptr<TProtection> protection = nullptr);
  ~THash_MD4() override;
  const char* ClassName() const override { return "THash_MD4"; }
  static THashClass Class();
  THashClass HashClass() const override { return Class(); }

  TBytes GetTestVector() const override;  // raises "Not implemented 28"
  void Init() override;
  void Calc(const void* data, int32_t size) override;
  void Done() override;
  TBytes DigestKey() override;
  static int32_t DigestKeySize() { return 16; }

 protected:
  virtual void Transform(const uint8_t* block);
  virtual int32_t DigestWords() const { return 4; }

  // A 64-bit byte count, so that data beyond 4 GiB still hashes correctly.
  uint64_t FCount = 0;
  uint8_t FBuffer[64] = {};
  uint32_t FDigest[10] = {};
};

// RIPEMD-256: two parallel MD4-like lines exchanging one word after each round.
class THash_RipeMD256 : public THash_MD4 {
 public:
  explicit THash_RipeMD256(std::shared_ptr<TProtection> protection = nullptr);
  const char* ClassName() const override { return "THash_RipeMD256"; }
  static THashClass Class();
  THashClass HashClass() const override { return Class(); }

  TBytes GetTestVector() const override;  // raises "Not implemented 31"
  void Init() override;
  static int32_t DigestKeySize() { return 32; }

 protected:
  void Transform(const uint8_t* block) override;
  int32_t DigestWords() const override { return 8; }
};

}  // namespace kelvane
