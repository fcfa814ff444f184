// See gui/controls/list_view.h.
#include "gui/controls/list_view.h"

#include <algorithm>
#include <climits>
#include <vector>

#include "base/strings.h"
#include "gui/canvas.h"
#include "gui/font.h"
#include "gui/picture.h"
#include "gui/theme.h"

namespace {
enum : int32_t {
  kColourBackground = 14, kColourBorder = 21, kColourText = 4, kColourEmptyText = 5,
  kColourSelFillFocused = 16, kColourSelTextFocused = 9, kColourSelFrameFocused = 25,
  kColourSelFillUnfocused = 18, kColourSelTextUnfocused = 4, kColourSelFrameUnfocused = 26,
};
constexpr uint32_t kPictureUnchecked = 30, kPictureChecked = 31;
constexpr uint32_t kMetricHeaderHeight = 23;
constexpr int32_t kCheckWidth = 14;
constexpr int32_t kMinRowHeight = 13;
constexpr uint32_t kTypeAheadPauseMs = 400;
constexpr int32_t kTypeAheadMax = 10;
enum : int32_t { kVkBack = 8, kVkEnter = 13, kVkEscape = 27, kVkSpace = 32, kVkPageUp = 33, kVkPageDown = 34,
                 kVkEnd = 35, kVkHome = 36, kVkUp = 38, kVkDown = 40, kVkDelete = 46, kVkA = 65, kVkF5 = 116 };

using tGuard = cSafeCriticalSectionAccess;

// Both providers: the next sequence number under a primary key, or -1
// when it would pass the largest signed 32-bit value.
template <class K, class Map>
int32_t NextSequence(Map& map, const K& key) {
  sSeqKey<K> probe;
  probe.key = key;
  probe.seq = INT32_MAX;
  auto* n = map.FindOrPrev(probe);
  if (n == nullptr || cKeyCompare<K>::Compare(n->key.key, key) != 0) return 0;
  return n->key.seq == INT32_MAX ? -1 : n->key.seq + 1;
}

// Ascending: the map's order. Descending: groups of equal keys from the
// greatest key down, each group still in the order of Add, so that equal
// keys keep their previous order in both directions.
template <class K, class Map>
const void* Step(Map& map, const void* position, sListCell** cell, bool ascending) {
  using Node = typename Map::Node;
  auto* n = static_cast<Node*>(const_cast<void*>(position));
  auto groupStart = [&](Node* of) {
    sSeqKey<K> probe;
    probe.key = of->key.key;
    probe.seq = INT32_MIN;
    return map.FindOrNext(probe);
  };
  if (ascending) {
    n = n == nullptr ? map.First() : Map::Next(n);
  } else if (n == nullptr) {
    n = map.Last();
    if (n != nullptr) n = groupStart(n);
  } else {
    Node* next = Map::Next(n);
    if (next != nullptr && cKeyCompare<K>::Compare(next->key.key, n->key.key) == 0) {
      n = next;
    } else {
      Node* before = Map::Prev(groupStart(n));
      n = before != nullptr ? groupStart(before) : nullptr;
    }
  }
  if (cell != nullptr) *cell = n != nullptr ? n->value : nullptr;
  return n;
}
}  // namespace

// ---- Sort providers ----

bool cListViewChild::cListViewNameSortProvider::Reset() {
  map_.Clear();
  return true;
}

bool cListViewChild::cListViewNameSortProvider::Add(sListCell* cell) {
  if (cell == nullptr || cell->text.IsEmpty()) return false;
  sSeqKey<cPackedKey> key;
  key.key.FromWide(cell->text.text, -1);
  const int32_t seq = NextSequence(map_, key.key);
  if (seq < 0) return false;
  key.seq = seq;
  sListCell** slot = map_.FindOrInsert(std::move(key));
  if (slot == nullptr) return false;
  *slot = cell;
  return true;
}

const void* cListViewChild::cListViewNameSortProvider::NextAscending(const void* position, sListCell** cell) {
  return Step<cPackedKey>(map_, position, cell, true);
}

const void* cListViewChild::cListViewNameSortProvider::NextDescending(const void* position, sListCell** cell) {
  return Step<cPackedKey>(map_, position, cell, false);
}

bool cListViewChild::cListViewU64PramSortProvider::Reset() {
  map_.Clear();
  return key_ != nullptr;
}

bool cListViewChild::cListViewU64PramSortProvider::Add(sListCell* cell) {
  if (cell == nullptr || key_ == nullptr) return false;
  sSeqKey<uint64_t> key;
  key.key = key_(cell);
  const int32_t seq = NextSequence(map_, key.key);
  if (seq < 0) return false;
  key.seq = seq;
  sListCell** slot = map_.FindOrInsert(key);
  if (slot == nullptr) return false;
  *slot = cell;
  return true;
}

const void* cListViewChild::cListViewU64PramSortProvider::NextAscending(const void* position, sListCell** cell) {
  return Step<uint64_t>(map_, position, cell, true);
}

