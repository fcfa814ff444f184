// The list view: stable sorting by one and by two columns (unkeyed items
// first ascending, last descending), header clicks, cells and their data,
// batching, row heights, keys, mouse, check boxes, type-ahead, painting of
// an empty list, a list of 100,000 rows, and a worker refilling the list
// while the UI thread sorts and types (run under ThreadSanitizer by
// scripts/tsan-gui-test.sh).
#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "gui/controls/list_view.h"
#include "gui/theme.h"
#include "tests/controls/control_fixture.h"

namespace {

using twtest::sControlFixture;
using cList = cListViewChild;

// Kind 8 carries both ids: new in the high half, old in the low half.
int64_t ValueOf(cChildElement::cChildAction* a) {
  if (a->kind == 8) {
    auto* c = static_cast<cList::cListViewItemChangeAction*>(a);
    return (static_cast<int64_t>(c->item) << 32) | static_cast<uint32_t>(c->oldItem);
  }
  if (a->kind == 7 || a->kind == 11 || a->kind == 12) return static_cast<cList::cListViewItemAction*>(a)->item;
  return 0;
}
int64_t Change(int32_t now, int32_t old) { return (static_cast<int64_t>(now) << 32) | static_cast<uint32_t>(old); }

uint32_t gTick = 1000;
uint32_t FakeTick() { return gTick; }

struct sListFixture : sControlFixture {
  cList list;
  explicit sListFixture(int32_t height = 300) : sControlFixture(500, 400) {
    top->valueOf = ValueOf;
    tw::SetElementTickSource(FakeTick);
    Add(&list, 0, 0, 400, height);
    list.SetColumnTitle(0, u"Name", 150, 0);
    list.SetColumnTitle(1, u"Size", 80, 2);
  }
  ~sListFixture() {
    Detach();
    tw::SetElementTickSource(nullptr);
  }
  // Rows of (name, size) with item ids from 0.
  void Fill(const std::vector<std::pair<const char16_t*, int32_t>>& rows) {
    int32_t id = 0;
    for (const auto& r : rows) {
      list.SetCell(id, 0, r.first, -1, 0);
      if (r.second >= 0) list.SetCell(id, 1, u"x", -1, r.second);
      ++id;
    }
  }
  std::vector<int32_t> Order() {
    std::vector<int32_t> out;
    for (int32_t i = 0; i < list.GetRowCount(); ++i) out.push_back(list.GetRowItem(i));
    return out;
  }
  std::vector<int32_t> Selected() {
    std::vector<int32_t> out;
    for (int32_t id = list.GetNextSelected(-1); id >= 0; id = list.GetNextSelected(id)) out.push_back(id);
    return out;
  }
  // A point inside the row of item id (list at the top-left of the host).
  void ClickRow(int32_t id, int32_t x, int32_t button = 1, bool control = false, bool shift = false) {
    const int32_t y = list.GetRowTop(id) - list.GetScrollY() + 2;
    top->MouseButton(x, y, button, true, control, shift);
    top->MouseButton(x, y, button, false, control, shift);
    gTick += 1000;  // never a double click
  }
  void Clear() {
    Pump();
    top->seen.clear();
  }
};

uint64_t DataKey(const sListCell* cell) { return static_cast<uint32_t>(cell->data); }

cList::cListViewSortProvider* SizeProvider() {
  auto* p = new cList::cListViewU64PramSortProvider();
  p->SetKeyFunction(DataKey);
  return p;
}

TEST(ListView, SortIsStableAndPutsUnkeyedItemsFirstAscending) {
  sListFixture f;
  // Sizes: item 2 has none (-1) and item 4's name is empty (refused by names).
  f.Fill({{u"b", 5}, {u"a", 3}, {u"c", -1}, {u"a", 5}, {u"", 3}, {u"B", 7}});
  ASSERT_TRUE(f.list.SetSortProvider(0, new cList::cListViewNameSortProvider()));
  ASSERT_TRUE(f.list.SetSortProvider(1, SizeProvider()));
  EXPECT_FALSE(f.list.SetSortProvider(5, SizeProvider()));
  EXPECT_FALSE(f.list.Sort(5));
  struct sStep {
    int32_t column;
    std::vector<int32_t> order;
  } const steps[] = {
      // By size, ascending: the item without a size first, then 3, 3, 5, 5, 7 in row order.
      {1, {2, 1, 4, 0, 3, 5}},
      // By name then (bytes: "B" < "a" < "b" < "c"), the empty one first; "a"s keep the size order.
      {0, {4, 5, 1, 3, 0, 2}},
  };
  for (const sStep& s : steps) {
    f.Clear();
    f.list.OnAction(&f.list.Header(), nullptr);  // nothing for a null action
    cHeaderChild::cColumnClickAction click(s.column);
    ASSERT_TRUE(f.list.OnAction(&f.list.Header(), &click));
    EXPECT_EQ(f.Order(), s.order) << "column " << s.column;
    f.Pump();
    EXPECT_EQ(f.top->Values(&f.list, 12), (std::vector<int64_t>{s.column}));
  }
  // A second click on the name column sorts descending: equal keys keep
  // their order, the unkeyed item goes last.
  cHeaderChild::cColumnClickAction again(0);
  f.list.OnAction(&f.list.Header(), &again);
  EXPECT_EQ(f.Order(), (std::vector<int32_t>{2, 0, 1, 3, 5, 4}));
  // Another column starts ascending again.
  cHeaderChild::cColumnClickAction size(1);
  f.list.OnAction(&f.list.Header(), &size);
  EXPECT_EQ(f.Order(), (std::vector<int32_t>{2, 1, 4, 0, 3, 5}));
  EXPECT_EQ(f.list.GetSortColumn(), 1);
  // Items added after a sort are appended.
  f.list.SetCell(9, 0, u"0", -1, 0);
  EXPECT_EQ(f.list.GetRowItem(6), 9);
}

TEST(ListView, CellsDataAndLayoutRequests) {
  sListFixture f;
  ASSERT_TRUE(f.list.SetCell(3, 0, u"three", -1, 42));
  EXPECT_FALSE(f.list.SetCell(-1, 0, u"no", -1, 0));
  EXPECT_EQ(f.list.GetCellData(3, 0), 42);
  EXPECT_EQ(f.list.GetCellData(3, 1), 0);
  EXPECT_EQ(f.list.GetCellData(4, 0), 0);
  const int32_t layouts = f.list.GetLayoutCount();
  EXPECT_TRUE(f.list.SetCell(3, 0, nullptr, -1, 0));  // data 0 keeps 42; nothing to lay out
  EXPECT_EQ(f.list.GetCellData(3, 0), 42);
  EXPECT_EQ(f.list.GetLayoutCount(), layouts);
  _guardchar<char16_t> text;
  ASSERT_TRUE(f.list.GetCellText(3, 0, &text));
  EXPECT_EQ(std::u16string(text.text), u"three");
  f.list.SetCell(3, 0, nullptr, 2, 0);  // a new picture index lays out
  EXPECT_EQ(f.list.GetLayoutCount(), layouts + 1);
  // A row without text or pictures is 13 pixels plus the spacing.
  f.list.SetCell(5, 1, nullptr, -1, 0);
  EXPECT_EQ(f.list.GetRowHeight(5), 13);
  f.list.SetRowSpacing(3);
  EXPECT_EQ(f.list.GetRowHeight(5), 16);
  const int32_t header = GetTheme()->GetMetric(23);
  EXPECT_EQ(f.list.GetRowTop(3), header);
  EXPECT_EQ(f.list.GetRowTop(5), header + f.list.GetRowHeight(3));
  // A cell in a column that does not exist does not count for the height.
  f.list.SetCell(6, 4, u"tall?", -1, 0);
  EXPECT_EQ(f.list.GetRowHeight(6), 16);
}

TEST(ListView, BatchLaysOutOnceAtTheEnd) {
  sListFixture f;
  f.list.BeginUpdate();
  EXPECT_FALSE(f.list.EndUpdate(false)) << "nothing changed";
  const int32_t layouts = f.list.GetLayoutCount();
  EXPECT_FALSE(f.list.EndUpdate(false)) << "not in batch mode";
  f.list.BeginUpdate();
  f.list.BeginUpdate();  // a flag, not a counter
  for (int32_t i = 0; i < 50; ++i) f.list.SetCell(i, 0, u"row", -1, i + 1);
  f.list.Clear();
  for (int32_t i = 0; i < 20; ++i) f.list.SetCell(i, 0, u"row", -1, i + 1);
  EXPECT_EQ(f.list.GetLayoutCount(), layouts);
  EXPECT_EQ(f.list.GetRowTop(0), -1) << "the layout is stale in batch mode";
  EXPECT_TRUE(f.list.EndUpdate(false));
  EXPECT_EQ(f.list.GetLayoutCount(), layouts + 1);
  EXPECT_EQ(f.list.GetRowCount(), 20);
  EXPECT_GT(f.list.GetRowTop(19), f.list.GetRowTop(18));
  EXPECT_EQ(f.list.GetContentHeight(), f.list.GetRowTop(19) + f.list.GetRowHeight(19));
}

TEST(ListView, KeysMoveFocusAndSelection) {
  sListFixture f;
  f.Fill({{u"a", 1}, {u"b", 2}, {u"c", 3}, {u"d", 4}});
  f.list.SetMultiSelect(true);
  f.Clear();
  struct sStep {
    int32_t key;
    bool shift, control;
    int32_t focused;
    std::vector<int32_t> selected;
  } const steps[] = {
      {40, false, false, 0, {0}},        // Down without focus: the first row
      {40, true, false, 1, {0, 1}},      // Shift+Down adds
      {40, true, false, 2, {0, 1, 2}},
      {40, false, false, 3, {3}},        // plain Down keeps only the new row
      {40, false, false, 3, {3}},        // at the end: stays
      {36, true, false, 0, {0, 1, 2, 3}},  // Shift+Home from 3
      {27, false, false, -1, {}},        // Escape clears
      {35, false, false, 3, {3}},
      {65, false, true, 0, {0, 1, 2, 3}},  // Ctrl+A: all, focus on the first
      {38, false, false, 0, {0}},
  };
  for (const sStep& s : steps) {
    EXPECT_TRUE(f.list.Key(s.key, s.shift, s.control, false));
    EXPECT_EQ(f.list.GetFocusedItem(), s.focused) << "key " << s.key;
    EXPECT_EQ(f.Selected(), s.selected) << "key " << s.key;
  }
  f.Pump();
  const std::vector<int64_t> changes = f.top->Values(&f.list, 8);
  ASSERT_GE(changes.size(), 5u);
  EXPECT_EQ(changes[0], Change(0, -1));
  EXPECT_EQ(changes[1], Change(1, 0));
  EXPECT_NE(std::find(changes.begin(), changes.end(), Change(-1, 0)), changes.end()) << "Escape reports -1";
  f.Clear();
  f.list.Key(13, false, false, false);
  f.list.Key(116, false, false, false);
  f.list.Key(8, false, false, false);
  f.list.Key(46, false, false, false);
  f.list.Key(32, false, false, false);  // no check boxes: nothing
  f.Pump();
  EXPECT_EQ(f.top->Values(&f.list, 7), (std::vector<int64_t>{0}));
  for (int32_t kind : {9, 10, 13}) EXPECT_EQ(f.top->Count(&f.list, kind), 1) << kind;
  EXPECT_EQ(f.top->Count(&f.list, 11), 0);
  EXPECT_FALSE(f.list.Key(71, false, false, false)) << "other keys are not the list's";
}

TEST(ListView, PageKeysWalkByRowHeights) {
  sListFixture f(120);
  for (int32_t i = 0; i < 40; ++i) f.list.SetCell(i, 0, u"row", -1, 0);
  sRect view;
  f.list.ViewRect(&view);
  const int32_t h = f.list.GetRowHeight(0);
  const int32_t step = (view.height + h - 1) / h;  // the first row not shorter than what remains
  f.list.Key(34, false, false, false);  // no focus: the last row
  EXPECT_EQ(f.list.GetFocusedItem(), 39);
  f.list.Key(33, false, false, false);
  EXPECT_EQ(f.list.GetFocusedItem(), 39 - step);
  f.list.Key(36, false, false, false);
  f.list.Key(33, false, false, false);  // nothing above: the first row
  EXPECT_EQ(f.list.GetFocusedItem(), 0);
  f.list.Key(34, false, false, false);
  EXPECT_EQ(f.list.GetFocusedItem(), step);
  f.Pump();  // scroll positions arrive as posted actions
  EXPECT_GT(f.list.GetScrollY(), 0) << "the focused row was scrolled into view";
}

TEST(ListView, MouseSelectionAndCheckBoxes) {
  sListFixture f;
  f.Fill({{u"a", 1}, {u"b", 2}, {u"c", 3}, {u"d", 4}});
  f.list.SetMultiSelect(true);
  f.list.SetCheckBoxes(true);
  f.ClickRow(0, 60);
  f.ClickRow(2, 60, 1, true, false);  // ctrl adds
  EXPECT_EQ(f.Selected(), (std::vector<int32_t>{0, 2}));
  f.ClickRow(2, 60, 2);  // right click on a selected row keeps the selection
  EXPECT_EQ(f.Selected(), (std::vector<int32_t>{0, 2}));
  f.Clear();
  f.ClickRow(2, 60);  // left click without modifiers keeps only that row
  EXPECT_EQ(f.Selected(), (std::vector<int32_t>{2}));
  EXPECT_EQ(f.list.GetFocusedItem(), 2);
  f.Pump();
  EXPECT_EQ(f.top->Values(&f.list, 8), (std::vector<int64_t>{Change(-1, -1)}));
  f.ClickRow(2, 60, 1, true, false);  // ctrl on a selected row deselects it
  EXPECT_EQ(f.Selected(), (std::vector<int32_t>{}));
  EXPECT_EQ(f.list.GetFocusedItem(), -1);
  f.ClickRow(1, 60);
  f.Clear();
  // The first 14 pixels toggle the check and leave the selection alone.
  f.ClickRow(3, 8);
  EXPECT_TRUE(f.list.IsItemChecked(3));
  EXPECT_EQ(f.Selected(), (std::vector<int32_t>{1}));
  f.list.Key(32, false, false, false);  // Space checks the focused row
  EXPECT_TRUE(f.list.IsItemChecked(1));
  EXPECT_TRUE(f.list.SetItemChecked(1, true, true)) << "already checked: no change";
  EXPECT_TRUE(f.list.SetItemChecked(1, false, true));
  EXPECT_FALSE(f.list.SetItemChecked(77, true, true));
  f.Pump();
  EXPECT_EQ(f.top->Values(&f.list, 11), (std::vector<int64_t>{3, 1, 1}));
  EXPECT_EQ(f.top->Count(&f.list, 8), 0);
  // A click below the rows clears a focused selection.
  f.Clear();
  f.top->MouseButton(60, 250, 1, true, false, false);
  f.top->MouseButton(60, 250, 1, false, false, false);
  EXPECT_EQ(f.list.GetFocusedItem(), -1);
  f.Pump();
  EXPECT_EQ(f.top->Values(&f.list, 8), (std::vector<int64_t>{Change(-1, 1)}));
}

TEST(ListView, TypeAhead) {
  sListFixture f;
  f.Fill({{u"Apple", 1}, {u"apricot", 2}, {u"Banana", 3}, {u"abc", 4}, {u"ABD", 5}});
  auto type = [&](uint32_t pause, char16_t c) {
    gTick += pause;
    f.list.Char(c, false, false, false);
  };
  type(1000, u'a');
  EXPECT_EQ(f.list.GetFocusedItem(), 0);
  type(100, u'b');
  EXPECT_EQ(f.list.GetFocusedItem(), 3);
  type(100, u'D');
  EXPECT_EQ(f.list.GetFocusedItem(), 4);
  type(1000, u'a');  // a new search after row 4: nothing below matches
  EXPECT_EQ(f.list.GetFocusedItem(), 4);
  f.list.FocusItem(0);
  type(1000, u'a');  // a new search starts after the focused row
  EXPECT_EQ(f.list.GetFocusedItem(), 1);
  // An eleventh quick character is ignored: the buffer keeps ten.
  f.list.Clear();
  f.list.SetCell(0, 0, u"aaaaaaaaaaX", -1, 0);
  f.list.SetCell(1, 0, u"aaaaaaaaaaaa", -1, 0);
  gTick += 1000;
  for (int32_t i = 0; i < 10; ++i) type(10, u'a');
  EXPECT_EQ(f.list.GetFocusedItem(), 0);
  type(10, u'Z');  // not buffered: "aaaaaaaaaa" still matches row 0
  EXPECT_EQ(f.list.GetFocusedItem(), 0);
}

TEST(ListView, EmptyListShowsItsText) {
  sListFixture f;
  f.list.SetText(u"Nothing here", -1, false);
  auto inkBelowHeader = [&] {
    twtest::sPainted p;
    twtest::PaintAlone(f.list, p);
    const int32_t header = GetTheme()->GetMetric(23);
    int32_t ink = 0;
    const uint32_t ground = twtest::Px(GetTheme()->GetColour(14));
    for (int32_t y = header + 10; y < header + 30; ++y)
      for (int32_t x = 5; x < f.list.GetWidth() - 6; ++x) ink += p.At(x, y) != ground;
    return ink;
  };
  EXPECT_GT(inkBelowHeader(), 0);
  f.list.SetCell(0, 0, nullptr, -1, 0);  // a row without text
  EXPECT_EQ(inkBelowHeader(), 0);
}

TEST(ListView, SelectedRowIsPaintedWithTheSelectionFill) {
  sListFixture f;
  f.Fill({{u"a", 1}, {u"b", 2}});
  f.list.FocusItem(1);
  twtest::sPainted p;
  twtest::PaintAlone(f.list, p);
  const int32_t y = f.list.GetRowTop(1) + f.list.GetRowHeight(1) / 2;
  const int32_t y0 = f.list.GetRowTop(0) + f.list.GetRowHeight(0) / 2;
  // Near the right end of the first column, past the short text.
  EXPECT_EQ(p.At(140, y), twtest::Px(GetTheme()->GetColour(18)));
  EXPECT_EQ(p.At(140, y0), twtest::Px(GetTheme()->GetColour(14)));
  EXPECT_EQ(p.At(0, y), twtest::Px(GetTheme()->GetColour(21))) << "the border";
}

TEST(ListView, HundredThousandRows) {
  sListFixture f;
  constexpr int32_t kRows = 100000;
  f.list.SetSortProvider(0, new cList::cListViewNameSortProvider());
  f.list.SetSortProvider(1, SizeProvider());
  f.list.SetMultiSelect(true);
  f.list.SetCheckBoxes(true);
  f.list.BeginUpdate();
  // Names repeat every 26, sizes every 7: both sorts have many equal keys.
  for (int32_t i = 0; i < kRows; ++i) {
    const char16_t name[3] = {static_cast<char16_t>(u'a' + i % 26), u'x', 0};
    f.list.SetCell(i, 0, name, -1, 0);
    f.list.SetCell(i, 1, u"s", -1, i % 7 + 1);
  }
  ASSERT_TRUE(f.list.EndUpdate(false));
  ASSERT_EQ(f.list.GetRowCount(), kRows);
  // By size, then by name: names ascending, equal names by size, equal
  // names and sizes by id.
  ASSERT_TRUE(f.list.Sort(1));
  ASSERT_TRUE(f.list.Sort(0));
  int32_t previous = f.list.GetRowItem(0);
  for (int32_t r = 1; r < kRows; ++r) {
    const int32_t id = f.list.GetRowItem(r);
    const int32_t a = previous % 26, b = id % 26;
    const int32_t sa = previous % 7, sb = id % 7;
    ASSERT_TRUE(a < b || (a == b && (sa < sb || (sa == sb && previous < id))))
        << "row " << r << ": " << previous << " before " << id;
    previous = id;
  }
  // Descending by name (a second click on the sorted column): names
  // descending, equal names still by size and id.
  cHeaderChild::cColumnClickAction click(0);
  f.list.OnAction(&f.list.Header(), &click);
  previous = f.list.GetRowItem(0);
  for (int32_t r = 1; r < kRows; ++r) {
    const int32_t id = f.list.GetRowItem(r);
    const int32_t a = previous % 26, b = id % 26;
    const int32_t sa = previous % 7, sb = id % 7;
    ASSERT_TRUE(a > b || (a == b && (sa < sb || (sa == sb && previous < id))))
        << "row " << r << ": " << previous << " before " << id;
    previous = id;
  }
  f.list.OnAction(&f.list.Header(), &click);
  // Type-ahead finds the first "q" row; Shift+End selects to the end.
  gTick += 1000;
  f.list.Char(u'q', false, false, false);
  const int32_t q = f.list.GetFocusedItem();
  ASSERT_GE(q, 0);
  EXPECT_EQ(q % 26, 16);
  EXPECT_EQ(f.list.GetRowItem(kRows / 26 * 16 + 0 + std::min(16, kRows % 26)), q);
  f.list.Key(35, true, false, false);
  int32_t selected = 0;
  for (int32_t id = f.list.GetNextSelected(-1); id >= 0; id = f.list.GetNextSelected(id)) ++selected;
  const int32_t lastRows = kRows - (kRows / 26 * 16 + std::min(16, kRows % 26));
  EXPECT_EQ(selected, lastRows);
  f.list.Key(32, false, false, false);  // check the focused (last) row
  EXPECT_TRUE(f.list.IsItemChecked(f.list.GetRowItem(kRows - 1)));
  f.Pump();
  EXPECT_GT(f.list.GetScrollY(), 0);
}

// A worker refills the list again and again (Clear, then SetCell) in batch
// mode, as a listing job does, while the UI thread sorts, types, moves the
// focus, clicks, checks and paints. Every one of those reads items, so
// each must hold the view's lock; ThreadSanitizer and ASan catch the ones
// that do not.
TEST(ListView, WorkerRefillsWhileTheUiThreadSortsAndTypes) {
  sListFixture f;
  f.list.SetSortProvider(0, new cList::cListViewNameSortProvider());
  f.list.SetSortProvider(1, SizeProvider());
  f.list.SetMultiSelect(true);
  f.list.SetCheckBoxes(true);
  for (int32_t i = 0; i < 50; ++i) f.list.SetCell(i, 0, u"seed", -1, i + 1);
  f.list.BeginUpdate();
  std::atomic<bool> stop{false};
  std::atomic<int32_t> refills{0};
  std::thread worker([&] {
    while (!stop.load()) {
      f.list.Clear();
      for (int32_t i = 0; i < 150; ++i) {  // every refill completes
        const char16_t name[3] = {static_cast<char16_t>(u'a' + (i * 7) % 26), u'z', 0};
        f.list.SetCell(i, 0, name, -1, 0);
        f.list.SetCell(i, 1, u"n", -1, i % 5 + 1);
      }
      refills.fetch_add(1);
    }
  });
  twtest::sPainted p;
  int32_t rounds = 0;
  // Work until the worker has refilled the list many times, however slow
  // the machine (the cap only stops a wedged run).
  while ((refills.load() < 200 || rounds < 200) && rounds < 200000) {
    ++rounds;
    f.list.Sort(rounds % 2);
    gTick += rounds % 3 == 0 ? 1000 : 50;
    f.list.Char(static_cast<char16_t>(u'a' + rounds % 26), false, false, false);
    f.list.Key(rounds % 4 == 0 ? 38 : 40, rounds % 5 == 0, false, false);
    f.list.Key(32, false, false, false);
    f.list.GetNextSelected(-1);
    f.list.GetCellData(rounds % 150, 1);
    if (rounds % 16 == 0) f.list.SelectAll();
    if (rounds % 8 == 0) {
      f.ClickRow(f.list.GetFocusedItem() < 0 ? 0 : f.list.GetFocusedItem(), 60, 1, rounds % 3 == 0, false);
      twtest::PaintAlone(f.list, p);
    }
    if (rounds % 64 == 0) f.Clear();
  }
  stop = true;
  worker.join();
  EXPECT_GE(refills.load(), 200);
  EXPECT_TRUE(f.list.EndUpdate(false));
  EXPECT_EQ(f.list.GetRowCount(), 150) << "the last refill, laid out";
}

}  // namespace
