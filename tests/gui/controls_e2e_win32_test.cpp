// End to end under Wine: one form with every control of the toolkit's
// basic set (label, link, button, edit, combo box, toolbar with overflow,
// picture element, property display area, scroll bar) runs as a modal
// dialog. A driver thread steers it with real keys and clicks (SendInput),
// opens the combo's list and the toolbar's overflow list as real popup
// windows and chooses rows in them with the keyboard, copies and pastes
// through the system clipboard, and saves a screenshot.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "base/sync.h"
#include "gui/controls/button.h"
#include "gui/controls/combo.h"
#include "gui/controls/edit.h"
#include "gui/controls/link.h"
#include "gui/controls/picture_element.h"
#include "gui/controls/prop_area.h"
#include "gui/controls/scroll.h"
#include "gui/controls/toolbar.h"
#include "gui/custom_form.h"
#include "gui/language.h"
#include "gui/picture.h"
#include "gui/static_element.h"
#include "gui/window_maker.h"
#include "gui/wnd_lite.h"
#include "tests/gui/png_file.h"
#include "tests/support/gui_e2e.h"
#include "tests/support/test_support.h"

namespace {

using namespace std::chrono_literals;

struct Record {
  cEvent shown;
  std::atomic<HWND> dialog{nullptr};
  std::atomic<HWND> host{nullptr};
  std::atomic<bool> comboListOpen{false};
  std::atomic<bool> toolListOpen{false};
  int buttonClicks = 0;
  int linkClicks = 0;
  std::vector<int32_t> toolActions;
  int comboSelections = 0;
  std::vector<int32_t> areaHeights;
  std::u16string editText;
  int32_t comboSelected = -2;
  uint64_t scrollPos = 0;
  bool destroyed = false;
};

// The combo and toolbar tell the driver while their lists are open.
class TestCombo : public cComboBoxChild {
public:
  explicit TestCombo(Record* r) : record_(r) {}
  bool Key(int32_t key, bool shift, bool control, bool alt) override {
    record_->comboListOpen = key == VK_F4;
    const bool handled = cComboBoxChild::Key(key, shift, control, alt);
    record_->comboListOpen = false;
    return handled;
  }

private:
  Record* record_;
};

class TestToolbar : public cToolBarChild {
public:
  explicit TestToolbar(Record* r) : record_(r) {}
  bool OnAction(cChildElement* sender, cChildAction* action) override {
    record_->toolListOpen = sender == &Chevron();
    const bool handled = cToolBarChild::OnAction(sender, action);
    record_->toolListOpen = false;
    return handled;
  }

private:
  Record* record_;
};

class ControlsForm : public cCustomForm {
public:
  explicit ControlsForm(Record* r) : combo(r), toolbar(r), record_(r) {
    picture.Fill(0xFF2060C0, 48, 48);
  }
  ~ControlsForm() override { record_->destroyed = true; }

  cStaticElement label;
  cLinkElement link;
  cButtonChild button;
  cEditChild edit;
  TestCombo combo;
  TestToolbar toolbar;
  cPictureElement pictureElement;
  cPropDispAreaChild area;
  cHScroll bar;
  cPicture picture;

