// The operations of cCanvas that are built from other operations; see
// canvas.h. Device operations answer false, 0 or null here.
#include "gui/canvas.h"

#include <algorithm>
#include <string>
#include <vector>

#include "base/strings.h"
#include "gui/canvas_internal.h"
#include "gui/font.h"

namespace {

bool IsBlankUnit(char16_t c) { return c <= 0x20; }

}  // namespace

// ---- Scale helpers ---------------------------------------------------------

int32_t cCanvas::Trunc(int32_t v) const {
  if (scale_ == nullptr) return v;
  return static_cast<int32_t>(v * Scale());
}

int32_t cCanvas::Round(int32_t v) const {
  if (scale_ == nullptr) return v;
  return static_cast<int32_t>(v * Scale() + 0.5);
}

int32_t cCanvas::Back(int32_t v) const {
  if (scale_ == nullptr) return v;
  return static_cast<int32_t>(v / Scale() + 0.5);
}

sRect cCanvas::PenRect(const sRect& rect) const {
  sRect r{Round(rect.x), Round(rect.y), Round(rect.width), Round(rect.height)};
  if (scale_ != nullptr) {
    const double s = Scale();
    const int32_t c = static_cast<int32_t>(s * 0.5 + 0.25), shrink = static_cast<int32_t>(s * 0.5);
    r.x += c, r.y += c, r.width -= shrink, r.height -= shrink;
  }
  return r;
}

void cCanvas::PenLine(const sPoint& from, const sPoint& to, sPoint& start, sPoint& end) const {
  start = {Round(from.x), Round(from.y)};
  end = {Round(to.x), Round(to.y)};
  if (scale_ != nullptr) {
    const int32_t c = static_cast<int32_t>(Scale() * 0.5 + 0.25);
    if (start.x != end.x)
      start.y += c, end.y += c;
    else
      start.x += c, end.x += c;
  }
}

bool cCanvas::CopyBlock(cCanvas& source, int32_t& x, int32_t& y, int32_t& sourceX, int32_t& sourceY,
                        int32_t& width, int32_t& height) const {
  x = Trunc(x), y = Trunc(y), sourceX = Trunc(sourceX), sourceY = Trunc(sourceY);
  if (width >= 0) width = Round(width);
  if (height >= 0) height = Round(height);
  const int32_t sw = Round(source.GetWidth()), sh = Round(source.GetHeight());
  if (sourceX >= sw || sourceY >= sh) return false;
  if (width < 1 || sourceX + width > sw) width = sw - sourceX;
  if (height < 1 || sourceY + height > sh) height = sh - sourceY;
  return true;
}

// ---- Device operations of the base: none -----------------------------------

void cCanvas::SetScaleProvider(cScaleProvider* provider) { scale_ = provider; }
int32_t cCanvas::GetWidth() { return 0; }
int32_t cCanvas::GetHeight() { return 0; }
bool cCanvas::DrawText(int32_t, int32_t, bool, const char16_t*, int32_t) { return false; }
bool cCanvas::DrawRect(const sRect*, uint32_t, uint32_t) { return false; }
bool cCanvas::DrawPicture(int32_t, int32_t, const cPicture*, int32_t, int32_t) { return false; }
bool cCanvas::DrawPictureBlended(const sPoint*, const cPicture*, const sSize*) { return false; }
bool cCanvas::DrawLine(const sPoint&, const sPoint&) { return false; }
bool cCanvas::CopyFromCanvas(int32_t, int32_t, cCanvas*, int32_t, int32_t, int32_t, int32_t) { return false; }
bool cCanvas::ExcludeClipRect(const sRect*) { return false; }
bool cCanvas::AddClipRect(const sRect*) { return false; }
bool cCanvas::SetLinePen(uint32_t, int32_t) { return false; }
bool cCanvas::SelectFont(cFontObject*) { return false; }
bool cCanvas::SetFont(int32_t, int32_t, const char16_t*, bool, bool, bool) { return false; }
bool cCanvas::SetTextColours(uint32_t, uint32_t) { return false; }
uint32_t cCanvas::GetBackgroundColour() { return 0; }
bool cCanvas::MeasureText(const char16_t*, int32_t, sSize*) { return false; }
bool cCanvas::MeasureTextAnsi(const char*, int32_t, sSize*) { return false; }
bool cCanvas::GetCharExtents(const char16_t*, int32_t, _typebuf<int32_t>*) { return false; }
bool cCanvas::GetCharExtentsAnsi(const char*, int32_t, _typebuf<int32_t>*) { return false; }
bool cCanvas::IsRectVisible(const sRect*) { return false; }
bool cCanvas::CopyToPicture(cPicture*, const sRect*) { return false; }
cCanvas* cCanvas::CreateSubCanvas(const sRect*) { return nullptr; }
cCanvas* cCanvas::CreateOffscreen(int32_t, int32_t, int32_t, int32_t) { return nullptr; }
bool cCanvas::ApplyClip() { return true; }

