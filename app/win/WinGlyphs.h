// The push buttons' glyphs, drawn at run time for the monitor's scale: the
// OK check mark of "Extraer" and the cancel cross of "Salir".
#pragma once

#include <windows.h>

namespace kelvane {

enum TWinGlyph { wgCheck, wgCross };

// A Size x Size icon with soft edges; the caller destroys it (DestroyIcon).
HICON MakeGlyphIcon(TWinGlyph glyph, int size);

}  // namespace kelvane
