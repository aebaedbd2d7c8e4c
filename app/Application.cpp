#include "app/Application.h"

#include "app/AppTexts.h"
#include "platform/Dialogs.h"
#include "platform/Exception.h"
#include "platform/Text.h"

namespace kelvane {

UString ErrorDisplayText(const UString& message) {
  if (!message.empty() && message.back() > u'.') return message + u".";
  return message;
}

UString ExceptionMessage(const std::exception_ptr& error) {
  try {
    std::rethrow_exception(error);
  } catch (const Exception& e) {
    return e.Message();
  } catch (const std::exception& e) {
    return FromUtf8(e.what());
  } catch (...) {
    return u"Unknown error";
  }
}

void ShowException(const std::exception_ptr& error) {
  CurrentDialogs().MessageDlg(ErrorDisplayText(ExceptionMessage(error)), U(kApplicationTitle),
                              mtError, {mbOK}, mbOK);
}

bool RunHandler(const std::function<void()>& handler) {
  try {
    handler();
    return true;
  } catch (...) {
    ShowException(std::current_exception());
    return false;
  }
}

}  // namespace kelvane
