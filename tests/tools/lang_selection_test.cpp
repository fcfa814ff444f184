// The language selection form and the language button, driven through the
// test host: the form's layout, picking, starting and cancelling, the link,
// painting; the button's stored language, its popup and the stored choice.
#include "tools/lang_selection.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/config_store.h"
#include "gui/dialogs/message_box.h"
#include "gui/language.h"
#include "gui/language_internal.h"
#include "gui/window_maker.h"
#include "tests/controls/control_fixture.h"
#include "tests/support/test_support.h"
#include "tools/app_language.h"

namespace {

using twtest::cTestHost;
using twtest::Px;
using twtest::sControlFixture;
using twtest::sPainted;

constexpr int32_t kDown = 40, kUp = 38, kEnter = 13, kEscape = 27;

class LangSelection : public ::testing::Test {
protected:
  void SetUp() override {
    tw::ResetLanguageState();
    static cWEKTLang toolkit;
    cLibLang::Register(&toolkit);
    RegisterPackageLanguages();
    ASSERT_TRUE(ApplyLanguage(0));
  }
  void TearDown() override { tw::ResetLanguageState(); }
};

struct sIds {
  cSimpleList<int32_t> list;
  sIds(std::initializer_list<int32_t> ids) {
    for (int32_t id : ids) list.Append(id);
  }
};

// A form whose link opens nothing but records the address.
class cRecordingForm : public cLangSelectionForm {
public:
  using cLangSelectionForm::cLangSelectionForm;
  std::vector<std::u16string> opened;

protected:
  bool OpenAddress(const char16_t* address) override {
    opened.push_back(address);
    return true;
  }
};

// A form hosted alone at 380 x 370, as over an owner.
struct sFormFixture {
  cTestHost host;
  cRecordingForm* form;
  sFormFixture(const cSimpleList<int32_t>* list, int32_t preselected, const char16_t* codename)
      : form(new cRecordingForm(list, preselected, codename)) {
    host.Host(form, 380, 370);
  }
  void Key(int32_t key) {
    form->Key(key, false, false, false);
    host.Pump();
  }
};

TEST_F(LangSelection, NoFormForNoneOrOneLanguage) {
  sControlFixture owner;
  sIds none{}, one{7};
  EXPECT_EQ(ShowLanguageSelection(&none.list, 0, u"app", owner.top), 13);
  EXPECT_EQ(ShowLanguageSelection(&one.list, 0, u"app", owner.top), 7);
  EXPECT_EQ(ShowLanguageSelection(nullptr, 0, u"app", owner.top), 13);
  EXPECT_TRUE(owner.host.modalTitles.empty());
}

TEST_F(LangSelection, EndCodesBecomeIdsOrNoChoice) {
  const struct {
    int32_t end;  // -1: the script does not end the form (closed)
    int32_t result;
  } cases[] = {{1, 0}, {6, 5}, {13, 12}, {0, 13}, {-1, 13}};
  for (const auto& c : cases) {
    sControlFixture owner;
    sIds ids{0, 2, 5};
    int32_t width = 0, height = 0;
    owner.host.QueueModalScript([&](cTestHost&, cChildElement* form) {
      width = form->GetWidth();
      height = form->GetHeight();
      if (c.end >= 0) form->EndModal(c.end);
    });
    EXPECT_EQ(ShowLanguageSelection(&ids.list, 0, nullptr, owner.top), c.result) << c.end;
    EXPECT_EQ(width, 380);
    EXPECT_EQ(height, 370);
    ASSERT_EQ(owner.host.modalTitles.size(), 1u);
    EXPECT_EQ(owner.host.modalTitles[0], u"");
  }
}

// A factory that runs nothing, recording what it was asked.
class cFakeMaker : public cWindowMaker {
public:
  bool RegisterClasses(void*, intptr_t, int32_t) override { return true; }
  int32_t RunModalForm(const char16_t* title, int32_t w, int32_t h, cChildElement* form,
                       cWindowRequestTarget* owner, bool resizable) override {
    asked = std::u16string(title) + u" " + twtest::U16(std::to_string(w) + "x" + std::to_string(h)) +
            (owner == nullptr ? u" top" : u" owned") + (resizable ? u" resizable" : u" fixed");
    delete form;
    return answer;
  }
  std::u16string asked;
  int32_t answer = -1;
};

TEST_F(LangSelection, WithoutAnOwnerTheFormIsATopWindow) {
  sIds ids{0, 2};
  cFakeMaker maker;
  EXPECT_EQ(ShowLanguageSelection(&ids.list, 0, nullptr, nullptr, &maker), -2);  // not shown
  EXPECT_EQ(maker.asked, u" 400x370 top fixed");
  maker.answer = 3;
  EXPECT_EQ(ShowLanguageSelection(&ids.list, 0, nullptr, nullptr, &maker), 2);
  maker.answer = 0;
  EXPECT_EQ(ShowLanguageSelection(&ids.list, 0, nullptr, nullptr, &maker), 13);
  // No application, so no factory: not shown.
  EXPECT_EQ(ShowLanguageSelection(&ids.list, 0, nullptr, nullptr), -2);
}

TEST_F(LangSelection, LayoutAndPreselection) {
  sIds ids{0, 2, 5, 12};
  sFormFixture f(&ids.list, 5, u"demo");
  sRect r;
  ASSERT_TRUE(f.form->Frame().GetRect(&r));
  EXPECT_EQ((std::vector<int32_t>{r.x, r.y, r.width, r.height}), (std::vector<int32_t>{15, 85, 350, 230}));
  ASSERT_TRUE(f.form->Grid().GetRect(&r));
  EXPECT_EQ((std::vector<int32_t>{r.x, r.y, r.width, r.height}), (std::vector<int32_t>{8, 10, 334, 210}));
  ASSERT_TRUE(f.form->StartButton().GetRect(&r));
  EXPECT_EQ((std::vector<int32_t>{r.x, r.y, r.width, r.height}), (std::vector<int32_t>{265, 330, 100, 26}));
  EXPECT_EQ(std::u16string(f.form->StartButton().GetText()), GetLanguageText("pkgm::langs", 2));
  EXPECT_EQ(f.form->Grid().GetCount(), 4);
  EXPECT_EQ(f.form->Grid().GetColumns(), 1);
  EXPECT_EQ(f.form->Grid().GetSelected(), 2);
  EXPECT_TRUE(f.form->Grid().HasFocus());
  ASSERT_TRUE(f.form->HasLink());
  ASSERT_TRUE(f.form->Link().GetRect(&r));
  EXPECT_EQ(r.x, 15);
  EXPECT_EQ(r.y, 335);
  EXPECT_GT(r.width, 0);
  EXPECT_GT(r.height, 0);
  EXPECT_EQ(std::u16string(f.form->Link().GetText()), GetLanguageText("pkgm::langs", 4));
}

TEST_F(LangSelection, AllTwelveLanguagesScrollInOneColumn) {
  sIds ids{0, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12};
  sFormFixture f(&ids.list, 12, nullptr);
  cLangsGrid& grid = f.form->Grid();
  EXPECT_EQ(grid.GetColumns(), 1);
  EXPECT_EQ(grid.GetRows(), 12);
  EXPECT_TRUE(grid.VBar().IsVisible());
  sRect cell;
  ASSERT_TRUE(grid.GetCellRect(11, &cell));
  EXPECT_EQ(cell.y, 330);
  EXPECT_EQ(cell.width + grid.GetVScrollWidth(), 334);
  EXPECT_EQ(grid.GetSelected(), 11);
}

TEST_F(LangSelection, TheLinkNeedsACodenameAndItsText) {
  sIds ids{0, 2};
  {
    sFormFixture f(&ids.list, 0, nullptr);
    EXPECT_FALSE(f.form->HasLink());
  }
  {
    sFormFixture f(&ids.list, 0, u"");
    EXPECT_FALSE(f.form->HasLink());
  }
  {
    ASSERT_TRUE(ApplyLanguage(4));  // the Korean pack has no text 4
    sIds withKorean{0, 4};
    sFormFixture f(&withKorean.list, 4, u"demo");
    EXPECT_FALSE(f.form->HasLink());
    // Switching to a language that has the text brings the link.
    f.form->Grid().Key(kUp, false, false, false);
    f.host.Pump();
    ASSERT_EQ(GetCurrentLanguage(), 0);
    ASSERT_TRUE(f.form->HasLink());
    EXPECT_EQ(std::u16string(f.form->Link().GetText()), u"Other languages");
    sRect r;
    ASSERT_TRUE(f.form->Link().GetRect(&r));
    EXPECT_GT(r.width, 0);
  }
}

TEST_F(LangSelection, NoMatchingPreselectionMeansStartDoesNothing) {
  sIds ids{0, 2, 5};
  sFormFixture f(&ids.list, 7, nullptr);
  EXPECT_EQ(f.form->Grid().GetSelected(), -1);
  f.Key(kEnter);
  f.form->StartButton().PostKind(0);  // as a click would
  f.host.Pump();
  EXPECT_FALSE(f.host.ended);
  // Down selects the first row, then Enter starts with it.
  f.form->Grid().Key(kDown, false, false, false);
  f.host.Pump();
  EXPECT_EQ(f.form->Grid().GetSelected(), 0);
  f.Key(kEnter);
  EXPECT_TRUE(f.host.ended);
  EXPECT_EQ(f.host.endCode, 1);
}

TEST_F(LangSelection, StartButtonAndActivatedRowEndWithTheId) {
  for (int way = 0; way < 2; ++way) {
    sIds ids{0, 2, 5};
    sFormFixture f(&ids.list, 5, nullptr);
    if (way == 0) {
      f.form->StartButton().PostKind(0);
    } else {
      sRect cell;
      ASSERT_TRUE(f.form->Grid().GetCellRect(2, &cell));
      f.form->Grid().OnDblClick(cell.x + 5, cell.y + 5);
    }
    f.host.Pump();
    EXPECT_TRUE(f.host.ended) << way;
    EXPECT_EQ(f.host.endCode, 6) << way;
  }
}

TEST_F(LangSelection, PickingARowAppliesItsLanguageAtOnce) {
  sIds ids{0, 2, 5};
  sFormFixture f(&ids.list, 0, u"demo");
  f.host.invalidateCalls = 0;
  f.form->Grid().Key(kDown, false, false, false);  // to German
  f.host.Pump();
  EXPECT_EQ(GetCurrentLanguage(), 2);
  EXPECT_EQ(std::u16string(f.form->StartButton().GetText()), u"Starten");
  EXPECT_EQ(std::u16string(f.form->StartButton().GetText()), GetLanguageText("pkgm::langs", 2));
  EXPECT_EQ(std::u16string(f.form->Link().GetText()), GetLanguageText("pkgm::langs", 4));
  EXPECT_EQ(std::u16string(f.form->GetLangString(0)), GetLanguageText("pkgm::langs", 0));
  ASSERT_FALSE(f.host.invalidated.empty());
  const sEdges whole = f.host.invalidated.back();
  EXPECT_EQ((std::vector<int32_t>{whole.left, whole.top, whole.right, whole.bottom}),
            (std::vector<int32_t>{0, 0, 380, 370}));
  // The row of the language already current changes nothing.
  f.form->Grid().Key(kUp, false, false, false);
  f.host.Pump();
  ASSERT_EQ(GetCurrentLanguage(), 0);
  ASSERT_TRUE(ApplyLanguage(2));
  const int32_t calls = f.host.invalidateCalls;
  f.form->Grid().SelectRow(0, false);
  f.form->Grid().Key(kDown, false, false, false);  // German again, already current
  f.host.Pump();
  EXPECT_EQ(GetCurrentLanguage(), 2);
  // Only the grid's own repaint, no whole-form one.
  for (size_t i = static_cast<size_t>(calls); i < f.host.invalidated.size(); ++i)
    EXPECT_FALSE(f.host.invalidated[i].right == 380 && f.host.invalidated[i].bottom == 370);
}

TEST_F(LangSelection, EscapeAsksAndTheAnswerDecides) {
  for (bool yes : {false, true}) {
    sIds ids{0, 2};
    sFormFixture f(&ids.list, 0, nullptr);
    std::vector<std::u16string> lines;
    f.host.QueueModalScript([&](cTestHost&, cChildElement* form) {
      auto* box = dynamic_cast<cMessageForm*>(form);
      ASSERT_NE(box, nullptr);
      for (cListItem* i = box->Lines().head; i != nullptr; i = i->next)
        lines.emplace_back(static_cast<cMessageForm::cStrTokenItem*>(i)->line.text);
      if (yes) form->EndModal(1);
    });
    f.Key(kEscape);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0], GetLanguageText("pkgm::langs", 3));
    EXPECT_EQ(f.host.ended, yes);
    if (yes) {
      EXPECT_EQ(f.host.endCode, 0);
    }
  }
}

