// Pixels at the monitor's scale. The program is per-monitor DPI aware (its
// manifest says so): every size of the dialogs is given at 96 pixels per inch
// and scaled here for the monitor a window is on.
#pragma once

#include <windows.h>

namespace kelvane {

inline constexpr UINT kBaseDpi = 96;

// The DPI of Window's monitor (of the primary monitor for null).
UINT WindowDpi(HWND window);
// Value (at 96 DPI) at Dpi, rounded to the nearest pixel.
inline int Scale(int value, UINT dpi) {
  return ::MulDiv(value, static_cast<int>(dpi), kBaseDpi);
}
// Back from Dpi to 96 DPI, for describing a window as built.
inline int Unscale(int value, UINT dpi) {
  return ::MulDiv(value, kBaseDpi, static_cast<int>(dpi));
}
// The window rectangle that gives a client area of Width x Height with Style
// and ExStyle at Dpi.
RECT WindowRectForClient(int width, int height, DWORD style, DWORD exStyle, UINT dpi);
// The dialog font: the system's message font (its face), Points high at Dpi.
HFONT CreateDialogFont(int points, UINT dpi);
// Centres Window on the work area of Monitor (the one nearest to Near when
// Monitor is null).
void CentreOnMonitor(HWND window, HWND nearWindow);

}  // namespace kelvane
