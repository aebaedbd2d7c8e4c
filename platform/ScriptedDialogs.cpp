#include "platform/ScriptedDialogs.h"

#include "platform/Exception.h"

namespace kelvane {

void TScriptedDialogs::Answer(TModalResult result) {
  FAnswers.push_back({dqMessage, result, {}});
}

void TScriptedDialogs::AnswerInput(const UString& value) {
  FAnswers.push_back({dqInput, mrOk, value});
}

void TScriptedDialogs::CancelInput() {
  FAnswers.push_back({dqInput, mrCancel, {}});
}

TModalResult TScriptedDialogs::MessageDlg(const UString& text, const UString& caption,
                                          TMsgDlgType type, TMsgDlgButtons buttons,
                                          TMsgDlgBtn defaultButton) {
  FQuestions.push_back({dqMessage, caption, text, type, buttons, defaultButton, {}, false});
  if (FAnswers.empty()) return NonInteractiveAnswer(buttons, defaultButton);
  const TAnswer answer = FAnswers.front();
  FAnswers.pop_front();
  if (answer.Kind != dqMessage)
    throw Exception(u"Scripted dialogs: an input answer was queued, but the message \"" + text +
                    u"\" was shown");
  const TMsgDlgButtons offered = OfferedButtons(buttons);
  for (TMsgDlgBtn b : kMsgDlgBtns)
    if (offered.Contains(b) && ModalResultOf(b) == answer.Result) return answer.Result;
  throw Exception(u"Scripted dialogs: the queued answer is not a button of the message \"" + text +
                  u"\"");
}

bool TScriptedDialogs::InputQuery(const UString& caption, const UString& prompt, UString& value,
                                  bool masked) {
  FQuestions.push_back({dqInput, caption, prompt, mtCustom, {mbOK, mbCancel}, mbOK, value, masked});
  if (FAnswers.empty()) return false;
  const TAnswer answer = FAnswers.front();
  FAnswers.pop_front();
  if (answer.Kind != dqInput)
    throw Exception(u"Scripted dialogs: a message answer was queued, but the input query \"" +
                    caption + u"\" was shown");
  if (answer.Result != mrOk) return false;
  value = answer.Value;
  return true;
}

}  // namespace kelvane