// ---- Built from other operations -------------------------------------------

cWinFont* cCanvas::GetFont(int32_t width, int32_t height, const char16_t* face, bool bold, bool underline,
                           bool italic) {
  return GetCachedFont(Round(width), Round(height), face, bold, underline, italic);
}

bool cCanvas::DrawTextUtf8(int32_t x, int32_t y, bool transparent, const char* text, int32_t length) {
  if (text == nullptr) return false;
  _guardchar<char16_t> wide;
  Utf8ToWide(text, length, wide);
  return DrawText(x, y, transparent, wide.text != nullptr ? wide.text : u"", -1);
}

bool cCanvas::DrawPictureAt(const sPoint* point, const cPicture* picture, const sSize* size) {
  if (point == nullptr) return false;
  return DrawPicture(point->x, point->y, picture, size != nullptr ? size->width : -1,
                     size != nullptr ? size->height : -1);
}

bool cCanvas::IntersectsArea(const sRect* rect) {
  if (rect == nullptr) return false;
  return rect->x <= GetWidth() && rect->y <= GetHeight() && rect->x + rect->width >= 0 &&
         rect->y + rect->height >= 0;
}

int32_t cCanvas::DrawTextLine(int32_t x, int32_t y, int32_t width, int32_t height, int32_t alignment,
                              bool transparent, int32_t leftPadding, int32_t rightPadding,
                              const char16_t* text, int32_t length, int32_t* widthOut,
                              bool fillBackground) {
  if (text == nullptr) return -1;
  const int32_t n = tw::TextLength(text, length);
  if (width <= 0 || leftPadding < 0 || rightPadding < 0 || leftPadding + rightPadding >= width) return -1;

  sSize textSize;
  if (!MeasureText(text, n, &textSize)) return -1;
  const int32_t available = width - leftPadding - rightPadding;

  std::u16string shown(text, text + n);
  int32_t drawnWidth = textSize.width;
  if (textSize.width > available) {
    sSize dots;
    if (!MeasureTextAnsi("...", 3, &dots) || dots.width > available) return -1;
    _typebuf<int32_t> extents;
    if (!GetCharExtents(text, n, &extents) || extents.count < n) return -1;
    int32_t keep = 0;
    while (keep < n && extents[keep] + dots.width <= available) ++keep;
    shown.assign(text, text + keep);
    shown += u"...";
    drawnWidth = dots.width + (keep > 0 ? extents[keep - 1] : 0);
  }

  int32_t textX = x + leftPadding;
  if (alignment == 1)
    textX += (available - drawnWidth) / 2;
  else if (alignment == 2)
    textX = x + width - rightPadding - drawnWidth - 1;
  const int32_t textY = y + (height - textSize.height) / 2;
  if (!DrawText(textX, textY, transparent, shown.c_str(), -1)) return -1;

  if (fillBackground && !transparent) {
    const uint32_t bg = GetBackgroundColour();
    const int32_t bandLeft = x + leftPadding, bandRight = x + width - rightPadding;
    const int32_t textBottom = textY + textSize.height;
    const sRect parts[] = {
        {bandLeft, y, textX - bandLeft, height},
        {textX, y, drawnWidth, textY - y},
        {textX, textBottom, drawnWidth, y + height - textBottom},
        {textX + drawnWidth, y, bandRight - (textX + drawnWidth), height},
    };
    for (const sRect& part : parts)
      if (part.width > 0 && part.height > 0) DrawRect(&part, bg, bg);
  }
  if (widthOut != nullptr) *widthOut = drawnWidth;
  return textX;
}

