// cCustomForm: the skinned form that the toolkit's dialogs and most of the
// application's small forms derive from. It draws a frame of eight theme
// pictures (caption band, side borders, bottom band) around one client
// panel on which the form's controls are placed, turns Enter and Escape
// into two overridable operations, and calls OnShown once after its window
// runs. UI thread only.
#pragma once

#include <cstdint>

#include "gui/element.h"
#include "gui/panel.h"

class cCanvas;
class cCITheme;

// The frame of a W x H form drawn into canvas at offset (dx, dy) with the
// theme's pictures 0-7 and colours 1-3: caption height c, side border
// width s, bottom band height b. The area inside the frame is not painted.
// A bottom-edge picture lower than b is drawn at the top of the band and
// the rest of the band below it is filled with colour 2.
void DrawFormFrame(cCanvas* canvas, cCITheme* theme, int32_t dx, int32_t dy, int32_t width,
                   int32_t height, int32_t caption, int32_t side, int32_t bottom);

class cCustomForm : public cChildElement {
public:
  cCustomForm();
  ~cCustomForm() override;

  cPanelChild* GetClientPanel() { return &panel_; }
  int32_t GetCaptionHeight() const { return captionHeight_; }
  int32_t GetBottomHeight() const { return bottomHeight_; }

  bool Key(int32_t virtualKey, bool shift, bool control, bool alt) override;
  void OnCreate() override;
  void Paint(cCanvas* canvas) override;
  bool PaintOwnBg(cCanvas* canvas, const sRect* rect) override;
  void OnResize() override;
  bool OnAction(cChildElement* sender, cChildAction* action) override;

  // Draws the frame at (dx, dy) of canvas.
  virtual void DrawFrame(cCanvas* canvas, int32_t dx, int32_t dy);
  // Once, after the window exists and the form has its size (the form's
  // own kind-7 action). True marks that action handled.
  virtual bool OnShown() { return false; }
  // Enter and Escape without modifiers, before the focused child sees them;
  // true consumes the key.
  virtual bool OnEscapeKey() { return false; }
  virtual bool OnEnterKey() { return false; }

protected:
  cPanelChild panel_;
  int32_t captionHeight_ = -1;
  int32_t bottomHeight_ = 0;
  uint32_t frameOptions_ = 0;  // 0 in every form: the whole frame is drawn
};
