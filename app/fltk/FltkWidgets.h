// The few widgets the stub's windows need beyond FLTK's own.
#pragma once

#include <string>

#include <FL/Fl_Button.H>
#include <FL/Fl_Widget.H>

#include "app/fltk/FltkGlyphs.h"

namespace kelvane {

// The font of the stub's windows: sans, 11 pixels high (8 points at 96 dpi).
inline constexpr int kDialogFontSize = 11;

// A push button with an optional glyph left of its caption. The default button
// has a dark frame and answers Enter; any focused button also answers Enter,
// as dialog buttons do.
class TDialogButton : public Fl_Button {
 public:
  TDialogButton(int x, int y, int w, int h, const char* caption, TButtonGlyph glyph = bgNone);
  // The caption is kept by the button.
  void SetCaption(const std::string& caption);
  void SetDefault(bool isDefault);
  bool IsDefault() const { return FDefault; }
  int handle(int event) override;

 protected:
  void draw() override;

 private:
  std::string FCaption;
  TButtonGlyph FGlyph;
  bool FDefault = false;
};

// Text drawn exactly as given: no "@" symbols, line breaks kept, wrapped to the
// width when Wrap is set.
class TPlainText : public Fl_Widget {
 public:
  // Clip: nothing is drawn outside the widget's box.
  TPlainText(int x, int y, int w, int h, const std::string& text, bool wrap = false,
             bool clip = true);
  const std::string& Text() const { return FText; }
  // The size the text needs within MaxWidth (wrapped when Wrap).
  static void Measure(const std::string& text, int maxWidth, bool wrap, int& w, int& h);

 protected:
  void draw() override;

 private:
  std::string FText;
  bool FWrap;
  bool FClip;
};

}  // namespace kelvane
