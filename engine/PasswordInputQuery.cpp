#include "engine/PasswordInputQuery.h"

#include <limits>

namespace kelvane {

int32_t MulDiv(int32_t a, int32_t b, int32_t c) {
  if (c == 0) return -1;
  int64_t product = int64_t(a) * int64_t(b);
  int64_t divisor = c;
  if (divisor < 0) product = -product, divisor = -divisor;
  const int64_t half = divisor / 2;
  const int64_t result = product >= 0 ? (product + half) / divisor : (product - half) / divisor;
  if (result > std::numeric_limits<int32_t>::max() || result < std::numeric_limits<int32_t>::min())
    return -1;
  return int32_t(result);
}

TCharSize AverageCharSize(const TTextMeasure& measure) {
  const TCharSize extent = measure(UStringView(AverageCharSample, AverageCharSampleLength));
  return {extent.Width / AverageCharSampleLength, extent.Height};
}

TPasswordDialogLayout PasswordDialogLayout(TCharSize charSize) {
  // Dialog units: a quarter of the average character's width, an eighth of its
  // height, so the dialog scales with its font.
  const auto x = [&](int32_t units) { return MulDiv(units, charSize.Width, 4); };
  const auto y = [&](int32_t units) { return MulDiv(units, charSize.Height, 8); };

  TPasswordDialogLayout layout;
  layout.ClientWidth = x(180);
  layout.ClientHeight = y(63);
  layout.Label = {x(8), y(8), 0, 0};
  layout.Edit = {layout.Label.Left, y(19), x(164), 0};
  const int32_t buttonTop = y(41);
  const int32_t buttonWidth = x(50);
  const int32_t buttonHeight = y(14);
  layout.OkButton = {x(38), buttonTop, buttonWidth, buttonHeight};
  layout.CancelButton = {x(92), buttonTop, buttonWidth, buttonHeight};
  return layout;
}

bool PasswordInputQuery(const UString& Caption, const UString& Prompt, UString& Value) {
  return CurrentDialogs().InputQuery(Caption, Prompt, Value, true);
}

}  // namespace kelvane
