#include "container/KelExcept.h"

#include <algorithm>

#include "container/KelConst.h"

namespace kelvane {

EKelException::EKelException(int NativeErr, const TComponent* Component) : Exception(UString()) {
  Build(NativeErr, nullptr, Component);
}

EKelException::EKelException(int NativeErr, std::initializer_list<TFormatArg> Args,
                             const TComponent* Component)
    : Exception(UString()) {
  const std::vector<TFormatArg> args(Args);
  Build(NativeErr, &args, Component);
}

void EKelException::Build(int NativeErr, const std::vector<TFormatArg>* Args,
                          const TComponent* Component) {
  NativeError = NativeErr;
  ErrorCode = 0;
  for (const TKelErrorCodePair& pair : KelErrorCodes) {
    if (pair.NativeCode == NativeErr) {
      ErrorCode = pair.MessageIndex;
      break;
    }
  }
  const UString text = KelMessages[static_cast<size_t>(ErrorCode)];
  UString msg = Args ? Format(text, *Args) : text;
  if (Component && !Component->Name().empty()) msg = Format(u"%s: %s", {Component->Name(), msg});
  UString number = Format(u"%5d", {int64_t{NativeErr}});
  std::replace(number.begin(), number.end(), u' ', u'0');
  SetMessage(msg + u" - Native error: " + number);
}

}  // namespace kelvane
