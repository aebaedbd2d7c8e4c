// A dialog provider driven by a script of answers, recording every question:
// the tests' stand-in for a user.
#pragma once

#include <deque>
#include <vector>

#include "platform/Dialogs.h"

namespace kelvane {

enum TDialogQuestionKind : uint8_t { dqMessage, dqInput };

struct TDialogQuestion {
  TDialogQuestionKind Kind = dqMessage;
  UString Caption;
  UString Text;  // the message, or the prompt of an input query
  TMsgDlgType Type = mtCustom;
  TMsgDlgButtons Buttons;  // as offered by the caller
  TMsgDlgBtn DefaultButton = mbOK;
  UString Value;  // input queries: the value offered
  bool Masked = false;
};

// Answers the questions in order from a queue. With the queue empty it answers
// as TNonInteractiveDialogs. Raises Exception when the next scripted answer does
// not fit the question (a message result for an input query or the reverse, or
// a result whose button was not offered), so a wrong script cannot pass unseen.
class TScriptedDialogs : public TDialogs {
 public:
  // The next message box answers Result.
  void Answer(TModalResult result);
  // The next input query is confirmed with Value.
  void AnswerInput(const UString& value);
  // The next input query is cancelled.
  void CancelInput();

  const std::vector<TDialogQuestion>& Questions() const { return FQuestions; }
  size_t PendingAnswers() const { return FAnswers.size(); }

  TModalResult MessageDlg(const UString& text, const UString& caption, TMsgDlgType type,
                          TMsgDlgButtons buttons, TMsgDlgBtn defaultButton) override;
  bool InputQuery(const UString& caption, const UString& prompt, UString& value,
                  bool masked) override;

 private:
  struct TAnswer {
    TDialogQuestionKind Kind;
    TModalResult Result;  // messages; inputs: mrOk confirmed, mrCancel cancelled
    UString Value;
  };
  std::deque<TAnswer> FAnswers;
  std::vector<TDialogQuestion> FQuestions;
};

}  // namespace kelvane