int32_t cCanvas::DrawTextLineUtf8(int32_t x, int32_t y, int32_t width, int32_t height, int32_t alignment,
                                  bool transparent, int32_t leftPadding, int32_t rightPadding,
                                  const char* text, int32_t length, int32_t* widthOut, bool fillBackground) {
  if (text == nullptr) return 0;
  _guardchar<char16_t> wide;
  Utf8ToWide(text, length, wide);
  if (wide.IsEmpty()) return 0;
  return DrawTextLine(x, y, width, height, alignment, transparent, leftPadding, rightPadding, wide.text, -1,
                      widthOut, fillBackground);
}

void SplitTextForLayout(cCanvas* canvas, const char16_t* text, tLayoutTokens& tokens) {
  tokens.Clear();
  if (text == nullptr) return;
  int32_t number = 0;
  auto add = [&](int32_t kind, const char16_t* from, int32_t count, int32_t width) {
    sLayoutToken* t = tokens.FindOrInsert(number++);
    if (t == nullptr) return;
    t->kind = kind;
    if (kind == sLayoutToken::kWord) t->text.AssignN(from, static_cast<uint32_t>(count));
    t->width = width;
  };
  const char16_t* p = text;
  while (*p != 0) {
    // A run of blanks; a line feed ends it at once.
    int32_t units = 0;
    bool lineBreak = false;
    while (*p != 0 && IsBlankUnit(*p)) {
      if (*p == u'\n') {
        ++p;
        lineBreak = true;
        break;
      }
      units += *p == u'\t' ? 4 : 1;
      ++p;
    }
    if (lineBreak) {
      add(sLayoutToken::kLineBreak, nullptr, 0, 0);
      continue;
    }
    if (units > 0) add(sLayoutToken::kBlank, nullptr, 0, units);
    // A word; the ideographic comma and full stop end it and belong to it.
    const char16_t* start = p;
    while (*p != 0 && !IsBlankUnit(*p)) {
      const char16_t c = *p++;
      if (c == 0x3001 || c == 0x3002) break;
    }
    const int32_t count = static_cast<int32_t>(p - start);
    if (count > 0) {
      sSize size;
      if (canvas == nullptr || !canvas->MeasureText(start, count, &size)) size = {};
      add(sLayoutToken::kWord, start, count, size.width);
    }
  }
}

