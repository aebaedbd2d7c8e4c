// The engine's and the dialog's questions as native modal dialogs: message
// boxes with the buttons asked for (the system's MessageBox has no "All") and
// the password query laid out as PasswordDialogLayout gives it, both built at
// run time and scaled for the monitor they appear on.
#pragma once

#include "platform/Dialogs.h"

namespace kelvane {

// Every box is modal to the active window of the program and centred on its
// monitor; closing one without a button (Escape without a Cancel button, the
// close box) gives NonInteractiveAnswer, so nothing is answered that was not
// offered.
class TWinDialogs : public TDialogs {
 public:
  // Describe: each box, once shown, is written to standard output in one line
  // for the window test, as the FLTK boxes do: "box <caption> <type> <buttons>
  // default <button> <text>" (CR LF as \r\n), "query <caption> <prompt>
  // masked|plain <w>x<h>" (sizes at 96 DPI).
  explicit TWinDialogs(bool describe = false) : FDescribe(describe) {}
  TModalResult MessageDlg(const UString& text, const UString& caption, TMsgDlgType type,
                          TMsgDlgButtons buttons, TMsgDlgBtn defaultButton) override;
  bool InputQuery(const UString& caption, const UString& prompt, UString& value,
                  bool masked) override;

 private:
  bool FDescribe;
};

}  // namespace kelvane
