#include "app/win/WinGlyphs.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

namespace kelvane {
namespace {

struct TPoint {
  double X, Y;
};

double SegmentDistance(TPoint p, TPoint a, TPoint b) {
  const double dx = b.X - a.X, dy = b.Y - a.Y;
  double t = ((p.X - a.X) * dx + (p.Y - a.Y) * dy) / (dx * dx + dy * dy);
  t = std::clamp(t, 0.0, 1.0);
  return std::hypot(p.X - (a.X + t * dx), p.Y - (a.Y + t * dy));
}

}  // namespace

HICON MakeGlyphIcon(TWinGlyph glyph, int size) {
  // Strokes in a unit square, and their colour.
  static const TPoint check[] = {{0.16, 0.55}, {0.40, 0.78}, {0.40, 0.78}, {0.84, 0.24}};
  static const TPoint cross[] = {{0.24, 0.24}, {0.76, 0.76}, {0.76, 0.24}, {0.24, 0.76}};
  const TPoint* strokes = glyph == wgCheck ? check : cross;
  const COLORREF colour = glyph == wgCheck ? RGB(0x2E, 0x7D, 0x32) : RGB(0xC6, 0x28, 0x28);
  const double half = size * (glyph == wgCheck ? 0.085 : 0.075);

  BITMAPV5HEADER header{};
  header.bV5Size = sizeof header;
  header.bV5Width = size;
  header.bV5Height = -size;  // top-down
  header.bV5Planes = 1;
  header.bV5BitCount = 32;
  header.bV5Compression = BI_BITFIELDS;
  header.bV5RedMask = 0x00FF0000;
  header.bV5GreenMask = 0x0000FF00;
  header.bV5BlueMask = 0x000000FF;
  header.bV5AlphaMask = 0xFF000000;
  void* bits = nullptr;
  HDC screen = GetDC(nullptr);
  HBITMAP colourBitmap = CreateDIBSection(screen, reinterpret_cast<BITMAPINFO*>(&header),
                                          DIB_RGB_COLORS, &bits, nullptr, 0);
  ReleaseDC(nullptr, screen);
  if (!colourBitmap) return nullptr;
  auto* pixels = static_cast<uint32_t*>(bits);
  for (int y = 0; y < size; ++y)
    for (int x = 0; x < size; ++x) {
      const TPoint p{(x + 0.5), (y + 0.5)};
      double distance = 1e9;
      for (int s = 0; s < 2; ++s) {
        const TPoint a{strokes[2 * s].X * size, strokes[2 * s].Y * size};
        const TPoint b{strokes[2 * s + 1].X * size, strokes[2 * s + 1].Y * size};
        distance = std::min(distance, SegmentDistance(p, a, b));
      }
      const double cover = std::clamp(half + 0.5 - distance, 0.0, 1.0);
      const auto alpha = static_cast<uint32_t>(std::lround(cover * 255));
      // Premultiplied, as icons with an alpha channel are.
      const uint32_t r = GetRValue(colour) * alpha / 255, g = GetGValue(colour) * alpha / 255,
                     b = GetBValue(colour) * alpha / 255;
      pixels[y * size + x] = (alpha << 24) | (r << 16) | (g << 8) | b;
    }
  std::vector<BYTE> maskBits(static_cast<size_t>((size + 15) / 16 * 2 * size), 0);
  HBITMAP maskBitmap = CreateBitmap(size, size, 1, 1, maskBits.data());
  ICONINFO info{};
  info.fIcon = TRUE;
  info.hbmColor = colourBitmap;
  info.hbmMask = maskBitmap;
  HICON icon = CreateIconIndirect(&info);
  DeleteObject(colourBitmap);
  DeleteObject(maskBitmap);
  return icon;
}

}  // namespace kelvane
