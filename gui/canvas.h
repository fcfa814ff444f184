// cCanvas: the drawing interface every element paints through, in logical
// pixels relative to the canvas's area: text, rectangles, lines, pictures,
// clipping and text measurement.
//
// The base implements the operations built from other operations (text in a
// box, wrapped text, scaled pictures, the area test, the UTF-8 forms) and
// answers false, 0 or null from every device operation. Implementations:
//  - cWinCanvas / cWOffscreenCanvas (gui/win_canvas.h, Win32 only): over a
//    GDI device context or a 32-bit bottom-up DIB section;
//  - cMemCanvas (gui/mem_canvas.h, both targets): over a cPicture, with the
//    clip semantics of the GDI canvas and the stand-in font metrics.
//
// Rules every implementation keeps:
//  a. Scale: with a scale provider of factor s, a "truncated" logical value
//     v becomes trunc(v * s), a "rounded" one trunc(v * s + 0.5), and sizes
//     given back are trunc(v / s + 0.5). Without one, s is 1.
//  b. Colours are 0x00BBGGRR; where a colour becomes a pixel, red and blue
//     change places and alpha becomes 255.
//  c. Clip changes (ExcludeClipRect, AddClipRect) take effect at the next
//     ApplyClip. Sub-canvases share their parent's surface and its selected
//     clip, as sub-canvases of one device context do.
//  d. Failure is reported by the result (false, -1, null) and leaves the
//     canvas usable; nothing is thrown for bad arguments.
// All drawing happens on the UI thread; a canvas holds no lock.
#pragma once

#include <cstdint>

#include "base/buffers.h"
#include "base/sorted_tree.h"
#include "gui/geometry.h"
#include "gui/picture.h"

class cFontObject;
class cWinFont;

// The source of the logical-to-device factor. Nothing in this system
// installs one, so s is 1 throughout; the rules hold for any factor.
class cScaleProvider {
public:
  virtual double GetScale() const = 0;
  virtual ~cScaleProvider() = default;
};

// The argument record of DrawPictureScaled, passed by value.
struct sScaledPicture {
  const cPicture* picture = nullptr;
  int32_t width = 0;   // destination rectangle, logical pixels
  int32_t height = 0;
  int32_t x = 0;
  int32_t y = 0;
  int32_t filter = 0;  // cPicture::Resize filter
};

// One token of the word splitter.
struct sLayoutToken {
  enum eKind : int32_t { kWord, kBlank, kLineBreak };
  int32_t kind = kWord;
  _guardchar<char16_t> text;  // words only
  int32_t width = 0;          // words: logical pixels; blanks: units
};

// Tokens by number, counting up from 0.
using tLayoutTokens = cSortedTree<int32_t, sLayoutToken>;

class cCanvas {
public:
  cCanvas() = default;
  cCanvas(const cCanvas&) = delete;
  cCanvas& operator=(const cCanvas&) = delete;

