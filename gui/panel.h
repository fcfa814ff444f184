// Three small elements: cPanelChild, a container with a solid background,
// an optional one-pixel border and an optional aligned text (every form's
// client area is one); cCheckBoxChild, a label with a check state shown as
// one of six theme pictures, toggled by a left click or Space and reported
// as a plain kind-0 action; cHintMaster, the content of a hint window: a
// framed box with one or more lines of text shown near an element.
// UI thread only.
#pragma once

#include <cstdint>

#include "gui/element.h"
#include "gui/static_element.h"

class cWindowHolder;

class cPanelChild : public cChildElement {
public:
  cPanelChild() = default;
  ~cPanelChild() override = default;

  void Paint(cCanvas* canvas) override;
  bool PaintOwnBg(cCanvas* canvas, const sRect* rect) override;
  void InitDefaults() override;

  // Store the value; the caller repaints.
  void SetBackColour(uint32_t colour) { backColour_ = colour; }
  void SetBorderColour(int32_t colour) { borderColour_ = colour; }
  uint32_t GetBackColour() const { return backColour_; }

  // Derived panels set these directly.
  uint32_t backColour_ = 0;       // theme colour 0 after InitDefaults
  int32_t borderColour_ = -1;     // -1: framed with the background colour
  int32_t verticalMargin_ = 0;
  int32_t horizontalMargin_ = 0;
  int32_t horizontalAlign_ = 2;   // 0 left, 1 right, 2 centre
  int32_t verticalAlign_ = 2;     // 0 top, 1 bottom, 2 centre
};

// Where a panel's text of tw x th goes in a w x h panel.
sPoint PanelTextOrigin(int32_t w, int32_t h, int32_t tw, int32_t th, int32_t horizontalAlign,
                       int32_t verticalAlign, int32_t horizontalMargin, int32_t verticalMargin);

class cCheckBoxChild : public cStaticElement {
public:
  cCheckBoxChild() = default;
  ~cCheckBoxChild() override = default;

  void OnMouseButton(int32_t x, int32_t y, int32_t button, bool down) override;
  void OnKey(int32_t virtualKey, bool shift, bool control, bool alt) override;
  void OnEnable(bool enabled) override;
  void OnGotFocus(bool control, bool shift) override;
  void OnLostFocus(bool control, bool shift) override;
  bool WantsTabStop() override { return true; }
  void InitDefaults() override;

  // Shows the state picture with redraw.
  virtual void UpdatePicture();
  // The six state pictures (theme pictures 31, 30, 33, 32, 35, 34).
  virtual cPicture* PictureChecked();
  virtual cPicture* PictureUnchecked();
  virtual cPicture* PictureCheckedFocused();
  virtual cPicture* PictureUncheckedFocused();
  virtual cPicture* PictureCheckedDisabled();
  virtual cPicture* PictureUncheckedDisabled();

  bool IsChecked() const { return checked_ != 0; }
  // Stores a changed value, refreshes the picture and, with notify, posts
  // a kind-0 action. An unchanged value does nothing.
  void SetChecked(bool checked, bool notify);

private:
  void Toggle();
  uint8_t checked_ = 0;
};

class cHintMaster : public cChildElement {
public:
  cHintMaster() = default;
  // Deletes the hint window.
  ~cHintMaster() override;

  void Paint(cCanvas* canvas) override;

  // The theme's default colour in Show.
  static constexpr uint32_t kDefaultColour = 0xFF000000u;

  // Opens a hint window for text near owner (at position when given, else
  // below the owner, or above it with placement 1). True when the window
  // exists. See the geometry in HintLayout.
  bool Show(cChildElement* owner, const char16_t* text, const sPoint* position, uint32_t fillColour,
            uint32_t textColour, int32_t placement);

  uint32_t GetFillColour() const { return fillColour_; }
  uint32_t GetTextColour() const { return textColour_; }
  int32_t GetLineHeight() const { return lineHeight_; }
  cWindowHolder* GetWindowHolder() const { return window_; }

private:
  cWindowHolder* window_ = nullptr;
  uint32_t fillColour_ = 0;
  uint32_t textColour_ = 0;
  int32_t lineHeight_ = 0;
};

// The hint window's rectangle for n lines, the widest w and the tallest h
// pixels: (w + 8) x (h * n + 4), at position (placement 1: raised by
// h * n + 6) or, without one, 2 pixels right of the owner's screen position
// and 2 pixels below it (placement 1: h * n + 6 above it).
sRect HintLayout(int32_t widest, int32_t tallest, int32_t lines, const sPoint* position,
                 const sPoint& ownerScreen, int32_t ownerHeight, int32_t placement);
