#include "app/fltk/FltkGlyphs.h"

#include <FL/Fl.H>
#include <FL/fl_draw.H>

#include <algorithm>
#include <cmath>

namespace kelvane {
namespace {

const Fl_Color kCheckGreen = fl_rgb_color(0, 128, 0);
const Fl_Color kCrossRed = fl_rgb_color(192, 0, 0);
const Fl_Color kQuestionBlue = fl_rgb_color(30, 90, 200);
const Fl_Color kErrorRed = fl_rgb_color(210, 40, 40);
const Fl_Color kWarningYellow = fl_rgb_color(250, 200, 30);

// One pixel of an RGBA icon: a box (the archive) with an arrow pointing down
// into it, so the icon says "unpack".
void IconPixel(int size, int x, int y, unsigned char* p) {
  const double u = (x + 0.5) / size, v = (y + 0.5) / size;
  unsigned char r = 0, g = 0, b = 0, a = 0;
  const bool inBox = u >= 0.08 && u <= 0.92 && v >= 0.42 && v <= 0.94;
  if (inBox) {
    const bool edge = u < 0.08 + 1.5 / size || u > 0.92 - 1.5 / size || v < 0.42 + 1.5 / size ||
                      v > 0.94 - 1.5 / size;
    if (edge)
      r = 120, g = 80, b = 20;
    else
      r = 230, g = 180, b = 80;
    a = 255;
  }
  const bool shaft = u >= 0.40 && u <= 0.60 && v >= 0.04 && v <= 0.48;
  const double half = (0.80 - v) * 0.9;  // the head narrows towards its tip at v = 0.80
  const bool head = v >= 0.40 && v <= 0.80 && std::fabs(u - 0.5) <= half;
  if (shaft || head) r = 20, g = 140, b = 40, a = 255;
  p[0] = r, p[1] = g, p[2] = b, p[3] = a;
}

}  // namespace

void DrawButtonGlyph(TButtonGlyph glyph, int x, int y, int size, bool active) {
  if (glyph == bgNone) return;
  fl_color(active ? (glyph == bgCheck ? kCheckGreen : kCrossRed) : fl_inactive(FL_DARK3));
  fl_line_style(FL_SOLID | FL_CAP_ROUND | FL_JOIN_ROUND, std::max(2, size / 6));
  if (glyph == bgCheck) {
    fl_begin_line();
    fl_vertex(x + size * 0.15, y + size * 0.55);
    fl_vertex(x + size * 0.40, y + size * 0.80);
    fl_vertex(x + size * 0.85, y + size * 0.22);
    fl_end_line();
  } else {
    fl_line(x + size / 5, y + size / 5, x + size - size / 5, y + size - size / 5);
    fl_line(x + size - size / 5, y + size / 5, x + size / 5, y + size - size / 5);
  }
  fl_line_style(0);
}

void DrawMessageIcon(TMsgDlgType type, int x, int y, int size) {
  const char* sign = nullptr;
  Fl_Color back = FL_WHITE, fore = FL_WHITE;
  switch (type) {
    case mtConfirmation:
      sign = "?", back = kQuestionBlue;
      break;
    case mtInformation:
      sign = "i", back = kQuestionBlue;
      break;
    case mtError:
      sign = "X", back = kErrorRed;
      break;
    case mtWarning:
      sign = "!", back = kWarningYellow, fore = FL_BLACK;
      break;
    case mtCustom:
      return;
  }
  fl_color(back);
  if (type == mtWarning) {
    fl_polygon(x + size / 2, y + 1, x + size - 1, y + size - 2, x + 1, y + size - 2);
  } else {
    fl_pie(x, y, size, size, 0, 360);
  }
  fl_color(fore);
  fl_font(FL_HELVETICA_BOLD, size * 2 / 3);
  // Drawn without symbol expansion: "@" would not be text otherwise.
  fl_draw(sign, x, y + (type == mtWarning ? size / 8 : 0), size, size, FL_ALIGN_CENTER, nullptr, 0);
}

std::vector<std::unique_ptr<Fl_RGB_Image>> MakeWindowIcons() {
  std::vector<std::unique_ptr<Fl_RGB_Image>> icons;
  for (int size : {16, 32, 48}) {
    auto* pixels = new unsigned char[size_t(size) * size * 4];
    for (int y = 0; y < size; ++y)
      for (int x = 0; x < size; ++x)
        IconPixel(size, x, y, pixels + (size_t(y) * size + x) * 4);
    auto image = std::make_unique<Fl_RGB_Image>(pixels, size, size, 4);
    image->alloc_array = 1;  // the image frees its pixels
    icons.push_back(std::move(image));
  }
  return icons;
}

}  // namespace kelvane
