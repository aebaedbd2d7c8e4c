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
  TModalResult MessageDlg(const UString& text, const UString& caption, TMsgDlgType type,
                          TMsgDlgButtons buttons, TMsgDlgBtn defaultButton) override;
  bool InputQuery(const UString& caption, const UString& prompt, UString& value,
                  bool masked) override;
};

}  // namespace kelvane
