// See sidoc/box.h.
#include "sidoc/box.h"

#include <cstdint>
#include <limits>
#include <utility>

#include "gui/canvas.h"
#include "gui/font.h"
#include "gui/picture.h"
#include "sidoc/format.h"

namespace {

constexpr int64_t kMaxInt = std::numeric_limits<int32_t>::max();
constexpr int64_t kMinInt = std::numeric_limits<int32_t>::min();

// Layout sums can leave int32 near the "no limit" value 2147483647; every
// result is brought back into range instead of wrapping.
int32_t Clamp32(int64_t v) { return static_cast<int32_t>(v > kMaxInt ? kMaxInt : (v < kMinInt ? kMinInt : v)); }

// trunc(v), toward zero, clamped.
int32_t Trunc(double v) {
  if (!(v == v)) return 0;
  if (v >= static_cast<double>(kMaxInt)) return static_cast<int32_t>(kMaxInt);
  if (v <= static_cast<double>(kMinInt)) return static_cast<int32_t>(kMinInt);
  return static_cast<int32_t>(v);
}

// "Rounded": 0.5 added, then truncated toward zero.
int32_t Round(double v) { return Trunc(v + 0.5); }

uint32_t Colour(int32_t own, int32_t inherited) { return static_cast<uint32_t>(own != -1 ? own : inherited); }

void Fill(cCanvas* canvas, int32_t x, int32_t y, int32_t w, int32_t h, uint32_t colour) {
  const sRect r{x, y, w, h};
  canvas->DrawRect(&r, colour, colour);
}

// The height of one line of " " in the selected font, times the line factor.
int32_t SpaceLineHeight(cCanvas* canvas) {
  sSize space;
  canvas->MeasureTextAnsi(" ", 1, &space);
  return Round(space.height * GetLineSpacing());
}

cFontObject* ProviderFont(cSiDocFontProvider* provider, int32_t fontId, const sSiDocArea& area) {
  cFontObject* font = provider != nullptr ? provider->GetFont(fontId) : nullptr;
  return font != nullptr ? font : area.font;
}

}  // namespace

bool cSiDocBox::IsWord() const {
  const eSiDocBoxKind k = Kind();
  if (k != eSiDocBoxKind::kText && k != eSiDocBoxKind::kLink) return false;
  return !static_cast<const cSiDocText*>(this)->text.IsEmpty();
}

// ---- Text ---------------------------------------------------------------

cFontObject* cSiDocText::ResolveFont(const sSiDocArea& area) const {
  return ProviderFont(fontProvider, fontId, area);
}

bool cSiDocText::Measure(cCanvas* canvas, const sSiDocArea& area, sSize& size) {
  if (width >= 1 && height >= 1) {
    size = {width, height};
    return true;
  }
  size = {0, 0};
  if (canvas == nullptr) return false;
  canvas->SelectFont(ResolveFont(area));
  size = {0, SpaceLineHeight(canvas)};
  if (!text.IsEmpty()) {
    sSize e;
    canvas->MeasureText(text.text, -1, &e);
    size = {e.width, Round(e.height * GetLineSpacing())};
  }
  if (width != -1) size.width = width;
  if (height != -1) size.height = height;
  return true;
}

bool cSiDocText::Paint(cCanvas* canvas, const sSiDocArea& area, sSize& size) {
  size = {0, 0};
  if (canvas == nullptr) return false;
  canvas->SelectFont(ResolveFont(area));
  size = {0, SpaceLineHeight(canvas)};
  if (text.IsEmpty() || area.rightLimit == 0 || area.bottomLimit == 0) return false;

  sSize e;
  canvas->MeasureText(text.text, -1, &e);
  size = {e.width, Round(e.height * GetLineSpacing())};
  if (width != -1) size.width = width;
  if (height != -1) size.height = height;
  if (int64_t{area.x} + size.width > area.rightLimit) size.width = Clamp32(int64_t{area.rightLimit} - area.x);
  if (int64_t{area.y} + size.height > area.bottomLimit) size.height = Clamp32(int64_t{area.bottomLimit} - area.y);

  const uint32_t bg = Colour(background, area.background);
  canvas->SetTextColours(Colour(foreground, area.foreground), bg);
  if (size.width > e.width || size.height > e.height) {
    // The box is larger than the text: its background around the text, the
    // text's own cells left to the opaque text drawing.
    const sRect textRect{area.x, area.y, e.width, e.height};
    canvas->ExcludeClipRect(&textRect);
    canvas->ApplyClip();
    Fill(canvas, area.x, area.y, size.width, size.height, bg);
    canvas->AddClipRect(&textRect);
    canvas->ApplyClip();
  }
  canvas->DrawTextLine(area.x, area.y, size.width, size.height, 0, false, 0, 0, text.text, -1, nullptr, false);
  return true;
}

bool cSiDocLink::Paint(cCanvas* canvas, const sSiDocArea& area, sSize& size) {
  if (!cSiDocText::Paint(canvas, area, size)) return false;
  if (area.activeTarget != nullptr && target != nullptr)
    area.activeTarget->AddHotSpot(target, area.x, area.y, size.width, size.height);
  return true;
}

