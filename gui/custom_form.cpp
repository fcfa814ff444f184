// See gui/custom_form.h.
#include "gui/custom_form.h"

#include "gui/canvas.h"
#include "gui/theme.h"

namespace {

// Theme entries of the frame.
enum : int32_t {
  kMetricCaption = 0,
  kMetricSide = 1,
  kMetricBottom = 2,
  kColourBackground = 0,
  kColourCaption = 1,
  kColourBottom = 2,
  kColourSide = 3,
};
enum : uint32_t {
  kPicTopLeft = 0,
  kPicTop = 1,
  kPicTopRight = 2,
  kPicLeft = 3,
  kPicRight = 4,
  kPicBottomLeft = 5,
  kPicBottom = 6,
  kPicBottomRight = 7,
};
constexpr int32_t kShownKind = 7;
constexpr int32_t kEnter = 13, kEscape = 27;

// A frame picture, or null when the theme has none (an empty entry).
const cPicture* FramePicture(cCITheme* theme, uint32_t index) {
  const cPicture* p = theme->GetPicture(index);
  if (p == nullptr || p->GetWidth() < 1 || p->GetHeight() < 1 || p->GetPixels() == nullptr) return nullptr;
  return p;
}

}  // namespace

void DrawFormFrame(cCanvas* canvas, cCITheme* theme, int32_t dx, int32_t dy, int32_t W, int32_t H,
                   int32_t c, int32_t s, int32_t b) {
  if (canvas == nullptr || theme == nullptr) return;
  auto fill = [&](int32_t x, int32_t y, int32_t w, int32_t h, int32_t colourIndex) {
    if (w <= 0 || h <= 0) return;
    const uint32_t colour = theme->GetColour(colourIndex);
    const sRect r{dx + x, dy + y, w, h};
    canvas->DrawRect(&r, colour, colour);
  };
  auto draw = [&](const cPicture* p, int32_t x, int32_t y, int32_t w, int32_t h) {
    if (w <= 0 || h <= 0) return;
    canvas->DrawPicture(dx + x, dy + y, p, w, h);
  };
  const cPicture* tl = FramePicture(theme, kPicTopLeft);
  const cPicture* top = FramePicture(theme, kPicTop);
  const cPicture* tr = FramePicture(theme, kPicTopRight);
  const cPicture* left = FramePicture(theme, kPicLeft);
  const cPicture* right = FramePicture(theme, kPicRight);
  const cPicture* bl = FramePicture(theme, kPicBottomLeft);
  const cPicture* bottom = FramePicture(theme, kPicBottom);
  const cPicture* br = FramePicture(theme, kPicBottomRight);

  // 1. Top corners; a missing one leaves the band at height c on its side.
  const int32_t tlW = tl ? tl->GetWidth() : 0, trW = tr ? tr->GetWidth() : 0;
  const int32_t leftTop = tl ? tl->GetHeight() : c, rightTop = tr ? tr->GetHeight() : c;
  if (tl) draw(tl, 0, 0, tl->GetWidth(), tl->GetHeight());
  if (tr) draw(tr, W - trW, 0, trW, tr->GetHeight());
  // 2. Caption band between the corners.
  const int32_t topW = W - tlW - trW;
  if (top) {
    draw(top, tlW, 0, topW, top->GetHeight());
    if (top->GetHeight() < c) fill(tlW, top->GetHeight(), topW, c - top->GetHeight(), kColourCaption);
  } else {
    fill(tlW, 0, topW, c, kColourCaption);
  }
  // 3. Bottom corners.
  const int32_t blW = bl ? bl->GetWidth() : 0, brW = br ? br->GetWidth() : 0;
  const int32_t leftBottom = bl ? bl->GetHeight() : b, rightBottom = br ? br->GetHeight() : b;
  if (bl) draw(bl, 0, H - bl->GetHeight(), blW, bl->GetHeight());
  if (br) draw(br, W - brW, H - br->GetHeight(), brW, br->GetHeight());
  // 4. Left border between the left corners.
  const int32_t leftH = H - leftTop - leftBottom;
  if (left) {
    draw(left, 0, leftTop, left->GetWidth(), leftH);
    if (left->GetWidth() < s) fill(left->GetWidth(), leftTop, s - left->GetWidth(), leftH, kColourSide);
  } else {
    fill(0, leftTop, s, leftH, kColourSide);
  }
  // 5. Right border.
  const int32_t rightH = H - rightTop - rightBottom;
  if (right) {
    draw(right, W - right->GetWidth(), rightTop, right->GetWidth(), rightH);
    if (right->GetWidth() < s) fill(W - s, rightTop, s - right->GetWidth(), rightH, kColourSide);
  } else {
    fill(W - s, rightTop, s, rightH, kColourSide);
  }
  // 6. Bottom band between the bottom corners.
  const int32_t bottomW = W - blW - brW;
  if (bottom) {
    const int32_t ph = bottom->GetHeight() < b ? bottom->GetHeight() : b;
    draw(bottom, blW, H - b, bottomW, ph);
    fill(blW, H - b + ph, bottomW, b - ph, kColourBottom);
  } else {
    fill(blW, H - b, bottomW, b, kColourBottom);
  }
}

cCustomForm::cCustomForm() = default;
cCustomForm::~cCustomForm() = default;

void cCustomForm::OnCreate() {
  cCITheme* theme = GetTheme();
  if (captionHeight_ < 0) captionHeight_ = theme->GetMetric(kMetricCaption);
  bottomHeight_ = theme->GetMetric(kMetricBottom);
  const int32_t s = theme->GetMetric(kMetricSide);
  PlaceChild(&panel_, s, captionHeight_, -2 * s - 1, -bottomHeight_ - 1 - captionHeight_);
  const uint32_t background = theme->GetColour(kColourBackground);
  panel_.SetBackColour(background);
  SetBackgroundColour(background);
  PostKind(kShownKind);
}

bool cCustomForm::OnAction(cChildElement* sender, cChildAction* action) {
  if (action != nullptr && sender == this && action->kind == kShownKind && OnShown()) return true;
  return cChildElement::OnAction(sender, action);
}

bool cCustomForm::Key(int32_t virtualKey, bool shift, bool control, bool alt) {
  if (!shift && !control && !alt) {
    if (virtualKey == kEnter && OnEnterKey()) return true;
    if (virtualKey == kEscape && OnEscapeKey()) return true;
  }
  return cChildElement::Key(virtualKey, shift, control, alt);
}

void cCustomForm::Paint(cCanvas* canvas) { DrawFrame(canvas, 0, 0); }

bool cCustomForm::PaintOwnBg(cCanvas* canvas, const sRect* rect) {
  if (canvas == nullptr || rect == nullptr) return false;
  DrawFrame(canvas, -rect->x, -rect->y);
  return true;
}

void cCustomForm::OnResize() { Invalidate(nullptr); }

void cCustomForm::DrawFrame(cCanvas* canvas, int32_t dx, int32_t dy) {
  cCITheme* theme = GetTheme();
  DrawFormFrame(canvas, theme, dx, dy, GetWidth(), GetHeight(), captionHeight_ < 0 ? 0 : captionHeight_,
                theme->GetMetric(kMetricSide), bottomHeight_);
}