  // Stores the provider (borrowed, may be null).
  virtual void SetScaleProvider(cScaleProvider* provider);
  // The area's size in logical pixels.
  virtual int32_t GetWidth();
  virtual int32_t GetHeight();
  // Text at (x, y) in the current font; length -1 means up to the
  // terminator. Opaque text fills its character cells with the background
  // colour; transparent text is blended over what is painted. False for a
  // null text.
  virtual bool DrawText(int32_t x, int32_t y, bool transparent, const char16_t* text, int32_t length);
  // UTF-8 text (length -1: to the terminator), converted, then DrawText.
  virtual bool DrawTextUtf8(int32_t x, int32_t y, bool transparent, const char* text, int32_t length);
  // One line of text in the box (x, y, width, height), shortened with "..."
  // when it does not fit between the paddings. alignment: 1 centre, 2 right,
  // else left. Returns the x at which the text was drawn, or -1; the drawn
  // width goes to *widthOut when given. With fillBackground (and opaque
  // text) the band between the paddings around the text is filled with the
  // background colour.
  virtual int32_t DrawTextLine(int32_t x, int32_t y, int32_t width, int32_t height, int32_t alignment,
                               bool transparent, int32_t leftPadding, int32_t rightPadding,
                               const char16_t* text, int32_t length, int32_t* widthOut,
                               bool fillBackground);
  // The same for UTF-8 text; 0 when the text converts to nothing.
  virtual int32_t DrawTextLineUtf8(int32_t x, int32_t y, int32_t width, int32_t height, int32_t alignment,
                                   bool transparent, int32_t leftPadding, int32_t rightPadding,
                                   const char* text, int32_t length, int32_t* widthOut,
                                   bool fillBackground);
  // Text broken into lines of at most width pixels (words are never split).
  // alignment 0 left, 1 centre, 2 right, 3 justify. lineSpacing 0 means
  // GetLineSpacing(). The widest line and the total height go to *sizeOut.
  // False for a zero width or height, a null text, or a box lower than one
  // line or narrower than one space; lines below height are still drawn.
  virtual bool DrawTextWrapped(int32_t x, int32_t y, int32_t width, int32_t height, int32_t alignment,
                               const char16_t* text, sSize* sizeOut, bool transparent,
                               double lineSpacing);
  virtual bool DrawTextWrappedUtf8(int32_t x, int32_t y, int32_t width, int32_t height, int32_t alignment,
                                   const char* text, sSize* sizeOut, bool transparent,
                                   double lineSpacing);
  // Rectangle framed with the frame pen (frameColour) and filled with the
  // brush (fillColour). False for a null rectangle.
  virtual bool DrawRect(const sRect* rect, uint32_t fillColour, uint32_t frameColour);
  // The picture (resized when width and height are both at least 1; -1
  // means the picture's own) copied at (x, y); alpha is ignored.
  virtual bool DrawPicture(int32_t x, int32_t y, const cPicture* picture, int32_t width, int32_t height);
  // DrawPicture with records; a null size means the picture's own.
  virtual bool DrawPictureAt(const sPoint* point, const cPicture* picture, const sSize* size);
  // The picture blended over the surface by its alpha.
  virtual bool DrawPictureBlended(const sPoint* point, const cPicture* picture, const sSize* size);
  // A line with the line pen, the end point excluded.
  virtual bool DrawLine(const sPoint& from, const sPoint& to);
  // Copies width x height pixels from source at (sourceX, sourceY) to
  // (x, y); a width or height below 1, or reaching past the source, is cut
  // to what the source has.
  virtual bool CopyFromCanvas(int32_t x, int32_t y, cCanvas* source, int32_t sourceX, int32_t sourceY,
                              int32_t width, int32_t height);
  // The picture stretched to the destination rectangle, of which only the
  // part inside the canvas is computed and drawn. False for a null or empty
  // picture, a destination of zero width or height, or one outside the
  // canvas.
  virtual bool DrawPictureScaled(sScaledPicture scaled);
  virtual bool ExcludeClipRect(const sRect* rect);
  virtual bool AddClipRect(const sRect* rect);
  virtual bool SetLinePen(uint32_t colour, int32_t width);
  // Stores and selects the font; false for null.
  virtual bool SelectFont(cFontObject* font);
  // GetFont, then the font's own SelectInto; the result of GetFont becomes
  // the current font even when null (a null font keeps the surface's font).
  virtual bool SetFont(int32_t width, int32_t height, const char16_t* face, bool bold, bool underline,
                       bool italic);
  // The cached font with width and height scaled and rounded.
  virtual cWinFont* GetFont(int32_t width, int32_t height, const char16_t* face, bool bold, bool underline,
                            bool italic);
  virtual bool SetTextColours(uint32_t textColour, uint32_t backgroundColour);
  virtual uint32_t GetBackgroundColour();
  // Extent of the text in the current font, in logical pixels; {0, 0} and
  // true for a null or empty text.
  virtual bool MeasureText(const char16_t* text, int32_t length, sSize* size);
  virtual bool MeasureTextAnsi(const char* text, int32_t length, sSize* size);
  // extents[i] = the width of the first i + 1 characters; false for a null
  // or empty text.
  virtual bool GetCharExtents(const char16_t* text, int32_t length, _typebuf<int32_t>* extents);
  virtual bool GetCharExtentsAnsi(const char* text, int32_t length, _typebuf<int32_t>* extents);
  // Whether any part of the rectangle may show: inside the area and touching
  // both the clip region and the update region.
  virtual bool IsRectVisible(const sRect* rect);
  // x <= width, y <= height, x + w >= 0 and y + h >= 0 (logical pixels).
  virtual bool IntersectsArea(const sRect* rect);
  // Copies the surface (or a rectangle of it, y counted from the bottom
  // edge) into picture. Only surfaces with pixels implement it.
  virtual bool CopyToPicture(cPicture* picture, const sRect* rect);
  // A canvas over a rectangle of this one, sharing its surface; the caller
  // owns it and deletes it before this canvas.
  virtual cCanvas* CreateSubCanvas(const sRect* rect);
  // An off-screen canvas of width x height; unless sourceX and sourceY are
  // both -1 it starts with a copy of this canvas at that point. Owned by the
  // caller.
  virtual cCanvas* CreateOffscreen(int32_t width, int32_t height, int32_t sourceX, int32_t sourceY);
  // Makes the clip region (intersected with the inherited one) the
  // surface's clip. The base answers true.
  virtual bool ApplyClip();
  virtual ~cCanvas() = default;

  cScaleProvider* GetScaleProvider() const { return scale_; }

protected:
  // Scale helpers of rule a.
  double Scale() const { return scale_ != nullptr ? scale_->GetScale() : 1.0; }
  int32_t Trunc(int32_t v) const;
  int32_t Round(int32_t v) const;
  int32_t Back(int32_t v) const;
  // The device-pixel rectangle DrawRect paints, relative to the area: when
  // scaled, moved by half a pen and shrunk by it, so that the frame stays
  // inside what the logical rectangle covers.
  sRect PenRect(const sRect& rect) const;
  // The device-pixel ends of DrawLine, relative to the area: when scaled,
  // moved across the line by half a pen.
  void PenLine(const sPoint& from, const sPoint& to, sPoint& start, sPoint& end) const;
  // The part of CopyFromCanvas both canvases share: the offsets and size in
  // device pixels, the size cut to what source has right and below its
  // start (a width or height below 1 means all of it). False when the start
  // lies beyond source's width or height.
  bool CopyBlock(cCanvas& source, int32_t& x, int32_t& y, int32_t& sourceX, int32_t& sourceY,
                 int32_t& width, int32_t& height) const;

  cScaleProvider* scale_ = nullptr;
};

// The word splitter of DrawTextWrapped: runs of characters up to U+0020
// become blank tokens (a tab counts 4 units, every other character 1) or,
// at a line feed, a line-break token (units gathered before it in the run
// are dropped); characters above U+0020 form words, measured with the
// canvas's MeasureText, and U+3001 and U+3002 end the word they belong to.
// An empty run makes no token. tokens is cleared first.
void SplitTextForLayout(cCanvas* canvas, const char16_t* text, tLayoutTokens& tokens);