// ---- Pictures -----------------------------------------------------------

bool cSiDocImage::Measure(cCanvas*, const sSiDocArea&, sSize& size) {
  if (width >= 1 && height >= 1) {
    size = {width, height};
    return true;
  }
  size = {0, 0};
  if (picture == nullptr) return false;
  size = {picture->GetWidth(), picture->GetHeight()};
  return true;
}

bool cSiDocImage::Paint(cCanvas* canvas, const sSiDocArea& area, sSize& size) {
  size = {0, 0};
  if (canvas == nullptr || area.rightLimit == 0 || area.bottomLimit == 0) return false;
  // A picture that could not be decoded is an empty box of its stated size.
  if (picture == nullptr && !(width >= 1 && height >= 1)) return false;
  const int32_t pw = picture != nullptr ? picture->GetWidth() : 0;
  const int32_t ph = picture != nullptr ? picture->GetHeight() : 0;
  int32_t w = width != -1 ? width : pw;
  int32_t h = height != -1 ? height : ph;
  if (area.rightLimit >= 0 && int64_t{area.x} + w > area.rightLimit) w = Clamp32(int64_t{area.rightLimit} - area.x);
  if (area.bottomLimit >= 0 && int64_t{area.y} + h > area.bottomLimit) h = Clamp32(int64_t{area.bottomLimit} - area.y);
  size = {w, h};

  if (picture != nullptr) {
    if (w >= pw && h >= ph) {
      canvas->DrawPicture(area.x, area.y, picture, -1, -1);
    } else if (w > 0 && h > 0) {
      // Cut, never scaled: drawn at its own size through a canvas clipped
      // to the box, then the parent's clip is selected again.
      const sRect box{area.x, area.y, w, h};
      std::unique_ptr<cCanvas> cut(canvas->CreateSubCanvas(&box));
      if (cut != nullptr) {
        cut->ApplyClip();
        cut->DrawPicture(0, 0, picture, -1, -1);
        cut.reset();
        canvas->ApplyClip();
      }
    }
  }
  const uint32_t bg = Colour(background, area.background);
  if (w > pw) Fill(canvas, area.x + pw, area.y, w - pw, h, bg);
  if (h > ph) Fill(canvas, area.x, area.y + ph, w, h - ph, bg);
  return true;
}

bool cSiDocImageLink::Paint(cCanvas* canvas, const sSiDocArea& area, sSize& size) {
  if (!cSiDocImage::Paint(canvas, area, size)) return false;
  if (area.activeTarget != nullptr && target != nullptr)
    area.activeTarget->AddHotSpot(target, area.x, area.y, size.width, size.height);
  return true;
}

// ---- Containers -----------------------------------------------------------

cSiDocContainer::~cSiDocContainer() {
  // Children of children are moved into one work list and deleted there, so
  // the depth of the tree never becomes depth of recursion.
  std::vector<std::unique_ptr<cSiDocBox>> pending = std::move(children);
  while (!pending.empty()) {
    std::unique_ptr<cSiDocBox> box = std::move(pending.back());
    pending.pop_back();
    if (box != nullptr && box->Kind() == eSiDocBoxKind::kContainer) {
      auto& grand = static_cast<cSiDocContainer*>(box.get())->children;
      for (auto& g : grand) pending.push_back(std::move(g));
      grand.clear();
    }
  }
}

cSiDocBox* cSiDocContainer::Append(std::unique_ptr<cSiDocBox> child) {
  if (child == nullptr) return nullptr;
  children.push_back(std::move(child));
  return children.back().get();
}

cFontObject* cSiDocContainer::ResolveFont(const sSiDocArea& area) const {
  return ProviderFont(fontProvider, fontId, area);
}

bool cSiDocContainer::Measure(cCanvas* canvas, const sSiDocArea& area, sSize& size) {
  if (width > 0 && height > 0) {
    size = {width, height};
    return true;
  }
  return Layout(canvas, area, size, false);
}

bool cSiDocContainer::Paint(cCanvas* canvas, const sSiDocArea& area, sSize& size) {
  return Layout(canvas, area, size, true);
}

