#include "platform/Exception.h"

#include "platform/Text.h"

namespace kelvane {

Exception::Exception(UString message) {
  SetMessage(std::move(message));
}

Exception::Exception(std::string_view utf8Message) {
  SetMessage(FromUtf8(utf8Message));
}

void Exception::SetMessage(UString message) {
  FMessage = std::move(message);
  FUtf8 = ToUtf8(FMessage);
}

}  // namespace kelvane
