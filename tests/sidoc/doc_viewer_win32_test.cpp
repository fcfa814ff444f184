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
#include "tests/support/test_support.h"

namespace {

using namespace std::chrono_literals;
using namespace doctest;

constexpr int32_t kBarrierKind = 9;
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

class Barrier : public cChildElement::cSentChildAction {
public:
  explicit Barrier(std::function<void()> work) : cSentChildAction(kBarrierKind), work_(std::move(work)) {}
  void Run() { work_(); }

private:
  std::function<void()> work_;
};

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
    record_->host = static_cast<HWND>(GetHost()->GetWindow()->GetHandle());
    record_->dialog = ::GetParent(record_->host);
    SetFocusTo(&viewer);
    record_->shown.Set();
    return true;
  }
  bool OnEscapeKey() override {
    EndModal(7);
    return true;
  }
  bool OnAction(cChildElement* sender, cChildAction* action) override {
    if (auto* b = dynamic_cast<Barrier*>(action)) {
      b->Run();
      return true;
    }
    return cCustomForm::OnAction(sender, action);
  }
  ~ViewerForm() override { GetClientPanel()->RemoveChild(&viewer); }

private:
  Record* record_;
  cSiDocBox* root_;
};

void PressKey(WORD key) {
  INPUT in[2] = {};
  in[0].type = in[1].type = INPUT_KEYBOARD;
  in[0].ki.wVk = in[1].ki.wVk = key;
  in[1].ki.dwFlags = KEYEVENTF_KEYUP;
  SendInput(2, in, sizeof(INPUT));
}

INPUT MouseAt(POINT p, DWORD flags) {
  const int w = GetSystemMetrics(SM_CXSCREEN), h = GetSystemMetrics(SM_CYSCREEN);
  INPUT in = {};
  in.type = INPUT_MOUSE;
  in.mi.dx = static_cast<LONG>(p.x * 65535LL / (w - 1));
  in.mi.dy = static_cast<LONG>(p.y * 65535LL / (h - 1));
  in.mi.dwFlags = MOUSEEVENTF_ABSOLUTE | flags;
  return in;
}

// Up to 20 s for any one effect: a loaded machine can be slow to deliver
// input; only a lost effect fails.
constexpr int kPatienceRounds = 1000;

class Driver {
public:
  Driver(ViewerForm* form, Record* record) : form_(form), record_(record) {}

  bool OnUi(std::function<void()> work) { return form_->SendAction(new Barrier(std::move(work))); }
  bool UiEventually(std::function<bool()> check) {
    for (int i = 0; i < kPatienceRounds; ++i) {
      bool ok = false;
      if (!OnUi([&] { ok = check(); })) return false;
      if (ok) return true;
      std::this_thread::sleep_for(20ms);
    }
    return false;
  }

  void Run() {
    struct sCloser {
      Record* r;
      ~sCloser() {
        HWND d = r->dialog;
        for (int i = 0; i < 250 && d != nullptr && IsWindow(d); ++i) std::this_thread::sleep_for(20ms);
        if (d != nullptr && IsWindow(d)) PostMessageW(d, WM_CLOSE, 0, 0);
      }
    } closer{record_};
    bool shown = false;
    for (int i = 0; i < 1000 && !shown; ++i) {
      shown = record_->shown.Poll();
      if (!shown) std::this_thread::sleep_for(10ms);
    }
    ASSERT_TRUE(shown) << "OnShown never ran";
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
      INPUT move = MouseAt(at, MOUSEEVENTF_MOVE);
      SendInput(1, &move, sizeof(INPUT));
      return false;
    })) << "hand cursor over the link";
    INPUT click[2] = {MouseAt(at, MOUSEEVENTF_LEFTDOWN), MouseAt(at, MOUSEEVENTF_LEFTUP)};
    SendInput(2, click, sizeof(INPUT));
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
    HWND dialog = record_->dialog;
    RedrawWindow(dialog, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
    RECT client{};
    GetClientRect(dialog, &client);
    HDC dc = GetDC(dialog);
    cWOffscreenCanvas shot;
    cPicture picture;
    const bool copied =
        shot.BeginOffscreen(dc, client.right, client.bottom, 0, 0) && shot.CopyToPicture(&picture, nullptr);
    ReleaseDC(dialog, dc);
    ASSERT_TRUE(copied);
    twtest::RgbImage image;
    image.width = picture.GetWidth();
    image.height = picture.GetHeight();
    int linkPixels = 0, textPixels = 0;
    for (int32_t y = 0; y < image.height; ++y) {
      const uint32_t* row = picture.GetPixels() + (image.height - 1 - y) * image.width;
      for (int32_t x = 0; x < image.width; ++x) {
        const uint32_t p = row[x] & 0xFFFFFF;
        image.rgb.push_back(static_cast<uint8_t>(p >> 16));
        image.rgb.push_back(static_cast<uint8_t>(p >> 8));
        image.rgb.push_back(static_cast<uint8_t>(p));
        if (p == (tw::ColourToPixel(kLinkColour) & 0xFFFFFF)) ++linkPixels;
        if (p == 0) ++textPixels;
      }
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
