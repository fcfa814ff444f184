// cSimpleGridChild: equal cells in rows that wrap at the element's width,
// one selected cell, keyboard and mouse selection and vertical scrolling.
// A derived class answers the cell count and size and paints each cell.
//
// Rules:
//  a. A cell width plus row gap of 0 or less lays out no columns (nothing
//     can be divided by it).
//  b. UI thread only.
#pragma once

#include <cstdint>

#include "gui/controls/scroll.h"

class cSimpleGridChild : public cScrollableElement {
public:
  // Kind 7: selection changed; kind 8: cell activated.
  class cCellAction : public cChildAction {
  public:
    cCellAction(int32_t kind, int32_t cell) : cChildAction(kind), index(cell) {}
    int32_t index;
  };

  cSimpleGridChild() = default;
  ~cSimpleGridChild() override = default;

  void OnResize() override;
  void OnMouseButton(int32_t x, int32_t y, int32_t button, bool down) override;
  void OnDblClick(int32_t x, int32_t y) override;
  void OnKey(int32_t virtualKey, bool shift, bool control, bool alt) override;
  bool OnAction(cChildElement* sender, cChildAction* action) override;
  bool WantsTabStop() override { return true; }
  bool WantsFullRepaint() override { return true; }
  bool NoArrowNavigation() override { return true; }
  bool WantsFocus() override { return true; }
  void InitDefaults() override;
  void PaintContent(cCanvas* canvas) override;

  virtual void PaintCell(cCanvas* canvas, int32_t index, bool selected) = 0;
  virtual int32_t GetCellWidth() = 0;
  virtual int32_t GetCellHeight() = 0;
  virtual int32_t GetCellCount() = 0;
  virtual int32_t GetRowGap() = 0;
  virtual int32_t GetMaxColumnGap() = 0;
  virtual bool WrapsArrowKeys() { return false; }

  void SelectRow(int32_t index, bool notify);
  void Relayout(bool repaint);
  int32_t HitTest(int32_t x, int32_t y);
  bool GetCellRect(int32_t index, sRect* rect);

  int32_t GetColumns() const { return columns_; }
  int32_t GetRows() const { return rows_; }
  int32_t GetCount() const { return count_; }
  int32_t GetSelected() const { return selected_; }
  int32_t GetColumnSpacing() const { return spacing_; }

private:
  // Selects by key or mouse: posts the change and repaints.
  void Choose(int32_t index);

  int32_t columns_ = 0;
  int32_t rows_ = 0;
  int32_t count_ = 0;
  int32_t selected_ = -1;
  int32_t spacing_ = 0;
  int32_t rowGap_ = 0;
  uint32_t background_ = 0;
};
