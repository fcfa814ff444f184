// End to end under Wine: a skinned form with a panel and check boxes runs
// as a modal dialog through the window factory. A driver thread steers it
// with real input (SendInput) and uses sent actions as barriers; a worker
// posts progress while the form is up; faults inside handlers are logged
// and survived; a screenshot of the form is written as a PNG file.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <fstream>
#include <functional>
#include <iterator>
#include <regex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "base/sync.h"
#include "gui/custom_form.h"
#include "gui/panel.h"
#include "gui/wnd_lite.h"
#include "gui/window_maker.h"
#include "tests/base/scoped_env.h"
#include "tests/gui/png_file.h"
#include "tests/support/gui_e2e.h"
#include "tests/support/test_support.h"

namespace {

using namespace std::chrono_literals;

int* volatile g_null = nullptr;

constexpr int32_t kProgressKind = 8;
constexpr int32_t kThrowKind = 20;
constexpr int kProgressSteps = 20;

// What the test reads after the form is gone (the window deletes it).
struct Record {
  cEvent shown;
  std::atomic<HWND> dialog{nullptr};
  std::atomic<HWND> host{nullptr};
  std::vector<int32_t> progress;
  int toggles = 0;
  bool checkedA = false, checkedB = false;
  bool destroyed = false;
};

class ProgressAction : public cChildElement::cChildAction {
public:
  explicit ProgressAction(int32_t v) : cChildAction(kProgressKind), value(v) {}
  int32_t value;
};

// A focusable element whose key handler faults: T throws, N writes through
// a null pointer.
class FaultyChild : public cChildElement {
public:
  bool WantsTabStop() override { return true; }
  void OnKey(int32_t key, bool, bool, bool) override {
    if (key == 'T') throw std::runtime_error("thrown in a key handler");
    if (key == 'N') *g_null = key;
  }
  void Paint(cCanvas* canvas) override {
    const sRect r{0, 0, GetWidth(), GetHeight()};
    canvas->DrawRect(&r, HasFocus() ? 0x3060F0 : 0xC0C0C0, 0x000000);
  }
};

class TestForm : public cCustomForm {
public:
  explicit TestForm(Record* r) : record_(r) {}
  ~TestForm() override { record_->destroyed = true; }

  cCheckBoxChild boxA, boxB;
  FaultyChild faulty;

  void OnCreate() override {
    cCustomForm::OnCreate();
    GetClientPanel()->SetText(u"Progress 0%", -1, false);
    GetClientPanel()->verticalAlign_ = 1;
    GetClientPanel()->verticalMargin_ = 8;
    boxA.SetLabelText(u"Install the documents", 0, false);
    boxB.SetLabelText(u"Create a desktop shortcut", 0, false);
    GetClientPanel()->PlaceChild(&boxA, 20, 16, 260, 24);
    GetClientPanel()->PlaceChild(&boxB, 20, 48, 260, 24);
    GetClientPanel()->PlaceChild(&faulty, 20, 84, 120, 24);
  }
  bool OnShown() override {
    HWND host = twtest::HostWindowOf(this);
    record_->host = host;
    record_->dialog = ::GetParent(host);
    SetFocusTo(&boxA);
    record_->shown.Set();
    return true;
  }
  bool OnEscapeKey() override {
    record_->checkedA = boxA.IsChecked();
    record_->checkedB = boxB.IsChecked();
    EndModal(42);
    return true;
  }
  bool OnAction(cChildElement* sender, cChildAction* action) override {
    if (action == nullptr) return false;
    if (auto* p = dynamic_cast<ProgressAction*>(action)) {
      record_->progress.push_back(p->value);
      std::u16string text = u"Progress ";
      for (char c : std::to_string(p->value)) text.push_back(static_cast<char16_t>(c));
      text += u"%";
      GetClientPanel()->SetText(text.c_str(), -1, true);
      return true;
    }
    if (action->kind == kThrowKind && sender == this) throw std::runtime_error("thrown in OnAction");
    if (action->kind == 0 && (sender == &boxA || sender == &boxB)) {
      ++record_->toggles;
      return true;
    }
    return cCustomForm::OnAction(sender, action);
  }

private:
  Record* record_;
};

std::vector<std::string> ReadLog(const std::string& folder) {
  std::ifstream in(folder + "/_cwlerr.log", std::ios::binary);
  std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::vector<std::string> lines;
  std::string current;
  for (size_t i = 0; i + 1 < bytes.size(); i += 2) {
    current.push_back(bytes[i + 1] == 0 ? bytes[i] : '?');
    if (current.size() >= 2 && current.compare(current.size() - 2, 2, "\r\n") == 0) {
      lines.push_back(current);
      current.clear();
    }
  }
  if (!current.empty()) lines.push_back(current);
  return lines;
}

bool WellFormed(const std::string& line) {
  static const std::regex shape("^\\d{8}_\\d{6}: 0x[0-9A-F]{8} @ 0x[0-9A-F]+\r\n$");
  return std::regex_match(line, shape);
}

// Input through the system's queue, as a user's would arrive; up to 20 s
// for any one expected effect (twtest::kPatienceRounds): a loaded machine
// can be slow to deliver input, and only a lost effect should fail the test.
using twtest::ClickAt;
using twtest::kPatienceRounds;
using twtest::MoveTo;
using twtest::PressKey;

class Driver {
public:
  Driver(TestForm* form, Record* record, std::string logFolder)
      : form_(form), record_(record), logFolder_(std::move(logFolder)) {}