  void OnCreate() override {
    cCustomForm::OnCreate();
    cPanelChild* p = GetClientPanel();
    p->PlaceChild(&label, 16, 10, 220, 22);
    p->PlaceChild(&link, 250, 10, 150, 22);
    p->PlaceChild(&button, 16, 40, 90, 26);
    p->PlaceChild(&edit, 120, 42, 220, 22);
    p->PlaceChild(&combo, 16, 78, 200, 22);
    p->PlaceChild(&pictureElement, 360, 40, 48, 48);
    p->PlaceChild(&toolbar, 16, 112, 230, 26);
    p->PlaceChild(&area, 16, 148, 330, 70);
    p->PlaceChild(&bar, 16, 228, 330, 14);
    label.SetLabelText(u"Every control of the form", 0, false);
    link.SetLabelText(u"www.example.org", 0, false);
    button.SetCaption(u"Apply");
    button.SetTextAlignment(1, false);
    edit.SetHintText(u"Type here");
    combo.SetItem(1, u"Red", 10, -1);
    combo.SetItem(2, u"Green", 20, -1);
    combo.SetItem(3, u"Blue", 30, -1);
    toolbar.SetOverflowMode(2);
    for (int32_t id = 1; id <= 8; ++id) {
      const std::u16string text = u"Tool" + std::u16string(1, static_cast<char16_t>(u'0' + id));
      toolbar.SetButton(id, text.c_str(), -1);
    }
    pictureElement.SetPicture(&picture);
    area.SetTexts(u"Properties", u"A long description that needs more lines than the box has, so that the "
                                 u"area asks for a taller content and shows its vertical scroll bar. It goes "
                                 u"on for a while to be sure of that, line after line after line. And then a second "
                                 u"paragraph of the same kind follows, longer than the first one was, so that "
                                 u"no font on any machine fits it all into the seventy pixels of the box.");
    bar.SetRange(50);
  }
  bool OnShown() override {
    HWND host = twtest::HostWindowOf(this);
    record_->host = host;
    record_->dialog = ::GetParent(host);
    record_->shown.Set();
    return true;
  }
  bool OnEscapeKey() override {
    record_->editText = edit.GetText();
    record_->comboSelected = combo.GetSelectedId();
    record_->scrollPos = bar.GetPos();
    EndModal(42);
    return true;
  }
  bool OnAction(cChildElement* sender, cChildAction* action) override {
    if (action == nullptr) return false;
    if (auto* r = dynamic_cast<cPropDispAreaChild::cPropDispResizeAction*>(action)) {
      record_->areaHeights.push_back(r->height);
      area.SetContentHeight(r->height);
      return true;
    }
    if (auto* t = dynamic_cast<cToolBarChild::cTbButtonAction*>(action)) {
      record_->toolActions.push_back(t->id);
      return true;
    }
    if (sender == &button && action->kind == 0) return ++record_->buttonClicks, true;
    if (sender == &link && action->kind == 0) return ++record_->linkClicks, true;
    if (sender == &combo && action->kind == 7) return ++record_->comboSelections, true;
    return cCustomForm::OnAction(sender, action);
  }

private:
  Record* record_;
};

using twtest::Chord;
using twtest::ClickAt;
using twtest::MoveTo;
using twtest::PressKey;

class Driver {
public:
  Driver(ControlsForm* form, Record* record) : form_(form), record_(record) {}

  bool OnUi(std::function<void()> work) { return twtest::OnUi(form_, std::move(work)); }
  bool UiEventually(std::function<bool()> check) { return twtest::UiEventually(form_, check); }
  // Waits for a popup list to be open and to hold the keyboard focus.
  bool PopupFocused(std::atomic<bool>& open) {
    return UiEventually([&] {
      HWND focus = ::GetFocus();
      return open.load() && focus != nullptr && focus != record_->host.load();
    });
  }

  POINT ScreenPoint(cChildElement* e, int32_t dx, int32_t dy) {
    POINT at{};
    OnUi([&] {
      sPoint p;
      e->GetScreenPos(&p);
      at = POINT{p.x + dx, p.y + dy};
    });
    return at;
  }
  // Moves the pointer until the form sees it over e, then clicks.
  bool Click(cChildElement* e, int32_t dx, int32_t dy) {
    const POINT at = ScreenPoint(e, dx, dy);
    const bool over = UiEventually([&] {
      cChildElement* hover = form_->GetHoverElement();
      if (hover == e || (hover != nullptr && e->IsAncestorOf(hover))) return true;
      MoveTo(at);
      return false;
    });
    ClickAt(at);
    return over;
  }

