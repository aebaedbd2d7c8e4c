// The extraction dialog as a Win32 window: client area 441 x 137 at 96 DPI,
// scaled for the monitor it is on; fixed border, centred; the controls in
// their places and tab order; Enter is "Extraer", Escape "Salir".
#pragma once

#include <windows.h>

#include <string>

#include "app/uMain.h"

namespace kelvane {

class TWinForm1View : public TForm1View {
 public:
  // Builds the window, hidden, on the primary monitor.
  TWinForm1View();
  ~TWinForm1View() override;
  TWinForm1View(const TWinForm1View&) = delete;
  TWinForm1View& operator=(const TWinForm1View&) = delete;

  // Connects the controls to the dialog's handlers; errors they let through
  // are shown (ShowException) and the window stays.
  void Attach(TForm1& form);
  // False when the system refused the window (no desktop to show it on).
  bool Opened() const { return FWindow != nullptr; }
  // Shows the window centred on its monitor, "Extraer" focused.
  void Show();
  // Runs the message loop until the window is gone.
  void Run();
  // The window as built, in the FLTK view's format, sizes given back at 96
  // DPI: "window <caption> <w>x<h> fixed|sizable font <px> dpi <dpi>" and one
  // line per control in tab order.
  std::string Describe() const;
  HWND Handle() const { return FWindow; }

  UString PathText() const override;
  void SetPathText(const UString& text) override;
  bool OverwriteChecked() const override;
  void SetOverwriteChecked(bool checked);
  std::optional<UString> BrowseForFolder(const char* title) override;
  void CloseDialog() override;

 private:
  static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  LRESULT Handle(UINT message, WPARAM wParam, LPARAM lParam);
  void Layout(UINT dpi);
  void OnCommand(int id);

  HWND FWindow = nullptr;
  HWND bnExtract = nullptr;
  HWND bnExit = nullptr;
  HWND edPath = nullptr;
  HWND bnSelectDestPath = nullptr;
  HWND cboverwrite = nullptr;
  HWND Label1 = nullptr;
  HFONT FFont = nullptr;
  HICON FGlyphs[2] = {};
  UINT FDpi = 96;
  TForm1* FForm = nullptr;
};

}  // namespace kelvane
