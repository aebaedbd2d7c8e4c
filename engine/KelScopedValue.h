// A field set for the duration of a scope, its old value put back on every
// path out of it.
#pragma once

namespace kelvane {

template <class T>
class TScopedValue {
 public:
  TScopedValue(T& field, T value) : FField(field), FSaved(field) { field = value; }
  ~TScopedValue() { FField = FSaved; }
  TScopedValue(const TScopedValue&) = delete;
  TScopedValue& operator=(const TScopedValue&) = delete;

 private:
  T& FField;
  T FSaved;
};

}  // namespace kelvane
