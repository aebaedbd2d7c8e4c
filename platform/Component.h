// Owned components and assignable objects, the base of the engine's classes.
#pragma once

#include <vector>

#include "platform/Exception.h"

namespace kelvane {

// An object whose state can be copied from another of a compatible kind.
class TPersistent {
 public:
  virtual ~TPersistent() = default;
  // Raises EConvertError when Source is of a kind this object cannot take.
  virtual void Assign(const TPersistent& source);
  virtual const char* ClassName() const { return "TPersistent"; }
};

class EConvertError : public Exception {
 public:
  using Exception::Exception;
};

// A component belongs to its owner, which destroys it; destroying a component
// first destroys what it owns (last created first).
class TComponent : public TPersistent {
 public:
  explicit TComponent(TComponent* owner);
  ~TComponent() override;
  TComponent(const TComponent&) = delete;
  TComponent& operator=(const TComponent&) = delete;

  TComponent* Owner() const { return FOwner; }
  const UString& Name() const { return FName; }
  void SetName(const UString& name) { FName = name; }
  intptr_t Tag() const { return FTag; }
  void SetTag(intptr_t tag) { FTag = tag; }
  int ComponentCount() const { return static_cast<int>(FComponents.size()); }
  TComponent* Components(int index) const { return FComponents.at(static_cast<size_t>(index)); }
  const char* ClassName() const override { return "TComponent"; }

 private:
  void InsertComponent(TComponent* child);
  void RemoveComponent(TComponent* child);

  TComponent* FOwner = nullptr;
  UString FName;
  intptr_t FTag = 0;
  std::vector<TComponent*> FComponents;
};

// Ordered list of strings; duplicates allowed, not sorted.
class TStringList : public TPersistent {
 public:
  TStringList() = default;
  TStringList(std::initializer_list<UString> items) : FItems(items) {}

  int Count() const { return static_cast<int>(FItems.size()); }
  const UString& Strings(int index) const { return FItems.at(static_cast<size_t>(index)); }
  void SetStrings(int index, const UString& s) { FItems.at(static_cast<size_t>(index)) = s; }
  virtual int Add(const UString& s);
  virtual void Insert(int index, const UString& s);
  virtual void Delete(int index);
  virtual void Clear();
  // Index of the first entry equal to S ignoring ASCII case, or -1.
  virtual int IndexOf(const UString& s) const;
  void Assign(const TPersistent& source) override;
  const char* ClassName() const override { return "TStringList"; }

  auto begin() const { return FItems.begin(); }
  auto end() const { return FItems.end(); }

 protected:
  std::vector<UString> FItems;
};

}  // namespace kelvane