  // Runs work on the UI thread and returns when it has run.
  bool OnUi(std::function<void()> work) { return twtest::OnUi(form_, std::move(work)); }

  // Repeats a check on the UI thread until it holds (input arrives after
  // posted messages, so one barrier is not enough after SendInput).
  bool UiEventually(std::function<bool()> check) { return twtest::UiEventually(form_, check); }

  bool LogEventually(size_t lines) {
    for (int i = 0; i < kPatienceRounds; ++i) {
      if (ReadLog(logFolder_).size() >= lines) return ReadLog(logFolder_).size() == lines;
      std::this_thread::sleep_for(20ms);
    }
    return false;
  }

  void Run() {
    // However this ends, the dialog must end too, or the test would hang.
    twtest::cDialogCloser closer(record_->dialog);
    ASSERT_TRUE(twtest::WaitShown(record_->shown)) << "OnShown never ran";
    Steer();
  }

  void Steer() {
    // The worker reports while the form is up.
    std::thread worker([this] {
      for (int i = 1; i <= kProgressSteps; ++i) {
        form_->PostAction(new ProgressAction(i * 5));
        std::this_thread::sleep_for(5ms);
      }
    });
    ASSERT_TRUE(OnUi([this] {
      SetForegroundWindow(record_->dialog);
      ::SetFocus(record_->host);
    }));

    // Space toggles the focused check box.
    PressKey(VK_SPACE);
    EXPECT_TRUE(UiEventually([this] { return form_->boxA.IsChecked(); })) << "Space on the first box";

    // A click on the second box toggles it on release. (Check boxes take no
    // focus of their own: they are labels, which are not focusable; the
    // click leaves the focus with the panel.)
    POINT at{};
    ASSERT_TRUE(OnUi([&] {
      sPoint p;
      form_->boxB.GetScreenPos(&p);
      at = POINT{p.x + 8, p.y + 12};
    }));
    // The pointer first, until the form sees it over the box: a click sent
    // before the pointer has arrived could land elsewhere.
    EXPECT_TRUE(UiEventually([&] {
      if (form_->GetHoverElement() == &form_->boxB) return true;
      MoveTo(at);
      return false;
    })) << "the pointer over the second box";
    ClickAt(at);
    EXPECT_TRUE(UiEventually([this] { return form_->boxB.IsChecked() && !form_->boxA.HasFocus(); }))
        << "click on the second box";

    // A thrown object inside OnAction: one line, and the form goes on.
    form_->PostKind(kThrowKind);
    EXPECT_TRUE(LogEventually(1));
    EXPECT_TRUE(OnUi([] {})) << "still answering after the first fault";

    // Tab to the faulty element (the only tab stop), then a processor fault
    // in its key handler.
    PressKey(VK_TAB);
    EXPECT_TRUE(UiEventually([this] { return form_->faulty.HasFocus(); })) << "Tab moves on";
    PressKey('N');
    EXPECT_TRUE(LogEventually(2));
    // Shift+Tab wraps onto the same tab stop; a second click on the box
    // clears it: input still works after both faults.
    twtest::Chord(VK_SHIFT, VK_TAB);
    // Far enough from the first click not to be its double click: the
    // host drops a double-click message whose button is already up again,
    // as it is at once after SendInput.
    std::this_thread::sleep_for(std::chrono::milliseconds(GetDoubleClickTime() + 100));
    ClickAt(at);
    EXPECT_TRUE(UiEventually([this] { return !form_->boxB.IsChecked(); })) << "click after the faults";
    EXPECT_TRUE(OnUi([this] { EXPECT_FALSE(form_->faulty.HasFocus()) << "the click moved the focus"; }));

    worker.join();
    EXPECT_TRUE(UiEventually([this] { return record_->progress.size() == kProgressSteps; }));

    // The screenshot: repaint now, then copy the client area off the screen.
    EXPECT_TRUE(OnUi([this] { TakeScreenshot(); }));

    PressKey(VK_ESCAPE);
  }

