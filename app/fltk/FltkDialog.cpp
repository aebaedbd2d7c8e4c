#include "app/fltk/FltkDialog.h"

#include <FL/Fl.H>
#include <FL/x.H>

#include <cstdio>

#include "app/Application.h"
#include "app/fltk/FltkDialogs.h"
#include "app/fltk/FltkForm1View.h"

namespace kelvane {

std::optional<int> RunFltkDialog(const TSFXRun& run, const TSFXArgs& args) {
  // FLTK would end the process on a display it cannot open; the terminal can
  // still serve then.
  Display* display = XOpenDisplay(nullptr);
  if (!display) return std::nullopt;
  fl_open_display(display);
  Fl::scheme("gtk+");
  Fl::background(240, 240, 240);  // the button-face colour of dialogs

  TFltkDialogs dialogs(args.DescribeWindow);
  TCurrentDialogsScope useDialogs(dialogs);
  TComponent application(nullptr);
  TFltkForm1View view;
  auto* form = new TForm1(&application, view, run.ExePath);  // owned by application
  view.SetOverwriteChecked(run.Overwrite);
  if (run.Password) form->Archiver->SetPassword(*run.Password);
  view.Attach(*form);
  view.Show();
  if (args.DescribeWindow) {
    std::fputs(view.Describe().c_str(), stdout);
    std::fflush(stdout);
  }
  Fl::run();
  return form->ExitStatus();
}

}  // namespace kelvane
