// cWinCanvas: the canvas over a GDI device context (a window's client area
// while it is painted, or a rectangle of another canvas); cWOffscreenCanvas:
// the canvas over a 32-bit bottom-up DIB section in a memory device context,
// whose pixels can be copied into a picture. Win32 only (implemented in
// win_canvas_win32.cpp); the handles are kept as opaque pointers so that this
// header needs no windows.h.
//
// A window canvas lives for one paint: BeginWindowPaint, ApplyClip, the
// element tree paints, Release, delete. Sub-canvases and off-screen canvases
// are made during that paint and deleted by whoever asked for them, before
// the canvas they came from. Fonts belong to the font cache. Destruction
// runs Release, then deletes the brush and both pens.
#pragma once

#include <cstdint>

#include "gui/canvas.h"

class cWinCanvas : public cCanvas {
public:
  cWinCanvas() = default;
  ~cWinCanvas() override;

  void SetScaleProvider(cScaleProvider* provider) override;
  int32_t GetWidth() override;
  int32_t GetHeight() override;
  bool DrawText(int32_t x, int32_t y, bool transparent, const char16_t* text, int32_t length) override;
  bool DrawRect(const sRect* rect, uint32_t fillColour, uint32_t frameColour) override;
  bool DrawPicture(int32_t x, int32_t y, const cPicture* picture, int32_t width, int32_t height) override;
  bool DrawPictureBlended(const sPoint* point, const cPicture* picture, const sSize* size) override;
  bool DrawLine(const sPoint& from, const sPoint& to) override;
  // The source must be a cWinCanvas.
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
  cCanvas* CreateSubCanvas(const sRect* rect) override;
  cCanvas* CreateOffscreen(int32_t width, int32_t height, int32_t sourceX, int32_t sourceY) override;
  bool ApplyClip() override;
  // Releases the device context unless it is borrowed (ReleaseDC with the
  // window, or DeleteDC without one), then deletes the three regions.
  virtual void Release();

  // Starts painting the window (an HWND): area = rect or the client
  // rectangle, default pens, brush, font and colours, update region = the
  // window's update region (not validated here), clip = area and update
  // region, device context from GetDC. True when a context was obtained.
  bool BeginWindowPaint(const sRect* rect, void* window);

  void* DeviceContext() const { return dc_; }
  // {left, top, right, bottom} of the area in device pixels.
  sEdges Area() const { return {left_, top_, right_, bottom_}; }

protected:
  struct sPen {
    void* handle = nullptr;
    uint32_t colour = 0xFFFFFFFFu;
    int32_t width = 0;
  };
  struct sBrush {
    void* handle = nullptr;
    uint32_t colour = 0xFFFFFFFFu;
  };

  void ResetDrawingState();
  bool UsePen(sPen& pen, uint32_t colour, int32_t width);
  bool UseBrush(uint32_t colour);
  void SelectCurrentFont();
  // MeasureText and GetCharExtents for UTF-16 (C = char16_t, the W calls)
  // and ANSI text (C = char, the A calls).
  template <class C>
  bool MeasureAny(const C* text, int32_t length, sSize* size);
  template <class C>
  bool CharExtentsAny(const C* text, int32_t length, _typebuf<int32_t>* extents);
  // The rectangle in device coordinates, cut at the area's right and bottom.
  sEdges ClipBox(const sRect& rect) const;

  int32_t left_ = 0, top_ = 0, right_ = 0, bottom_ = 0;
  void* dc_ = nullptr;
  void* window_ = nullptr;
  void* clipRegion_ = nullptr;
  void* updateRegion_ = nullptr;
  void* inheritedRegion_ = nullptr;
  bool borrowed_ = true;
  sPen framePen_;
  sPen linePen_;
  sBrush brush_;
  cFontObject* font_ = nullptr;
  uint32_t text_ = 0;
  uint32_t background_ = 0;
};

class cWOffscreenCanvas : public cWinCanvas {
public:
  cWOffscreenCanvas() = default;
  ~cWOffscreenCanvas() override;
  // The DIB section's pixels (or a rectangle, y from the bottom edge) into
  // picture; false without bits or for a rectangle outside the surface.
  bool CopyToPicture(cPicture* picture, const sRect* rect) override;
  void Release() override;

  // Starts an off-screen surface of width x height in a memory context
  // compatible with source (an HDC), filled from source at (sourceX,
  // sourceY) unless both are -1. True when the memory context exists.
  bool BeginOffscreen(void* source, int32_t width, int32_t height, int32_t sourceX, int32_t sourceY);

  // The surface's pixels, bottom row first, Area() wide; null without one.
  uint32_t* Bits() const { return bits_; }

private:
  void* bitmap_ = nullptr;
  uint32_t* bits_ = nullptr;
};