  void TakeScreenshot() {
    HWND dialog = record_->dialog;
    twtest::RgbImage image;
    ASSERT_TRUE(twtest::CaptureClient(dialog, &image));
    RECT client{};
    GetClientRect(dialog, &client);
    ASSERT_EQ(image.width, client.right);
    EXPECT_GE(twtest::CountColours(image, 8), 4u) << "the form was painted";
    shotWritten = twtest::WriteFile("gui_form_e2e.png", twtest::EncodePng(image));
  }

  bool shotWritten = false;

private:
  TestForm* form_;
  Record* record_;
  std::string logFolder_;
};

TEST(FormEndToEnd, ModalFormWithInputWorkerFaultsAndScreenshot) {
  twtest::TempDir temp;
  twtest::ScopedEnv env("TEMP", temp.path().c_str());
  cWWMaker maker;
  ASSERT_TRUE(maker.RegisterClasses(nullptr, 0, 101));
  Record record;
  ASSERT_TRUE(record.shown.Create(nullptr, false, true));
  auto* form = new TestForm(&record);
  Driver driver(form, &record, temp.path());
  std::thread drive([&] { driver.Run(); });
  const int32_t code = maker.RunModalForm(u"Tarnwick form test", 420, 260, form, nullptr, false);
  drive.join();
  EXPECT_EQ(code, 42);
  EXPECT_TRUE(record.destroyed) << "the window deletes its form";
  EXPECT_TRUE(record.checkedA);
  EXPECT_FALSE(record.checkedB);
  EXPECT_EQ(record.toggles, 3);
  ASSERT_EQ(record.progress.size(), static_cast<size_t>(kProgressSteps));
  for (int i = 0; i < kProgressSteps; ++i) EXPECT_EQ(record.progress[i], (i + 1) * 5);
  const auto lines = ReadLog(temp.path());
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_TRUE(WellFormed(lines[0])) << lines[0];
  EXPECT_TRUE(WellFormed(lines[1])) << lines[1];
  EXPECT_NE(lines[0].find("0xE06D7363"), std::string::npos) << "the thrown object";
  EXPECT_NE(lines[1].find("0xC0000005"), std::string::npos) << "the access violation";
  EXPECT_TRUE(driver.shotWritten) << "gui_form_e2e.png in the build folder";
}

}  // namespace
