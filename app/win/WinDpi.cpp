#include "app/win/WinDpi.h"

namespace kelvane {
namespace {

// The DPI functions of Windows 10 (1607 and later) are looked up, not
// imported: without them the program still starts, at the system DPI.
template <typename F>
F User32Function(const char* name) {
  return reinterpret_cast<F>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"user32.dll"), name)));
}

}  // namespace

UINT WindowDpi(HWND window) {
  using TGetDpiForWindow = UINT(WINAPI*)(HWND);
  using TGetDpiForSystem = UINT(WINAPI*)();
  static const auto forWindow = User32Function<TGetDpiForWindow>("GetDpiForWindow");
  static const auto forSystem = User32Function<TGetDpiForSystem>("GetDpiForSystem");
  if (window && forWindow) {
    if (const UINT dpi = forWindow(window)) return dpi;
  }
  if (forSystem) {
    if (const UINT dpi = forSystem()) return dpi;
  }
  HDC screen = GetDC(nullptr);
  const int dpi = GetDeviceCaps(screen, LOGPIXELSY);
  ReleaseDC(nullptr, screen);
  return dpi > 0 ? static_cast<UINT>(dpi) : kBaseDpi;
}

RECT WindowRectForClient(int width, int height, DWORD style, DWORD exStyle, UINT dpi) {
  using TAdjust = BOOL(WINAPI*)(LPRECT, DWORD, BOOL, DWORD, UINT);
  static const auto adjustForDpi = User32Function<TAdjust>("AdjustWindowRectExForDpi");
  RECT rect{0, 0, width, height};
  if (!adjustForDpi || !adjustForDpi(&rect, style, FALSE, exStyle, dpi))
    AdjustWindowRectEx(&rect, style, FALSE, exStyle);
  return rect;
}

HFONT CreateDialogFont(int points, UINT dpi) {
  using TSystemParametersForDpi = BOOL(WINAPI*)(UINT, UINT, PVOID, UINT, UINT);
  static const auto forDpi = User32Function<TSystemParametersForDpi>("SystemParametersInfoForDpi");
  NONCLIENTMETRICSW metrics{};
  metrics.cbSize = sizeof metrics;
  const bool got = (forDpi && forDpi(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0, dpi)) ||
                   SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0);
  LOGFONTW font = got ? metrics.lfMessageFont : LOGFONTW{};
  if (!got) lstrcpynW(font.lfFaceName, L"MS Shell Dlg 2", LF_FACESIZE);
  font.lfHeight = -::MulDiv(points, static_cast<int>(dpi), 72);
  font.lfWidth = 0;
  font.lfWeight = FW_NORMAL;
  font.lfQuality = CLEARTYPE_QUALITY;
  return CreateFontIndirectW(&font);
}

void CentreOnMonitor(HWND window, HWND nearWindow) {
  HMONITOR monitor = MonitorFromWindow(nearWindow ? nearWindow : window, MONITOR_DEFAULTTOPRIMARY);
  MONITORINFO info{};
  info.cbSize = sizeof info;
  if (!GetMonitorInfoW(monitor, &info)) return;
  RECT rect;
  GetWindowRect(window, &rect);
  const int w = rect.right - rect.left, h = rect.bottom - rect.top;
  const RECT& area = info.rcWork;
  SetWindowPos(window, nullptr, area.left + (area.right - area.left - w) / 2,
               area.top + (area.bottom - area.top - h) / 2, 0, 0,
               SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

}  // namespace kelvane
