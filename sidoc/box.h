// Document boxes: the tree a compiled document loads into, and its layout.
//
// Words of text, link words, pictures and picture links are leaves; a
// container (cSiDocContainer) holds children and flows them into lines left
// to right, breaking where the next child does not fit or where a child asks
// for a new line, and aligns each line left, right, centred or justified.
// Every box measures itself and paints itself on a canvas inside the area its
// parent hands it; link boxes report the rectangles they painted to the
// area's hot-spot sink.
//
// Rules:
//  a. Colours are 0x00BBGGRR; -1 means "not set": the box takes the area's.
//  b. Sizes and positions are int32 logical pixels; width and height -1 mean
//     "from the content".
//  c. A container owns its children; fonts, link targets and pictures are
//     borrowed from the loader (sidoc/loader.h), which outlives its boxes.
//  d. Measure and Paint never throw. They return false when there is no
//     canvas, nothing to paint, an alignment outside 0..3, or containers
//     nested deeper than sidoc::kMaxBoxNesting (sidoc/format.h); the size
//     out-parameter is always written.
//  e. UI thread only; no locks. A container's Measure writes each child's
//     measured size into the child.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "base/guardchar.h"
#include "gui/geometry.h"

class cCanvas;
class cFontObject;
class cPicture;

// Provider of the fonts that boxes name by id (the loader).
class cSiDocFontProvider {
public:
  // The font of id, or null when the id is unknown or the font cannot be made.
  virtual cFontObject* GetFont(int32_t fontId) = 0;
  virtual ~cSiDocFontProvider() = default;
};

// Collector of the rectangles that links painted (the viewer).
class cSiDocActiveTarget {
public:
  virtual void ClearHotSpots() = 0;
  // target is the link's target text, compared by identity.
  virtual bool AddHotSpot(const char16_t* target, int32_t x, int32_t y, int32_t width, int32_t height) = 0;
  virtual ~cSiDocActiveTarget() = default;
};

// What a box is given to measure or paint itself.
struct sSiDocArea {
  cFontObject* font = nullptr;  // for boxes without a font of their own
  int32_t background = 0xFFFFFF;
  int32_t foreground = 0;
  int32_t x = 0;  // top-left corner where the box starts, canvas coordinates
  int32_t y = 0;
  // Coordinates the box must not pass. Containers and pictures read a
  // negative value as "no limit"; text reads 0 as "nothing to paint".
  int32_t rightLimit = -1;
  int32_t bottomLimit = -1;
  cSiDocActiveTarget* activeTarget = nullptr;
  // Containers above this box (0 for the root); see rule d.
  int32_t depth = 0;
};

enum class eSiDocBoxKind : int32_t { kText, kLink, kImage, kImageLink, kContainer };

class cSiDocBox {
public:
  cSiDocBox() = default;
  cSiDocBox(const cSiDocBox&) = delete;
  cSiDocBox& operator=(const cSiDocBox&) = delete;
  virtual ~cSiDocBox() = default;

  // Paints with the top-left corner at (area.x, area.y) and reports the size
  // taken; false when nothing was painted.
  virtual bool Paint(cCanvas* canvas, const sSiDocArea& area, sSize& size) = 0;
  // The size Paint would report, without painting.
  virtual bool Measure(cCanvas* canvas, const sSiDocArea& area, sSize& size) = 0;
  virtual eSiDocBoxKind Kind() const = 0;

  // A word: a text or link box that has text.
  bool IsWord() const;

  int32_t marginLeft = 0;
  int32_t marginRight = 0;
  int32_t marginTop = 0;
  int32_t marginBottom = 0;
  int32_t width = -1;
  int32_t height = -1;
  int32_t background = -1;
  int32_t lineBreak = 0;  // 1: the box starts a new line
  // Written by the containing box's Measure.
  int32_t measuredWidth = 0;
  int32_t measuredHeight = 0;
};

class cSiDocText : public cSiDocBox {
public:
  bool Paint(cCanvas* canvas, const sSiDocArea& area, sSize& size) override;
  bool Measure(cCanvas* canvas, const sSiDocArea& area, sSize& size) override;
  eSiDocBoxKind Kind() const override { return eSiDocBoxKind::kText; }

  // The provider's font for fontId, else the area's.
  cFontObject* ResolveFont(const sSiDocArea& area) const;

  cSiDocFontProvider* fontProvider = nullptr;  // borrowed
  int32_t fontId = -1;
  int32_t foreground = -1;
  _guardchar<char16_t> text;
};

class cSiDocLink : public cSiDocText {
public:
  // Text Paint, then the painted rectangle as a hot spot.
  bool Paint(cCanvas* canvas, const sSiDocArea& area, sSize& size) override;
  eSiDocBoxKind Kind() const override { return eSiDocBoxKind::kLink; }

  const char16_t* target = nullptr;  // the loader's string, or null
};

class cSiDocImage : public cSiDocBox {
public:
  bool Paint(cCanvas* canvas, const sSiDocArea& area, sSize& size) override;
  bool Measure(cCanvas* canvas, const sSiDocArea& area, sSize& size) override;
  eSiDocBoxKind Kind() const override { return eSiDocBoxKind::kImage; }

  // The loader's picture. Null for a picture that could not be decoded: the
  // box is then an empty box of its stated width and height.
  const cPicture* picture = nullptr;
};

class cSiDocImageLink : public cSiDocImage {
public:
  bool Paint(cCanvas* canvas, const sSiDocArea& area, sSize& size) override;
  eSiDocBoxKind Kind() const override { return eSiDocBoxKind::kImageLink; }

  const char16_t* target = nullptr;
};

class cSiDocContainer : public cSiDocBox {
public:
  cSiDocContainer() = default;
  // Deletes the children without recursing (a deep tree must not exhaust
  // the stack on destruction).
  ~cSiDocContainer() override;

  bool Paint(cCanvas* canvas, const sSiDocArea& area, sSize& size) override;
  bool Measure(cCanvas* canvas, const sSiDocArea& area, sSize& size) override;
  eSiDocBoxKind Kind() const override { return eSiDocBoxKind::kContainer; }

  // Appends child (ownership passes; null is ignored) and returns it.
  cSiDocBox* Append(std::unique_ptr<cSiDocBox> child);
  cFontObject* ResolveFont(const sSiDocArea& area) const;

  cSiDocFontProvider* fontProvider = nullptr;
  int32_t fontId = -1;
  int32_t foreground = -1;
  int32_t alignment = 0;  // sidoc::eAlignment
  std::vector<std::unique_ptr<cSiDocBox>> children;

private:
  bool Layout(cCanvas* canvas, const sSiDocArea& area, sSize& size, bool paint);
};
