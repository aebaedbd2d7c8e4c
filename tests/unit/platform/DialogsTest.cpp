#include "platform/Dialogs.h"

#include <gtest/gtest.h>

#include "platform/Exception.h"
#include "platform/ScriptedDialogs.h"

namespace kelvane {
namespace {

TEST(NonInteractiveDialogs, AnswersCancelThenAbortThenNoThenTheDefault) {
  struct Case {
    TMsgDlgButtons buttons;
    TMsgDlgBtn defaultButton;
    TModalResult answer;
  };
  const Case cases[] = {
      {{mbOK, mbCancel}, mbOK, mrCancel},
      {{mbAbort, mbRetry, mbIgnore}, mbRetry, mrAbort},
      {{mbAbort, mbIgnore}, mbIgnore, mrAbort},
      {{mbYes, mbNo, mbNoToAll, mbYesToAll}, mbYes, mrNo},
      {{mbYes, mbNo, mbAll}, mbYes, mrNo},
      {{mbYes, mbNo, mbCancel}, mbYes, mrCancel},
      {{mbOK}, mbOK, mrOk},
      {{mbRetry, mbIgnore}, mbIgnore, mrIgnore},
      {{mbRetry, mbIgnore}, mbYes, mrRetry},  // default not offered: the first offered
      {{}, mbYes, mrOk},                      // no buttons: OK alone
  };
  TNonInteractiveDialogs dialogs;
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "default " << int(c.defaultButton));
    EXPECT_EQ(dialogs.MessageDlg(u"text", u"caption", mtConfirmation, c.buttons, c.defaultButton),
              c.answer);
  }
  UString value = u"kept";
  EXPECT_FALSE(dialogs.InputQuery(u"Password", u"Enter password: ", value, true));
  EXPECT_EQ(value, u"kept");
}

TEST(ScriptedDialogs, AnswersInOrderAndRecordsEveryQuestion) {
  TScriptedDialogs dialogs;
  dialogs.Answer(mrNoToAll);
  dialogs.AnswerInput(u"secret");
  dialogs.CancelInput();

  EXPECT_EQ(dialogs.MessageDlg(u"Overwrite?", u"Confirm", mtConfirmation,
                               {mbYes, mbNo, mbNoToAll, mbYesToAll}, mbYes),
            mrNoToAll);
  UString value;
  EXPECT_TRUE(dialogs.InputQuery(u"Password for \"a.txt\"", u"Enter password: ", value, true));
  EXPECT_EQ(value, u"secret");
  EXPECT_FALSE(dialogs.InputQuery(u"Password for \"b.txt\"", u"Enter password: ", value, true));
  EXPECT_EQ(value, u"secret");
  EXPECT_EQ(dialogs.PendingAnswers(), 0u);
  // With the script used up it answers like nobody is there.
  EXPECT_EQ(dialogs.MessageDlg(u"Please insert the first disk", u"Confirm", mtConfirmation,
                               {mbOK, mbCancel}, mbOK),
            mrCancel);
  EXPECT_FALSE(dialogs.InputQuery(u"c", u"p", value, false));

  const auto& q = dialogs.Questions();
  ASSERT_EQ(q.size(), 5u);
  EXPECT_EQ(q[0].Kind, dqMessage);
  EXPECT_EQ(q[0].Text, u"Overwrite?");
  EXPECT_EQ(q[0].Caption, u"Confirm");
  EXPECT_EQ(q[0].Type, mtConfirmation);
  EXPECT_EQ(q[0].Buttons, (TMsgDlgButtons{mbYes, mbNo, mbNoToAll, mbYesToAll}));
  EXPECT_EQ(q[0].DefaultButton, mbYes);
  EXPECT_EQ(q[1].Kind, dqInput);
  EXPECT_EQ(q[1].Caption, u"Password for \"a.txt\"");
  EXPECT_EQ(q[1].Text, u"Enter password: ");
  EXPECT_TRUE(q[1].Masked);
  EXPECT_EQ(q[1].Value, u"");
  EXPECT_EQ(q[2].Value, u"secret");  // the value offered the second time
  EXPECT_EQ(q[3].Buttons, (TMsgDlgButtons{mbOK, mbCancel}));
  EXPECT_FALSE(q[4].Masked);
}

TEST(ScriptedDialogs, AnAnswerThatDoesNotFitTheQuestionRaises) {
  TScriptedDialogs dialogs;
  dialogs.Answer(mrRetry);
  // The name-too-long failure offers no Retry.
  EXPECT_THROW(
      dialogs.MessageDlg(u"too long", u"Confirm", mtConfirmation, {mbAbort, mbIgnore}, mbAbort),
      Exception);
  dialogs.AnswerInput(u"x");
  EXPECT_THROW(dialogs.MessageDlg(u"m", u"Confirm", mtConfirmation, {mbOK}, mbOK), Exception);
  dialogs.Answer(mrOk);
  UString value = u"v";
  EXPECT_THROW(dialogs.InputQuery(u"c", u"p", value, false), Exception);
  EXPECT_EQ(value, u"v");
}

TEST(CurrentDialogs, SetReturnsThePreviousAndNullRestoresTheDefault) {
  TDialogs& initial = CurrentDialogs();
  TScriptedDialogs scripted;
  EXPECT_EQ(SetCurrentDialogs(&scripted), &initial);
  EXPECT_EQ(&CurrentDialogs(), &scripted);

  scripted.Answer(mrYes);
  EXPECT_EQ(MessageDlg(u"Sure?", mtConfirmation, {mbYes, mbNo}, mbNo), mrYes);
  EXPECT_EQ(MessageDlg(u"Broken", mtError, {mbOK}, mbOK), mrOk);
  ASSERT_EQ(scripted.Questions().size(), 2u);
  EXPECT_EQ(scripted.Questions()[0].Caption, u"Confirm");
  EXPECT_EQ(scripted.Questions()[1].Caption, u"Error");
  EXPECT_EQ(scripted.Questions()[1].Type, mtError);

  EXPECT_EQ(SetCurrentDialogs(nullptr), &scripted);
  EXPECT_EQ(&CurrentDialogs(), &initial);
}

}  // namespace
}  // namespace kelvane
