// cToolBarChild: a row of push buttons kept by id, laid out left to right
// at their measured widths. When they do not fit, overflow mode 2 moves
// the buttons at the end into a list behind a chevron button, and mode 1
// (a path bar) keeps a pinned head and a visible tail and lists the
// buttons between them. A click on a button or a list row posts one
// cTbButtonAction with the button id; a press on the bar outside its
// buttons posts a plain kind-8 action.
//
// Rules:
//  a. Buttons are laid out and listed in ascending id order; the bar owns
//     and deletes them.
//  b. Image stores are borrowed per button state (0 normal, 1 and 2 hover,
//     3 pressed, 4 disabled) and must outlive the bar.
//  c. UI thread only.
#pragma once

#include <cstdint>

#include "base/sorted_tree.h"
#include "gui/controls/button.h"
#include "gui/controls/popup.h"

class cImageStore;
class cWinFont;

class cToolBarChild : public cChildElement {
public:
  // Kind 7: the id of the button clicked or chosen from the list.
  class cTbButtonAction : public cChildAction {
  public:
    explicit cTbButtonAction(int32_t button) : cChildAction(7), id(button) {}
    int32_t id;
  };

  cToolBarChild();
  ~cToolBarChild() override;

  void Paint(cCanvas* canvas) override;
  void OnResize() override;
  void OnMouseButton(int32_t x, int32_t y, int32_t button, bool down) override;
  bool OnAction(cChildElement* sender, cChildAction* action) override;
  void SetTransparent(bool flag) override;
  void InitDefaults() override;
  // A new button; a subclass may return its own button class.
  virtual cButtonChild* NewButton() { return new cButtonChild(); }
  // Whether to keep a new button (true here).
  virtual bool OnButtonAdded(int32_t id, cButtonChild* button) {
    (void)id, (void)button;
    return true;
  }

  // No text and a negative index remove the button. True on success.
  bool SetButton(int32_t id, const char16_t* text, int32_t imageIndex);
  bool RemoveButton(int32_t id);
  void RemoveAllButtons(bool redraw);
  bool EnableButton(int32_t id, bool enable);
  void SetImages(int32_t state, cImageStore* store);
  void ApplyImages(cButtonChild* button, int32_t index);
  // 0 none, 1 path (pinned head, chevron, tail), 2 end.
  void SetOverflowMode(int32_t mode);
  void SetPinnedCount(int32_t count);
  void SetButtonsFocusable(bool flag);
  void SetStateTextColourOfAll(int32_t state, uint32_t colour);
  // Sum over the buttons of the larger of preferred and minimum width.
  int32_t GetButtonsWidth();
  void Relayout();

  cButtonChild* GetButton(int32_t id) const;
  cButtonChild& Chevron() { return chevron_; }
  // The rows of the overflow list after the last layout.
  const tPopupItems& OverflowRows() const { return overflow_; }
  int32_t GetLayoutCount() const { return layouts_; }

private:
  int32_t ButtonWidth(cButtonChild* button);
  void Layout();
  void OpenOverflowList();

  cSortedTree<int32_t, int32_t> imageIndexes_;
  cSortedTree<int32_t, cButtonChild*> buttons_;
  cSortedTree<int32_t, cImageStore*> stores_;
  int32_t pinned_ = 0;
  int32_t mode_ = 0;
  int32_t framedStyle_ = kButtonRaised;
  cButtonChild chevron_;
  tPopupItems overflow_;
  int32_t widestOverflow_ = 0;
  int32_t overflowHeight_ = 0;
  int32_t maxListHeight_ = 200;
  uint32_t fill_ = 0, frame_ = 0, text_ = 0;
  cWinFont* font_ = nullptr;
  bool framed_ = false;
  int32_t pictureLayout_ = 0;
  int32_t minimumWidth_ = 0;
  uint32_t firstEdge_ = kPopupNoColour, secondEdge_ = kPopupNoColour;
  bool buttonsFocusable_ = true;
  int32_t layouts_ = 0;
};
