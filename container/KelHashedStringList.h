// A chained hash from strings to list indexes, and a string list that keeps
// such hashes of its strings, rebuilt lazily after changes that move indexes.
#pragma once

#include <memory>
#include <vector>

#include "platform/Component.h"

namespace kelvane {

struct THashItem {
  THashItem* Next = nullptr;
  UString Key;
  int32_t Value = 0;
};

// Keys are compared exactly. Duplicates are allowed: a new item goes to the head
// of its chain, so the item added last is the one found first.
class TKelStringHash {
 public:
  // At least one bucket, also for aSize 0.
  explicit TKelStringHash(uint32_t aSize);
  virtual ~TKelStringHash();
  TKelStringHash(const TKelStringHash&) = delete;
  TKelStringHash& operator=(const TKelStringHash&) = delete;

  // A keyed hash of the UTF-16 code units, its key drawn from the system's
  // random source once per process: equal keys hash alike in every table of
  // the process, and an archive cannot pick names that collide. Raises
  // Exception only when the random source fails on first use.
  virtual uint32_t HashKey(UStringView Key) const;

  uint32_t Size() const { return FSize; }
  void Add(UStringView Key, int32_t Value);
  // Unlinks the first item of Key; nothing when there is none.
  void Remove(UStringView Key);
  // Unlinks the item of Key that holds Value; with duplicate keys this is the
  // one a list entry owns, which Remove(Key) may not be.
  void Remove(UStringView Key, int32_t Value);
  // Sets the Value of the first item of Key; false when there is none.
  bool Modify(UStringView Key, int32_t Value);
  // Value of the first item of Key, or -1.
  int32_t ValueOf(UStringView Key) const;
  void Clear();

 protected:
  // The link (bucket head or Next field) that refers to the first item of Key,
  // or the null link at the end of Key's chain.
  THashItem** FindLink(UStringView Key) const;

  std::vector<THashItem*> Buckets;
  uint32_t FSize;
};

// Ordered string list, case-insensitive for ASCII letters, with a value hash
// (string -> index) and a name hash (text before the first '=' -> index).
// IndexOf of a string held more than once gives the occurrence added last;
// after a rebuild that is the highest index. Changes that move indexes only mark
// the hashes stale; the next lookup rebuilds them.
class TKelHashedStringList : public TStringList {
 public:
  TKelHashedStringList() = default;
  TKelHashedStringList(const TKelHashedStringList&) = delete;
  TKelHashedStringList& operator=(const TKelHashedStringList&) = delete;

  int Add(const UString& S) override;
  // Inserting moves the indexes behind it: both hashes go stale.
  void Insert(int Index, const UString& S) override;
  // Raises Exception when Index is not in the list.
  void Update(int Index, const UString& NewValue);
  // Hides TStringList::SetStrings so the hashes follow; same as Update.
  void SetStrings(int Index, const UString& S) { Update(Index, S); }
  void Delete(int Index) override;
  void Clear() override;
  int IndexOf(const UString& S) const override;
  int IndexOfName(const UString& Name) const;
  void Assign(const TPersistent& Source) override;
  const char* ClassName() const override { return "TKelHashedStringList"; }

  // Buckets of the value hash, 0 while it is absent (for the growth rule).
  uint32_t ValueHashSize() const { return FValueHash ? FValueHash->Size() : 0; }

 private:
  void RebuildValueHash() const;
  void RebuildNameHash() const;
  void Invalidate();

  mutable std::unique_ptr<TKelStringHash> FValueHash;
  mutable std::unique_ptr<TKelStringHash> FNameHash;
  mutable bool FValueHashValid = true;
  mutable bool FNameHashValid = false;
};

}  // namespace kelvane
