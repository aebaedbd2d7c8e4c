#include "platform/Component.h"

#include <algorithm>

#include "platform/Text.h"

namespace kelvane {

void TPersistent::Assign(const TPersistent& source) {
  throw EConvertError(
      U(std::string("Cannot assign a ") + source.ClassName() + " to a " + ClassName()));
}

TComponent::TComponent(TComponent* owner) {
  if (owner) owner->InsertComponent(this);
}

TComponent::~TComponent() {
  while (!FComponents.empty())
    delete FComponents.back();  // child removes itself
  if (FOwner) FOwner->RemoveComponent(this);
}

void TComponent::InsertComponent(TComponent* child) {
  child->FOwner = this;
  FComponents.push_back(child);
}

void TComponent::RemoveComponent(TComponent* child) {
  auto it = std::find(FComponents.begin(), FComponents.end(), child);
  if (it != FComponents.end()) FComponents.erase(it);
  child->FOwner = nullptr;
}

int TStringList::Add(const UString& s) {
  FItems.push_back(s);
  return Count() - 1;
}

void TStringList::Insert(int index, const UString& s) {
  if (index < 0 || index > Count()) throw Exception("List index out of bounds");
  FItems.insert(FItems.begin() + index, s);
}

void TStringList::Delete(int index) {
  if (index < 0 || index >= Count()) throw Exception("List index out of bounds");
  FItems.erase(FItems.begin() + index);
}

void TStringList::Clear() {
  FItems.clear();
}

int TStringList::IndexOf(const UString& s) const {
  auto lower = [](char16_t c) { return c >= u'A' && c <= u'Z' ? char16_t(c + 32) : c; };
  for (int i = 0; i < Count(); ++i) {
    const UString& item = FItems[static_cast<size_t>(i)];
    if (item.size() == s.size() &&
        std::equal(item.begin(), item.end(), s.begin(),
                   [&](char16_t a, char16_t b) { return lower(a) == lower(b); }))
      return i;
  }
  return -1;
}

void TStringList::Assign(const TPersistent& source) {
  if (auto* list = dynamic_cast<const TStringList*>(&source)) {
    FItems = list->FItems;
    return;
  }
  TPersistent::Assign(source);
}

}  // namespace kelvane
