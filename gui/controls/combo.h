// cComboBoxChild: the drop-down field: an edit control with an arrow
// button at its right end and a list of items by id, opened as a popup
// list below the field.
//
// Rules:
//  a. Actions (plain kinds): 7 a selection made with notify (from the list
//     or the arrow keys), and the edit's Enter (7) and Escape (8) passed on
//     as the combo's own.
//  b. Item ids are 0 or more; -1 means no selection.
//  c. UI thread only.
#pragma once

#include <cstdint>

#include "gui/controls/button.h"
#include "gui/controls/edit.h"
#include "gui/controls/popup.h"

class cImageStore;

class cComboBoxChild : public cChildElement {
public:
  cComboBoxChild() = default;
  ~cComboBoxChild() override;

  void MouseButton(int32_t x, int32_t y, int32_t button, bool down, bool control, bool shift) override;
  bool Key(int32_t virtualKey, bool shift, bool control, bool alt) override;
  void CopyText(char16_t* buffer, int32_t capacity) override { edit_.CopyText(buffer, capacity); }
  const char16_t* GetText() override { return edit_.GetText(); }
  bool PaintOwnBg(cCanvas* canvas, const sRect* rect) override;
  bool OnAction(cChildElement* sender, cChildAction* action) override;
  void FocusSelfOrParent() override;
  bool WantsTabStop() override { return true; }
  void InitDefaults() override;

  // False for a negative id. Creates or updates; the selected item's new
  // text shows in the edit at once.
  bool SetItem(int32_t id, const char16_t* text, int32_t data, int32_t pictureId);
  // A negative id empties the edit and selects nothing; an unknown id
  // changes nothing (false). With notify a kind-7 action is posted.
  bool Select(int32_t id, bool notify);
  int32_t GetSelectedId() const { return selected_; }
  // 0 for an id that is not among the items.
  int32_t GetItemData(int32_t id) const;
  void ClearItems();
  void SetEditable(bool flag);
  void SetComboText(const char16_t* text, int32_t length) { edit_.SetEditText(text, length); }
  // The list's pictures (borrowed; null: none).
  void SetImageStore(cImageStore* store) { images_ = store; }
  void DropDown();

  cEditChild& Edit() { return edit_; }
  cButtonChild& Arrow() { return arrow_; }
  const tPopupItems& Items() const { return items_; }

private:
  cEditChild edit_;
  cButtonChild arrow_;
  int32_t selected_ = -1;
  cImageStore* images_ = nullptr;
  tPopupItems items_;
  int32_t maxListHeight_ = 100;
  uint8_t pressPending_ = 0;
};
