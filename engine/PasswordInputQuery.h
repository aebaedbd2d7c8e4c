// The password dialog: a masked one-line query, drawn by the current dialog
// provider. Its layout is computed here, free of any toolkit, from the average
// character of the dialog font, so every window provider draws the same dialog.
#pragma once

#include <cstdint>
#include <functional>

#include "platform/Dialogs.h"

namespace kelvane {

// a * b / c rounded to the nearest integer (halves away from zero), with a
// 64-bit intermediate product. -1 when c is 0 or the result does not fit in 32
// bits, as callers of the classic routine expect.
int32_t MulDiv(int32_t a, int32_t b, int32_t c);

struct TCharSize {
  int32_t Width = 0;
  int32_t Height = 0;
  bool operator==(const TCharSize&) const = default;
};

// The text whose extent gives the average character: "A" to "Z", then "a" to "z".
inline constexpr char16_t AverageCharSample[] =
    u"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";
inline constexpr int32_t AverageCharSampleLength = 52;

// Measures a text in the dialog font: its width and height in pixels.
using TTextMeasure = std::function<TCharSize(UStringView text)>;

// The average character of a font: Width is the sample's width divided by 52
// (integer division), Height the sample's height.
TCharSize AverageCharSize(const TTextMeasure& measure);

// A control's place inside the dialog's client area, in pixels. A Height of 0
// leaves the height to the toolkit (the edit takes its usual single-line height;
// the label is sized to its text).
struct TDialogRect {
  int32_t Left = 0;
  int32_t Top = 0;
  int32_t Width = 0;
  int32_t Height = 0;
  bool operator==(const TDialogRect&) const = default;
};

// The password dialog: a fixed dialog border, centred on the screen; a label
// holding the prompt; a single-line edit that starts with the whole value
// selected and shows every character as PasswordChar; "OK" (the default button,
// Enter) and "Cancel" (the cancel button, Esc).
struct TPasswordDialogLayout {
  int32_t ClientWidth = 0;
  int32_t ClientHeight = 0;
  TDialogRect Label;  // Left and Top only: sized to its text
  TDialogRect Edit;   // Left, Top and Width; the toolkit's height
  TDialogRect OkButton;
  TDialogRect CancelButton;
  int32_t MaxLength = 255;
  char16_t PasswordChar = u'*';
};

// Places everything from the average character CharSize of the dialog font.
TPasswordDialogLayout PasswordDialogLayout(TCharSize charSize);

// Asks for a password: Caption is the dialog's title, Prompt the label, Value
// the edit's starting text. Runs as a masked input query of the current
// provider (window providers draw masked queries with PasswordDialogLayout;
// the terminal asks without echo). True when confirmed with OK, and then Value
// holds the text typed; otherwise Value is unchanged. Whatever the provider
// raises passes through.
bool PasswordInputQuery(const UString& Caption, const UString& Prompt, UString& Value);

}  // namespace kelvane
