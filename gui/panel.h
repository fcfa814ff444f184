// Three small elements: cPanelChild, a container with a solid background,
// an optional one-pixel border and an optional aligned text (every form's
// client area is one); cCheckBoxChild, a label with a check state shown as
// one of six theme pictures, toggled by a left click or Space and reported
// as a plain kind-0 action. (The hint window's content, cHintMaster, lives
// with the element core in gui/hint.h.)
// UI thread only.
#pragma once

#include <cstdint>

#include "gui/element.h"
#include "gui/hint.h"
#include "gui/static_element.h"

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
