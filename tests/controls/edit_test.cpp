// The edit control: the selection algebra, word moves, typing into a full
// buffer, the keys and their actions, the clipboard, double clicks,
// scrolling of long text, the hint and the context menu.
#include "gui/controls/edit.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "gui/controls/popup.h"
#include "gui/font.h"
#include "gui/theme.h"
#include "tests/controls/control_fixture.h"

namespace {

using twtest::Px;
using twtest::sControlFixture;
using twtest::sPainted;

enum : int32_t { kLeft = 37, kRight = 39, kHome = 36, kEnd = 35, kBack = 8, kDelete = 46, kEscape = 27, kEnter = 13 };

struct EditFixture : sControlFixture {
  cEditChild e;
  explicit EditFixture(int32_t width = 200) {
    twtest::UseEnglish();
    Add(&e, 10, 10, width, 22);
    top->SetFocusTo(&e);
  }
  ~EditFixture() { Detach(); }
  std::u16string Text() { return e.GetText(); }
  void Set(const char16_t* text, int32_t caret) {
    e.SetEditText(text, -1);
    e.SetCaret(caret);
  }
  std::pair<int32_t, int32_t> Sel() const { return {e.GetSelStart(), e.GetSelEnd()}; }
  std::u16string Clipboard() const {
    std::u16string out;
    for (size_t i = 0; i + 1 < host.clipboardText.size(); i += 2)
      out.push_back(static_cast<char16_t>(host.clipboardText[i] | (host.clipboardText[i + 1] << 8)));
    while (!out.empty() && out.back() == 0) out.pop_back();
    return out;
  }
  void PutOnClipboard(const std::u16string& text) {
    host.clipboardText.clear();
    for (char16_t c : text) host.clipboardText.push_back(c & 0xFF), host.clipboardText.push_back(c >> 8);
    host.clipboardText.push_back(0), host.clipboardText.push_back(0);
  }
  int32_t Cell() { return tw::StandInCellWidth(top->GetDefaultFont()); }
};

TEST(Edit, SelectionAlgebraWithShiftArrows) {
  EditFixture f;
  f.Set(u"abcdefgh", 2);
  struct Step {
    int32_t key;
    bool shift;
    int32_t caret;
    std::pair<int32_t, int32_t> selection;
  } steps[] = {
      {kRight, true, 3, {2, 2}}, {kRight, true, 4, {2, 3}}, {kRight, true, 5, {2, 4}},  // 2 to 4
      {kLeft, true, 4, {2, 3}},  {kLeft, true, 3, {2, 2}},                            // character 2 left
      {kLeft, true, 2, {-1, -1}},                                                      // cleared
      {kLeft, true, 1, {1, 1}},                                                        // character 1
      {kLeft, true, 0, {0, 1}},  {kEnd, true, 8, {2, 7}},  // across the anchor
      {kHome, false, 0, {-1, -1}},
  };
  for (const Step& s : steps) {
    f.Key(s.key, s.shift);
    EXPECT_EQ(f.e.GetCaret(), s.caret) << "key " << s.key;
    EXPECT_EQ(f.Sel(), s.selection) << "key " << s.key << " to caret " << s.caret;
  }
  // The caret at neither end of a selection made elsewhere: Shift+Right
  // clears it.
  f.Set(u"abcdefgh", 0);
  f.e.ExtendSelection(4, 6);
  EXPECT_EQ(f.Sel(), (std::pair<int32_t, int32_t>{4, 5}));
  f.Key(kRight, true);
  EXPECT_EQ(f.Sel(), (std::pair<int32_t, int32_t>{-1, -1}));
}

TEST(Edit, WordMovesStopAtRunStarts) {
  EditFixture f;
  f.Set(u"abc def", 5);
  for (int32_t expected : {4, 3, 0, 0}) {
    f.Key(kLeft, false, true);
    EXPECT_EQ(f.e.GetCaret(), expected);
  }
  for (int32_t expected : {3, 4, 7, 7}) {
    f.Key(kRight, false, true);
    EXPECT_EQ(f.e.GetCaret(), expected);
  }
  f.Key(kLeft, true, true);
  EXPECT_EQ(f.Sel(), (std::pair<int32_t, int32_t>{4, 6})) << "Ctrl+Shift+Left selects the word";
}

TEST(Edit, TypingStopsAtCapacityAndReplacesTheSelection) {
  EditFixture f;
  EXPECT_EQ(f.e.GetCapacity(), 257);
  std::u16string full(256, u'x');
  f.Set(full.c_str(), 256);
  f.Type(u"y");
  EXPECT_EQ(f.Text(), full) << "a full edit drops the character";
  ASSERT_TRUE(f.e.ReserveText(3));
  EXPECT_EQ(f.Text(), u"") << "reserving loses the text";
  f.Type(u"abcd");
  EXPECT_EQ(f.Text(), u"abc");
  f.Key(kLeft, true);
  f.Type(u"Z");
  EXPECT_EQ(f.Text(), u"abZ") << "the selection is replaced";
  EXPECT_FALSE(f.e.ReserveText(int64_t{2147483647}));
  EXPECT_EQ(f.e.GetCapacity(), 0);
  f.Type(u"q");
  EXPECT_EQ(f.Text(), u"") << "no buffer, no text";
}

TEST(Edit, KeysPostEnterEscapeAndFocusLoss) {
  EditFixture f;
  f.Set(u"hello", 5);
  f.Key(kLeft, true);
  f.Key(kEscape);
  EXPECT_EQ(f.Sel(), (std::pair<int32_t, int32_t>{-1, -1}));
  f.Pump();
  EXPECT_EQ(f.top->Count(&f.e, 8), 0) << "the first Escape only clears the selection";
  f.Key(kEscape);
  f.Key(kEnter);
  f.top->SetFocusTo(f.top);
  f.Pump();
  EXPECT_EQ(f.top->Count(&f.e, 8), 1);
  EXPECT_EQ(f.top->Count(&f.e, 7), 1);
  EXPECT_EQ(f.top->Count(&f.e, 9), 1) << "focus lost";
}

TEST(Edit, DeletingAndReadOnly) {
  EditFixture f;
  struct Case {
    const char16_t* text;
    int32_t caret;
    int32_t key;
    bool shift;
    const char16_t* after;
    int32_t caretAfter;
  } cases[] = {
      {u"abc", 2, kBack, false, u"ac", 1}, {u"abc", 0, kBack, false, u"abc", 0},
      {u"abc", 1, kDelete, false, u"ac", 1}, {u"abc", 3, kDelete, false, u"abc", 3},
  };
  for (const Case& c : cases) {
    f.Set(c.text, c.caret);
    f.Key(c.key, c.shift);
    EXPECT_EQ(f.Text(), c.after) << "key " << c.key << " at " << c.caret;
    EXPECT_EQ(f.e.GetCaret(), c.caretAfter);
  }
  f.Set(u"read only", 0);
  f.e.SetReadOnly(true);
  f.Key(kEnd, true);
  f.Key(kBack);
  f.Key(kDelete);
  f.Type(u"x");
  EXPECT_EQ(f.Text(), u"read only");
  f.Key('C', false, true);
  EXPECT_EQ(f.Clipboard(), u"read only") << "Ctrl+C still copies";
  f.Key('X', false, true);
  EXPECT_EQ(f.Text(), u"read only") << "no cut";
}

TEST(Edit, ClipboardCutCopyPaste) {
  EditFixture f;
  f.Set(u"one two", 0);
  f.Key(kRight, true, true);  // "one"
  f.Key('X', false, true);
  EXPECT_EQ(f.Clipboard(), u"one");
  EXPECT_EQ(f.Text(), u" two");
  f.Key(kEnd);
  f.Key('V', false, true);
  EXPECT_EQ(f.Text(), u" twoone");
  EXPECT_EQ(f.e.GetCaret(), 7);
  f.Key(kHome);
  f.Key(45, true);  // Shift+Insert
  EXPECT_EQ(f.Text(), u"one twoone");
  f.Key('A', false, true);
  f.Key(45, false, true);  // Ctrl+Insert
  EXPECT_EQ(f.Clipboard(), u"one twoone");
  // Pasting into a small buffer keeps what fits, the old tail last.
  ASSERT_TRUE(f.e.ReserveText(6));
  f.Type(u"ab");
  f.Key(kLeft);
  f.PutOnClipboard(u"XYZW");
  f.Key('V', false, true);
  EXPECT_EQ(f.Text(), u"aXYZWb");
  f.Key(kHome);
  f.Key('V', false, true);
  EXPECT_EQ(f.Text(), u"XYZWaX") << "the pasted text first, then the old text as far as it fits";
  f.Key(kHome);
  f.Key(kRight, true);
  f.Key(kDelete, true);  // Shift+Delete: cut
  EXPECT_EQ(f.Clipboard(), u"X");
  EXPECT_EQ(f.Text(), u"YZWaX");
}

TEST(Edit, DoubleClickSelectsTheRunUnderThePoint) {
  static uint32_t ticks = 1000;
  tw::SetElementTickSource([] { return ticks += 10; });
  EditFixture f;
  const int32_t c = f.Cell();
  f.Set(u"ab   cd", 0);
  sPainted shot;
  twtest::PaintAlone(f.e, shot);  // measures the character edges
  struct Case {
    int32_t x;  // in the edit
    std::pair<int32_t, int32_t> selection;
    int32_t caret;
  } cases[] = {{3 * c + c / 4, {2, 4}, 5}, {c / 4, {0, 1}, 2}, {6 * c + c / 4, {5, 6}, 7}, {7 * c + 3, {5, 6}, 7}};
  for (const Case& k : cases) {
    f.Press(10 + k.x, 15);
    f.Release(10 + k.x, 15);
    f.Press(10 + k.x, 15);
    f.Release(10 + k.x, 15);
    EXPECT_EQ(f.Sel(), k.selection) << "x " << k.x;
    EXPECT_EQ(f.e.GetCaret(), k.caret) << "x " << k.x;
    f.e.ClearSelection();
    ticks += 1000;
  }
  tw::SetElementTickSource(nullptr);
}

TEST(Edit, MouseSelectsByDragging) {
  EditFixture f;
  const int32_t c = f.Cell();
  f.Set(u"abcdef", 0);
  sPainted shot;
  twtest::PaintAlone(f.e, shot);
  f.Press(10 + c + 1, 15);  // nearer the left edge of b
  EXPECT_EQ(f.e.GetCaret(), 1);
  f.Move(10 + 4 * c - 1, 15);
  f.Release(10 + 4 * c - 1, 15);
  EXPECT_EQ(f.Sel(), (std::pair<int32_t, int32_t>{1, 3}));
  EXPECT_EQ(f.e.GetCaret(), 4);
  EXPECT_FALSE(f.host.captured);
}

TEST(Edit, LongTextScrollsToKeepTheCaretInside) {
  EditFixture f(60);
  const int32_t c = f.Cell();
  std::u16string text(40, u'm');
  f.Set(text.c_str(), 40);
  sPainted shot;
  twtest::PaintAlone(f.e, shot);
  EXPECT_EQ(f.e.GetScroll(), 60 - 40 * c - 3) << "the caret at w - 2";
  // Near the left edge: scrolls back by at least a quarter of the width.
  const int32_t before = f.e.GetScroll();
  const int32_t visibleStart = -before / c;
  f.e.SetCaret(visibleStart + 1);
  twtest::PaintAlone(f.e, shot);
  EXPECT_GE(f.e.GetScroll() - before, 60 / 4);
  f.Key(kHome);
  twtest::PaintAlone(f.e, shot);
  EXPECT_EQ(f.e.GetScroll(), 0);
}

TEST(Edit, HintShowsOnlyWhenEmptyAndUnfocused) {
  EditFixture f;
  f.e.SetHintText(u"Search");
  f.top->SetFocusTo(f.top);
  sPainted shot;
  twtest::PaintAlone(f.e, shot);
  auto count = [&](uint32_t pixel) {
    int n = 0;
    for (int32_t y = 0; y < 22; ++y)
      for (int32_t x = 0; x < 200; ++x) n += shot.At(x, y) == pixel;
    return n;
  };
  const uint32_t hint = Px(GetTheme()->GetColour(8));
  EXPECT_GT(count(hint), 0) << "the hint in colour 8";
  f.top->SetFocusTo(&f.e);
  twtest::PaintAlone(f.e, shot);
  EXPECT_EQ(count(hint), 0) << "focused: no hint";
}

// Runs the edit's context menu with a script that records the rows and
// clicks the row with id choose (or presses outside for -1).
std::vector<std::u16string> RunMenu(EditFixture& f, int32_t choose, bool* opened) {
  std::vector<std::u16string> rows;
  *opened = false;
  f.host.QueueModalScript([&](twtest::cTestHost& nested, cChildElement* form) {
    *opened = true;
    auto* popup = dynamic_cast<cPopupMaster*>(form);
    ASSERT_NE(popup, nullptr);
    for (int32_t id : {10, 20, 30, 40, 50})
      if (cButtonChild* b = popup->RowButton(id)) rows.push_back(b->GetText());
    cButtonChild* b = popup->RowButton(choose);
    if (b == nullptr) {
      form->MouseButton(-5, -5, 1, true, false, false);
      return;
    }
    sRect r;
    b->GetRect(&r);
    form->MouseButton(r.x + 3, r.y + 3, 1, true, false, false);
    form->MouseButton(r.x + 3, r.y + 3, 1, false, false, false);
    nested.Pump();
  });
  f.top->MouseButton(20, 15, 2, true, false, false);
  f.top->MouseButton(20, 15, 2, false, false, false);
  return rows;
}

TEST(Edit, ContextMenuEntriesAndChoices) {
  EditFixture f;
  bool opened = false;
  f.Set(u"alpha beta", 0);
  f.e.ExtendSelection(0, 5);
  f.PutOnClipboard(u"Z");
  auto rows = RunMenu(f, 10, &opened);
  ASSERT_TRUE(opened);
  EXPECT_EQ(rows, (std::vector<std::u16string>{u"Cut (Ctrl+X)", u"Copy (Ctrl+C)", u"Paste (Ctrl+V)", u"Delete (Del)",
                                                u"Select all (Ctrl+A)"}));
  EXPECT_EQ(f.Text(), u" beta") << "cut";
  EXPECT_EQ(f.Clipboard(), u"alpha");
  EXPECT_FALSE(f.e.IsMenuOpen());
  rows = RunMenu(f, 50, &opened);
  EXPECT_EQ(rows, (std::vector<std::u16string>{u"Paste (Ctrl+V)", u"Select all (Ctrl+A)"})) << "no selection";
  EXPECT_EQ(f.Sel(), (std::pair<int32_t, int32_t>{0, 4})) << "select all";
  rows = RunMenu(f, -1, &opened);
  EXPECT_EQ(rows.size(), 4u) << "all selected: no select-all entry";
  EXPECT_EQ(f.Text(), u" beta") << "pressing outside chooses nothing";
}

TEST(Edit, EmptyReadOnlyEditOpensNoMenu) {
  EditFixture f;
  f.e.SetReadOnly(true);
  f.PutOnClipboard(u"Z");
  bool opened = false;
  RunMenu(f, -1, &opened);
  EXPECT_FALSE(opened) << "no entries: nothing is shown";
}

}  // namespace