bool cCanvas::DrawTextWrapped(int32_t x, int32_t y, int32_t width, int32_t height, int32_t alignment,
                              const char16_t* text, sSize* sizeOut, bool transparent, double lineSpacing) {
  if (width == 0 || height == 0 || text == nullptr) return false;
  if (lineSpacing == 0) lineSpacing = GetLineSpacing();
  sSize space;
  if (!MeasureTextAnsi(" ", 1, &space)) return false;
  if (height < space.height || width < space.width) return false;

  tLayoutTokens map(512);
  SplitTextForLayout(this, text, map);
  std::vector<const sLayoutToken*> tokens;
  for (auto* n = map.First(); n != nullptr; n = tLayoutTokens::Next(n)) tokens.push_back(&n->value);
  const int32_t count = static_cast<int32_t>(tokens.size());
  const int32_t lineAdvance = static_cast<int32_t>(space.height * lineSpacing);

  int32_t lineStart = 0, lineWidth = 0, blankUnits = 0, yOffset = 0, widest = 0;
  // The word after a dropped blank run opens the next line as it is, however
  // wide, so no empty line goes before it.
  bool placeWord = false;
  for (int32_t i = 0; i < count; ++i) {
    const sLayoutToken& t = *tokens[i];
    bool breaks = false;
    const bool placed = placeWord && t.kind == sLayoutToken::kWord;
    placeWord = false;
    if (placed) {
      lineWidth += t.width;
    } else if (t.kind == sLayoutToken::kWord) {
      if (lineWidth + t.width <= width)
        lineWidth += t.width;
      else
        breaks = true;
    } else if (t.kind == sLayoutToken::kLineBreak) {
      breaks = true;
    } else {
      const int32_t blankWidth = t.width * space.width;
      if (blankWidth > width) break;  // nothing sensible fits: stop, the pending line is dropped
      if (lineWidth + blankWidth <= width) {
        lineWidth += blankWidth;
        blankUnits += t.width;
      } else {
        breaks = true;
      }
    }
    const bool last = i == count - 1;
    if (!breaks && !last) continue;

    // Output the pending line.
    int32_t end = i;
    if (breaks && t.kind == sLayoutToken::kWord && i > lineStart && tokens[i - 1]->kind == sLayoutToken::kBlank) {
      // A blank before the word that does not fit ends the line instead.
      end = i - 1;
      blankUnits -= tokens[i - 1]->width;
      lineWidth -= tokens[i - 1]->width * space.width;
    }
    if (last && !breaks) end = count;
    const bool brokenByBlank = breaks && t.kind == sLayoutToken::kBlank;
    const bool skipBlank = (alignment == 0 || alignment == 3) && brokenByBlank && blankUnits > 0;
    double advance = space.width;
    if (alignment == 3 && breaks && t.kind != sLayoutToken::kLineBreak && blankUnits > 0)
      advance = static_cast<double>(width - lineWidth) / blankUnits + space.width;
    double offset = 0;
    if (alignment == 1)
      offset = (width - lineWidth) * 0.5;
    else if (alignment == 2)
      offset = width - lineWidth;
    for (int32_t k = lineStart; k < end; ++k) {
      const sLayoutToken& d = *tokens[k];
      if (d.kind == sLayoutToken::kWord) {
        DrawText(x + static_cast<int32_t>(offset), y + yOffset, transparent, d.text.text, -1);
        offset += d.width;
      } else if (d.kind == sLayoutToken::kBlank) {
        offset += d.width * advance;
      }
    }
    widest = std::max(widest, static_cast<int32_t>(offset));
    yOffset += lineAdvance;

    if (!breaks) break;  // the last token closed the text
    if (last && t.kind == sLayoutToken::kWord) {
      int32_t wordX = x;
      if (alignment == 1)
        wordX = x + (width - t.width) / 2;
      else if (alignment == 2)
        wordX = x + width - t.width;
      DrawText(wordX, y + yOffset, transparent, t.text.text, -1);
      yOffset += lineAdvance;
      break;
    }
    // The breaking token (or the one after a skipped blank) starts the next line.
    lineWidth = 0;
    blankUnits = 0;
    if (skipBlank) {
      lineStart = i + 1;
      placeWord = true;
      continue;
    }
    lineStart = i;
    if (t.kind == sLayoutToken::kWord) {
      lineWidth = t.width;
    } else if (t.kind == sLayoutToken::kBlank) {
      lineWidth = t.width * space.width;
      blankUnits = t.width;
    }
  }
  if (sizeOut != nullptr) *sizeOut = {widest, yOffset};
  return true;
}

bool cCanvas::DrawTextWrappedUtf8(int32_t x, int32_t y, int32_t width, int32_t height, int32_t alignment,
                                  const char* text, sSize* sizeOut, bool transparent, double lineSpacing) {
  if (text == nullptr) return false;
  _guardchar<char16_t> wide;
  Utf8ToWide(text, -1, wide);
  if (wide.IsEmpty()) return false;
  return DrawTextWrapped(x, y, width, height, alignment, wide.text, sizeOut, transparent, lineSpacing);
}

