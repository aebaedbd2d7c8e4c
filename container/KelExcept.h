// The engine's one exception class: a native error code naming the situation
// and a message index into the message table.
#pragma once

#include "platform/Component.h"
#include "platform/Format.h"

namespace kelvane {

class EKelException : public Exception {
 public:
  // Component may be null; a component with an empty Name adds no prefix.
  EKelException(int NativeErr, const TComponent* Component);
  // The table text is used as a format string for Args ("%s" strings, "%d" integers).
  EKelException(int NativeErr, std::initializer_list<TFormatArg> Args, const TComponent* Component);

  int32_t ErrorCode = 0;
  int32_t NativeError = 0;

 private:
  void Build(int NativeErr, const std::vector<TFormatArg>* Args, const TComponent* Component);
};

}  // namespace kelvane