TEST_F(LangSelection, TheLinkOpensTheOptionsPage) {
  sIds ids{0, 2};
  sFormFixture f(&ids.list, 0, u"my app");
  f.form->Link().PostKind(0);
  f.host.Pump();
  ASSERT_EQ(f.form->opened.size(), 1u);
  EXPECT_EQ(f.form->opened[0], LanguageOptionsAddress(u"my app"));
  EXPECT_FALSE(f.host.ended);
}

TEST(LanguageOptionsAddress, CodenameIsPercentEncoded) {
  const struct {
    const char16_t* codename;
    const char16_t* query;
  } cases[] = {
      {u"demo", u"demo"},
      {u"Demo-1.2_x~", u"Demo-1.2_x~"},
      {u"my app", u"my%20app"},                    // a blank would make it a command line
      {u"a\"b&c=d", u"a%22b%26c%3Dd"},
      {u"\u00DCber", u"%C3%9Cber"},                // UTF-8 bytes
      {u"", u""},
  };
  for (const auto& c : cases) {
    const std::u16string address = LanguageOptionsAddress(c.codename);
    const std::u16string prefix = u"http://";
    ASSERT_EQ(address.compare(0, prefix.size(), prefix), 0);
    const size_t q = address.find(u"/app_lang_opts.php?app=");
    ASSERT_NE(q, std::u16string::npos);
    EXPECT_EQ(address.substr(q + 23), c.query) << twtest::Narrow(c.codename);
  }
}