const void* cListViewChild::cListViewU64PramSortProvider::NextDescending(const void* position, sListCell** cell) {
  return Step<uint64_t>(map_, position, cell, false);
}

// ---- Construction ----

cListViewChild::cListViewChild()
    : columns_(512), rows_(512), positions_(512), layout_(512), rowTops_(512), items_(512) {}

cListViewChild::~cListViewChild() {
  RemoveChild(&header_);
  tGuard guard(&lock_);
  focused_ = nullptr;
  layout_.Clear();
  rowTops_.Clear();
  rows_.Clear();
  positions_.Clear();
  items_.Clear();
  columns_.Clear();
}

void cListViewChild::InitDefaults() {
  cScrollableElement::InitDefaults();
  cCITheme* theme = GetTheme();
  const int32_t headerHeight = theme->GetMetric(kMetricHeaderHeight);
  AddChild(&header_, 1, 1, std::max(1, GetWidth() - 2), headerHeight, 2);
  SetChildScrollFlags(&header_, false, true);
  header_.SetMinWidth(GetWidth() - 2);
  SetLineSteps(5, 1);
  SetContentHeight(headerHeight);
  SetPageSizes(GetWidth(), GetHeight());
  background_ = theme->GetColour(kColourBackground);
  border_ = theme->GetColour(kColourBorder);
  text_ = theme->GetColour(kColourText);
  selFill_[0] = theme->GetColour(kColourSelFillFocused);
  selText_[0] = theme->GetColour(kColourSelTextFocused);
  selFrame_[0] = theme->GetColour(kColourSelFrameFocused);
  selFill_[1] = theme->GetColour(kColourSelFillUnfocused);
  selText_[1] = theme->GetColour(kColourSelTextUnfocused);
  selFrame_[1] = theme->GetColour(kColourSelFrameUnfocused);
  rowFill_[0] = selFill_[0];
  rowFill_[1] = selFill_[1];
  tGuard guard(&lock_);
  rowSpacing_ = 0;
  multiSelect_ = batch_ = dirty_ = checkBoxes_ = fullRow_ = 0;
  headerShown_ = 1;
  typedCount_ = 0;
  typedTick_ = 0;
  textIndent_ = 0;
  focused_ = nullptr;
}

// ---- Helpers (lock held) ----

cListViewChild::sItem* cListViewChild::FindItem(int32_t id) {
  std::unique_ptr<sItem>* p = items_.Find(id);
  return p != nullptr ? p->get() : nullptr;
}

sListCell* cListViewChild::FirstCell(sItem* item) {
  if (item == nullptr) return nullptr;
  auto* n = item->cells.First();
  return n != nullptr ? &n->value : nullptr;
}

sListCell* cListViewChild::FirstColumnCell(sItem* item) {
  auto* c = columns_.First();
  if (item == nullptr || c == nullptr) return nullptr;
  return item->cells.Find(c->key);
}

bool cListViewChild::IsSelected(sItem* item) {
  sListCell* c = FirstCell(item);
  return c != nullptr && (c->flags & kCellSelected) != 0;
}

void cListViewChild::SetSelected(sItem* item, bool on) {
  if (sListCell* c = FirstCell(item)) {
    if (on)
      c->flags |= kCellSelected;
    else
      c->flags &= static_cast<uint8_t>(~kCellSelected);
  }
}

cListViewChild::sItem* cListViewChild::RowItem(int32_t position) {
  sItem** p = rows_.Find(position);
  return p != nullptr ? *p : nullptr;
}

int32_t cListViewChild::PositionOf(sItem* item) {
  int32_t* p = item != nullptr ? positions_.Find(item) : nullptr;
  return p != nullptr ? *p : -1;
}

int32_t cListViewChild::HeaderHeight() { return headerShown_ ? header_.GetHeight() : 0; }

void cListViewChild::RequestLayout(bool remeasure) {
  tGuard guard(&lock_);
  if (batch_) {
    dirty_ = 1;
    return;
  }
  Relayout(remeasure);
}

void cListViewChild::Relayout(bool remeasure) {
  tGuard guard(&lock_);
  ++layouts_;
  int32_t y = HeaderHeight();
  int32_t smallest = GetHeight();
  layout_.Clear();
  rowTops_.Clear();
  cWinFont* font = GetDefaultFont();
  for (auto* r = rows_.First(); r != nullptr; r = decltype(rows_)::Next(r)) {
    sItem* item = r->value;
    int32_t height = 0;
    for (auto* c = item->cells.First(); c != nullptr; c = decltype(item->cells)::Next(c)) {
      if (columns_.Find(c->key) == nullptr) continue;
      sListCell& cell = c->value;
      if (remeasure || cell.height == 0) {
        int32_t h = 0;
        sSize size{0, 0};
        if (!cell.text.IsEmpty() && MeasureText(cell.text.text, &size, font)) h = size.height;
        if (cell.picture >= 0)
          for (cImageStore* store : stores_)
            if (store != nullptr)
              if (cPicture* p = store->Find(cell.picture)) h = std::max(h, p->GetHeight());
        cell.height = static_cast<int16_t>(std::min(h + 4, 32767));
      }
      height = std::max<int32_t>(height, cell.height);
    }
    height = std::max(height, kMinRowHeight) + rowSpacing_;
    if (sRow* row = layout_.FindOrInsert(y)) *row = {item->id, height};
    if (int32_t* top = rowTops_.FindOrInsert(item->id)) *top = y;
    y += height;
    smallest = std::min(smallest, height);
  }
  SetLineSteps(5, std::max(1, smallest));
  SetContentHeight(y);
  Invalidate(nullptr);
}

