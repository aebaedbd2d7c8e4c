// Base exception of the whole system: a UTF-16 message with a UTF-8 what().
#pragma once

#include <exception>

#include "platform/Types.h"

namespace kelvane {

class Exception : public std::exception {
 public:
  explicit Exception(UString message);
  explicit Exception(std::string_view utf8Message);

  const UString& Message() const noexcept { return FMessage; }
  void SetMessage(UString message);
  const char* what() const noexcept override { return FUtf8.c_str(); }

 private:
  UString FMessage;
  std::string FUtf8;
};

// Platform input/output failure (for example creating a folder from an empty path).
class EInOutError : public Exception {
 public:
  using Exception::Exception;
};

}  // namespace kelvane
