// cSplitterChild: lays its panes side by side in one row, in the order of
// their pane ids, with a draggable separator after each; widths are kept in
// pixels. cHeaderChild: the column header of the list view, a splitter
// whose panes are one button per column, with a disabled filler button
// covering the space behind the last column.
//
// Rules:
//  a. Panes are borrowed: they are children of the splitter, owned by
//     whoever created them. The header owns its column buttons.
//  b. A splitter is always exactly as wide as its panes plus separators,
//     or as its required width when it has a filler; every change of its
//     own width is posted as a kind-7 action, every change of a pane's
//     width as a plain kind-8 action.
//  c. UI thread only.
#pragma once

#include <cstdint>

#include "base/sorted_tree.h"
#include "gui/controls/button.h"
#include "gui/element.h"

class cSplitterChild : public cChildElement {
public:
  // Kind 7: the splitter's new total width.
  class cResizeRequestAction : public cChildAction {
  public:
    explicit cResizeRequestAction(int32_t newWidth) : cChildAction(7), width(newWidth) {}
    int32_t width;
  };

  cSplitterChild() : panes_(512), widths_(512) {}
  ~cSplitterChild() override = default;

  void Paint(cCanvas* canvas) override;
  void OnResize() override;
  void OnMouseButton(int32_t x, int32_t y, int32_t button, bool down) override;
  void OnMouseMove(int32_t x, int32_t y) override;
  int32_t DefaultCursor() override { return 4; }
  void InitDefaults() override;

  // False for an id below 0 or a null pane; an id in use replaces its pane.
  bool AddPane(int32_t id, cChildElement* pane, int32_t width);
  // False for a negative id or width, or a pane without a width entry.
  bool SetPaneWidth(int32_t id, int32_t width);
  // The filler covers what the panes leave of the required width.
  void SetFiller(int32_t requiredWidth, cChildElement* filler);
  void SetColours(uint32_t separator, uint32_t line);
  // Places the panes from the first pane id on (see the rules above).
  void Layout(int32_t firstId);

  int32_t GetGap() const { return gap_; }
  int32_t GetRequiredWidth() const { return required_; }
  bool IsDragging() const { return dragStart_ >= 0; }
  int32_t GetDraggedPane() const { return dragged_; }
  cChildElement* GetPane(int32_t id) const;

protected:
  // The pane's width for layout: its entry truncated, else its current one.
  int32_t PaneWidth(int32_t id, cChildElement* pane) const;

  cSortedTree<int32_t, cChildElement*> panes_;
  cSortedTree<int32_t, double> widths_;
  int32_t dragStart_ = -1;
  int32_t dragged_ = 0;
  int32_t dragLeft_ = 0;
  int32_t required_ = 0;
  cChildElement* filler_ = nullptr;
  uint32_t separatorColour_ = 0;
  uint32_t lineColour_ = 0;
  int32_t gap_ = 3;
};

class cHeaderChild : public cSplitterChild {
public:
  // Kind 9: a click on a column.
  class cColumnClickAction : public cChildAction {
  public:
    explicit cColumnClickAction(int32_t id) : cChildAction(9), column(id) {}
    int32_t column;
  };

  cHeaderChild() : buttons_(512) {}
  ~cHeaderChild() override;

  void Paint(cCanvas* canvas) override;
  bool OnAction(cChildElement* sender, cChildAction* action) override;
  void InitDefaults() override;

  // Creates or changes the column; a null title keeps the text. False only
  // when the pane could not be added.
  bool SetColumn(int32_t id, const char16_t* title, int32_t width, int32_t alignment);
  // 0 for a column that does not exist.
  int32_t GetColumnWidth(int32_t id) const;
  // The header reaches at least this far, the filler covering the rest.
  void SetMinWidth(int32_t width) { SetFiller(width, &fillerButton_); }

  cButtonChild* GetColumnButton(int32_t id) const;
  cButtonChild& FillerButton() { return fillerButton_; }

private:
  cButtonChild fillerButton_;
  cSortedTree<int32_t, cButtonChild> buttons_;
};