// ---- Columns ----

bool cListViewChild::SetColumnTitle(int32_t column, const char16_t* title, int32_t width, int32_t alignment) {
  if (!header_.SetColumn(column, title, width, alignment)) return false;
  tGuard guard(&lock_);
  sColumn* c = columns_.FindOrInsert(column);
  if (c == nullptr) return false;
  c->alignment = alignment;
  RequestLayout(false);
  return true;
}

bool cListViewChild::SetColumnFont(int32_t column, cWinFont* font) {
  tGuard guard(&lock_);
  sColumn* c = columns_.Find(column);
  if (c == nullptr) return false;
  if (c->font != font) {
    c->font = font;
    RequestLayout(false);
  }
  return true;
}

bool cListViewChild::SetColumnTextColour(int32_t column, int32_t colour, bool repaint) {
  tGuard guard(&lock_);
  sColumn* c = columns_.Find(column);
  if (c == nullptr) return false;
  c->colour = colour;
  if (repaint) Invalidate(nullptr);
  return true;
}

bool cListViewChild::SetSortProvider(int32_t column, cListViewSortProvider* provider) {
  std::unique_ptr<cListViewSortProvider> owned(provider);
  tGuard guard(&lock_);
  sColumn* c = columns_.Find(column);
  if (c == nullptr) return false;
  c->provider = std::move(owned);
  if (column == sortColumn_) RequestLayout(false);
  return true;
}

bool cListViewChild::Sort(int32_t column) {
  tGuard guard(&lock_);
  sColumn* c = columns_.Find(column);
  if (c == nullptr || c->provider == nullptr || !c->provider->Reset()) return false;
  cListViewSortProvider* provider = c->provider.get();
  std::vector<sItem*> unkeyed;
  for (auto* r = rows_.First(); r != nullptr; r = decltype(rows_)::Next(r)) {
    sListCell* cell = r->value->cells.Find(column);
    if (cell == nullptr || !provider->Add(cell)) unkeyed.push_back(r->value);
  }
  rows_.Clear();
  positions_.Clear();
  int32_t position = 0;
  auto place = [&](sItem* item) {
    if (item == nullptr) return;
    if (sItem** slot = rows_.FindOrInsert(position)) *slot = item;
    if (int32_t* p = positions_.FindOrInsert(item)) *p = position;
    ++position;
  };
  auto walk = [&](bool ascending) {
    sListCell* cell = nullptr;
    for (const void* at = nullptr;;) {
      at = ascending ? provider->NextAscending(at, &cell) : provider->NextDescending(at, &cell);
      if (at == nullptr) break;
      if (cell != nullptr) place(FindItem(cell->item));
    }
  };
  if (c->ascending) {
    for (sItem* item : unkeyed) place(item);
    walk(true);
  } else {
    walk(false);
    for (sItem* item : unkeyed) place(item);
  }
  provider->Reset();
  sortColumn_ = column;
  RequestLayout(false);
  return true;
}

void cListViewChild::ShowHeader(bool show) {
  if (show)
    header_.Show(true);
  else
    header_.Hide(true);
  tGuard guard(&lock_);
  headerShown_ = show ? 1 : 0;
  RequestLayout(false);
}

// ---- Items and cells ----

bool cListViewChild::SetCell(int32_t itemId, int32_t column, const char16_t* text, int32_t picture, int32_t data) {
  if (itemId < 0) return false;
  tGuard guard(&lock_);
  bool created = false;
  sItem* item = FindItem(itemId);
  if (item == nullptr) {
    std::unique_ptr<sItem>* slot = items_.FindOrInsert(itemId);
    if (slot == nullptr) return false;
    *slot = std::make_unique<sItem>(itemId);
    item = slot->get();
    auto* last = rows_.Last();
    const int32_t position = last != nullptr ? last->key + 1 : 0;
    sItem** row = rows_.FindOrInsert(position);
    int32_t* pos = positions_.FindOrInsert(item);
    if (row == nullptr || pos == nullptr) {
      rows_.EraseKey(position);
      positions_.EraseKey(item);
      items_.EraseKey(itemId);
      return false;
    }
    *row = item;
    *pos = position;
    created = true;
  }
  sListCell* cell = item->cells.Find(column);
  if (cell == nullptr) {
    cell = item->cells.FindOrInsert(column);
    if (cell == nullptr) return false;
    cell->item = itemId;
    created = true;
  }
  if (data != 0) cell->data = data;
  const bool pictureChanged = cell->picture != static_cast<int16_t>(picture);
  cell->picture = static_cast<int16_t>(picture);
  if (text != nullptr) cell->text.Assign(text);
  if (created || pictureChanged || text != nullptr) {
    cell->height = 0;
    RequestLayout(false);
  }
  return true;
}

