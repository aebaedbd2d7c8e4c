#include "app/fltk/FltkWidgets.h"

#include <FL/Fl.H>
#include <FL/fl_draw.H>

namespace kelvane {

TDialogButton::TDialogButton(int x, int y, int w, int h, const char* caption, TButtonGlyph glyph)
    : Fl_Button(x, y, w, h), FCaption(caption), FGlyph(glyph) {
  labelfont(FL_HELVETICA);
  labelsize(kDialogFontSize);
}

void TDialogButton::SetCaption(const std::string& caption) {
  FCaption = caption;
  redraw();
}

void TDialogButton::SetDefault(bool isDefault) {
  FDefault = isDefault;
  shortcut(isDefault ? FL_Enter : 0);
  redraw();
}

int TDialogButton::handle(int event) {
  if (event == FL_KEYBOARD && Fl::focus() == this &&
      (Fl::event_key() == FL_Enter || Fl::event_key() == FL_KP_Enter)) {
    simulate_key_action();
    do_callback();
    return 1;
  }
  // The keypad's Enter stands for Enter on the default button too.
  if (event == FL_SHORTCUT && FDefault && Fl::event_key() == FL_KP_Enter) {
    do_callback();
    return 1;
  }
  return Fl_Button::handle(event);
}

void TDialogButton::draw() {
  const Fl_Boxtype b = value() ? (down_box() ? down_box() : fl_down(box())) : box();
  draw_box(b, color());
  if (FDefault) {
    fl_color(FL_FOREGROUND_COLOR);
    fl_rect(x(), y(), w(), h());
  }
  fl_font(labelfont(), labelsize());
  const int glyphSize = FGlyph == bgNone ? 0 : std::min(h() - 8, 14);
  const int gap = glyphSize ? 4 : 0;
  const int textWidth = static_cast<int>(fl_width(FCaption.c_str()));
  const int contentWidth = glyphSize + gap + textWidth;
  int left = x() + (w() - contentWidth) / 2;
  if (value()) ++left;  // pressed: the content moves with the face
  DrawButtonGlyph(FGlyph, left, y() + (h() - glyphSize) / 2 + (value() ? 1 : 0), glyphSize,
                  active_r());
  fl_color(active_r() ? labelcolor() : fl_inactive(labelcolor()));
  fl_draw(FCaption.c_str(), left + glyphSize + gap, y() + (value() ? 1 : 0), textWidth + 1, h(),
          FL_ALIGN_LEFT | FL_ALIGN_INSIDE, nullptr, 0);
  if (Fl::focus() == this) draw_focus();
}

TPlainText::TPlainText(int x, int y, int w, int h, const std::string& text, bool wrap, bool clip)
    : Fl_Widget(x, y, w, h), FText(text), FWrap(wrap), FClip(clip) {
  labelfont(FL_HELVETICA);
  labelsize(kDialogFontSize);
  box(FL_NO_BOX);
  clear_visible_focus();
}

void TPlainText::Measure(const std::string& text, int maxWidth, bool wrap, int& w, int& h) {
  fl_font(FL_HELVETICA, kDialogFontSize);
  w = wrap ? maxWidth : 0;
  h = 0;
  fl_measure(text.c_str(), w, h, 0);
}

void TPlainText::draw() {
  fl_font(labelfont(), labelsize());
  fl_color(active_r() ? labelcolor() : fl_inactive(labelcolor()));
  Fl_Align align = FL_ALIGN_LEFT | FL_ALIGN_TOP | FL_ALIGN_INSIDE;
  if (FClip) align |= FL_ALIGN_CLIP;
  if (FWrap) align |= FL_ALIGN_WRAP;
  fl_draw(FText.c_str(), x(), y(), w(), h(), align, nullptr, 0);
}

}  // namespace kelvane