bool cCanvas::DrawPictureScaled(sScaledPicture s) {
  const cPicture* picture = s.picture;
  // An empty picture or an empty destination has nothing to scale by.
  if (picture == nullptr || picture->GetPixels() == nullptr || picture->GetWidth() < 1 ||
      picture->GetHeight() < 1 || s.width == 0 || s.height == 0)
    return false;
  // 64-bit edges: a far-off, much enlarged destination must not overflow.
  const int64_t cw = GetWidth(), ch = GetHeight();
  const int64_t X = s.x, Y = s.y, W = s.width, H = s.height;

  bool haveStartX = false, haveWidth = false, haveStartY = false, haveHeight = false;
  int64_t startX = 0, skip = 0, visibleW = 0, startY = 0, bottomCut = 0, visibleH = 0;
  if (X < 0 && 0 < X + W) {
    startX = 0, skip = -X, haveStartX = true;
  } else if (0 <= X && X < cw) {
    startX = X, haveStartX = true;
  }
  if (haveStartX) {
    if (X < cw && cw < X + W)
      visibleW = cw - startX, haveWidth = true;
    else if (0 < X + W && X + W <= cw)
      visibleW = X + W - startX, haveWidth = true;
  }
  if (Y < 0 && 0 < Y + H) {
    startY = 0, haveStartY = true;
  } else if (0 <= Y && Y < ch) {
    startY = Y, haveStartY = true;
  }
  if (haveStartY) {
    if (Y < ch && ch < Y + H)
      visibleH = ch - startY, bottomCut = Y + H - ch, haveHeight = true;
    else if (0 < Y + H && Y + H <= ch)
      visibleH = Y + H - startY, haveHeight = true;
  }
  if (!haveStartX || !haveWidth || !haveStartY || !haveHeight || visibleW < 1 || visibleH < 1) return false;

  // Source rectangle in picture pixels; rows are stored bottom first, so the
  // part cut off at the bottom is skipped at the start of the rows.
  const int32_t pw = picture->GetWidth(), ph = picture->GetHeight();
  // Each value lies within the picture's size before it is converted.
  auto fit = [](double v, int32_t lo, int32_t hi) {
    return v < lo ? lo : (v > hi ? hi : static_cast<int32_t>(v));
  };
  const int32_t sx = fit(static_cast<double>(pw) / W * skip + 0.5, 0, pw - 1);
  const int32_t sy = fit(static_cast<double>(ph) / H * bottomCut + 0.5, 0, ph - 1);
  const int32_t sw = fit(static_cast<double>(pw) * visibleW / W + 0.5, 1, pw - sx);
  const int32_t sh = fit(static_cast<double>(ph) * visibleH / H + 0.5, 1, ph - sy);

  // The whole picture is resampled in place of a copy of it.
  cPicture part;
  cPicture* source = const_cast<cPicture*>(picture);
  if (sx != 0 || sy != 0 || sw != pw || sh != ph) {
    if (!part.Allocate(sw, sh)) return false;
    const uint32_t* from = picture->GetPixels();
    uint32_t* to = part.GetPixels();
    for (int32_t r = 0; r < sh; ++r)
      std::copy_n(from + static_cast<size_t>(sy + r) * pw + sx, sw, to + static_cast<size_t>(r) * sw);
    source = &part;
  }
  cPicture sized;
  // The visible part lies within the canvas, so it fits 32 bits.
  if (!source->Resize(s.filter, static_cast<int32_t>(visibleW), static_cast<int32_t>(visibleH), &sized))
    return false;
  // Size 0 x 0: drawn as it is, already at its size.
  return DrawPicture(static_cast<int32_t>(startX), static_cast<int32_t>(startY), &sized, 0, 0);
}