bool cListViewChild::SetCellTextColour(int32_t itemId, int32_t column, int32_t colour) {
  tGuard guard(&lock_);
  sItem* item = FindItem(itemId);
  sListCell* cell = item != nullptr ? item->cells.Find(column) : nullptr;
  if (cell == nullptr) return false;
  cell->colour = colour;
  return true;
}

int32_t cListViewChild::GetCellData(int32_t itemId, int32_t column) {
  tGuard guard(&lock_);
  sItem* item = FindItem(itemId);
  sListCell* cell = item != nullptr ? item->cells.Find(column) : nullptr;
  return cell != nullptr ? cell->data : 0;
}

bool cListViewChild::GetCellText(int32_t itemId, int32_t column, _guardchar<char16_t>* text) {
  if (text == nullptr) return false;
  tGuard guard(&lock_);
  sItem* item = FindItem(itemId);
  sListCell* cell = item != nullptr ? item->cells.Find(column) : nullptr;
  if (cell == nullptr) return false;
  text->Assign(cell->text.text != nullptr ? cell->text.text : u"");
  return true;
}

void cListViewChild::Clear() {
  tGuard guard(&lock_);
  layout_.Clear();
  rowTops_.Clear();
  rows_.Clear();
  positions_.Clear();
  focused_ = nullptr;
  items_.Clear();
  RequestLayout(false);
}

// ---- Selection, focus, check boxes ----

void cListViewChild::SetMultiSelect(bool on) {
  tGuard guard(&lock_);
  if (multiSelect_ == (on ? 1 : 0)) return;
  multiSelect_ = on ? 1 : 0;
  for (auto* n = items_.First(); n != nullptr; n = decltype(items_)::Next(n)) SetSelected(n->value.get(), false);
  focused_ = nullptr;
  Invalidate(nullptr);
}

void cListViewChild::SetFocusItem(sItem* item, sItem* anchor, bool control, bool shift, bool select) {
  tGuard guard(&lock_);
  if (item != nullptr && item != focused_)
    PostAction(new cListViewItemChangeAction(item->id, focused_ != nullptr ? focused_->id : -1, control, shift));
  focused_ = item;
  if (!multiSelect_ || (!control && !shift)) {
    DeselectAllBut(item);
  } else if (shift && anchor != nullptr && anchor != item) {
    int32_t a = PositionOf(anchor), b = PositionOf(item);
    if (a >= 0 && b >= 0) {
      if (a > b) std::swap(a, b);
      for (auto* r = rows_.FindOrNext(a); r != nullptr && r->key <= b; r = decltype(rows_)::Next(r))
        SetSelected(r->value, true);
    }
  }
  if (select && item != nullptr) SetSelected(item, true);
  if (item != nullptr) {
    const int32_t* top = rowTops_.Find(item->id);
    sListCell* first = FirstCell(item);
    if (top != nullptr) ScrollRectIntoView({0, *top, 1, first != nullptr ? first->height : 0}, false, false);
  }
  Invalidate(nullptr);
}

bool cListViewChild::FocusItem(int32_t id) {
  tGuard guard(&lock_);
  sItem* item = FindItem(id);
  if (item == nullptr) return false;
  SetFocusItem(item, nullptr, false, false, true);
  return true;
}

bool cListViewChild::SelectAll() {
  tGuard guard(&lock_);
  auto *first = rows_.First(), *last = rows_.Last();
  if (!multiSelect_ || first == nullptr) return false;
  SetFocusItem(first->value, last->value, false, true, true);
  return true;
}

bool cListViewChild::DeselectAllBut(sItem* keep) {
  tGuard guard(&lock_);
  bool changed = false;
  for (auto* n = items_.First(); n != nullptr; n = decltype(items_)::Next(n)) {
    sItem* item = n->value.get();
    if (item == keep) continue;
    for (auto* c = item->cells.First(); c != nullptr; c = decltype(item->cells)::Next(c)) {
      if ((c->value.flags & kCellSelected) == 0) continue;
      c->value.flags &= static_cast<uint8_t>(~kCellSelected);
      changed = true;
    }
  }
  if (focused_ != keep) focused_ = nullptr;
  Invalidate(nullptr);
  return changed;
}

int32_t cListViewChild::GetFocusedItem() {
  tGuard guard(&lock_);
  return focused_ != nullptr ? focused_->id : -1;
}