  void Run() {
    struct sCloser {
      Record* r;
      ~sCloser() {
        // Lists left open first, then the form.
        for (int i = 0; i < 5 && (r->comboListOpen || r->toolListOpen); ++i) {
          PressKey(VK_ESCAPE);
          std::this_thread::sleep_for(200ms);
        }
        twtest::CloseDialogAtLast(r->dialog);
      }
    } closer{record_};
    ASSERT_TRUE(twtest::WaitShown(record_->shown)) << "OnShown never ran";
    Steer();
  }

  void Steer() {
    ASSERT_TRUE(OnUi([this] {
      SetForegroundWindow(record_->dialog);
      ::SetFocus(record_->host);
    }));
    // The button and the link, by mouse.
    EXPECT_TRUE(Click(&form_->button, 40, 12));
    EXPECT_TRUE(UiEventually([this] { return record_->buttonClicks == 1; })) << "button click";
    std::this_thread::sleep_for(std::chrono::milliseconds(GetDoubleClickTime() + 100));
    EXPECT_TRUE(Click(&form_->link, 10, 10));
    EXPECT_TRUE(UiEventually([this] { return record_->linkClicks == 1; })) << "link click";

    // The edit: focus by a click, typing, select all and copy, paste twice.
    std::this_thread::sleep_for(std::chrono::milliseconds(GetDoubleClickTime() + 100));
    EXPECT_TRUE(Click(&form_->edit, 20, 10));
    EXPECT_TRUE(UiEventually([this] { return form_->edit.HasFocus(); })) << "the edit takes the focus";
    for (WORD k : {'H', 'E', 'L', 'L', 'O'}) PressKey(k);
    EXPECT_TRUE(UiEventually([this] { return std::u16string(form_->edit.GetText()) == u"hello"; }));
    Chord(VK_CONTROL, 'A');
    EXPECT_TRUE(UiEventually([this] { return form_->edit.GetSelEnd() == 4; })) << "Ctrl+A";
    Chord(VK_CONTROL, 'C');
    PressKey(VK_END);
    Chord(VK_CONTROL, 'V');
    EXPECT_TRUE(UiEventually([this] { return std::u16string(form_->edit.GetText()) == u"hellohello"; }))
        << "copied and pasted through the system clipboard";
    PressKey(VK_LEFT);
    PressKey(VK_BACK);
    EXPECT_TRUE(UiEventually([this] { return std::u16string(form_->edit.GetText()) == u"hellohelo"; }));

    // The combo: focus, F4 opens the list as a popup window, Down and Enter
    // choose the first row.
    std::this_thread::sleep_for(std::chrono::milliseconds(GetDoubleClickTime() + 100));
    EXPECT_TRUE(Click(&form_->combo.Edit(), 20, 10));
    EXPECT_TRUE(UiEventually([this] { return form_->combo.Edit().HasFocus(); }));
    PressKey(VK_F4);
    ASSERT_TRUE(PopupFocused(record_->comboListOpen)) << "the combo's list opens and takes the focus";
    PressKey(VK_DOWN);
    PressKey(VK_RETURN);
    EXPECT_TRUE(UiEventually([this] { return !record_->comboListOpen && form_->combo.GetSelectedId() == 1; }))
        << "the first row chosen";
    EXPECT_TRUE(OnUi([this] { EXPECT_EQ(std::u16string(form_->combo.GetText()), u"Red"); }));
    // The arrow keys step on without the list.
    PressKey(VK_DOWN);
    EXPECT_TRUE(UiEventually([this] { return form_->combo.GetSelectedId() == 2; }));

    // The toolbar: the chevron opens the overflow list; Escape closes it
    // without a choice, then Down and Enter choose its first row.
    std::this_thread::sleep_for(std::chrono::milliseconds(GetDoubleClickTime() + 100));
    EXPECT_TRUE(Click(&form_->toolbar.Chevron(), 5, 8));
    ASSERT_TRUE(PopupFocused(record_->toolListOpen)) << "the overflow list opens";
    PressKey(VK_ESCAPE);
    EXPECT_TRUE(UiEventually([this] { return !record_->toolListOpen; })) << "Escape closes the list";
    std::this_thread::sleep_for(std::chrono::milliseconds(GetDoubleClickTime() + 100));
    EXPECT_TRUE(Click(&form_->toolbar.Chevron(), 5, 8));
    ASSERT_TRUE(PopupFocused(record_->toolListOpen));
    PressKey(VK_DOWN);
    PressKey(VK_RETURN);
    int32_t firstListed = -1;
    EXPECT_TRUE(OnUi([&] {
      const auto* n = form_->toolbar.OverflowRows().First();
      if (n != nullptr) firstListed = n->key;
    }));
    EXPECT_TRUE(UiEventually([&] { return record_->toolActions.size() == 1; })) << "a row of the list chosen";
    EXPECT_TRUE(OnUi([&] {
      ASSERT_EQ(record_->toolActions.size(), 1u);
      EXPECT_EQ(record_->toolActions[0], firstListed);
      EXPECT_GT(firstListed, 1) << "an overflowed button";
    }));

    // The scroll bar's forward arrow, twice (apart, not a double click).
    std::this_thread::sleep_for(std::chrono::milliseconds(GetDoubleClickTime() + 100));
    EXPECT_TRUE(Click(&form_->bar, 330 - 4, 7));
    EXPECT_TRUE(UiEventually([this] { return form_->bar.GetPos() == 1; })) << "forward arrow";
    // The property area asked for its content height and shows its bar.
    EXPECT_TRUE(UiEventually([this] { return form_->area.VBar().IsVisible(); }))
        << "heights asked: " << record_->areaHeights.size() << " last "
        << (record_->areaHeights.empty() ? -1 : record_->areaHeights.back()) << " area " << form_->area.GetWidth()
        << "x" << form_->area.GetHeight();

    EXPECT_TRUE(OnUi([this] { TakeScreenshot(); }));
    PressKey(VK_ESCAPE);
  }

