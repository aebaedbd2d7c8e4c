// The extraction dialog's window: client area 441 x 137, fixed size, centred,
// the 8-point sans font, controls in their places and tab order.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include <FL/Fl_Check_Button.H>
#include <FL/Fl_Double_Window.H>
#include <FL/Fl_Input.H>

#include "app/fltk/FltkWidgets.h"
#include "app/uMain.h"

namespace kelvane {

class TFltkForm1View : public TForm1View {
 public:
  // Builds the window, hidden.
  TFltkForm1View();
  ~TFltkForm1View() override;
  TFltkForm1View(const TFltkForm1View&) = delete;
  TFltkForm1View& operator=(const TFltkForm1View&) = delete;

  // Connects the controls to the dialog's handlers; errors they let through are
  // shown (ShowException) and the window stays.
  void Attach(TForm1& form);
  // Shows the window centred on the screen, the first control of the tab order
  // focused.
  void Show();
  // The window and its controls as built, one line each (for the window test):
  // "window <caption> <w>x<h> fixed|sizable" then, in tab order, "<tab> <name>
  // <left> <top> <width> <height> <text> [default] [cancel] [focus] [checked]";
  // controls that take no focus have "-" for their tab.
  std::string Describe() const;

  UString PathText() const override;
  void SetPathText(const UString& text) override;
  bool OverwriteChecked() const override;
  void SetOverwriteChecked(bool checked);
  std::optional<UString> BrowseForFolder(const char* title) override;
  void CloseDialog() override;

 private:
  struct TNamed {
    Fl_Widget* Widget;
    const char* Name;
    std::string Text;
  };
  static void OnWidget(Fl_Widget* widget, void* data);

  std::unique_ptr<Fl_Double_Window> FWindow;  // owns the controls
  TDialogButton* bnExtract;
  TDialogButton* bnExit;
  Fl_Input* edPath;
  TDialogButton* bnSelectDestPath;
  Fl_Check_Button* cboverwrite;
  TPlainText* Label1;
  std::vector<TNamed> FNamed;  // in tab order
  TForm1* FForm = nullptr;
  std::vector<std::unique_ptr<Fl_RGB_Image>> FIcons;
};

}  // namespace kelvane