int32_t cListViewChild::GetNextSelected(int32_t after) {
  tGuard guard(&lock_);
  auto* n = after < 0 ? items_.First() : items_.FindOrNext(after);
  for (; n != nullptr; n = decltype(items_)::Next(n))
    if (n->key > after && IsSelected(n->value.get())) return n->key;
  return -1;
}

bool cListViewChild::IsItemSelected(int32_t id) {
  tGuard guard(&lock_);
  return IsSelected(FindItem(id));
}

bool cListViewChild::IsItemChecked(int32_t id) {
  tGuard guard(&lock_);
  sListCell* c = FirstCell(FindItem(id));
  return c != nullptr && (c->flags & kCellChecked) != 0;
}

bool cListViewChild::SetItemChecked(int32_t id, bool checked, bool notify) {
  tGuard guard(&lock_);
  sListCell* c = FirstCell(FindItem(id));
  if (c == nullptr) return false;
  if (((c->flags & kCellChecked) != 0) == checked) return true;
  c->flags ^= kCellChecked;
  if (notify) PostAction(new cListViewItemChecked(id));
  if (!batch_) Invalidate(nullptr);
  return true;
}

void cListViewChild::ToggleCheck(sItem* item) {
  if (sListCell* c = FirstCell(item)) {
    c->flags ^= kCellChecked;
    PostAction(new cListViewItemChecked(item->id));
    Invalidate(nullptr);
  }
}

void cListViewChild::SetCheckBoxes(bool on) {
  checkBoxes_ = on ? 1 : 0;
  Invalidate(nullptr);
}

void cListViewChild::ForgetFocus(bool control, bool shift) {
  const int32_t previous = focused_ != nullptr ? focused_->id : -1;
  DeselectAllBut(nullptr);
  focused_ = nullptr;
  PostAction(new cListViewItemChangeAction(-1, previous, control, shift));
}

// ---- Appearance and batching ----

void cListViewChild::SetImageLists(cImageStore* normal, cImageStore* extra, cImageStore* selected) {
  tGuard guard(&lock_);
  if (stores_[0] == normal && stores_[1] == extra && stores_[2] == selected) return;
  stores_[0] = normal;
  stores_[1] = extra;
  stores_[2] = selected;
  if (batch_) {
    dirty_ = 1;
    return;
  }
  Relayout(true);
}

void cListViewChild::SetRowSpacing(int32_t pixels) {
  tGuard guard(&lock_);
  if (pixels == rowSpacing_) return;
  rowSpacing_ = pixels;
  if (batch_) {
    dirty_ = 1;
    return;
  }
  Relayout(true);
}

void cListViewChild::SetTextIndent(int32_t pixels, bool repaint) {
  if (pixels == textIndent_) return;
  textIndent_ = pixels;
  if (repaint) Invalidate(nullptr);
}

void cListViewChild::SetBorderColour(uint32_t colour, bool repaint) {
  if (colour == border_) return;
  border_ = colour;
  if (repaint) Invalidate(nullptr);
}

void cListViewChild::SetSelectionStyle(bool fullRow, bool repaint) {
  if (fullRow_ == (fullRow ? 1 : 0)) return;
  fullRow_ = fullRow ? 1 : 0;
  if (repaint) Invalidate(nullptr);
}

void cListViewChild::SetRowSelectionColours(uint32_t focusedFill, uint32_t unfocusedFill, bool repaint) {
  if (rowFill_[0] == focusedFill && rowFill_[1] == unfocusedFill) return;
  rowFill_[0] = focusedFill;
  rowFill_[1] = unfocusedFill;
  if (repaint) Invalidate(nullptr);
}

void cListViewChild::BeginUpdate() {
  tGuard guard(&lock_);
  batch_ = 1;
}

bool cListViewChild::EndUpdate(bool remeasure) {
  tGuard guard(&lock_);
  if (!batch_) return false;
  batch_ = 0;
  if (!dirty_) return false;
  dirty_ = 0;
  Relayout(remeasure);
  return true;
}

int32_t cListViewChild::GetRowCount() {
  tGuard guard(&lock_);
  auto* last = rows_.Last();
  return last != nullptr ? last->key + 1 : 0;
}

int32_t cListViewChild::GetRowItem(int32_t position) {
  tGuard guard(&lock_);
  sItem* item = RowItem(position);
  return item != nullptr ? item->id : -1;
}

int32_t cListViewChild::GetRowTop(int32_t id) {
  tGuard guard(&lock_);
  const int32_t* top = rowTops_.Find(id);
  return top != nullptr ? *top : -1;
}

int32_t cListViewChild::GetRowHeight(int32_t id) {
  tGuard guard(&lock_);
  const int32_t* top = rowTops_.Find(id);
  const sRow* row = top != nullptr ? layout_.Find(*top) : nullptr;
  return row != nullptr ? row->height : 0;
}

// ---- Element behaviour ----

