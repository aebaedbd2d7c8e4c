#include "app/win/WinForm1View.h"

#include <shlobj.h>
#include <shobjidl.h>

#include <algorithm>

#include "app/AppTexts.h"
#include "app/Application.h"
#include "app/win/WinDpi.h"
#include "app/win/WinGlyphs.h"
#include "app/win/WinResources.h"
#include "app/win/WinText.h"
#include "platform/Text.h"

namespace kelvane {
namespace {

constexpr wchar_t kWindowClass[] = L"KelvaneSfxDialog";
constexpr int kClientWidth = 441;
constexpr int kClientHeight = 137;
constexpr int kFontPoints = 8;  // 11 pixels at 96 DPI
constexpr DWORD kWindowStyle = WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN;
constexpr DWORD kWindowExStyle = WS_EX_CONTROLPARENT;
constexpr int kIdSelectDestPath = 101;
constexpr int kIdPath = 102;
constexpr int kIdOverwrite = 103;
constexpr int kIdLabel = 104;

struct TPlace {
  int Left, Top, Width, Height;
};
// At 96 DPI.
constexpr TPlace kExtractPlace{248, 104, 75, 25};
constexpr TPlace kExitPlace{121, 104, 75, 25};
constexpr TPlace kPathPlace{8, 32, 393, 21};
constexpr TPlace kSelectPlace{408, 30, 25, 25};
constexpr TPlace kOverwritePlace{8, 64, 177, 17};
constexpr TPlace kLabelPlace{8, 8, 116, 13};

HWND Control(HWND parent, const wchar_t* cls, const char* text, DWORD style, int id) {
  return CreateWindowExW(cls == std::wstring_view(L"EDIT") ? WS_EX_CLIENTEDGE : 0, cls,
                         Wide(U(text)), WS_CHILD | WS_VISIBLE | style, 0, 0, 0, 0, parent,
                         reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                         GetModuleHandleW(nullptr), nullptr);
}

void Register() {
  static bool registered = false;
  if (registered) return;
  WNDCLASSEXW cls{};
  cls.cbSize = sizeof cls;
  cls.lpfnWndProc = DefWindowProcW;  // replaced per window in WM_NCCREATE
  cls.hInstance = GetModuleHandleW(nullptr);
  cls.hIcon = static_cast<HICON>(LoadImageW(cls.hInstance, MAKEINTRESOURCEW(kAppIconId), IMAGE_ICON,
                                            GetSystemMetrics(SM_CXICON),
                                            GetSystemMetrics(SM_CYICON), LR_DEFAULTCOLOR));
  cls.hIconSm = static_cast<HICON>(LoadImageW(cls.hInstance, MAKEINTRESOURCEW(kAppIconId),
                                              IMAGE_ICON, GetSystemMetrics(SM_CXSMICON),
                                              GetSystemMetrics(SM_CYSMICON), LR_DEFAULTCOLOR));
  cls.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  cls.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  cls.lpszClassName = kWindowClass;
  RegisterClassExW(&cls);
  registered = true;
}

// The text a control shows, measured in its font.
SIZE TextExtent(HWND control, HFONT font) {
  const UString text = WindowText(control);
  HDC dc = GetDC(control);
  HGDIOBJ old = SelectObject(dc, font);
  SIZE size{};
  GetTextExtentPoint32W(dc, Wide(text), static_cast<int>(text.size()), &size);
  SelectObject(dc, old);
  ReleaseDC(control, dc);
  return size;
}

std::optional<UString> PickFolderWithShellDialog(HWND owner, const char* title) {
  IFileOpenDialog* dialog = nullptr;
  if (FAILED(CoCreateInstance(CLSID_FileOpenDialog, nullptr, CLSCTX_INPROC_SERVER,
                              IID_PPV_ARGS(&dialog))))
    return std::nullopt;
  std::optional<UString> chosen;
  DWORD options = 0;
  dialog->GetOptions(&options);
  dialog->SetOptions(options | FOS_PICKFOLDERS | FOS_FORCEFILESYSTEM | FOS_NOCHANGEDIR |
                     FOS_PATHMUSTEXIST);
  dialog->SetTitle(Wide(U(title)));
  // Starts at the desktop, never at the folder typed in the dialog.
  PIDLIST_ABSOLUTE desktop = nullptr;
  if (SUCCEEDED(SHGetSpecialFolderLocation(nullptr, CSIDL_DESKTOP, &desktop))) {
    IShellItem* item = nullptr;
    if (SUCCEEDED(SHCreateItemFromIDList(desktop, IID_PPV_ARGS(&item)))) {
      dialog->SetFolder(item);
      item->Release();
    }
    CoTaskMemFree(desktop);
  }
  if (SUCCEEDED(dialog->Show(owner))) {
    IShellItem* result = nullptr;
    if (SUCCEEDED(dialog->GetResult(&result))) {
      wchar_t* path = nullptr;
      if (SUCCEEDED(result->GetDisplayName(SIGDN_FILESYSPATH, &path))) {
        chosen = FromWide(path);
        CoTaskMemFree(path);
      }
      result->Release();
    }
  }
  dialog->Release();
  return chosen;
}

}  // namespace

TWinForm1View::TWinForm1View() {
  Register();
  FWindow = CreateWindowExW(kWindowExStyle, kWindowClass, Wide(U(kApplicationTitle)), kWindowStyle,
                            CW_USEDEFAULT, CW_USEDEFAULT, kClientWidth, kClientHeight, nullptr,
                            nullptr, GetModuleHandleW(nullptr), nullptr);
  SetWindowLongPtrW(FWindow, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
  SetWindowLongPtrW(FWindow, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&WindowProc));
  // Created in tab order.
  bnExtract = Control(FWindow, L"BUTTON", kExtractText, WS_TABSTOP | BS_DEFPUSHBUTTON, IDOK);
  bnExit = Control(FWindow, L"BUTTON", kExitText, WS_TABSTOP | BS_PUSHBUTTON, IDCANCEL);
  edPath = Control(FWindow, L"EDIT", "", WS_TABSTOP | ES_AUTOHSCROLL, kIdPath);
  bnSelectDestPath = Control(FWindow, L"BUTTON", kSelectDestPathText, WS_TABSTOP | BS_PUSHBUTTON,
                             kIdSelectDestPath);
  cboverwrite =
      Control(FWindow, L"BUTTON", kOverwriteText, WS_TABSTOP | BS_AUTOCHECKBOX, kIdOverwrite);
  Label1 = Control(FWindow, L"STATIC", kLabel1Text, SS_LEFTNOWORDWRAP | SS_NOPREFIX, kIdLabel);
  Layout(WindowDpi(FWindow));
}

TWinForm1View::~TWinForm1View() {
  if (FWindow && IsWindow(FWindow)) DestroyWindow(FWindow);
  if (FFont) DeleteObject(FFont);
  for (HICON glyph : FGlyphs)
    if (glyph) DestroyIcon(glyph);
}

void TWinForm1View::Layout(UINT dpi) {
  FDpi = dpi;
  HFONT font = CreateDialogFont(kFontPoints, dpi);
  const auto place = [&](HWND control, TPlace p) {
    SetWindowPos(control, nullptr, Scale(p.Left, dpi), Scale(p.Top, dpi), Scale(p.Width, dpi),
                 Scale(p.Height, dpi), SWP_NOZORDER | SWP_NOACTIVATE);
    SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
  };
  place(bnExtract, kExtractPlace);
  place(bnExit, kExitPlace);
  place(edPath, kPathPlace);
  place(bnSelectDestPath, kSelectPlace);
  // The check box and the label keep their places; where the system's font
  // is wider than the classic one they grow rather than cut their texts.
  TPlace overwrite = kOverwritePlace;
  SendMessageW(cboverwrite, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
  overwrite.Width = std::max<int>(
      overwrite.Width,
      Unscale(TextExtent(cboverwrite, font).cx + GetSystemMetrics(SM_CXMENUCHECK) + Scale(10, dpi),
              dpi));
  place(cboverwrite, overwrite);
  TPlace label = kLabelPlace;
  SendMessageW(Label1, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
  label.Width = std::max<int>(label.Width, Unscale(TextExtent(Label1, font).cx, dpi) + 1);
  place(Label1, label);
  if (FFont) DeleteObject(FFont);
  FFont = font;

  const int glyphSize = Scale(16, dpi);
  HWND withGlyph[2] = {bnExtract, bnExit};
  for (int i = 0; i < 2; ++i) {
    HICON glyph = MakeGlyphIcon(i == 0 ? wgCheck : wgCross, glyphSize);
    SendMessageW(withGlyph[i], BM_SETIMAGE, IMAGE_ICON, reinterpret_cast<LPARAM>(glyph));
    if (FGlyphs[i]) DestroyIcon(FGlyphs[i]);
    FGlyphs[i] = glyph;
  }

  const RECT frame = WindowRectForClient(Scale(kClientWidth, dpi), Scale(kClientHeight, dpi),
                                         kWindowStyle, kWindowExStyle, dpi);
  SetWindowPos(FWindow, nullptr, 0, 0, frame.right - frame.left, frame.bottom - frame.top,
               SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  InvalidateRect(FWindow, nullptr, TRUE);
}

void TWinForm1View::Attach(TForm1& form) {
  FForm = &form;
}

void TWinForm1View::Show() {
  CentreOnMonitor(FWindow, nullptr);
  ShowWindow(FWindow, SW_SHOWNORMAL);
  SetForegroundWindow(FWindow);
  SetFocus(bnExtract);
}

void TWinForm1View::Run() {
  MSG message;
  while (IsWindow(FWindow) && GetMessageW(&message, nullptr, 0, 0) > 0) {
    if (IsDialogMessageW(FWindow, &message)) continue;
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
}

LRESULT CALLBACK TWinForm1View::WindowProc(HWND window, UINT message, WPARAM wParam,
                                           LPARAM lParam) {
  auto* self = reinterpret_cast<TWinForm1View*>(GetWindowLongPtrW(window, GWLP_USERDATA));
  if (!self) return DefWindowProcW(window, message, wParam, lParam);
  return self->Handle(message, wParam, lParam);
}

void TWinForm1View::OnCommand(int id) {
  if (!FForm) return;
  TForm1& form = *FForm;
  if (id == IDOK) {
    RunHandler([&] { form.bnExtractClick(); });
  } else if (id == kIdSelectDestPath) {
    RunHandler([&] { form.bnSelectDestPathClick(); });
  } else if (id == IDCANCEL) {
    RunHandler([&] { form.bnExitClick(); });
  }
}

LRESULT TWinForm1View::Handle(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_COMMAND:
      if (HIWORD(wParam) == BN_CLICKED) OnCommand(LOWORD(wParam));
      return 0;
    case DM_GETDEFID:
      return MAKELRESULT(IDOK, DC_HASDEFID);
    case WM_CLOSE:
      OnCommand(IDCANCEL);
      return 0;
    case WM_DPICHANGED: {
      Layout(HIWORD(wParam));
      const RECT* suggested = reinterpret_cast<const RECT*>(lParam);
      SetWindowPos(FWindow, nullptr, suggested->left, suggested->top, 0, 0,
                   SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
      return 0;
    }
    case WM_DESTROY:
      SetWindowLongPtrW(FWindow, GWLP_USERDATA, 0);
      FWindow = nullptr;
      return 0;
    default:
      return DefWindowProcW(FWindow, message, wParam, lParam);
  }
}

std::string TWinForm1View::Describe() const {
  RECT client;
  GetClientRect(FWindow, &client);
  const LONG style = GetWindowLongW(FWindow, GWL_STYLE);
  LOGFONTW font{};
  GetObjectW(FFont, sizeof font, &font);
  std::string out =
      "window \"" + ToUtf8(WindowText(FWindow)) + "\" " +
      std::to_string(Unscale(client.right, FDpi)) + "x" +
      std::to_string(Unscale(client.bottom, FDpi)) + " " +
      ((style & (WS_THICKFRAME | WS_MAXIMIZEBOX | WS_MINIMIZEBOX)) ? "sizable" : "fixed") +
      " font " + std::to_string(Unscale(-font.lfHeight, FDpi)) + " dpi " + std::to_string(FDpi) +
      "\n";
  struct TNamed {
    HWND Control;
    const char* Name;
  };
  const TNamed named[] = {{bnExtract, "bnExtract"},     {bnExit, "bnExit"},
                          {edPath, "edPath"},           {bnSelectDestPath, "bnSelectDestPath"},
                          {cboverwrite, "cboverwrite"}, {Label1, "Label1"}};
  int tab = 0;
  for (const TNamed& n : named) {
    RECT r;
    GetWindowRect(n.Control, &r);
    MapWindowPoints(nullptr, FWindow, reinterpret_cast<POINT*>(&r), 2);
    const LONG controlStyle = GetWindowLongW(n.Control, GWL_STYLE);
    out += (controlStyle & WS_TABSTOP) ? std::to_string(tab++) : std::string("-");
    out += std::string(" ") + n.Name + " " + std::to_string(Unscale(r.left, FDpi)) + " " +
           std::to_string(Unscale(r.top, FDpi)) + " " +
           std::to_string(Unscale(r.right - r.left, FDpi)) + " " +
           std::to_string(Unscale(r.bottom - r.top, FDpi)) + " \"" + ToUtf8(WindowText(n.Control)) +
           "\"";
    if (n.Control == bnExtract && (controlStyle & 0xF) == BS_DEFPUSHBUTTON) out += " default";
    if (GetDlgCtrlID(n.Control) == IDCANCEL) out += " cancel";
    if (GetFocus() == n.Control) out += " focus";
    if (n.Control == cboverwrite) out += OverwriteChecked() ? " checked" : " unchecked";
    if ((n.Control == bnExtract || n.Control == bnExit) &&
        SendMessageW(n.Control, BM_GETIMAGE, IMAGE_ICON, 0) != 0)
      out += " glyph";
    out += "\n";
  }
  return out;
}

UString TWinForm1View::PathText() const {
  return WindowText(edPath);
}

void TWinForm1View::SetPathText(const UString& text) {
  SetWindowTextW(edPath, Wide(text));
}

bool TWinForm1View::OverwriteChecked() const {
  return SendMessageW(cboverwrite, BM_GETCHECK, 0, 0) == BST_CHECKED;
}

void TWinForm1View::SetOverwriteChecked(bool checked) {
  SendMessageW(cboverwrite, BM_SETCHECK, checked ? BST_CHECKED : BST_UNCHECKED, 0);
}

std::optional<UString> TWinForm1View::BrowseForFolder(const char* title) {
  // A drive without a medium must not bring the system's own error box.
  const UINT oldMode = SetErrorMode(SEM_FAILCRITICALERRORS);
  std::optional<UString> chosen = PickFolderWithShellDialog(FWindow, title);
  SetErrorMode(oldMode);
  return chosen;
}

void TWinForm1View::CloseDialog() {
  if (FWindow) DestroyWindow(FWindow);
}

}  // namespace kelvane