TEST_F(LangSelection, PaintsTitlesFrameAndRows) {
  sIds ids{0, 2, 5};
  sFormFixture f(&ids.list, 2, nullptr);
  sPainted shot;
  twtest::PaintAlone(*f.form, shot);
  EXPECT_EQ(shot.At(2, 2), Px(0xE7E7E7));
  EXPECT_EQ(shot.At(15, 200), Px(0xDBCAC7));    // the frame's border
  EXPECT_EQ(shot.At(20, 200), Px(0xFFFFFF));    // inside the frame
  auto hasColour = [&](int32_t y0, int32_t y1, uint32_t colour) {
    for (int32_t y = y0; y < y1; ++y)
      for (int32_t x = 0; x < 380; ++x)
        if (shot.At(x, y) == Px(colour)) return true;
    return false;
  };
  EXPECT_TRUE(hasColour(25, 50, 0x655654)) << "title";
  EXPECT_TRUE(hasColour(55, 70, 0x655654)) << "subtitle";
  EXPECT_FALSE(hasColour(0, 24, 0x655654));
  // Row 1 (German, selected): its border and fill from y 85 + 10 + 30,
  // the rows above and below it white.
  EXPECT_EQ(shot.At(15 + 8, 125), Px(0xDFCAB7));
  EXPECT_EQ(shot.At(15 + 8 + 2, 127), Px(0xF4E8DD));
  EXPECT_EQ(shot.At(15 + 8 + 2, 152), Px(0xF4E8DD));
  EXPECT_EQ(shot.At(15 + 8 + 2, 122), Px(0xFFFFFF));
  EXPECT_EQ(shot.At(15 + 8 + 2, 157), Px(0xFFFFFF));
  EXPECT_TRUE(hasColour(126, 154, 0x655654)) << "the selected row's name";
  EXPECT_TRUE(hasColour(96, 124, 0x655654)) << "the first row's name";
  EXPECT_TRUE(hasColour(156, 184, 0x655654)) << "the third row's name";
  EXPECT_FALSE(hasColour(186, 314, 0x655654)) << "no fourth row";
}