void cListViewChild::SetText(const char16_t* text, int32_t length, bool redraw) {
  cScrollableElement::SetText(text, length, false);
  if (redraw) Invalidate(nullptr);
}

bool cListViewChild::ViewRect(sRect* rect) {
  if (!cScrollableElement::ViewRect(rect)) return false;
  const int32_t h = headerShown_ && header_.IsVisible() ? header_.GetHeight() : 0;
  rect->y += h;
  rect->height = std::max(0, rect->height - h);
  return true;
}

void cListViewChild::OnResize() {
  sRect view;
  ViewRect(&view);
  header_.SetMinWidth(view.width - 2);
  SetContentWidth(header_.GetWidth());
  SetPageSizes(view.width, view.height);
  cScrollableElement::OnResize();
}

bool cListViewChild::OnAction(cChildElement* sender, cChildAction* action) {
  if (sender == &header_ && action != nullptr) {
    switch (action->kind) {
      case 7: {
        sRect view;
        ViewRect(&view);
        SetContentWidth(static_cast<cSplitterChild::cResizeRequestAction*>(action)->width);
        header_.SetMinWidth(view.width - 2);
        return true;
      }
      case 8:
        RequestLayout(false);
        return true;
      case 9: {
        const int32_t column = static_cast<cHeaderChild::cColumnClickAction*>(action)->column;
        {
          tGuard guard(&lock_);
          sColumn* c = columns_.Find(column);
          if (c == nullptr || c->provider == nullptr) return true;
          c->ascending = sortColumn_ == column ? static_cast<uint8_t>(!c->ascending) : 1;
          Sort(column);
        }
        PostAction(new cListViewItemAction(12, column));
        return true;
      }
      default:
        break;
    }
  }
  return cScrollableElement::OnAction(sender, action);
}

void cListViewChild::OnGotFocus(bool, bool) { Invalidate(nullptr); }
void cListViewChild::OnLostFocus(bool, bool) { Invalidate(nullptr); }

cListViewChild::sItem* cListViewChild::HitRow(int32_t x, int32_t y, int32_t* contentX) {
  const int32_t cy = y + GetScrollY();
  if (contentX != nullptr) *contentX = x + GetScrollX() - 1;
  auto* n = layout_.FindOrPrev(cy);
  if (n == nullptr || cy >= n->key + n->value.height) return nullptr;
  return FindItem(n->value.item);
}

void cListViewChild::MouseButton(int32_t x, int32_t y, int32_t button, bool down, bool control, bool shift) {
  cScrollableElement::MouseButton(x, y, button, down, control, shift);
  if (!down || (button != 1 && button != 2)) return;
  sRect view;
  ViewRect(&view);
  if (x < view.x || y < view.y || x >= view.x + view.width || y >= view.y + view.height) return;
  tGuard guard(&lock_);
  int32_t cx = 0;
  sItem* item = HitRow(x, y, &cx);
  if (item != nullptr) {
    sListCell* cell = FirstColumnCell(item);
    if (cell == nullptr) return;
    if (checkBoxes_ && button == 1 && cx >= 0 && cx < kCheckWidth) {
      ToggleCheck(item);
      return;
    }
    OnItemClick(item, cell, control, shift, button);
  } else if (button == 1 && focused_ != nullptr) {
    ForgetFocus(control, shift);
  }
}

void cListViewChild::OnItemClick(sItem* item, sListCell*, bool control, bool shift, int32_t button) {
  tGuard guard(&lock_);
  if (!IsSelected(item)) {
    SetFocusItem(item, focused_, control, shift, true);
    return;
  }
  if (button != 1) return;
  if (control) {
    SetSelected(item, false);
    if (focused_ == item) focused_ = nullptr;
    PostAction(new cListViewItemChangeAction(-1, -1, true, shift));
    Invalidate(nullptr);
    return;
  }
  if (shift) return;
  const bool changed = DeselectAllBut(item);
  focused_ = item;
  if (changed) PostAction(new cListViewItemChangeAction(-1, -1, false, false));
}

void cListViewChild::OnDblClick(int32_t x, int32_t y) {
  sRect view;
  ViewRect(&view);
  if (x < view.x || y < view.y || x >= view.x + view.width || y >= view.y + view.height) return;
  tGuard guard(&lock_);
  int32_t cx = 0;
  sItem* item = HitRow(x, y, &cx);
  if (item != nullptr) {
    if (FirstColumnCell(item) != nullptr && (!checkBoxes_ || cx < 0 || cx >= kCheckWidth))
      PostAction(new cListViewItemAction(7, item->id));
  } else if (focused_ != nullptr) {
    ForgetFocus(false, false);
  }
}

