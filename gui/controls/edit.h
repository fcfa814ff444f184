// cEditChild: the single-line text field. A fixed-capacity buffer of
// UTF-16 units with a caret, an inclusive selection, horizontal scrolling,
// the editing keys and shortcuts, clipboard copy, cut and paste through the
// window, a context menu (a popup list), a hint text shown while it is
// empty and unfocused, and per-state colours from the theme.
//
// Rules:
//  a. The text always ends at the first 0; the buffer holds capacity units,
//     the terminator included (257 after construction).
//  b. The selection is [start, end], both inclusive, or -1, -1; the caret
//     sits at start or at end + 1 of a selection.
//  c. Actions to the owner (plain kinds): 7 Enter, 8 Escape without a
//     selection, 9 focus lost (not while the edit's own menu is open).
//  d. Character edges are measured at every paint; CharIndexAt uses the
//     last ones.
//  e. UI thread only.
#pragma once

#include <cstdint>

#include "base/buffers.h"
#include "gui/element.h"

class cWinFont;

class cEditChild : public cChildElement {
public:
  cEditChild();
  ~cEditChild() override = default;

  void CopyText(char16_t* buffer, int32_t capacity) override;
  const char16_t* GetText() override;
  void WipeText() override;
  void OnCreate() override;
  void Paint(cCanvas* canvas) override;
  void OnMouseButton(int32_t x, int32_t y, int32_t button, bool down) override;
  void OnMouseMove(int32_t x, int32_t y) override;
  void OnEnter() override;
  void OnLeave() override;
  void OnDblClick(int32_t x, int32_t y) override;
  void OnChar(char16_t character, bool shift, bool control, bool alt) override;
  void OnKey(int32_t virtualKey, bool shift, bool control, bool alt) override;
  void OnFocus(int32_t how, bool control, bool shift) override;
  void OnLostFocus(bool control, bool shift) override;
  bool WantsDoubleBuffer() override { return true; }
  bool WantsTabStop() override { return true; }
  bool WantsFullRepaint() override { return true; }
  bool NoArrowNavigation() override { return true; }
  const char16_t* LangSectionKey() override { return u"wekt::edit"; }
  int32_t DefaultCursor() override { return 1; }
  void InitDefaults() override;
  // length -1: up to the terminator. Grows the buffer when needed; caret,
  // scroll and selection are reset.
  virtual void SetEditText(const char16_t* text, int32_t length);
  virtual void SetHintText(const char16_t* text);

  // An empty buffer of n units plus the terminator (the text is lost). Above
  // 2,147,483,646 the edit is left without a buffer and false returned.
  bool ReserveText(int64_t n);
  int32_t GetCapacity() const { return text_.count; }
  int32_t GetLength() const;
  void SetReadOnly(bool flag) { readOnly_ = flag; }
  bool IsReadOnly() const { return readOnly_ != 0; }
  void SetSelectAllOnFocus(bool flag) { selectAllOnFocus_ = flag; }
  void SetSelectableWhenReadOnly(bool flag);
  void SetFont(cWinFont* font) { font_ = font; }
  // The same triple for the normal, focused, hover and disabled states.
  void SetStateColours(uint32_t background, uint32_t text, uint32_t frame);
  // States 0 normal, 1 focused, 2 hover, 3 disabled.
  uint32_t GetStateBackground(int32_t state) const;
  uint32_t GetStateFrame(int32_t state) const;
  void SetStateFrame(int32_t state, uint32_t colour);

  // Editing operations of the keys, the mouse and the menu.
  void ClearSelection();
  void ExtendSelection(int32_t from, int32_t to);
  bool DeleteSelection();
  void SelectAll();
  void CopySelection();
  void Paste();
  int32_t CharIndexAt(int32_t x) const;

  int32_t GetCaret() const { return caret_; }
  void SetCaret(int32_t caret);
  int32_t GetScroll() const { return scroll_; }
  int32_t GetSelStart() const { return selStart_; }
  int32_t GetSelEnd() const { return selEnd_; }
  bool HasSelection() const;
  bool IsMenuOpen() const { return menuOpen_ != 0; }

protected:
  // Opens the context menu at (x, y) in the edit.
  void ShowContextMenu(int32_t x, int32_t y);
  // The caret moved by a key from old: repaint, then keep or drop the
  // selection.
  void CaretMoved(int32_t old, bool shift);
  void InsertAtCaret(char16_t c);
  void DeleteAt(int32_t index);

  _typebuf<char16_t> text_;
  _guardchar<char16_t> hint_;
  _guardchar<char16_t> copy_;
  cWinFont* font_ = nullptr;
  cWinFont* hintFont_ = nullptr;
  _typebuf<int32_t> edges_;
  uint32_t colours_[4][3];  // normal, focused, hover, disabled: background, text, frame
  uint8_t menuOpen_ = 0;
  uint32_t selectionFocused_ = 0;
  uint32_t selectionUnfocused_ = 0;
  int32_t caret_ = 0;
  int32_t scroll_ = 0;
  int32_t selStart_ = -1;
  int32_t selEnd_ = -1;
  uint8_t selecting_ = 0;
  uint8_t hover_ = 0;
  uint8_t readOnly_ = 0;
  uint8_t selectAllOnFocus_ = 1;
  uint8_t selectableReadOnly_ = 1;
};
