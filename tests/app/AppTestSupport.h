// Stand-ins for the dialog's view and for the extraction steps, shared by the
// self-extractor's tests.
#pragma once

#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "app/uMain.h"

namespace kelvane::test {

// A view with the controls' state in fields; the folder browser answers from a
// queue (nothing queued: cancelled).
class TFakeView : public TForm1View {
 public:
  UString PathText() const override { return Path; }
  void SetPathText(const UString& text) override { Path = text; }
  bool OverwriteChecked() const override { return Checked; }
  std::optional<UString> BrowseForFolder(const char* title) override {
    BrowseTitles.push_back(title);
    if (BrowseAnswers.empty()) return std::nullopt;
    std::optional<UString> answer = BrowseAnswers.front();
    BrowseAnswers.pop_front();
    return answer;
  }
  void CloseDialog() override { ++Closed; }

  UString Path;
  bool Checked = false;
  std::deque<std::optional<UString>> BrowseAnswers;
  std::vector<std::string> BrowseTitles;
  int Closed = 0;
};

// What the archiver held when one step of an extraction ran.
struct TStepRecord {
  std::string Step;  // "open", "extract", "close"
  TKelOverwriteMode OverwriteMode;
  UString FileName;
  UString BaseDir;
  bool All;
};

// A dialog whose extraction steps are recorded instead of run. A step can be
// made to raise, and the extract step can stand for the engine meeting existing
// files: it fires the archiver's OnConfirmOverwrite for each (item, destination)
// and records the answers.
class TRecordingForm1 : public TForm1 {
 public:
  using TForm1::TForm1;

  std::vector<TStepRecord> Steps;
  std::string FailAt;  // the step that raises Failure
  std::function<void()> Failure;
  std::vector<std::pair<UString, UString>> Conflicts;  // (item name, destination)
  std::vector<bool> Answers;
  std::function<void(TRunTally&)> DuringExtract;

 protected:
  void OpenTheArchive() override { Record("open"); }
  void ExtractEverything() override {
    Record("extract");
    for (auto [item, dest] : Conflicts) {
      bool confirm = false;
      Archiver->OnConfirmOverwrite()(Archiver, item, dest, confirm);
      Answers.push_back(confirm);
    }
    if (DuringExtract) DuringExtract(Archiver->Tally());
  }
  void CloseTheArchive() override { Record("close"); }

 private:
  void Record(const std::string& step) {
    Steps.push_back({step, Archiver->Options().OverwriteMode(), Archiver->FileName(),
                     Archiver->BaseDir(), bAll});
    if (step == FailAt && Failure) Failure();
  }
};

}  // namespace kelvane::test
