#include "app/fltk/FltkDialogs.h"

#include <FL/Fl.H>
#include <FL/Fl_Double_Window.H>
#include <FL/Fl_Input.H>
#include <FL/Fl_Secret_Input.H>
#include <FL/fl_draw.H>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/fltk/FltkWidgets.h"
#include "engine/PasswordInputQuery.h"
#include "platform/Text.h"

namespace kelvane {
namespace {

constexpr int kMargin = 12;
constexpr int kIconSize = 32;
constexpr int kButtonWidth = 75;
constexpr int kButtonHeight = 25;
constexpr int kButtonGap = 6;
constexpr int kMaxTextWidth = 480;

// Boxes appear over the window that is showing, on its screen.
void CentreOnScreen(Fl_Window& window) {
  int sx, sy, sw, sh;
  if (Fl_Window* top = Fl::first_window())
    Fl::screen_work_area(sx, sy, sw, sh, top->x() + top->w() / 2, top->y() + top->h() / 2);
  else
    Fl::screen_work_area(sx, sy, sw, sh);
  window.position(sx + (sw - window.w()) / 2, sy + (sh - window.h()) / 2);
}

std::string DisplayText(const UString& text) {
  std::string out = ToUtf8(text);
  for (size_t i; (i = out.find("\r\n")) != std::string::npos;)
    out.erase(i, 1);
  return out;
}

// Runs Window modally until Done is set or it is closed; Shown runs once the
// window is up.
void RunModal(Fl_Window& window, const bool& done, const std::function<void()>& shown = nullptr) {
  window.set_modal();
  CentreOnScreen(window);
  window.show();
  if (shown) shown();
  while (!done && window.shown())
    Fl::wait();
  window.hide();
}

struct TMessageState {
  TModalResult Result = mrNone;
  bool Done = false;
};

struct TButtonData {
  TMessageState* State;
  TModalResult Result;
};

void OnMessageButton(Fl_Widget*, void* data) {
  auto* button = static_cast<TButtonData*>(data);
  button->State->Result = button->Result;
  button->State->Done = true;
}

// Escape with a Cancel button is that button (its shortcut); otherwise Escape
// and the close box leave the answer unset.
void OnMessageClose(Fl_Widget*, void* data) {
  static_cast<TMessageState*>(data)->Done = true;
}

}  // namespace

TModalResult TFltkDialogs::MessageDlg(const UString& text, const UString& caption, TMsgDlgType type,
                                      TMsgDlgButtons buttons, TMsgDlgBtn defaultButton) {
  buttons = OfferedButtons(buttons);
  const TMsgDlgBtn effectiveDefault = EffectiveDefault(buttons, defaultButton);
  const std::string body = DisplayText(text);
  const std::string title = ToUtf8(caption.empty() ? DefaultCaption(type) : caption);

  std::vector<TMsgDlgBtn> offered;
  std::vector<std::string> captions;
  int rowWidth = 0;
  fl_font(FL_HELVETICA, kDialogFontSize);
  for (TMsgDlgBtn b : kMsgDlgBtns) {
    if (!buttons.Contains(b)) continue;
    offered.push_back(b);
    captions.push_back(ToUtf8(ButtonCaption(b)));
  }
  std::vector<int> widths;
  for (const std::string& c : captions) {
    widths.push_back(std::max(kButtonWidth, static_cast<int>(fl_width(c.c_str())) + 20));
    rowWidth += widths.back();
  }
  rowWidth += kButtonGap * static_cast<int>(offered.size() - 1);

  int textW, textH;
  TPlainText::Measure(body, kMaxTextWidth, false, textW, textH);
  if (textW > kMaxTextWidth) TPlainText::Measure(body, kMaxTextWidth, true, textW, textH);
  const int iconSpace = type == mtCustom ? 0 : kIconSize + kMargin;
  const int contentW = iconSpace + textW;
  const int clientW = std::max(contentW, rowWidth) + 2 * kMargin;
  const int contentH = std::max(type == mtCustom ? 0 : kIconSize, textH);
  const int clientH = kMargin + contentH + kMargin + kButtonHeight + kMargin;

  TMessageState state;
  std::vector<TButtonData> data(offered.size());
  Fl_Double_Window window(clientW, clientH, title.c_str());
  {
    struct TIcon : Fl_Widget {
      TMsgDlgType Type;
      TIcon(int x, int y, int s, TMsgDlgType t) : Fl_Widget(x, y, s, s), Type(t) {}
      void draw() override { DrawMessageIcon(Type, x(), y(), w()); }
    };
    if (type != mtCustom) new TIcon(kMargin, kMargin, kIconSize, type);
    new TPlainText(kMargin + iconSpace, kMargin + std::max(0, (contentH - textH) / 2), textW + 1,
                   textH, body, textW >= kMaxTextWidth);
    int left = (clientW - rowWidth) / 2;
    TDialogButton* focus = nullptr;
    for (size_t i = 0; i < offered.size(); ++i) {
      auto* button = new TDialogButton(left, clientH - kMargin - kButtonHeight, widths[i],
                                       kButtonHeight, captions[i].c_str());
      data[i] = {&state, ModalResultOf(offered[i])};
      button->callback(OnMessageButton, &data[i]);
      if (offered[i] == effectiveDefault) {
        button->SetDefault(true);
        focus = button;
      }
      if (offered[i] == mbCancel) button->shortcut(FL_Escape);
      left += widths[i] + kButtonGap;
    }
    window.end();
    window.callback(OnMessageClose, &state);
    if (focus) focus->take_focus();
  }
  RunModal(window, state.Done, [&] {
    if (!FDescribe) return;
    std::string names;
    for (const std::string& c : captions)
      names += (names.empty() ? "" : ",") + c;
    std::string shown = ToUtf8(text);
    for (size_t i; (i = shown.find("\r\n")) != std::string::npos;)
      shown.replace(i, 2, "\\r\\n");
    static const char* const types[] = {"warning", "error", "information", "confirmation",
                                        "custom"};
    std::printf("box \"%s\" %s %s default %s \"%s\"\n", title.c_str(), types[type], names.c_str(),
                ToUtf8(ButtonCaption(effectiveDefault)).c_str(), shown.c_str());
    std::fflush(stdout);
  });
  if (state.Result == mrNone) return NonInteractiveAnswer(buttons, defaultButton);
  return state.Result;
}

bool TFltkDialogs::InputQuery(const UString& caption, const UString& prompt, UString& value,
                              bool masked) {
  fl_font(FL_HELVETICA, kDialogFontSize);
  const TCharSize average = AverageCharSize([](UStringView text) {
    int w = 0, h = 0;
    const std::string utf8 = ToUtf8(text);
    fl_measure(utf8.c_str(), w, h, 0);
    return TCharSize{w, h};
  });
  const TPasswordDialogLayout layout = PasswordDialogLayout(average);
  const std::string title = ToUtf8(caption);
  const std::string label = ToUtf8(prompt);

  TMessageState state;
  Fl_Double_Window window(layout.ClientWidth, layout.ClientHeight, title.c_str());
  int labelW, labelH;
  TPlainText::Measure(label, 0, false, labelW, labelH);
  new TPlainText(layout.Label.Left, layout.Label.Top, labelW + 1, labelH, label);
  const int editHeight = fl_height() + 8;  // the toolkit's single-line height
  Fl_Input* edit =
      masked ? new Fl_Secret_Input(layout.Edit.Left, layout.Edit.Top, layout.Edit.Width, editHeight)
             : new Fl_Input(layout.Edit.Left, layout.Edit.Top, layout.Edit.Width, editHeight);
  edit->textfont(FL_HELVETICA);
  edit->textsize(kDialogFontSize);
  edit->maximum_size(layout.MaxLength);
  {
    std::string start = ToUtf8(value);
    edit->value(start.c_str());
    std::fill(start.begin(), start.end(), '\0');
  }
  edit->position(edit->size(), 0);  // everything selected
  auto* ok = new TDialogButton(layout.OkButton.Left, layout.OkButton.Top, layout.OkButton.Width,
                               layout.OkButton.Height, "OK");
  ok->SetDefault(true);
  auto* cancel = new TDialogButton(layout.CancelButton.Left, layout.CancelButton.Top,
                                   layout.CancelButton.Width, layout.CancelButton.Height, "Cancel");
  cancel->shortcut(FL_Escape);
  TButtonData okData{&state, mrOk}, cancelData{&state, mrCancel};
  ok->callback(OnMessageButton, &okData);
  cancel->callback(OnMessageButton, &cancelData);
  window.end();
  window.callback(OnMessageClose, &state);
  edit->take_focus();
  RunModal(window, state.Done, [&] {
    if (!FDescribe) return;
    std::printf("query \"%s\" \"%s\" %s %dx%d\n", title.c_str(), label.c_str(),
                masked ? "masked" : "plain", window.w(), window.h());
    std::fflush(stdout);
  });

  const bool confirmed = state.Result == mrOk;
  if (confirmed) value = FromUtf8(edit->value());
  edit->value("");
  return confirmed;
}

}  // namespace kelvane
