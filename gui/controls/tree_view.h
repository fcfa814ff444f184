// cTreeViewChild: a forest of items with indentation, an expander in front
// of every row and one selected item. The rows are not painted by the tree:
// every item gets two child elements, a selectable text label
// (cTreeItemElement) and an expander (cTreeViewControlElement), which the
// tree places row by row inside its scrollable area. SplitPathHead cuts a
// '/'-separated path into its components, for callers that fill a tree
// from paths.
//
// Rules:
//  a. Items are created by the caller and handed over by InsertItem; the
//     tree owns them from then on and deletes them (DeleteChildren,
//     DeleteAll, its destructor). Their elements exist from the first
//     layout after insertion until the item goes.
//  b. The tree has no batch mode: every change lays it out again.
//  c. UI thread only.
#pragma once

#include <cstdint>

#include "base/guardchar.h"
#include "base/lists.h"
#include "base/sorted_tree.h"
#include "gui/controls/scroll.h"
#include "gui/static_element.h"

class cImageStore;

// A text label that can be hovered and selected, showing each state in its
// own colours.
class cSISelectableElement : public cStaticElement {
public:
  // Kind 7: the user selected the label; the focusing event's modifiers.
  class cSelectableSelectAction : public cChildAction {
  public:
    cSelectableSelectAction(bool isControl, bool isShift)
        : cChildAction(7), control(isControl), shift(isShift) {}
    uint8_t control, shift;
  };

  cSISelectableElement() = default;
  ~cSISelectableElement() override = default;

  void OnEnter() override;
  void OnLeave() override;
  void OnDblClick(int32_t x, int32_t y) override;
  void OnKey(int32_t virtualKey, bool shift, bool control, bool alt) override;
  void OnFocus(int32_t how, bool control, bool shift) override;
  void OnLostFocus(bool control, bool shift) override;
  bool WantsFocus() override { return selectable_ != 0; }
  void InitDefaults() override;

  // Marks the label selected; with focus it reports the selection and takes
  // the keyboard focus.
  void Select(bool focus);
  void SetNormalColours(uint32_t text, uint32_t background);
  void GetNormalColours(uint32_t* text, uint32_t* background) const;
  void SetNormalBackground(uint32_t colour);
  // The normal, hover and selected text colour at once.
  void SetTextColours(uint32_t colour);
  bool IsSelected() const { return selected_ != 0; }
  bool IsHovered() const { return hovered_ != 0; }
  uint32_t GetShownText() const { return textColour_; }
  uint32_t GetShownBackground() const { return labelBackground_; }

protected:
  // The colours of the current state.
  void ShowState();

  uint32_t normalText_ = 0, normalBackground_ = 0;
  uint32_t hoverText_ = 0, hoverBackground_ = 0;
  uint32_t selectedText_ = 0, selectedBackground_ = 0;
  uint8_t selected_ = 0;
  uint8_t hovered_ = 0;
  uint8_t selectable_ = 1;
};

// The label of a tree item: '+' and '-' ask to expand and collapse.
class cTreeItemElement : public cSISelectableElement {
public:
  ~cTreeItemElement() override = default;
  void OnChar(char16_t character, bool shift, bool control, bool alt) override;
  void OnKey(int32_t virtualKey, bool shift, bool control, bool alt) override;
};

// The expander: a connector, or a plus or minus that can be clicked.
class cTreeViewControlElement : public cStaticElement {
public:
  enum : int32_t { kStateUnset = 0, kStateConnector = 1, kStateLast = 2, kStateExpanded = 3, kStateCollapsed = 4 };
  ~cTreeViewControlElement() override = default;
  void OnMouseButton(int32_t x, int32_t y, int32_t button, bool down) override;
  int32_t GetState() const { return state_; }
  void SetState(int32_t state) { state_ = state; }

private:
  int32_t state_ = kStateUnset;
};

