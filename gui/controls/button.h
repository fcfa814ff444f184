// cButtonChild: the push button, drawn in one of seven styles from theme
// colours and pictures, with a caption and a picture per visual state; a
// click is reported as a plain kind-0 action. The toolbar, the popup list
// and the combo box are built from it.
// cGenButtonChild: the input half of a button (hover, pressed, selected,
// keys and mouse, the click action) without painting, for owner-drawn
// buttons.
// MeasureButtonWidth: the width a button needs for a caption and picture.
//
// Rules:
//  a. Visual state, worked out at every paint, first match wins: 4 disabled
//     (the button or an ancestor), 3 pressed, 2 hover, 1 focused, 0 normal.
//  b. Colours are 0x00BBGGRR; -1 in the disabled fill colour derives it
//     from the solid fill colour.
//  c. Frame picture overrides are borrowed: their owner keeps them alive
//     as long as the button.
//  d. UI thread only.
#pragma once

#include <cstdint>

#include "base/buffers.h"
#include "base/sorted_tree.h"
#include "gui/element.h"
#include "gui/picture.h"

class cWinFont;

// Styles of cButtonChild::SetStyle.
enum : int32_t {
  kButtonRaisedDouble = 0,  // raised double frame, frame picture inside
  kButtonPicture = 1,       // the state's frame picture over the whole button
  kButtonSingle = 2,        // single frame in the second edge colour
  kButtonRaised = 3,        // raised single frame, frame picture inside
  kButtonRaisedSolid = 4,   // as 3; normal and disabled filled solid
  kButtonFlat = 5,          // solid in normal and disabled, else as 3
  kButtonSolid = 6,         // solid, the state picture centred
};

// Text width (measured through element's window with font, or the default
// font) + 10; with a picture in layout 0: text width + picture width + 16,
// or picture width + 11 without text; in layout 1 at least picture width
// + 6. Without an element the text counts 0.
int32_t MeasureButtonWidth(cChildElement* element, const char16_t* text, const cPicture* picture, int32_t layout,
                           cWinFont* font);

class cButtonChild : public cChildElement {
public:
  cButtonChild() : frameOverrides_(512) {}
  ~cButtonChild() override = default;

  const char16_t* GetText() override;
  void Paint(cCanvas* canvas) override;
  void OnMouseButton(int32_t x, int32_t y, int32_t button, bool down) override;
  void OnEnter() override;
  void OnLeave() override;
  void OnKey(int32_t virtualKey, bool shift, bool control, bool alt) override;
  void OnGotFocus(bool control, bool shift) override;
  void OnLostFocus(bool control, bool shift) override;
  bool WantsDoubleBuffer() override { return true; }
  bool WantsTabStop() override { return true; }
  bool WantsFullRepaint() override { return true; }
  void InitDefaults() override;

  // The picture slot of a visual state: 1 and 2 hover, 3 pressed, 4
  // disabled, anything else normal.
  cPictureHolder* GetPictureHolder(int32_t state);
  void SetCaption(const char16_t* text);
  void SetFont(cWinFont* font);
  cWinFont* GetButtonFont() const { return font_; }
  void SetPictureLayout(int32_t layout, bool redraw);
  void SetStyle(int32_t style, bool redraw);
  int32_t GetStyle() const { return style_; }
  void SetTextAlignment(int32_t alignment, bool redraw);
  int32_t GetTextAlignment() const { return alignment_; }
  void SetFillColour(uint32_t colour, bool redraw);
  void SetDisabledFillColour(uint32_t colour) { disabledFill_ = colour; }
  void SetDisabledTextColour(uint32_t colour, bool redraw);
  // States 0 to 3 at once.
  void SetTextColour(uint32_t colour, bool redraw);
  // State 0 to 3, or 4 for the disabled text colour; others are ignored.
  void SetStateTextColour(int32_t state, uint32_t colour, bool redraw);
  uint32_t GetStateTextColour(int32_t state) const;
  // -1 leaves a colour unchanged; a state above 4 is ignored. No repaint.
  void SetStateColours(int32_t state, uint32_t first, uint32_t second);
  // Borrowed; null removes the override.
  void SetFramePicture(int32_t state, cPicture* picture);
  // The cached MeasureButtonWidth of caption, normal picture, layout, font.
  int32_t GetPreferredWidth();
  int32_t VisualState();
  bool IsPressed() const { return pressed_ != 0; }
  bool IsHover() const { return hover_ != 0; }
  // The state picture after the fallbacks (null: none).
  cPicture* StatePicture(int32_t state);
  cPicture* FramePicture(int32_t state);

protected:
  void Press();
  void ReleaseAt(int32_t x, int32_t y);

  cPictureHolder pictures_[4];  // normal, hover (and focused), pressed, disabled
  cWinFont* font_ = nullptr;
  int32_t alignment_ = 0;
  _guardchar<char16_t> caption_;
  uint8_t hover_ = 0;
  uint8_t pressed_ = 0;
  uint32_t solidFill_ = 0xFFFFFF;
  uint32_t disabledFill_ = 0xFFFFFFFFu;
  uint32_t textColours_[4] = {0, 0, 0, 0};
  uint32_t disabledText_ = 0;
  uint32_t firstEdge_[5] = {0, 0, 0, 0, 0};
  uint32_t secondEdge_[5] = {0, 0, 0, 0, 0};
  int32_t style_ = 0;
  int32_t pictureLayout_ = 0;
  int32_t preferredWidth_ = -1;
  cSortedTree<int32_t, cPicture*> frameOverrides_;
};

class cGenButtonChild : public cChildElement {
public:
  cGenButtonChild() = default;
  ~cGenButtonChild() override = default;

  void OnMouseButton(int32_t x, int32_t y, int32_t button, bool down) override;
  void OnEnter() override;
  void OnLeave() override;
  void OnKey(int32_t virtualKey, bool shift, bool control, bool alt) override;
  void OnGotFocus(bool control, bool shift) override;
  void OnLostFocus(bool control, bool shift) override;
  bool WantsTabStop() override { return true; }
  bool WantsFullRepaint() override { return true; }
  void InitDefaults() override;

  // A selected button ignores its input.
  void SetSelected(bool selected, bool redraw);
  bool IsSelected() const { return selected_ != 0; }
  bool IsPressed() const { return pressed_ != 0; }
  bool IsHover() const { return hover_ != 0; }

protected:
  uint8_t hover_ = 0;
  uint8_t pressed_ = 0;
  uint8_t selected_ = 0;
};
