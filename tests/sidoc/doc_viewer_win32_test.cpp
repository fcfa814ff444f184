// The document viewer in a real window under Wine: a compiled document with
// links is loaded and shown in a modal form; a driver thread clicks a link
// and scrolls with real keys (SendInput), and the scrolled view is saved as
// a screenshot (sidoc_doc_viewer.png in the build folder).
#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "base/sync.h"
#include "gui/custom_form.h"
#include "gui/mem_canvas.h"
#include "gui/panel.h"
#include "gui/picture.h"
#include "gui/win_canvas.h"
#include "gui/window_maker.h"
#include "gui/wnd_lite.h"
#include "sidoc/doc_viewer.h"
#include "sidoc/loader.h"
#include "tests/base/scoped_env.h"
#include "tests/gui/png_file.h"
#include "tests/sidoc/doc_bytes.h"
#include "tests/support/gui_e2e.h"
#include "tests/support/test_support.h"

namespace {

using namespace std::chrono_literals;
using namespace doctest;

constexpr uint32_t kLinkColour = 0xC03000;  // 0x00BBGGRR: a strong blue

// 60 lines; line 1 and line 8 carry a link to the same address.
Bytes DocumentBytes() {
  Bytes records = Box(0);
  for (int i = 0; i < 60; ++i) {
    Head h;
    h.brk = 1;
    if (i == 1 || i == 8) {
      records = Cat({records, Text("Read the", 0xFFFF, 0xFFFFFFFF, h), Link("release notes", 0, 0xFFFF, kLinkColour),
                     Text("first.")});
    } else {
      records = Cat({records, Text("Line " + std::to_string(i) + " of the licence text.", 0xFFFF, 0xFFFFFFFF, h)});
    }
  }
  records = Cat({records, kEnd, kEnd});
  Doc d;
  d.bodies = {{0, records}};
  d.strings = StringEntry("https://notes.example/release");
  return d.Build();
}

class RecordingViewer : public cSiDocViewer {
public:
  bool OpenLink(const char16_t* target) override {
    opened.push_back(target != nullptr ? target : u"");
    return true;
  }
  std::vector<std::u16string> opened;
};

struct Record {
  cEvent shown;
  std::atomic<HWND> dialog{nullptr};
  std::atomic<HWND> host{nullptr};
};

class ViewerForm : public cCustomForm {
public:
  ViewerForm(Record* r, cSiDocBox* root) : record_(r), root_(root) {}
  RecordingViewer viewer;

  void OnCreate() override {
    cCustomForm::OnCreate();
    GetClientPanel()->PlaceChild(&viewer, 8, 8, -9, -9);
    viewer.SetDocument(root_);
  }
  bool OnShown() override {
    record_->host = twtest::HostWindowOf(this);
    record_->dialog = ::GetParent(record_->host);
    SetFocusTo(&viewer);
    record_->shown.Set();
    return true;
  }
  bool OnEscapeKey() override {
    EndModal(7);
    return true;
  }
  ~ViewerForm() override { GetClientPanel()->RemoveChild(&viewer); }

private:
  Record* record_;
  cSiDocBox* root_;
};

// Up to 20 s for any one effect (twtest::kPatienceRounds): a loaded machine
// can be slow to deliver input; only a lost effect fails.
using twtest::ClickAt;
using twtest::MoveTo;
using twtest::PressKey;

class Driver {
public:
  Driver(ViewerForm* form, Record* record) : form_(form), record_(record) {}

  bool OnUi(std::function<void()> work) { return twtest::OnUi(form_, std::move(work)); }
  bool UiEventually(std::function<bool()> check) { return twtest::UiEventually(form_, check); }

  void Run() {
    twtest::cDialogCloser closer(record_->dialog);
    ASSERT_TRUE(twtest::WaitShown(record_->shown)) << "OnShown never ran";
    Steer();
  }

