// cStaticElement: the text label, with an optional icon and three text
// modes (one line with an ellipsis, one line placed and clipped, wrapped),
// and its own lock so that a worker thread may change the text while the
// UI thread paints it. The check box derives from it.
#pragma once

#include <cstdint>

#include "base/sync.h"
#include "gui/element.h"

class cPicture;
class cWinFont;

class cStaticElement : public cChildElement {
public:
  cStaticElement() = default;
  ~cStaticElement() override = default;

  void Paint(cCanvas* canvas) override;
  bool WantsFocus() override { return false; }
  void InitDefaults() override;

  // Extra left offset before the icon and the text.
  virtual int32_t GetIconOffset() { return 0; }
  // May change the background used while disabled.
  virtual void AdjustDisabledColours(uint32_t& background) { (void)background; }
  // The icon is borrowed; null removes it.
  virtual void SetIcon(cPicture* icon, bool redraw);
  // The preferred size: icon and text with their gaps. False when the text
  // cannot be measured.
  virtual bool MeasureLabel(sSize& size);

  // Stores the alignment, then sets the text under the label's lock. The
  // one operation a worker thread may call.
  void SetLabelText(const char16_t* text, int32_t alignment, bool redraw);
  // Null: the default font. Repaints when changed.
  void SetFont(cWinFont* font);
  void SetTextColour(uint32_t colour);
  void SetLabelBackground(uint32_t colour);
  void SetFrameColour(uint32_t colour);
  void SetTextMode(int32_t mode);
  void SetIndent(int32_t indent);
  void SetColours(uint32_t text, uint32_t background, uint32_t frame);

  cPicture* GetIcon() const { return icon_; }
  int32_t GetTextMode() const { return textMode_; }

protected:
  cWinFont* LabelFont();

  cCriticalSection lock_;
  double lineSpacing_ = 1.2;
  cPicture* icon_ = nullptr;
  cWinFont* font_ = nullptr;
  uint32_t textColour_ = 0;
  uint32_t labelBackground_ = 0xFFFFFF;
  uint32_t frameColour_ = 0;
  int32_t textMode_ = 0;   // 0 ellipsis, 1 placed and clipped, 2 wrapped
  int32_t indent_ = 0;
  int32_t alignment_ = 0;  // 0 left, 1 centre, 2 right
};
