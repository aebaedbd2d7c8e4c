// Pictures drawn in code, so the stub carries no image files: the glyphs of the
// dialog's buttons, the icons of the message boxes and the window icon.
#pragma once

#include <memory>
#include <vector>

#include <FL/Fl_RGB_Image.H>

#include "platform/Dialogs.h"

namespace kelvane {

enum TButtonGlyph : uint8_t { bgNone, bgCheck, bgCross };

// Draws Glyph centred in the box (X, Y, Size x Size) with the current clip.
void DrawButtonGlyph(TButtonGlyph glyph, int x, int y, int size, bool active);
// The icon of a message box of Type in a Size x Size box; mtCustom draws nothing.
void DrawMessageIcon(TMsgDlgType type, int x, int y, int size);

// The window icon in the sizes window managers ask for (16, 32 and 48 pixels),
// RGBA; the images own their pixels.
std::vector<std::unique_ptr<Fl_RGB_Image>> MakeWindowIcons();

}  // namespace kelvane