bool cListViewChild::Key(int32_t key, bool shift, bool control, bool alt) {
  tGuard guard(&lock_);
  auto lastRow = [&]() -> sItem* {
    auto* n = rows_.Last();
    return n != nullptr ? n->value : nullptr;
  };
  auto firstRow = [&]() -> sItem* {
    auto* n = rows_.First();
    return n != nullptr ? n->value : nullptr;
  };
  switch (key) {
    case kVkUp:
    case kVkDown: {
      sItem* target = nullptr;
      const int32_t at = PositionOf(focused_);
      if (at < 0) {
        target = firstRow();
      } else {
        target = RowItem(key == kVkUp ? at - 1 : at + 1);
        if (target == nullptr) target = focused_;
      }
      if (target != nullptr) SetFocusItem(target, focused_, control, shift, true);
      return true;
    }
    case kVkPageUp:
    case kVkPageDown: {
      const bool up = key == kVkPageUp;
      sRect view;
      ViewRect(&view);
      int32_t remaining = view.height;
      sItem* target = nullptr;
      const int32_t at = PositionOf(focused_);
      if (at >= 0) {
        auto* n = rows_.FindNode(at);
        for (n = n != nullptr ? (up ? decltype(rows_)::Prev(n) : decltype(rows_)::Next(n)) : nullptr; n != nullptr;
             n = up ? decltype(rows_)::Prev(n) : decltype(rows_)::Next(n)) {
          target = n->value;
          sListCell* first = FirstCell(n->value);
          const int32_t h = first != nullptr ? first->height : 0;
          if (h >= remaining) break;
          remaining -= h;
        }
      }
      if (target == nullptr) target = up ? firstRow() : lastRow();
      if (target != nullptr) SetFocusItem(target, focused_, false, shift, true);
      return true;
    }
    case kVkHome:
    case kVkEnd: {
      sItem* target = key == kVkHome ? firstRow() : lastRow();
      if (target != nullptr) SetFocusItem(target, focused_, false, shift, true);
      return true;
    }
    case kVkEnter:
      if (focused_ != nullptr) PostAction(new cListViewItemAction(7, focused_->id));
      return true;
    case kVkEscape:
      if (focused_ != nullptr) ForgetFocus(control, shift);
      return true;
    case kVkSpace:
      if (checkBoxes_ && focused_ != nullptr) ToggleCheck(focused_);
      return true;
    case kVkA:
      if (control) SelectAll();
      return true;
    case kVkF5:
      PostKind(9);
      return true;
    case kVkBack:
      PostKind(10);
      return true;
    case kVkDelete:
      PostKind(13);
      return true;
    default:
      break;
  }
  return cScrollableElement::Key(key, shift, control, alt);
}

bool cListViewChild::Char(char16_t character, bool shift, bool control, bool alt) {
  {
    tGuard guard(&lock_);
    const uint32_t now = tw::ElementTickCount();
    const bool fresh = typedCount_ == 0 || now - typedTick_ > kTypeAheadPauseMs;
    if (fresh) typedCount_ = 0;
    if (typedCount_ < kTypeAheadMax) typed_[typedCount_++] = character;
    int32_t start = 0;
    if (focused_ != nullptr) start = PositionOf(focused_) + (fresh ? 1 : 0);
    for (auto* r = rows_.FindOrNext(start); r != nullptr; r = decltype(rows_)::Next(r)) {
      sListCell* cell = FirstCell(r->value);
      const char16_t* text = cell != nullptr ? cell->text.text : nullptr;
      if (text == nullptr) continue;
      bool match = true;
      for (int32_t i = 0; i < typedCount_ && match; ++i)
        match = i < kTypeAheadMax && text[i] != 0 && ToLowerW(text[i]) == ToLowerW(typed_[i]);
      if (!match) continue;
      SetFocusItem(r->value, focused_, false, false, true);
      break;
    }
    typedTick_ = now;
  }
  return cScrollableElement::Char(character, shift, control, alt);
}

// ---- Painting ----

void cListViewChild::PaintContent(cCanvas* canvas) {
  if (canvas == nullptr) return;
  tGuard guard(&lock_);
  const int32_t width = GetWidth(), height = GetHeight();
  const int32_t scrollY = GetScrollY();
  int32_t y = 0;
  bool painted = false, previousSelected = false;
  auto* n = layout_.FindOrPrev(scrollY);
  if (n == nullptr) n = layout_.First();
  for (; n != nullptr && n->key - scrollY < height - 1; n = decltype(layout_)::Next(n)) {
    PaintRow(canvas, n->key - scrollY, n->value, previousSelected);
    y = n->key - scrollY + n->value.height;
    painted = true;
  }
  const int32_t headerBottom = HeaderHeight();
  y = std::max(y, headerBottom);
  if (y < height) {
    const sRect rest{0, y, width, height - y};
    canvas->DrawRect(&rest, background_, background_);
  }
  const char16_t* message = GetText();
  if (!painted && message != nullptr && message[0] != 0) {
    canvas->SelectFont(GetDefaultFont());
    canvas->SetTextColours(GetTheme()->GetColour(kColourEmptyText), background_);
    canvas->DrawTextLine(5, 10 + headerBottom, width - 11, 20, 1, true, 0, 0, message, -1, nullptr, false);
  }
  canvas->SetLinePen(border_, 1);
  canvas->DrawLine({0, 0}, {width, 0});
  canvas->DrawLine({0, height - 1}, {width, height - 1});
  canvas->DrawLine({0, 0}, {0, height});
  canvas->DrawLine({width - 1, 0}, {width - 1, height});
}

