// cMemCanvas: a canvas over a cPicture, on both targets. It paints in
// software what the GDI canvas paints through a device context, so that
// elements can be painted and their pixels checked without a window.
//
// It follows the GDI canvas (gui/win_canvas.h) pixel for pixel except in
// three places:
//  a. Text uses the stand-in font metrics (gui/font.h) and stand-in glyphs:
//     each character above U+0020 is a solid box inside its cell (one pixel
//     in from the cell's sides, a quarter of the height down from its top,
//     a fifth up from its bottom), an underlined font adds the cell's
//     bottom row. Cells, backgrounds and the transparent-text blend follow
//     the GDI canvas's rules.
//  b. Pens wider than one pixel (only under a scale provider) stamp a square
//     of that width along the line.
//  c. Colours use their low 24 bits; -1 is not "no pen".
//
// Device coordinates are the picture's, with y growing downwards: device
// row y is picture row height - 1 - y (pictures are stored bottom row
// first). Like a device context, the surface carries the selected clip and
// font, shared by the canvas and every sub-canvas made from it; what is
// drawn outside the picture is dropped.
#pragma once

#include <cstdint>
#include <memory>

#include "gui/canvas.h"
#include "gui/region.h"

class cMemCanvas : public cCanvas {
public:
  // Over picture (borrowed; it must outlive the canvas and keep its size):
  // the area is the whole picture, pens black, brush white, the default
  // font, black text on white, no clip selected.
  explicit cMemCanvas(cPicture* picture);
  // The same over an owned zeroed surface of width x height (empty when a
  // side is below 1).
  cMemCanvas(int32_t width, int32_t height);
  ~cMemCanvas() override = default;

  void SetScaleProvider(cScaleProvider* provider) override;
  int32_t GetWidth() override;
  int32_t GetHeight() override;
  bool DrawText(int32_t x, int32_t y, bool transparent, const char16_t* text, int32_t length) override;
  bool DrawRect(const sRect* rect, uint32_t fillColour, uint32_t frameColour) override;
  bool DrawPicture(int32_t x, int32_t y, const cPicture* picture, int32_t width, int32_t height) override;
  bool DrawPictureBlended(const sPoint* point, const cPicture* picture, const sSize* size) override;
  bool DrawLine(const sPoint& from, const sPoint& to) override;
  // The source must be a cMemCanvas (any other gives false).
  bool CopyFromCanvas(int32_t x, int32_t y, cCanvas* source, int32_t sourceX, int32_t sourceY, int32_t width,
                      int32_t height) override;
  bool ExcludeClipRect(const sRect* rect) override;
  bool AddClipRect(const sRect* rect) override;
  bool SetLinePen(uint32_t colour, int32_t width) override;
  bool SelectFont(cFontObject* font) override;
  bool SetFont(int32_t width, int32_t height, const char16_t* face, bool bold, bool underline,
               bool italic) override;
  bool SetTextColours(uint32_t textColour, uint32_t backgroundColour) override;
  uint32_t GetBackgroundColour() override { return background_; }
  bool MeasureText(const char16_t* text, int32_t length, sSize* size) override;
  bool MeasureTextAnsi(const char* text, int32_t length, sSize* size) override;
  bool GetCharExtents(const char16_t* text, int32_t length, _typebuf<int32_t>* extents) override;
  bool GetCharExtentsAnsi(const char* text, int32_t length, _typebuf<int32_t>* extents) override;
  bool IsRectVisible(const sRect* rect) override;
  // The whole surface (or a rectangle of it, y from the bottom edge).
  bool CopyToPicture(cPicture* picture, const sRect* rect) override;
  cCanvas* CreateSubCanvas(const sRect* rect) override;
  cCanvas* CreateOffscreen(int32_t width, int32_t height, int32_t sourceX, int32_t sourceY) override;
  bool ApplyClip() override;

  // Inspection, mainly for tests.
  cPicture* Surface() const { return surface_->picture; }
  const sEdges& Area() const { return area_; }
  const tw::cRegion& ClipRegion() const { return clip_; }
  cFontObject* CurrentFont() const { return font_; }
  uint32_t TextColour() const { return text_; }

private:
  struct sSurface {
    cPicture* picture = nullptr;
    std::unique_ptr<cPicture> owned;
    bool clipSelected = false;  // no clip selected: the whole surface
    tw::cRegion selectedClip;
    cFontObject* font = nullptr;  // the font last selected into the surface
  };

  cMemCanvas(std::shared_ptr<sSurface> surface, const sEdges& area);
  void ResetState();
  sEdges Bounds() const;
  // Calls f(box) for every part of box that may be painted: inside the
  // picture and the selected clip.
  template <class F>
  void ForEachPaintable(const sEdges& box, F f) const;
  void FillBox(const sEdges& box, uint32_t pixel);
  uint32_t* Row(int32_t y) const;  // device row y (inside the picture)
  sEdges DeviceBox(const sRect& rect) const;
  // Copies the w x h device block at (x, y) into out (bottom row first, like
  // a DIB); pixels outside the surface read as 0.
  void ReadBlock(int32_t x, int32_t y, int32_t w, int32_t h, uint32_t* out) const;
  // Writes a bottom-row-first block to (x, y) within the paintable parts.
  void WriteBlock(int32_t x, int32_t y, int32_t w, int32_t h, const uint32_t* in);
  void Stamp(int32_t x, int32_t y, int32_t width, uint32_t pixel);
  cFontObject* SurfaceFont();
  // MeasureText and GetCharExtents for UTF-16 (C = char16_t) and ANSI text:
  // the stand-in font gives every unit or byte one cell.
  template <class C>
  bool MeasureAny(const C* text, int32_t length, sSize* size);
  template <class C>
  bool CharExtentsAny(const C* text, int32_t length, _typebuf<int32_t>* extents);

  std::shared_ptr<sSurface> surface_;
  sEdges area_;
  tw::cRegion clip_;
  tw::cRegion update_;
  tw::cRegion inherited_;
  bool hasInherited_ = false;
  uint32_t frameColour_ = 0xFFFFFFFFu;
  int32_t frameWidth_ = 0;
  uint32_t lineColour_ = 0xFFFFFFFFu;
  int32_t lineWidth_ = 0;
  uint32_t fillColour_ = 0xFFFFFFFFu;
  cFontObject* font_ = nullptr;
  uint32_t text_ = 0;
  uint32_t background_ = 0xFFFFFF;
};

namespace tw {
// 0x00BBGGRR as a B, G, R, A pixel with alpha 255.
inline uint32_t ColourToPixel(uint32_t colour) {
  return 0xFF000000u | ((colour & 0xFFu) << 16) | (colour & 0xFF00u) | ((colour >> 16) & 0xFFu);
}
}  // namespace tw
