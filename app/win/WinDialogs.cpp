#include "app/win/WinDialogs.h"

#include <windows.h>

#include <commctrl.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "app/win/WinDpi.h"
#include "app/win/WinText.h"
#include "engine/PasswordInputQuery.h"
#include "platform/Text.h"

namespace kelvane {
namespace {

constexpr int kFontPoints = 8;
constexpr int kMargin = 12;
constexpr int kIconSize = 32;
constexpr int kButtonWidth = 75;
constexpr int kButtonHeight = 23;
constexpr int kButtonGap = 6;
constexpr int kMaxTextWidth = 480;
constexpr int kFirstButtonId = 200;
constexpr int kEditId = 101;

// What a box was asked to show and what it gives back.
struct TBoxState {
  // Message box.
  UString Text, Caption;
  TMsgDlgType Type = mtCustom;
  std::vector<TMsgDlgBtn> Buttons;
  TMsgDlgBtn Default = mbOK;
  // Input query.
  bool Query = false;
  UString Prompt;
  UString* Value = nullptr;
  bool Masked = false;

  bool Describe = false;
  HFONT Font = nullptr;
  HICON Icon = nullptr;
};

std::string Escaped(const UString& text) {
  std::string shown = ToUtf8(text);
  for (size_t i; (i = shown.find("\r\n")) != std::string::npos;)
    shown.replace(i, 2, "\\r\\n");
  return shown;
}

HWND Child(HWND parent, const wchar_t* cls, const UString& text, DWORD style, int id, RECT r,
           HFONT font, DWORD exStyle = 0) {
  HWND control = CreateWindowExW(exStyle, cls, Wide(text), WS_CHILD | WS_VISIBLE | style, r.left,
                                 r.top, r.right - r.left, r.bottom - r.top, parent,
                                 reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                                 GetModuleHandleW(nullptr), nullptr);
  SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
  return control;
}

SIZE Measure(HWND window, HFONT font, const UString& text, int maxWidth) {
  HDC dc = GetDC(window);
  HGDIOBJ old = SelectObject(dc, font);
  RECT r{0, 0, maxWidth > 0 ? maxWidth : 32767, 0};
  DrawTextW(dc, Wide(text), static_cast<int>(text.size()), &r,
            DT_CALCRECT | DT_NOPREFIX | DT_EXPANDTABS | (maxWidth > 0 ? DT_WORDBREAK : 0));
  SelectObject(dc, old);
  ReleaseDC(window, dc);
  return {r.right - r.left, r.bottom - r.top};
}

void FitClientArea(HWND dialog, int width, int height, UINT dpi) {
  const RECT frame =
      WindowRectForClient(width, height, static_cast<DWORD>(GetWindowLongW(dialog, GWL_STYLE)),
                          static_cast<DWORD>(GetWindowLongW(dialog, GWL_EXSTYLE)), dpi);
  SetWindowPos(dialog, nullptr, 0, 0, frame.right - frame.left, frame.bottom - frame.top,
               SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  CentreOnMonitor(dialog, GetWindow(dialog, GW_OWNER));
}

HICON TypeIcon(TMsgDlgType type, int size) {
  const wchar_t* id = type == mtWarning       ? IDI_WARNING
                      : type == mtError       ? IDI_ERROR
                      : type == mtInformation ? IDI_INFORMATION
                                              : IDI_QUESTION;
  // Common controls 6 (the manifest's) scale the system's icons down from
  // their large image; without it the 32-pixel icon serves.
  using TLoadIconWithScaleDown = HRESULT(WINAPI*)(HINSTANCE, PCWSTR, int, int, HICON*);
  static const auto scaleDown = reinterpret_cast<TLoadIconWithScaleDown>(reinterpret_cast<void*>(
      GetProcAddress(GetModuleHandleW(L"comctl32.dll"), "LoadIconWithScaleDown")));
  HICON icon = nullptr;
  if (!scaleDown || FAILED(scaleDown(nullptr, id, size, size, &icon)))
    icon = LoadIconW(nullptr, id);
  return icon;
}

void InitBox(HWND dialog, TBoxState& s, UINT dpi) {
  const int margin = Scale(kMargin, dpi);
  const int iconSize = s.Type == mtCustom ? 0 : Scale(kIconSize, dpi);
  const int iconSpace = iconSize ? iconSize + margin : 0;
  const SIZE text = Measure(dialog, s.Font, s.Text, Scale(kMaxTextWidth, dpi));

  std::vector<int> widths;
  int rowWidth = 0;
  for (TMsgDlgBtn b : s.Buttons) {
    widths.push_back(
        std::max<int>(Scale(kButtonWidth, dpi),
                      Measure(dialog, s.Font, ButtonCaption(b), 0).cx + Scale(20, dpi)));
    rowWidth += widths.back();
  }
  rowWidth += Scale(kButtonGap, dpi) * static_cast<int>(s.Buttons.size() - 1);
  const int contentH = std::max<int>(iconSize, text.cy);
  const int clientW = std::max<int>(iconSpace + text.cx, rowWidth) + 2 * margin;
  const int buttonH = Scale(kButtonHeight, dpi);
  const int clientH = margin + contentH + margin + buttonH + margin;

  if (iconSize) {
    s.Icon = TypeIcon(s.Type, iconSize);
    HWND icon = Child(dialog, L"STATIC", {}, SS_ICON | SS_REALSIZECONTROL, -1,
                      {margin, margin, margin + iconSize, margin + iconSize}, s.Font);
    SendMessageW(icon, STM_SETICON, reinterpret_cast<WPARAM>(s.Icon), 0);
  }
  const int textTop = margin + (contentH - text.cy) / 2;
  Child(dialog, L"STATIC", s.Text, SS_LEFT | SS_NOPREFIX, -1,
        {margin + iconSpace, textTop, margin + iconSpace + text.cx + 1, textTop + text.cy}, s.Font);
  int left = (clientW - rowWidth) / 2;
  const int top = clientH - margin - buttonH;
  HWND focus = nullptr;
  for (size_t i = 0; i < s.Buttons.size(); ++i) {
    const bool isDefault = s.Buttons[i] == s.Default;
    HWND button =
        Child(dialog, L"BUTTON", ButtonCaption(s.Buttons[i]),
              WS_TABSTOP | (isDefault ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON),
              kFirstButtonId + s.Buttons[i], {left, top, left + widths[i], top + buttonH}, s.Font);
    if (isDefault) focus = button;
    left += widths[i] + Scale(kButtonGap, dpi);
  }
  SetWindowTextW(dialog, Wide(s.Caption));
  FitClientArea(dialog, clientW, clientH, dpi);
  SendMessageW(dialog, DM_SETDEFID, kFirstButtonId + s.Default, 0);
  if (focus) SetFocus(focus);
  if (s.Describe) {
    static const char* const types[] = {"warning", "error", "information", "confirmation",
                                        "custom"};
    std::string names;
    for (TMsgDlgBtn b : s.Buttons)
      names += (names.empty() ? "" : ",") + ToUtf8(ButtonCaption(b));
    std::printf("box \"%s\" %s %s default %s \"%s\"\n", ToUtf8(s.Caption).c_str(), types[s.Type],
                names.c_str(), ToUtf8(ButtonCaption(s.Default)).c_str(), Escaped(s.Text).c_str());
    std::fflush(stdout);
  }
}

void InitQuery(HWND dialog, TBoxState& s, UINT dpi) {
  HDC dc = GetDC(dialog);
  HGDIOBJ old = SelectObject(dc, s.Font);
  const TCharSize average = AverageCharSize([&](UStringView text) {
    SIZE size{};
    GetTextExtentPoint32W(dc, reinterpret_cast<const wchar_t*>(text.data()),
                          static_cast<int>(text.size()), &size);
    return TCharSize{size.cx, size.cy};
  });
  SelectObject(dc, old);
  ReleaseDC(dialog, dc);
  const TPasswordDialogLayout layout = PasswordDialogLayout(average);
  const SIZE label = Measure(dialog, s.Font, s.Prompt, 0);
  Child(dialog, L"STATIC", s.Prompt, SS_LEFT | SS_NOPREFIX, -1,
        {layout.Label.Left, layout.Label.Top, layout.Label.Left + label.cx + 1,
         layout.Label.Top + label.cy},
        s.Font);
  const int editHeight = average.Height + Scale(8, dpi);
  HWND edit = Child(dialog, L"EDIT", *s.Value,
                    WS_TABSTOP | ES_AUTOHSCROLL | (s.Masked ? ES_PASSWORD : 0), kEditId,
                    {layout.Edit.Left, layout.Edit.Top, layout.Edit.Left + layout.Edit.Width,
                     layout.Edit.Top + editHeight},
                    s.Font, WS_EX_CLIENTEDGE);
  if (s.Masked) SendMessageW(edit, EM_SETPASSWORDCHAR, layout.PasswordChar, 0);
  SendMessageW(edit, EM_LIMITTEXT, static_cast<WPARAM>(layout.MaxLength), 0);
  SendMessageW(edit, EM_SETSEL, 0, -1);
  const auto rect = [](const TDialogRect& r) {
    return RECT{r.Left, r.Top, r.Left + r.Width, r.Top + r.Height};
  };
  Child(dialog, L"BUTTON", u"OK", WS_TABSTOP | BS_DEFPUSHBUTTON, IDOK, rect(layout.OkButton),
        s.Font);
  Child(dialog, L"BUTTON", u"Cancel", WS_TABSTOP | BS_PUSHBUTTON, IDCANCEL,
        rect(layout.CancelButton), s.Font);
  SetWindowTextW(dialog, Wide(s.Caption));
  FitClientArea(dialog, layout.ClientWidth, layout.ClientHeight, dpi);
  SendMessageW(dialog, DM_SETDEFID, IDOK, 0);
  SetFocus(edit);
  if (s.Describe) {
    std::printf("query \"%s\" \"%s\" %s %dx%d\n", ToUtf8(s.Caption).c_str(),
                ToUtf8(s.Prompt).c_str(), s.Masked ? "masked" : "plain",
                Unscale(layout.ClientWidth, dpi), Unscale(layout.ClientHeight, dpi));
    std::fflush(stdout);
  }
}

// Reads the edit's text and wipes what the control and the buffer held.
UString TakeEditText(HWND edit) {
  const int length = GetWindowTextLengthW(edit);
  std::wstring text(static_cast<size_t>(length) + 1, L'\0');
  text.resize(static_cast<size_t>(std::max(0, GetWindowTextW(edit, text.data(), length + 1))));
  UString value = FromWide(text.c_str());
  SecureZeroMemory(text.data(), text.size() * sizeof(wchar_t));
  SetWindowTextW(edit, L"");
  return value;
}

INT_PTR CALLBACK BoxProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* s = reinterpret_cast<TBoxState*>(GetWindowLongPtrW(dialog, DWLP_USER));
  switch (message) {
    case WM_INITDIALOG: {
      s = reinterpret_cast<TBoxState*>(lParam);
      SetWindowLongPtrW(dialog, DWLP_USER, lParam);
      const UINT dpi = WindowDpi(dialog);
      s->Font = CreateDialogFont(kFontPoints, dpi);
      if (s->Query)
        InitQuery(dialog, *s, dpi);
      else
        InitBox(dialog, *s, dpi);
      return FALSE;  // the focus is set
    }
    case WM_COMMAND: {
      const int id = LOWORD(wParam);
      if (HIWORD(wParam) != BN_CLICKED) return FALSE;
      if (s->Query && id == IDOK) *s->Value = TakeEditText(GetDlgItem(dialog, kEditId));
      if (s->Query && id == IDCANCEL) TakeEditText(GetDlgItem(dialog, kEditId));
      EndDialog(dialog, id);
      return TRUE;
    }
    case WM_DESTROY:
      if (s && s->Font) DeleteObject(s->Font);
      if (s) s->Font = nullptr;
      return FALSE;
    default:
      return FALSE;
  }
}

// An empty dialog: its controls are made in WM_INITDIALOG, in pixels for the
// monitor it is on.
INT_PTR RunBox(TBoxState& state) {
  struct alignas(4) TTemplate {
    DLGTEMPLATE Dialog;
    WORD Menu, Class, Title;
  } tmpl{};
  tmpl.Dialog.style = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME;
  tmpl.Dialog.dwExtendedStyle = WS_EX_DLGMODALFRAME;
  HWND owner = GetActiveWindow();
  return DialogBoxIndirectParamW(GetModuleHandleW(nullptr), &tmpl.Dialog, owner, BoxProc,
                                 reinterpret_cast<LPARAM>(&state));
}

}  // namespace

TModalResult TWinDialogs::MessageDlg(const UString& text, const UString& caption, TMsgDlgType type,
                                     TMsgDlgButtons buttons, TMsgDlgBtn defaultButton) {
  buttons = OfferedButtons(buttons);
  TBoxState state;
  state.Text = text;
  state.Caption = caption.empty() ? DefaultCaption(type) : caption;
  state.Type = type;
  for (TMsgDlgBtn b : kMsgDlgBtns)
    if (buttons.Contains(b)) state.Buttons.push_back(b);
  state.Default = EffectiveDefault(buttons, defaultButton);
  state.Describe = FDescribe;
  MessageBeep(type == mtError         ? MB_ICONERROR
              : type == mtWarning     ? MB_ICONWARNING
              : type == mtInformation ? MB_ICONINFORMATION
                                      : MB_OK);
  const INT_PTR id = RunBox(state);
  if (state.Icon) DestroyIcon(state.Icon);
  if (id >= kFirstButtonId && id < kFirstButtonId + 16) {
    const auto button = static_cast<TMsgDlgBtn>(id - kFirstButtonId);
    if (buttons.Contains(button)) return ModalResultOf(button);
  }
  // Escape or the close box: Cancel when offered, else what nobody's answer is.
  if (id == IDCANCEL && buttons.Contains(mbCancel)) return mrCancel;
  return NonInteractiveAnswer(buttons, defaultButton);
}

bool TWinDialogs::InputQuery(const UString& caption, const UString& prompt, UString& value,
                             bool masked) {
  TBoxState state;
  state.Query = true;
  state.Caption = caption;
  state.Prompt = prompt;
  UString typed = value;
  state.Value = &typed;
  state.Masked = masked;
  state.Describe = FDescribe;
  const bool confirmed = RunBox(state) == IDOK;
  if (confirmed) value = typed;
  std::fill(typed.begin(), typed.end(), u'\0');
  return confirmed;
}

}  // namespace kelvane