bool cSiDocContainer::Layout(cCanvas* canvas, const sSiDocArea& area, sSize& size, bool paint) {
  size = {0, 0};
  if (canvas == nullptr || area.depth > sidoc::kMaxBoxNesting) return false;

  // The box's limits, then the content limits inside its far margins; the
  // near margins are the containing box's business.
  int64_t r = width == -1 ? kMaxInt : int64_t{area.x} + width;
  int64_t b = height == -1 ? kMaxInt : int64_t{area.y} + height;
  if (area.rightLimit >= 0 && area.rightLimit < r) r = area.rightLimit;
  if (area.bottomLimit >= 0 && area.bottomLimit < b) b = area.bottomLimit;
  const int32_t limitA = Clamp32(r - marginRight);
  const int32_t limitD = Clamp32(b - marginBottom);

  std::vector<cSiDocBox*> boxes;
  boxes.reserve(children.size());
  for (auto& c : children)
    if (c != nullptr) boxes.push_back(c.get());

  if (boxes.empty()) {
    if (paint && width != -1 && height != -1 && background != -1)
      Fill(canvas, area.x, area.y, width, height, static_cast<uint32_t>(background));
    size = {width != -1 ? width : 0, height != -1 ? height : 0};
    return false;
  }

  sSiDocArea child;
  child.font = ResolveFont(area);
  child.foreground = foreground != -1 ? foreground : area.foreground;
  child.background = background != -1 ? background : area.background;
  child.activeTarget = area.activeTarget;
  child.depth = area.depth + 1;
  canvas->SelectFont(child.font);
  sSize space;
  canvas->MeasureTextAnsi(" ", 1, &space);
  const int32_t gap = space.width;

  int64_t lineTop = area.y;
  int64_t widest = 0;
  size_t first = 0;
  while (first < boxes.size()) {
    // a. Collect the line [first, end).
    double runX = area.x;
    int32_t gaps = 0;
    bool prevWord = false;
    bool wrapped = false;
    size_t end = first;
    for (; end < boxes.size(); ++end) {
      cSiDocBox* c = boxes[end];
      if (end != first && c->lineBreak != 0) break;
      sSiDocArea at = child;
      at.x = Trunc(runX + c->marginLeft);
      at.y = area.y;
      at.rightLimit = Clamp32(int64_t{limitA} - c->marginRight);
      at.bottomLimit = limitD;
      sSize m;
      c->Measure(canvas, at, m);
      c->measuredWidth = m.width;
      c->measuredHeight = m.height;
      double advance = static_cast<double>(c->marginLeft) + m.width + c->marginRight;
      const bool word = c->IsWord();
      const bool gapped = word && prevWord;
      if (gapped) advance += gap;
      if (end != first && runX + advance > limitA) {
        wrapped = true;
        break;
      }
      // A gap counts for justification only when its word stays on the line.
      if (gapped) ++gaps;
      runX += advance;
      prevWord = word;
    }

    // b. Where the line starts, and the gap between its words.
    double start = area.x;
    double lineGap = gap;
    switch (alignment) {
      case sidoc::kAlignLeft: break;
      case sidoc::kAlignRight: start = limitA - (runX - area.x); break;
      case sidoc::kAlignCentre: start = area.x + (limitA - runX) / 2; break;
      case sidoc::kAlignJustify:
        if (wrapped && gaps > 0) lineGap = gap + (limitA - runX) / gaps;
        break;
      default: size = {0, 0}; return false;
    }

    int64_t lineHeight = 0;
    if (end - first == 1) {
      // c. A line of one child: no gaps, no margin strips.
      cSiDocBox* c = boxes[first];
      sSiDocArea at = child;
      at.x = Trunc(start + c->marginLeft);
      at.y = Clamp32(lineTop + c->marginTop);
      at.rightLimit = limitA;
      at.bottomLimit = limitD;
      sSize s{c->measuredWidth, c->measuredHeight};
      if (paint) c->Paint(canvas, at, s);
      lineHeight = int64_t{c->marginTop} + s.height;
      if (s.width > widest) widest = s.width;
    } else {
      // d. Several children.
      double x = start;
      bool prev = false;
      for (size_t k = first; k < end; ++k) {
        cSiDocBox* c = boxes[k];
        const bool word = c->IsWord();
        const int32_t left = Trunc(x + c->marginLeft);
        sSiDocArea at = child;
        at.x = Clamp32(int64_t{left} + (word && prev ? Trunc(lineGap) : 0));
        at.y = Clamp32(lineTop + c->marginTop);
        at.rightLimit = limitA;
        at.bottomLimit = limitD;
        sSize s{c->measuredWidth, c->measuredHeight};
        if (paint) {
          c->Paint(canvas, at, s);
          const uint32_t bg = static_cast<uint32_t>(child.background);
          const int32_t top = Clamp32(lineTop);
          const int32_t tall = Clamp32(int64_t{c->marginTop} + s.height + c->marginBottom);
          if (c->marginLeft != 0) Fill(canvas, Trunc(x), top, c->marginLeft, tall, bg);
          if (c->marginTop != 0) Fill(canvas, left, top, s.width, c->marginTop, bg);
          if (c->marginRight != 0)
            Fill(canvas, Trunc(x + c->marginLeft + s.width), top, c->marginRight, tall, bg);
          if (c->marginBottom != 0)
            Fill(canvas, left, Clamp32(lineTop + c->marginTop + s.height), s.width, c->marginBottom, bg);
        }
        x = static_cast<double>(at.x) + s.width + c->marginRight;
        const int64_t tall = int64_t{c->marginTop} + s.height + c->marginBottom;
        if (tall > lineHeight) lineHeight = tall;
        prev = word;
      }
      const int64_t used = Trunc(x - area.x);
      if (used > widest) widest = used;
    }
    // e.
    lineTop += lineHeight;
    first = end;
  }
  size = {width > 0 ? width : Clamp32(widest), height > 0 ? height : Clamp32(lineTop - area.y)};
  return true;
}
