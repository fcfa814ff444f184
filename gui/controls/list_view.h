// cListViewChild: the multi-column list, drawn by the toolkit: items made of
// cells under a column header, optional check boxes, single or multiple
// selection with a focused item, type-ahead search and sorting by column
// through pluggable sort providers. It reports what the user does only by
// posting actions to itself, which travel up to its owners.
//
// Rules:
//  a. Items are known by caller-chosen ids (>= 0), columns likewise; a
//     cell is (item id, column id). The selected and checked bits of an
//     item live in its first cell (smallest column id it has).
//  b. Workers may fill and clear the list (SetCell, Clear) while the UI
//     thread uses it: every operation that reads or changes items, rows,
//     cells or the focused item holds the view's lock, so a worker's Clear
//     cannot free an item the UI thread is walking. The owner enters batch
//     mode on the UI thread before the worker starts and ends it there, so
//     that layout, scroll bars and repaints stay on the UI thread.
//  c. Sorting is not maintained: items added after Sort are appended until
//     the next Sort. Equal keys keep their previous order in both
//     directions; items the provider cannot key go first ascending and last
//     descending, in their previous order.
//  d. Actions are posted, never sent, so a worker never waits for the UI
//     thread here.
#pragma once

#include <cstdint>
#include <memory>

#include "base/guardchar.h"
#include "base/packed_key.h"
#include "base/sorted_tree.h"
#include "base/sync.h"
#include "gui/controls/header.h"
#include "gui/controls/scroll.h"

class cImageStore;
class cPicture;
class cWinFont;

// One cell of an item.
struct sListCell {
  int32_t data = 0;
  _guardchar<char16_t> text;
  int32_t colour = -1;  // -1: the column's colour
  int32_t item = 0;     // the owning item's id
  int16_t picture = -1;
  int16_t height = 0;   // cached measured height, 0: not measured
  uint8_t flags = 0;    // bit 0 selected, bit 1 checked (first cell only)
};

class cListViewChild : public cScrollableElement {
public:
  enum : uint8_t { kCellSelected = 1, kCellChecked = 2 };

  class cListViewSortProvider {
  public:
    virtual bool Reset() = 0;
    virtual bool Add(sListCell* cell) = 0;
    // From a null position the first entry, else the one after position;
    // null at the end.
    virtual const void* NextAscending(const void* position, sListCell** cell) = 0;
    virtual const void* NextDescending(const void* position, sListCell** cell) = 0;
    virtual ~cListViewSortProvider() = default;
  };

  // Orders by the UTF-8 bytes of the cell text, case-sensitively; cells
  // without text are refused.
  class cListViewNameSortProvider : public cListViewSortProvider {
  public:
    cListViewNameSortProvider() : map_(1536) {}
    bool Reset() override;
    bool Add(sListCell* cell) override;
    const void* NextAscending(const void* position, sListCell** cell) override;
    const void* NextDescending(const void* position, sListCell** cell) override;

  private:
    cSortedTree<sSeqKey<cPackedKey>, sListCell*> map_;
  };

  // Orders by a 64-bit key that a function makes of each cell.
  class cListViewU64PramSortProvider : public cListViewSortProvider {
  public:
    using tKeyFunction = uint64_t (*)(const sListCell* cell);
    cListViewU64PramSortProvider() : map_(2048) {}
    void SetKeyFunction(tKeyFunction function) { key_ = function; }
    bool Reset() override;
    bool Add(sListCell* cell) override;
    const void* NextAscending(const void* position, sListCell** cell) override;
    const void* NextDescending(const void* position, sListCell** cell) override;

  private:
    cSortedTree<sSeqKey<uint64_t>, sListCell*> map_;
    tKeyFunction key_ = nullptr;
  };

  // Kind 7: item activated; kind 12: sorted by the column in item.
  class cListViewItemAction : public cChildAction {
  public:
    cListViewItemAction(int32_t kind, int32_t id) : cChildAction(kind), item(id) {}
    int32_t item;
  };
  // Kind 8: focus or selection changed; -1 stands for no item.
  class cListViewItemChangeAction : public cListViewItemAction {
  public:
    cListViewItemChangeAction(int32_t newId, int32_t oldId, bool isControl, bool isShift)
        : cListViewItemAction(8, newId), oldItem(oldId), control(isControl), shift(isShift) {}
    int32_t oldItem;
    uint8_t control, shift;
  };
  // Kind 11: the user toggled the item's check box.
  class cListViewItemChecked : public cListViewItemAction {
  public:
    explicit cListViewItemChecked(int32_t id) : cListViewItemAction(11, id) {}
  };

  // An item: its cells by column id.
  struct sItem {
    explicit sItem(int32_t itemId) : id(itemId), cells(512) {}
    int32_t id;
    cSortedTree<int32_t, sListCell> cells;
  };

  cListViewChild();
  ~cListViewChild() override;

  void MouseButton(int32_t x, int32_t y, int32_t button, bool down, bool control, bool shift) override;
  bool Char(char16_t character, bool shift, bool control, bool alt) override;
  bool Key(int32_t virtualKey, bool shift, bool control, bool alt) override;
  void SetText(const char16_t* text, int32_t length, bool redraw) override;
  bool ViewRect(sRect* rect) override;
  void OnResize() override;
  void OnDblClick(int32_t x, int32_t y) override;
  bool OnAction(cChildElement* sender, cChildAction* action) override;
  void OnGotFocus(bool control, bool shift) override;
  void OnLostFocus(bool control, bool shift) override;
  bool WantsTabStop() override { return true; }
  bool NoArrowNavigation() override { return true; }
  int32_t BorderWidth() override { return 1; }
  void InitDefaults() override;
  void PaintContent(cCanvas* canvas) override;
  virtual void OnItemClick(sItem* item, sListCell* cell, bool control, bool shift, int32_t button);

