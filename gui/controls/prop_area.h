// cPropDispAreaChild: a scrollable framed box that shows a bold title and a
// wrapped body text, and tells its owner how tall its content is with a
// kind-7 action, so that the owner can set the content height (and the
// vertical bar shows when needed). UI thread only.
#pragma once

#include <cstdint>

#include "base/buffers.h"
#include "gui/controls/scroll.h"

class cWinFont;

class cPropDispAreaChild : public cScrollableElement {
public:
  // Kind 7: the content height the texts need.
  class cPropDispResizeAction : public cChildAction {
  public:
    explicit cPropDispResizeAction(int32_t h) : cChildAction(7), height(h) {}
    int32_t height;
  };

  cPropDispAreaChild() = default;
  ~cPropDispAreaChild() override = default;

  const char16_t* GetText() override;
  bool WantsDoubleBuffer() override { return true; }
  int32_t BorderWidth() override { return 1; }
  void InitDefaults() override;
  void PaintContent(cCanvas* canvas) override;

  void SetTexts(const char16_t* title, const char16_t* body);
  void SetColours(uint32_t frame, uint32_t fill, uint32_t text);
  // Ignored when negative.
  void SetTitleGap(int32_t gap);
  // Null: the bold default font (title) or the default font (body).
  void SetFonts(cWinFont* title, cWinFont* body) {
    titleFont_ = title;
    bodyFont_ = body;
  }

private:
  _guardchar<char16_t> title_;
  _guardchar<char16_t> body_;
  uint32_t frameColour_ = 0;
  uint32_t fillColour_ = 0;
  uint32_t textColour_ = 0;
  cWinFont* titleFont_ = nullptr;
  cWinFont* bodyFont_ = nullptr;
  int32_t gap_ = 0;
};
