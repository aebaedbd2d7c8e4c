#include "platform/Dialogs.h"

#include <atomic>

#include "platform/TerminalDialogs.h"
#include "platform/TerminalIO.h"

namespace kelvane {

TModalResult ModalResultOf(TMsgDlgBtn button) {
  switch (button) {
    case mbYes:
      return mrYes;
    case mbNo:
      return mrNo;
    case mbOK:
      return mrOk;
    case mbCancel:
      return mrCancel;
    case mbAbort:
      return mrAbort;
    case mbRetry:
      return mrRetry;
    case mbIgnore:
      return mrIgnore;
    case mbAll:
      return mrAll;
    case mbNoToAll:
      return mrNoToAll;
    case mbYesToAll:
      return mrYesToAll;
  }
  return mrNone;
}

UString ButtonCaption(TMsgDlgBtn button) {
  switch (button) {
    case mbYes:
      return u"Yes";
    case mbNo:
      return u"No";
    case mbOK:
      return u"OK";
    case mbCancel:
      return u"Cancel";
    case mbAbort:
      return u"Abort";
    case mbRetry:
      return u"Retry";
    case mbIgnore:
      return u"Ignore";
    case mbAll:
      return u"All";
    case mbNoToAll:
      return u"No to All";
    case mbYesToAll:
      return u"Yes to All";
  }
  return {};
}

UString DefaultCaption(TMsgDlgType type) {
  switch (type) {
    case mtWarning:
      return u"Warning";
    case mtError:
      return u"Error";
    case mtInformation:
      return u"Information";
    case mtConfirmation:
      return u"Confirm";
    case mtCustom:
      return {};
  }
  return {};
}

TMsgDlgButtons OfferedButtons(TMsgDlgButtons buttons) {
  return buttons.Empty() ? TMsgDlgButtons{mbOK} : buttons;
}

TMsgDlgBtn EffectiveDefault(TMsgDlgButtons buttons, TMsgDlgBtn defaultButton) {
  buttons = OfferedButtons(buttons);
  if (buttons.Contains(defaultButton)) return defaultButton;
  for (TMsgDlgBtn b : kMsgDlgBtns)
    if (buttons.Contains(b)) return b;
  return mbOK;
}

TModalResult NonInteractiveAnswer(TMsgDlgButtons buttons, TMsgDlgBtn defaultButton) {
  buttons = OfferedButtons(buttons);
  for (TMsgDlgBtn b : {mbCancel, mbAbort, mbNo})
    if (buttons.Contains(b)) return ModalResultOf(b);
  return ModalResultOf(EffectiveDefault(buttons, defaultButton));
}

TModalResult TNonInteractiveDialogs::MessageDlg(const UString&, const UString&, TMsgDlgType,
                                                TMsgDlgButtons buttons, TMsgDlgBtn defaultButton) {
  return NonInteractiveAnswer(buttons, defaultButton);
}

bool TNonInteractiveDialogs::InputQuery(const UString&, const UString&, UString&, bool) {
  return false;
}

namespace {

TDialogs& DefaultDialogs() {
  // Decided once: whether anyone can answer does not change while we run.
  static TTerminalDialogs terminal;
  static TNonInteractiveDialogs nobody;
  static const bool interactive = IsTerminal(0);
  if (interactive) return terminal;
  return nobody;
}

std::atomic<TDialogs*> currentDialogs{nullptr};

}  // namespace

TDialogs& CurrentDialogs() {
  TDialogs* provider = currentDialogs.load();
  return provider ? *provider : DefaultDialogs();
}

TDialogs* SetCurrentDialogs(TDialogs* provider) {
  TDialogs* previous = currentDialogs.exchange(provider);
  return previous ? previous : &DefaultDialogs();
}

TModalResult MessageDlg(const UString& text, TMsgDlgType type, TMsgDlgButtons buttons,
                        TMsgDlgBtn defaultButton) {
  return CurrentDialogs().MessageDlg(text, DefaultCaption(type), type, buttons, defaultButton);
}

}  // namespace kelvane