// ---- the language button ----

struct sSwitchFixture : sControlFixture {
  twtest::TempDir tmp;
  cCIAppConfig store;
  cLangSwitchCtl button;
  explicit sSwitchFixture(int64_t stored) {
    EXPECT_TRUE(store.Open(twtest::U16(tmp.path()).c_str()));
    if (stored >= 0) {
      EXPECT_TRUE(store.SetInt64("lang/current", stored));
    }
    button.SetStore(&store);
    Add(&button, 300, 10, 30, 22);
  }
  ~sSwitchFixture() { Detach(); }
};

TEST_F(LangSelection, ButtonShowsTheStoredLanguage) {
  const struct {
    int64_t stored;
    int32_t shown;
  } cases[] = {{-1, 0}, {5, 5}, {12, 12}, {1, 0}, {13, 0}, {0x100000005, 0}};
  for (const auto& c : cases) {
    sSwitchFixture f(c.stored);
    EXPECT_EQ(f.button.GetShownId(), c.shown) << c.stored;
    ASSERT_NE(f.button.GetHint(), nullptr);
    EXPECT_EQ(std::u16string(f.button.GetHint()), GetBuiltinLanguageName(c.shown)) << c.stored;
  }
}

TEST_F(LangSelection, ButtonPaintsTheTwoLetterCode) {
  sSwitchFixture f(5);
  sPainted shot;
  twtest::PaintAlone(f.button, shot);
  EXPECT_EQ(shot.At(0, 0), Px(0xFFFFFF));
  int dark = 0;
  for (int y = 0; y < 22; ++y)
    for (int x = 0; x < 30; ++x) dark += shot.At(x, y) == Px(0x404040);
  EXPECT_GT(dark, 10);
}

