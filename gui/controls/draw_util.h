// Small drawing helpers the controls share.
#pragma once

#include "gui/canvas.h"

namespace tw {

// The picture stretched over rect; nothing for a null or empty picture or
// an empty rectangle.
void DrawStretched(cCanvas* canvas, const cPicture* picture, const sRect& rect);

// The picture blended at `at`, only what falls inside clip. The canvas's
// own clip is in force again afterwards.
void DrawBlendedClipped(cCanvas* canvas, const cPicture* picture, const sPoint& at, const sRect& clip);

// Text at (x, y) in the canvas's font and colours, only what falls inside
// clip (the same rule for the canvas's clip afterwards).
void DrawTextClipped(cCanvas* canvas, int32_t x, int32_t y, bool transparent, const char16_t* text, int32_t length,
                     const sRect& clip);

}  // namespace tw
