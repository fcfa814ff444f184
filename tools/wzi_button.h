// The application's own buttons, drawn from colours and text alone on top
// of the toolkit's button input (cGenButtonChild: hover, pressed and
// selected states, the click action, Enter and Space):
//   cWZIButton     a flat push button with a one-pixel border whose face
//                  lightens on hover and press;
//   cWZISelButton  a caption-only selector with an accent bar above its
//                  text while selected (a tab).
// Both take their caption from the element text. Colours are GDI values
// 0x00BBGGRR. UI thread only.
#pragma once

#include <cstdint>

#include "gui/controls/button.h"

class cWinFont;

// The blend of two colours, channel by channel: (a x p) / 255 + (b x q) / 255,
// each term divided on its own.
uint32_t BlendColours(uint32_t a, uint32_t p, uint32_t b, uint32_t q);

class cWZIButton : public cGenButtonChild {
public:
  cWZIButton() = default;
  ~cWZIButton() override = default;

  void Paint(cCanvas* canvas) override;
  void InitDefaults() override;

  void SetColours(uint32_t border, uint32_t face, uint32_t text, uint32_t highlight);
  // The face and text colours the current state paints with.
  void StateColours(uint32_t& face, uint32_t& text) const;
  // The width the caption needs in the painted font with 8 pixels each
  // side; 0 without a caption or before the button is in a window.
  int32_t CaptionWidth();

private:
  uint32_t border_ = 0xA79997;
  uint32_t face_ = 0xE7E7E7;
  uint32_t text_ = 0x655654;
  uint32_t highlight_ = 0xFFFFFF;
};

class cWZISelButton : public cGenButtonChild {
public:
  cWZISelButton() = default;
  ~cWZISelButton() override = default;

  void Paint(cCanvas* canvas) override;
  void OnMouseMove(int32_t x, int32_t y) override;
  void InitDefaults() override;

  // The accent colour of the current state.
  uint32_t AccentColour() const;

private:
  cWinFont* font_ = nullptr;  // cached, not owned
};
