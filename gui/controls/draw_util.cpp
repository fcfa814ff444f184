// See gui/controls/draw_util.h.
#include "gui/controls/draw_util.h"

namespace tw {

void DrawStretched(cCanvas* canvas, const cPicture* picture, const sRect& rect) {
  if (canvas == nullptr || picture == nullptr || picture->GetPixels() == nullptr || rect.width <= 0 ||
      rect.height <= 0)
    return;
  sScaledPicture s;
  s.picture = picture;
  s.x = rect.x, s.y = rect.y, s.width = rect.width, s.height = rect.height;
  canvas->DrawPictureScaled(s);
}

namespace {
// Runs draw on a sub-canvas over clip with its clip selected, then selects
// the canvas's own clip again (sub-canvases share the surface's clip).
template <class F>
void WithClip(cCanvas* canvas, const sRect& clip, F draw) {
  if (canvas == nullptr || clip.width <= 0 || clip.height <= 0) return;
  cCanvas* sub = canvas->CreateSubCanvas(&clip);
  if (sub == nullptr) return;
  sub->ApplyClip();
  draw(sub);
  delete sub;
  canvas->ApplyClip();
}
}  // namespace

void DrawBlendedClipped(cCanvas* canvas, const cPicture* picture, const sPoint& at, const sRect& clip) {
  if (picture == nullptr) return;
  WithClip(canvas, clip, [&](cCanvas* sub) {
    const sPoint p{at.x - clip.x, at.y - clip.y};
    sub->DrawPictureBlended(&p, picture, nullptr);
  });
}

void DrawTextClipped(cCanvas* canvas, int32_t x, int32_t y, bool transparent, const char16_t* text, int32_t length,
                     const sRect& clip) {
  if (text == nullptr) return;
  WithClip(canvas, clip, [&](cCanvas* sub) { sub->DrawText(x - clip.x, y - clip.y, transparent, text, length); });
}

}  // namespace tw