  void Steer() {
    RecordingViewer& v = form_->viewer;
    ASSERT_TRUE(OnUi([this] {
      SetForegroundWindow(record_->dialog);
      ::SetFocus(record_->host);
    }));
    // The first paint renders the document and sets the scroll range.
    ASSERT_TRUE(UiEventually([&] { return v.HasRendering() && v.VBar().GetRange() > 0; }));
    const char16_t* target = nullptr;
    POINT at{};
    ASSERT_TRUE(OnUi([&] {
      for (int32_t y = 0; y < v.GetHeight() && target == nullptr; y += 2)
        for (int32_t x = 0; x < v.GetWidth() && target == nullptr; x += 2)
          if ((target = v.HitTest(x, y)) != nullptr) {
            sPoint p;
            v.GetScreenPos(&p);
            at = POINT{p.x + x + 2, p.y + y + 2};
          }
    }));
    ASSERT_NE(target, nullptr) << "a link on the first page";
    // Pointer over the link until the viewer sees it (hand cursor), then a
    // click opens it.
    EXPECT_TRUE(UiEventually([&] {
      if (v.GetCursor() == 3) return true;
      MoveTo(at);
      return false;
    })) << "hand cursor over the link";
    ClickAt(at);
    EXPECT_TRUE(UiEventually([&] { return v.opened.size() == 1; })) << "the click opened the link";
    EXPECT_TRUE(OnUi([&] {
      ASSERT_EQ(v.opened.size(), 1u);
      EXPECT_EQ(v.opened[0], u"https://notes.example/release");
    }));

    // Keys: End to the bottom, Home back, then three lines down.
    uint64_t range = 0;
    ASSERT_TRUE(OnUi([&] { range = v.VBar().GetRange(); }));
    PressKey(VK_END);
    EXPECT_TRUE(UiEventually([&] { return v.GetScrollY() == static_cast<int32_t>(range); })) << "End";
    PressKey(VK_HOME);
    EXPECT_TRUE(UiEventually([&] { return v.GetScrollY() == 0; })) << "Home";
    for (int i = 0; i < 3; ++i) PressKey(VK_DOWN);
    EXPECT_TRUE(UiEventually([&] { return v.GetScrollY() == 45; })) << "three lines of 15";
    EXPECT_TRUE(OnUi([&] { EXPECT_TRUE(v.HasRendering()) << "scrolling keeps the rendering"; }));
    EXPECT_TRUE(OnUi([this] { TakeScreenshot(); }));
    PressKey(VK_ESCAPE);
  }

  void TakeScreenshot() {
    twtest::RgbImage image;
    ASSERT_TRUE(twtest::CaptureClient(record_->dialog, &image));
    const uint32_t link = tw::ColourToPixel(kLinkColour) & 0xFFFFFF;
    int linkPixels = 0, textPixels = 0;
    for (size_t i = 0; i + 2 < image.rgb.size(); i += 3) {
      const uint32_t p = uint32_t{image.rgb[i]} << 16 | uint32_t{image.rgb[i + 1]} << 8 | image.rgb[i + 2];
      if (p == link) ++linkPixels;
      if (p == 0) ++textPixels;
    }
    EXPECT_GT(textPixels, 100) << "black text painted";
    EXPECT_GT(linkPixels, 10) << "the link's colour painted (line 8 stays in view)";
    shotWritten = twtest::WriteFile("sidoc_doc_viewer.png", twtest::EncodePng(image));
  }

  bool shotWritten = false;

private:
  ViewerForm* form_;
  Record* record_;
};

TEST(DocViewerWindow, LinkClickAndKeyScrollingInARealWindow) {
  twtest::TempDir temp;
  twtest::ScopedEnv env("TEMP", temp.path().c_str());
  const Bytes bytes = DocumentBytes();
  cSiDocLoader loader;
  ASSERT_TRUE(LoadCompiledDocument(bytes.data(), static_cast<uint32_t>(bytes.size()), &loader));
  cSiDocContainer* root = loader.GetContainer(0);
  ASSERT_NE(root, nullptr);
  cWWMaker maker;
  ASSERT_TRUE(maker.RegisterClasses(nullptr, 0, 101));
  Record record;
  ASSERT_TRUE(record.shown.Create(nullptr, false, true));
  auto* form = new ViewerForm(&record, root);
  Driver driver(form, &record);
  std::thread drive([&] { driver.Run(); });
  const int32_t code = maker.RunModalForm(u"Tarnwick document viewer test", 460, 320, form, nullptr, false);
  drive.join();
  EXPECT_EQ(code, 7);
  EXPECT_TRUE(driver.shotWritten) << "sidoc_doc_viewer.png in the build folder";
}

}  // namespace
