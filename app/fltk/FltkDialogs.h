// The engine's and the dialog's questions as FLTK boxes: message boxes with the
// buttons asked for, and the input query (masked for passwords) laid out as
// PasswordDialogLayout gives it.
#pragma once

#include "platform/Dialogs.h"

namespace kelvane {

// Needs an open display. Every box is modal and centred on the screen; closing
// one without a button (Escape without a Cancel button, the close box) gives
// NonInteractiveAnswer, so nothing is answered that was not offered.
class TFltkDialogs : public TDialogs {
 public:
  // Describe: each box, once shown, is written to standard output in one line
  // for the window test: "box <caption> <type> <buttons> default <button>
  // <text>" (CR LF as \r\n), "query <caption> <prompt> masked|plain <w>x<h>".
  explicit TFltkDialogs(bool describe = false) : FDescribe(describe) {}
  TModalResult MessageDlg(const UString& text, const UString& caption, TMsgDlgType type,
                          TMsgDlgButtons buttons, TMsgDlgBtn defaultButton) override;
  bool InputQuery(const UString& caption, const UString& prompt, UString& value,
                  bool masked) override;

 private:
  bool FDescribe;
};

}  // namespace kelvane
