// Modal questions to the user: message boxes and the (masked) input query.
//
// Everything the engine and the programs ask goes through the current TDialogs
// provider, so the same code runs with a window toolkit, in a terminal, under a
// test script or without anyone to answer. This header knows no toolkit.
#pragma once

#include <initializer_list>

#include "platform/Types.h"

namespace kelvane {

// The icon of a message box; mtCustom shows none.
enum TMsgDlgType : uint8_t { mtWarning, mtError, mtInformation, mtConfirmation, mtCustom };

enum TMsgDlgBtn : uint8_t {
  mbYes,
  mbNo,
  mbOK,
  mbCancel,
  mbAbort,
  mbRetry,
  mbIgnore,
  mbAll,
  mbNoToAll,
  mbYesToAll
};
inline constexpr TMsgDlgBtn kMsgDlgBtns[] = {mbYes,   mbNo,     mbOK,  mbCancel,  mbAbort,
                                             mbRetry, mbIgnore, mbAll, mbNoToAll, mbYesToAll};

// What a modal box gives back: the button pressed (mrNone: closed without one).
enum TModalResult : uint8_t {
  mrNone,
  mrOk,
  mrCancel,
  mrAbort,
  mrRetry,
  mrIgnore,
  mrYes,
  mrNo,
  mrAll,
  mrNoToAll,
  mrYesToAll
};

// A set of buttons, shown in the order of TMsgDlgBtn.
class TMsgDlgButtons {
 public:
  constexpr TMsgDlgButtons() = default;
  constexpr TMsgDlgButtons(std::initializer_list<TMsgDlgBtn> buttons) {
    for (TMsgDlgBtn b : buttons)
      FBits |= Bit(b);
  }
  constexpr bool Contains(TMsgDlgBtn b) const { return (FBits & Bit(b)) != 0; }
  constexpr bool Empty() const { return FBits == 0; }
  constexpr bool operator==(const TMsgDlgButtons&) const = default;

 private:
  static constexpr uint16_t Bit(TMsgDlgBtn b) { return static_cast<uint16_t>(1u << b); }
  uint16_t FBits = 0;
};

TModalResult ModalResultOf(TMsgDlgBtn button);
// The button's caption: "Yes", "No", "OK", "Cancel", "Abort", "Retry", "Ignore",
// "All", "No to All", "Yes to All".
UString ButtonCaption(TMsgDlgBtn button);
// The usual caption of a box of that kind: "Warning", "Error", "Information",
// "Confirm", and the empty text for mtCustom.
UString DefaultCaption(TMsgDlgType type);

// What every provider shows: an empty set stands for OK alone.
TMsgDlgButtons OfferedButtons(TMsgDlgButtons buttons);
// The button taken when the user just confirms: Default when it is offered,
// else the first offered button.
TMsgDlgBtn EffectiveDefault(TMsgDlgButtons buttons, TMsgDlgBtn defaultButton);
// The answer when nobody can be asked: Cancel when offered, else Abort, else
// No, else the effective default. Never an answer that was not offered.
TModalResult NonInteractiveAnswer(TMsgDlgButtons buttons, TMsgDlgBtn defaultButton);

class TDialogs {
 public:
  virtual ~TDialogs() = default;
  // Shows Text under Caption with the icon of Type and Buttons (an empty set
  // means OK), DefaultButton preselected; blocks until one is chosen and
  // returns its modal result. Providers return only results of offered buttons.
  virtual TModalResult MessageDlg(const UString& text, const UString& caption, TMsgDlgType type,
                                  TMsgDlgButtons buttons, TMsgDlgBtn defaultButton) = 0;
  // Asks for one line of at most 255 characters under Caption, after Prompt,
  // starting from Value; Masked hides what is typed. True when confirmed, and
  // then Value holds the text; false when cancelled, and Value is unchanged.
  virtual bool InputQuery(const UString& caption, const UString& prompt, UString& value,
                          bool masked) = 0;
};

// Answers at once, as NonInteractiveAnswer; input queries are cancelled.
class TNonInteractiveDialogs : public TDialogs {
 public:
  TModalResult MessageDlg(const UString& text, const UString& caption, TMsgDlgType type,
                          TMsgDlgButtons buttons, TMsgDlgBtn defaultButton) override;
  bool InputQuery(const UString& caption, const UString& prompt, UString& value,
                  bool masked) override;
};

// The process-wide provider. Until one is set: the terminal when standard input
// is a terminal, else the non-interactive provider.
TDialogs& CurrentDialogs();
// Makes Provider current (null: back to the default) and returns the previous
// one. The caller keeps Provider alive while it is current.
TDialogs* SetCurrentDialogs(TDialogs* provider);

// Makes a provider current for as long as it lives, then puts the previous one back.
class TCurrentDialogsScope {
 public:
  explicit TCurrentDialogsScope(TDialogs& provider) : FPrevious(SetCurrentDialogs(&provider)) {}
  ~TCurrentDialogsScope() { SetCurrentDialogs(FPrevious); }
  TCurrentDialogsScope(const TCurrentDialogsScope&) = delete;
  TCurrentDialogsScope& operator=(const TCurrentDialogsScope&) = delete;

 private:
  TDialogs* FPrevious;
};

// CurrentDialogs().MessageDlg with the usual caption of Type.
TModalResult MessageDlg(const UString& text, TMsgDlgType type, TMsgDlgButtons buttons,
                        TMsgDlgBtn defaultButton);

}  // namespace kelvane