TEST_F(LangSelection, ButtonPopupListsThePacksAndSwitches) {
  sSwitchFixture f(-1);
  std::vector<int32_t> rows;
  std::vector<std::u16string> names;
  auto choose = [&](int32_t key) {
    f.host.QueueModalScript([&, key](cTestHost& nested, cChildElement* form) {
      auto* popup = dynamic_cast<cPopupMaster*>(form);
      ASSERT_NE(popup, nullptr);
      rows.clear();
      names.clear();
      for (int32_t k = 0; k < 20; ++k)
        if (cButtonChild* b = popup->RowButton(k)) {
          rows.push_back(k);
          names.emplace_back(b->GetText());
        }
      if (key < 0) {
        form->Key(kEscape, false, false, false);
        return;
      }
      cButtonChild* b = popup->RowButton(key);
      ASSERT_NE(b, nullptr);
      sRect r;
      b->GetRect(&r);
      form->MouseButton(r.x + 2, r.y + 2, 1, true, false, false);
      form->MouseButton(r.x + 2, r.y + 2, 1, false, false, false);
      nested.Pump();
    });
    f.button.PostKind(0);
    f.Pump();
  };
  // Positions in the order 0, 6, 12, 2, 7, 11, 5, 3, 4, 8, 9, 10, 1: the
  // last, id 1, has no pack and is never listed.
  choose(-1);
  EXPECT_EQ(rows, (std::vector<int32_t>{0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11}));
  ASSERT_EQ(names.size(), 12u);
  EXPECT_EQ(names[3], GetBuiltinLanguageName(2));
  EXPECT_EQ(names[1], GetBuiltinLanguageName(6));
  EXPECT_EQ(f.button.GetShownId(), 0);
  EXPECT_EQ(f.top->Count(&f.button, 7), 0);

  choose(3);  // German
  EXPECT_EQ(f.button.GetShownId(), 2);
  EXPECT_EQ(GetCurrentLanguage(), 2);
  EXPECT_EQ(std::u16string(f.button.GetHint()), GetBuiltinLanguageName(2));
  EXPECT_EQ(f.top->Count(&f.button, 7), 1);
  _typebuf<char> bytes;
  ASSERT_TRUE(f.store.GetBytes("lang/current", bytes));
  EXPECT_EQ(bytes.count, 2);  // a 16-bit value
  uint64_t stored = 0;
  ASSERT_TRUE(f.store.GetInt64("lang/current", stored));
  EXPECT_EQ(stored, 2u);
  // Saved: a second store opened on the same folder reads it.
  cCIAppConfig again;
  ASSERT_TRUE(again.Open(twtest::U16(f.tmp.path()).c_str()));
  ASSERT_TRUE(again.GetInt64("lang/current", stored));
  EXPECT_EQ(stored, 2u);

  choose(3);  // the shown one again: nothing
  EXPECT_EQ(f.top->Count(&f.button, 7), 1);
}

}  // namespace