class cTreeViewChild : public cScrollableElement {
public:
  class cTreeViewItem : public cTreeItem {
  public:
    cTreeViewItem() = default;
    ~cTreeViewItem() override;
    cSISelectableElement* label = nullptr;         // owned
    cTreeViewControlElement* expander = nullptr;   // owned
    void* userData = nullptr;                      // borrowed
    _guardchar<char16_t> text;
    int32_t picture = -1;
    uint8_t collapsed = 0;
    int32_t textColour = -1;
  };
  // Kind 7 activated, 8 selection changed, 10 expanded or collapsed.
  class cTreeItemAction : public cChildAction {
  public:
    cTreeItemAction(int32_t kind, cTreeViewItem* treeItem) : cChildAction(kind), item(treeItem) {}
    cTreeViewItem* item;
  };
  // Kind 9: a context menu asked for at (x, y) in the tree's coordinates.
  class cTreeItemCtxAction : public cTreeItemAction {
  public:
    cTreeItemCtxAction(cTreeViewItem* treeItem, int32_t px, int32_t py) : cTreeItemAction(9, treeItem), x(px), y(py) {}
    int32_t x, y;
  };

  cTreeViewChild() : labels_(512), expanders_(512) {}
  ~cTreeViewChild() override;

  void FocusAt(int32_t x, int32_t y, int32_t how, bool control, bool shift) override;
  bool SetFocusTo(cChildElement* element) override;
  void KillFocus(bool control, bool shift) override;
  bool Key(int32_t virtualKey, bool shift, bool control, bool alt) override;
  void OnResize() override;
  bool OnAction(cChildElement* sender, cChildAction* action) override;
  void OnGotFocus(bool control, bool shift) override;
  bool WantsTabStop() override { return true; }
  bool NoArrowNavigation() override { return true; }
  int32_t BorderWidth() override { return 1; }
  void InitDefaults() override;
  void PaintContent(cCanvas* canvas) override;

  virtual cSISelectableElement* CreateItemLabel() { return new cTreeItemElement(); }
  virtual cTreeViewControlElement* CreateItemExpander() { return new cTreeViewControlElement(); }
  virtual void OnItemElementsCreated(cTreeViewItem* item, cSISelectableElement* label) {
    (void)item;
    (void)label;
  }
  virtual bool HasChildren(cTreeViewItem* item) { return item != nullptr && item->firstChild != nullptr; }
  virtual void OnBeforeExpand(cTreeViewItem* item) { (void)item; }

  bool InsertItem(cTreeViewItem* parent, cTreeViewItem* item, cTreeViewItem* after);
  bool DeleteChildren(cTreeViewItem* item);
  bool DeleteAll();
  bool Expand(cTreeViewItem* item, bool notify);
  bool SelectItem(cTreeViewItem* item, bool focus);
  void ShowInactiveSelection(cTreeViewItem* item);
  void SetImageLists(cImageStore* first, cImageStore* second, cImageStore* third);
  bool FocusFirst();
  void Layout();

  cTreeViewItem* GetSelected() const { return selected_; }
  cTreeViewItem* GetMarked() const { return marked_; }
  cTreeViewItem* FirstItem() const { return static_cast<cTreeViewItem*>(root_.first); }
  uint32_t GetInactiveText() const { return inactiveText_; }
  uint32_t GetInactiveBackground() const { return inactiveBackground_; }

private:
  int32_t LayoutChain(cTreeViewItem* first, int32_t depth, bool visible, int32_t y, int32_t& widest,
                      int32_t& smallest);
  // Removes the elements of item and of all its descendants from the tree.
  void ForgetElements(cTreeViewItem* item, bool withSelf);
  // Restores the marked label's colours and forgets the mark.
  void Unmark();
  void Mark(cTreeViewItem* item);
  cTreeViewItem* ItemOfLabel(cChildElement* label) const;

  cSortedTree<cChildElement*, cTreeViewItem*> labels_;
  cSortedTree<cChildElement*, cTreeViewItem*> expanders_;
  cTreeItemRoot root_;
  cImageStore* stores_[3] = {nullptr, nullptr, nullptr};
  uint32_t background_ = 0, border_ = 0;
  cTreeViewItem* selected_ = nullptr;
  uint32_t savedText_ = 0, savedBackground_ = 0;
  cTreeViewItem* marked_ = nullptr;
  uint32_t inactiveText_ = 0, inactiveBackground_ = 0;
};

// The first component of path goes to *component and the rest is returned
// (null when there is none); a leading "/" or "//" is a component of its own.
const char16_t* SplitPathHead(const char16_t* path, _guardchar<char16_t>* component);
