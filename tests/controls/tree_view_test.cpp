// The tree view: rows placed by depth, expanders and their states,
// collapsing and expanding (by expander, by '+' and '-', by Expand), the
// arrow keys, selection reports and the inactive selection colours, deleting
// items, and SplitPathHead.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "gui/controls/tree_view.h"
#include "gui/theme.h"
#include "tests/controls/control_fixture.h"

namespace {

using twtest::sControlFixture;
using cItem = cTreeViewChild::cTreeViewItem;

cItem* NewItem(const char16_t* text) {
  auto* i = new cItem();
  i->text.Assign(text);
  return i;
}

// a (a1, a2 (a2x)), b, c (c1)
struct sTreeFixture : sControlFixture {
  cTreeViewChild tree;
  cItem *a, *a1, *a2, *a2x, *b, *c, *c1;
  std::vector<cItem*> all;
  sTreeFixture() : sControlFixture(400, 400) {
    top->valueOf = [](cChildElement::cChildAction* action) -> int64_t {
      if (action->kind >= 7 && action->kind <= 10)
        return reinterpret_cast<intptr_t>(static_cast<cTreeViewChild::cTreeItemAction*>(action)->item);
      return 0;
    };
    Add(&tree, 0, 0, 300, 300);
    a = NewItem(u"alpha");
    tree.InsertItem(nullptr, a, nullptr);
    a1 = NewItem(u"a1");
    tree.InsertItem(a, a1, nullptr);
    a2 = NewItem(u"a2");
    tree.InsertItem(a, a2, nullptr);
    a2x = NewItem(u"a2x");
    tree.InsertItem(a2, a2x, nullptr);
    b = NewItem(u"beta");
    tree.InsertItem(nullptr, b, nullptr);
    c = NewItem(u"gamma");
    tree.InsertItem(nullptr, c, nullptr);
    c1 = NewItem(u"c1");
    tree.InsertItem(c, c1, nullptr);
    all = {a, a1, a2, a2x, b, c, c1};
    Pump();
    top->seen.clear();
  }
  ~sTreeFixture() { Detach(); }
  int64_t Id(cItem* i) { return reinterpret_cast<intptr_t>(i); }
  std::vector<cItem*> Visible() {
    std::vector<cItem*> out;
    for (cItem* i : all)
      if (i->label->IsVisible()) out.push_back(i);
    return out;
  }
  // Moves with a key and lets the label's focus and selection run.
  cItem* KeyTo(int32_t key, bool control = false) {
    tree.Key(key, false, control, false);
    Pump();
    return tree.GetSelected();
  }
};

TEST(TreeView, RowsByDepthAndExpanderStates) {
  sTreeFixture f;
  EXPECT_EQ(f.Visible(), f.all) << "new items are expanded";
  EXPECT_EQ(f.a->label->GetX(), 17);
  EXPECT_EQ(f.a1->label->GetX(), 33);
  EXPECT_EQ(f.a2x->label->GetX(), 49);
  EXPECT_EQ(f.a2x->expander->GetX(), 33);
  EXPECT_EQ(f.a->label->GetY(), 1);
  EXPECT_EQ(f.a1->label->GetY(), 1 + f.a->label->GetHeight());
  EXPECT_EQ(std::u16string(f.b->label->GetText()), u"beta");
  using E = cTreeViewControlElement;
  struct sCase {
    cItem* item;
    int32_t state;
    int32_t cursor;
  } const cases[] = {
      {f.a, E::kStateExpanded, 3}, {f.a1, E::kStateConnector, 0}, {f.a2x, E::kStateLast, 0},
      {f.b, E::kStateConnector, 0}, {f.c1, E::kStateLast, 0},
  };
  for (const sCase& s : cases) {
    EXPECT_EQ(s.item->expander->GetState(), s.state) << std::u16string(s.item->text.text).size();
    EXPECT_EQ(s.item->expander->GetCursor(), s.cursor);
  }
  EXPECT_EQ(f.a->expander->GetIcon(), GetTheme()->GetPicture(69));
  EXPECT_EQ(f.tree.GetContentHeight(), 1 + 7 * f.a->label->GetHeight());
}

TEST(TreeView, CollapsingHidesTheSubtreeAndExpandingShowsOpenBranches) {
  sTreeFixture f;
  // Collapse a2 first, then a: everything under a goes.
  f.a2->label->OnChar(u'-', false, false, false);
  f.Pump();
  EXPECT_TRUE(f.a2->collapsed);
  EXPECT_FALSE(f.a2x->label->IsVisible());
  f.a->expander->OnMouseButton(2, 2, 1, true);
  f.Pump();
  EXPECT_TRUE(f.a->collapsed);
  EXPECT_EQ(f.Visible(), (std::vector<cItem*>{f.a, f.b, f.c, f.c1}));
  EXPECT_EQ(f.a->expander->GetState(), cTreeViewControlElement::kStateCollapsed);
  EXPECT_EQ(f.b->label->GetY(), 1 + f.a->label->GetHeight()) << "the rows below moved up";
  // Expanding a shows a1 and a2 but not a2x, whose parent stays collapsed.
  EXPECT_TRUE(f.tree.Expand(f.a, true));
  EXPECT_FALSE(f.tree.Expand(f.a, true)) << "already expanded";
  EXPECT_FALSE(f.tree.Expand(f.b, true)) << "no children";
  EXPECT_FALSE(f.tree.Expand(nullptr, true));
  EXPECT_EQ(f.Visible(), (std::vector<cItem*>{f.a, f.a1, f.a2, f.b, f.c, f.c1}));
  f.Pump();
  // Reports: a2 collapsed ('-'), a collapsed (expander), a expanded.
  EXPECT_EQ(f.top->Values(&f.tree, 10), (std::vector<int64_t>{f.Id(f.a2), f.Id(f.a), f.Id(f.a)}));
  // A leaf's expander is a connector and ignores clicks.
  f.top->seen.clear();
  f.b->expander->OnMouseButton(2, 2, 1, true);
  f.Pump();
  EXPECT_EQ(f.top->Count(&f.tree, 10), 0);
}

TEST(TreeView, ArrowKeysWalkTheVisibleRows) {
  sTreeFixture f;
  f.a2->collapsed = 1;
  f.tree.Layout();
  EXPECT_EQ(f.KeyTo(40), f.a) << "without a selection the first item";
  struct sStep {
    int32_t key;
    bool control;
    cItem* expected;
  } const steps[] = {
      {40, false, f.a1}, {40, false, f.a2}, {40, false, f.b},   // past the collapsed a2
      {38, false, f.a2},                                       // Up does not enter a2x
      {38, false, f.a1}, {38, false, f.a},                      // Up from a first child: the parent
      {37, false, f.a},                                        // Left at the top level: nothing
      {40, true, f.b}, {40, true, f.c}, {38, true, f.b},        // Ctrl: siblings
      {40, false, f.c}, {40, false, f.c1}, {40, false, f.c1},   // the last visible row stays
      {37, false, f.c},
  };
  for (const sStep& s : steps) EXPECT_EQ(f.KeyTo(s.key, s.control), s.expected) << "key " << s.key;
  // Right on a collapsed item expands it (no report) and goes to its first child.
  f.tree.SelectItem(f.a2, true);
  f.Pump();
  f.top->seen.clear();
  EXPECT_EQ(f.KeyTo(39), f.a2x);
  EXPECT_FALSE(f.a2->collapsed);
  EXPECT_EQ(f.top->Count(&f.tree, 10), 0);
  EXPECT_EQ(f.top->Values(&f.tree, 8), (std::vector<int64_t>{f.Id(f.a2x)}));
}

TEST(TreeView, SelectionReportsOnceAndActivation) {
  sTreeFixture f;
  // A press on a label focuses it (as the window does before the press):
  // a selection report.
  auto press = [&](cItem* i) {
    const int32_t x = i->label->GetX() + 2, y = i->label->GetY() + 2;
    f.top->FocusAt(x, y, 1, false, false);
    f.Click(x, y);
  };
  press(f.b);
  f.Pump();
  EXPECT_EQ(f.tree.GetSelected(), f.b);
  press(f.b);
  f.Pump();
  EXPECT_EQ(f.top->Values(&f.tree, 8), (std::vector<int64_t>{f.Id(f.b)})) << "no second report";
  f.b->label->OnKey(13, false, false, false);
  f.Pump();
  EXPECT_EQ(f.top->Values(&f.tree, 7), (std::vector<int64_t>{f.Id(f.b)}));
  // SelectItem posts nothing; without focus it shows the inactive colours.
  f.top->seen.clear();
  EXPECT_TRUE(f.tree.SelectItem(f.c, false));
  EXPECT_FALSE(f.tree.SelectItem(nullptr, false));
  f.Pump();
  EXPECT_EQ(f.top->Count(&f.tree, 8), 0);
  EXPECT_EQ(f.tree.GetMarked(), f.c);
  uint32_t text = 0, background = 0;
  f.c->label->GetNormalColours(&text, &background);
  EXPECT_EQ(background, f.tree.GetInactiveBackground());
  f.tree.ShowInactiveSelection(f.a1);  // the previous mark gets its colours back
  f.c->label->GetNormalColours(&text, &background);
  EXPECT_EQ(background, GetTheme()->GetColour(14));
  EXPECT_EQ(f.tree.GetMarked(), f.a1);
}

TEST(TreeView, DeletingItemsForgetsTheirElements) {
  sTreeFixture f;
  const int32_t children = f.tree.ChildCount();
  f.tree.SelectItem(f.a2x, false);
  EXPECT_TRUE(f.tree.DeleteChildren(f.a));
  EXPECT_EQ(f.tree.GetSelected(), nullptr);
  EXPECT_EQ(f.tree.GetMarked(), nullptr);
  EXPECT_EQ(f.tree.ChildCount(), children - 6) << "three items, two elements each";
  EXPECT_EQ(f.a->firstChild, nullptr);
  EXPECT_EQ(f.a->expander->GetState(), cTreeViewControlElement::kStateConnector);
  EXPECT_EQ(f.b->label->GetY(), 1 + f.a->label->GetHeight());
  EXPECT_TRUE(f.tree.DeleteAll());
  EXPECT_FALSE(f.tree.DeleteAll()) << "already empty";
  EXPECT_EQ(f.tree.ChildCount(), children - 14);
  EXPECT_FALSE(f.tree.FocusFirst());
}

TEST(TreeView, SplitPathHead) {
  struct sCase {
    const char16_t* path;
    std::vector<std::u16string> parts;
    bool emptyRest;  // the walk ends on an empty rest rather than null
  } const cases[] = {
      {u"/usr/lib", {u"/", u"usr", u"lib"}, false},
      {u"//server/share", {u"//", u"server", u"share"}, false},
      {u"C:/x", {u"C:", u"x"}, false},
      {u"a//b", {u"a", u"b"}, false},
      {u"name", {u"name"}, false},
      {u"dir/", {u"dir"}, true},
  };
  for (const sCase& c : cases) {
    std::vector<std::u16string> parts;
    const char16_t* rest = c.path;
    _guardchar<char16_t> part;
    bool emptyRest = false;
    while (rest != nullptr) {
      if (rest[0] == 0) {
        emptyRest = true;
        break;
      }
      rest = SplitPathHead(rest, &part);
      parts.emplace_back(part.text != nullptr ? part.text : u"");
    }
    EXPECT_EQ(parts, c.parts);
    EXPECT_EQ(emptyRest, c.emptyRest);
  }
  _guardchar<char16_t> part;
  EXPECT_EQ(SplitPathHead(nullptr, &part), nullptr);
}

}  // namespace