void cListViewChild::PaintRow(cCanvas* canvas, int32_t top, const sRow& row, bool& previousSelected) {
  sItem* item = FindItem(row.item);
  if (item == nullptr) return;
  const int32_t right = GetWidth() - 1;
  const bool focus = HasFocus();
  const int32_t f = focus ? 0 : 1;
  const bool rowSelected = IsSelected(item);
  const uint32_t rowBackground = rowSelected && fullRow_ ? rowFill_[f] : background_;
  const int32_t gap = header_.GetGap();
  int32_t x = 1 - GetScrollX();
  bool selectedSoFar = false;
  auto* firstColumn = columns_.First();
  for (auto* c = firstColumn; c != nullptr && x < right; c = decltype(columns_)::Next(c)) {
    const int32_t w = header_.GetColumnWidth(c->key);
    if (x + w <= 1 && !fullRow_) {
      x += w + gap;
      continue;
    }
    sListCell* cell = item->cells.Find(c->key);
    const sRect area{x, top, std::min(w, right - x), row.height};
    if (cell == nullptr) {
      canvas->DrawRect(&area, rowBackground, rowBackground);
    } else {
      const bool selected = (cell->flags & kCellSelected) != 0 || (fullRow_ && selectedSoFar);
      selectedSoFar = selectedSoFar || selected;
      uint32_t fill = background_, textColour = text_, frame = background_;
      if (selected) {
        fill = fullRow_ ? rowFill_[f] : selFill_[f];
        textColour = selText_[f];
        frame = fullRow_ ? fill : selFrame_[f];
      }
      canvas->DrawRect(&area, fill, fill);
      int32_t cx = x;
      const int32_t cellRight = x + area.width;
      if (checkBoxes_ && c == firstColumn) {
        if (checkedBox_ == nullptr) checkedBox_ = GetTheme()->GetPicture(kPictureChecked);
        if (uncheckedBox_ == nullptr) uncheckedBox_ = GetTheme()->GetPicture(kPictureUnchecked);
        cPicture* box = (FirstCell(item)->flags & kCellChecked) != 0 ? checkedBox_ : uncheckedBox_;
        if (box != nullptr)
          canvas->DrawPicture(cx + (kCheckWidth - box->GetWidth()) / 2, top + (row.height - box->GetHeight()) / 2,
                              box, -1, -1);
        cx += kCheckWidth;
      }
      if (cell->picture >= 0 && stores_[0] != nullptr) {
        cPicture* p = stores_[0]->Find(cell->picture);
        if (selected && stores_[2] != nullptr)
          if (cPicture* s = stores_[2]->Find(cell->picture)) p = s;
        if (p != nullptr) {
          const int32_t pw = std::min(p->GetWidth() + 4, std::max(0, cellRight - cx));
          canvas->DrawPicture(cx + 2, top + (row.height - p->GetHeight()) / 2, p, -1, -1);
          cx += pw;
        }
      }
      if (!cell->text.IsEmpty() && cellRight - cx - textIndent_ > 0) {
        canvas->SelectFont(c->value.font != nullptr ? c->value.font : GetDefaultFont());
        uint32_t colour = textColour;
        if (cell->colour != -1)
          colour = static_cast<uint32_t>(cell->colour);
        else if (c->value.colour != -1)
          colour = static_cast<uint32_t>(c->value.colour);
        canvas->SetTextColours(colour, fill);
        canvas->DrawTextLine(cx + textIndent_, top, cellRight - cx - textIndent_, row.height, c->value.alignment,
                             true, 2, 0, cell->text.text, -1, nullptr, false);
      }
      if (selected && frame != fill) {
        canvas->SetLinePen(frame, 1);
        const int32_t bottom = top + row.height - 1, rightEdge = x + area.width - 1;
        if (!previousSelected) canvas->DrawLine({x, top}, {rightEdge + 1, top});
        canvas->DrawLine({x, bottom}, {rightEdge + 1, bottom});
        canvas->DrawLine({x, top}, {x, bottom + 1});
        canvas->DrawLine({rightEdge, top}, {rightEdge, bottom + 1});
      }
    }
    x += w;
    if (x < right) {
      const sRect strip{x, top, std::min(gap, right - x), row.height};
      canvas->DrawRect(&strip, rowBackground, rowBackground);
    }
    x += gap;
  }
  if (x < right) {
    const sRect rest{x, top, right - x, row.height};
    canvas->DrawRect(&rest, rowBackground, rowBackground);
  }
  previousSelected = rowSelected;
}
