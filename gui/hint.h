// cHintMaster: the content of a hint window, a framed box with one or more
// lines of text shown near an element. The element core shows one when the
// mouse rests on an element that has a hint text; controls open their own
// for zones and rows. UI thread only.
#pragma once

#include <cstdint>

#include "gui/element.h"

class cWindowHolder;

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