  // ---- Columns ----
  bool SetColumnTitle(int32_t column, const char16_t* title, int32_t width, int32_t alignment);
  bool SetColumnFont(int32_t column, cWinFont* font);
  bool SetColumnTextColour(int32_t column, int32_t colour, bool repaint);
  // Takes ownership of provider (also when false is returned).
  bool SetSortProvider(int32_t column, cListViewSortProvider* provider);
  bool Sort(int32_t column);
  void ShowHeader(bool show);

  // ---- Items and cells ----
  bool SetCell(int32_t item, int32_t column, const char16_t* text, int32_t picture, int32_t data);
  bool SetCellTextColour(int32_t item, int32_t column, int32_t colour);
  int32_t GetCellData(int32_t item, int32_t column);
  // The cell's text copied out, empty when there is none.
  bool GetCellText(int32_t item, int32_t column, _guardchar<char16_t>* text);
  void Clear();

  // ---- Selection, focus and check boxes ----
  void SetMultiSelect(bool on);
  void SetFocusItem(sItem* item, sItem* anchor, bool control, bool shift, bool select);
  bool FocusItem(int32_t id);
  bool SelectAll();
  bool DeselectAllBut(sItem* item);
  int32_t GetFocusedItem();
  int32_t GetNextSelected(int32_t after);
  bool IsItemSelected(int32_t id);
  bool IsItemChecked(int32_t id);
  bool SetItemChecked(int32_t id, bool checked, bool notify);
  void SetCheckBoxes(bool on);

  // ---- Appearance and batching ----
  void SetImageLists(cImageStore* normal, cImageStore* extra, cImageStore* selected);
  void SetRowSpacing(int32_t pixels);
  void SetTextIndent(int32_t pixels, bool repaint);
  void SetBorderColour(uint32_t colour, bool repaint);
  void SetSelectionStyle(bool fullRow, bool repaint);
  void SetRowSelectionColours(uint32_t focusedFill, uint32_t unfocusedFill, bool repaint);
  void BeginUpdate();
  bool EndUpdate(bool remeasure);

  // ---- Looking at the list ----
  int32_t GetRowCount();
  // The item id at row position, -1 when there is none.
  int32_t GetRowItem(int32_t position);
  // The row's top in content coordinates, -1 for an item without a row.
  int32_t GetRowTop(int32_t id);
  int32_t GetRowHeight(int32_t id);
  int32_t GetSortColumn() const { return sortColumn_; }
  bool IsInBatch() const { return batch_ != 0; }
  // How many times the rows were laid out.
  int32_t GetLayoutCount() const { return layouts_; }
  cHeaderChild& Header() { return header_; }

private:
  struct sColumn {
    std::unique_ptr<cListViewSortProvider> provider;
    uint8_t ascending = 1;
    int32_t alignment = 0;
    cWinFont* font = nullptr;
    int32_t colour = -1;
  };
  struct sRow {
    int32_t item = 0;
    int32_t height = 0;
  };

  // Lays out now, or marks the view dirty in batch mode. Lock held.
  void RequestLayout(bool remeasure);
  void Relayout(bool remeasure);
  sItem* FindItem(int32_t id);
  sListCell* FirstCell(sItem* item);
  // The item's cell in the first defined column.
  sListCell* FirstColumnCell(sItem* item);
  bool IsSelected(sItem* item);
  void SetSelected(sItem* item, bool on);
  sItem* RowItem(int32_t position);
  int32_t PositionOf(sItem* item);
  // The row under element point (x, y): its item, or null.
  sItem* HitRow(int32_t x, int32_t y, int32_t* contentX);
  int32_t HeaderHeight();
  void ToggleCheck(sItem* item);
  void ForgetFocus(bool control, bool shift);
  void PaintRow(cCanvas* canvas, int32_t top, const sRow& row, bool& previousSelected);

  cSortedTree<int32_t, sColumn> columns_;
  cSortedTree<int32_t, sItem*> rows_;
  cSortedTree<sItem*, int32_t> positions_;
  cSortedTree<int32_t, sRow> layout_;
  cCriticalSection lock_;
  cSortedTree<int32_t, int32_t> rowTops_;
  int32_t sortColumn_ = -1;
  cSortedTree<int32_t, std::unique_ptr<sItem>> items_;
  cHeaderChild header_;
  cImageStore* stores_[3] = {nullptr, nullptr, nullptr};
  uint32_t background_ = 0, border_ = 0, text_ = 0;
  uint32_t selFill_[2] = {0, 0}, selText_[2] = {0, 0}, selFrame_[2] = {0, 0};  // [0] focused
  uint32_t rowFill_[2] = {0, 0};
  int32_t rowSpacing_ = 0;
  uint8_t multiSelect_ = 0;
  uint8_t batch_ = 0;
  uint8_t dirty_ = 0;
  uint8_t checkBoxes_ = 0;
  uint8_t fullRow_ = 0;
  uint8_t headerShown_ = 1;
  char16_t typed_[10] = {};
  int32_t typedCount_ = 0;
  uint32_t typedTick_ = 0;
  int32_t textIndent_ = 0;
  cPicture* checkedBox_ = nullptr;
  cPicture* uncheckedBox_ = nullptr;
  sItem* focused_ = nullptr;
  int32_t layouts_ = 0;
};