  void TakeScreenshot() {
    twtest::RgbImage image;
    ASSERT_TRUE(twtest::CaptureClient(record_->dialog, &image));
    EXPECT_GE(twtest::CountColours(image, 16), 8u) << "the controls were painted";
    shotWritten = twtest::WriteFile("gui_controls_e2e.png", twtest::EncodePng(image));
  }

  bool shotWritten = false;

private:
  ControlsForm* form_;
  Record* record_;
};

TEST(ControlsEndToEnd, EveryControlDrivenByKeysAndClicks) {
  static cWEKTLang builtin;
  ASSERT_TRUE(SetCurrentLanguage(0));
  cWWMaker maker;
  ASSERT_TRUE(maker.RegisterClasses(nullptr, 0, 101));
  Record record;
  ASSERT_TRUE(record.shown.Create(nullptr, false, true));
  auto* form = new ControlsForm(&record);
  Driver driver(form, &record);
  std::thread drive([&] { driver.Run(); });
  const int32_t code = maker.RunModalForm(u"Tarnwick controls test", 480, 330, form, nullptr, false);
  drive.join();
  EXPECT_EQ(code, 42);
  EXPECT_TRUE(record.destroyed);
  EXPECT_EQ(record.buttonClicks, 1);
  EXPECT_EQ(record.linkClicks, 1);
  EXPECT_EQ(record.editText, u"hellohelo");
  EXPECT_EQ(record.comboSelected, 2);
  EXPECT_EQ(record.comboSelections, 2) << "the list's choice and the Down key";
  EXPECT_EQ(record.scrollPos, 1u);
  EXPECT_TRUE(driver.shotWritten) << "gui_controls_e2e.png in the build folder";
}

}  // namespace
