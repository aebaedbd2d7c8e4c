#include "app/win/WinDialog.h"

#include <windows.h>

#include <commctrl.h>
#include <objbase.h>

#include <cstdio>

#include "app/Application.h"
#include "app/win/WinDialogs.h"
#include "app/win/WinForm1View.h"

namespace kelvane {

std::optional<int> RunWinDialog(const TSFXRun& run, const TSFXArgs& args) {
  INITCOMMONCONTROLSEX controls{sizeof controls, ICC_STANDARD_CLASSES};
  InitCommonControlsEx(&controls);
  // The shell's folder dialog needs a single-threaded apartment.
  const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);

  TWinDialogs dialogs(args.DescribeWindow);
  TCurrentDialogsScope useDialogs(dialogs);
  TComponent application(nullptr);
  TWinForm1View view;
  if (!view.Opened()) {  // no window station to show it on: the terminal dialog stands in
    if (SUCCEEDED(com)) CoUninitialize();
    return std::nullopt;
  }
  auto* form = new TForm1(&application, view, run.ExePath);  // owned by application
  view.SetOverwriteChecked(run.Overwrite);
  if (run.Password) form->Archiver->SetPassword(*run.Password);
  view.Attach(*form);
  view.Show();
  if (args.DescribeWindow) {
    std::fputs(view.Describe().c_str(), stdout);
    std::fflush(stdout);
  }
  view.Run();
  const int status = form->ExitStatus();
  if (SUCCEEDED(com)) CoUninitialize();
  return status;
}

}  // namespace kelvane
