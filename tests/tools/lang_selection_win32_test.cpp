// Under Wine: the language selection form as a top window through the
// window factory. A driver thread switches it through every language (the
// form re-translates itself at once), writes a screenshot of each as
// tools_lang_form_<CODE>.png in the build folder, then picks German with
// real key input and Enter, which ends ShowLanguageSelection with its id.
#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <string>
#include <thread>

#include "gui/language.h"
#include "gui/window_maker.h"
#include "gui/wnd_lite.h"
#include "tests/gui/png_file.h"
#include "tests/support/gui_e2e.h"
#include "tests/support/test_support.h"
#include "tools/app_language.h"
#include "tools/lang_selection.h"

namespace {

using namespace std::chrono_literals;

// The factory of the program, which also hands the form to the driver.
class cSpyMaker : public cWWMaker {
public:
  int32_t RunModalForm(const char16_t* title, int32_t width, int32_t height, cChildElement* form,
                       cWindowRequestTarget* owner, bool resizable) override {
    size = std::to_string(width) + "x" + std::to_string(height) + (resizable ? " resizable" : " fixed");
    shown = static_cast<cLangSelectionForm*>(form);
    return cWWMaker::RunModalForm(title, width, height, form, owner, resizable);
  }
  std::atomic<cLangSelectionForm*> shown{nullptr};
  std::string size;
};

using twtest::kPatienceRounds;  // 20 s for any one effect

struct sDriver {
  cSpyMaker* maker = nullptr;
  cLangSelectionForm* form = nullptr;
  HWND host = nullptr;
  std::vector<std::string> written;

  bool OnUi(std::function<void()> work) { return twtest::OnUi(form, std::move(work)); }
  bool UiEventually(std::function<bool()> check) { return twtest::UiEventually(form, check); }

  void Shot(const std::string& name) {
    twtest::RgbImage image;
    ASSERT_TRUE(twtest::CaptureClient(host, &image)) << name;
    int titleInk = 0;
    for (int32_t y = 25; y < 50 && y < image.height; ++y) {
      for (int32_t x = 0; x < image.width; ++x) {
        const uint8_t* p = &image.rgb[(static_cast<size_t>(y) * image.width + x) * 3];
        if ((uint32_t{p[0]} << 16 | uint32_t{p[1]} << 8 | p[2]) != 0xE7E7E7) ++titleInk;
      }
    }
    EXPECT_GT(titleInk, 50) << name << ": the title was drawn";
    if (twtest::WriteFile(name, twtest::EncodePng(image))) written.push_back(name);
  }

  void Run() {
    struct sCloser {
      sDriver* d;
      ~sCloser() {
        if (d->host != nullptr && IsWindow(::GetParent(d->host))) {
          for (int i = 0; i < 250 && IsWindow(::GetParent(d->host)); ++i) std::this_thread::sleep_for(20ms);
          if (IsWindow(::GetParent(d->host))) PostMessageW(::GetParent(d->host), WM_CLOSE, 0, 0);
        }
      }
    } closer{this};
    for (int i = 0; i < kPatienceRounds && (form = maker->shown.load()) == nullptr; ++i)
      std::this_thread::sleep_for(20ms);
    ASSERT_NE(form, nullptr) << "the form was never shown";
    ASSERT_TRUE(UiEventually([&] {
      cWindowRequestTarget* t = form->GetHost();
      if (t == nullptr || t->GetWindow() == nullptr || !form->IsAttached()) return false;
      host = static_cast<HWND>(t->GetWindow()->GetHandle());
      return host != nullptr;
    })) << "the form's window";

    // Every language of the list, in list order: the row applies it, the
    // form shows it at once.
    const int32_t ids[] = {0, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12};
    for (int row = 0; row < 12; ++row) {
      const int32_t id = ids[row];
      ASSERT_TRUE(OnUi([&] {
        form->Grid().SelectRow(row, true);
        sRect cell;  // shown in the screenshot, as a key press would scroll it
        if (form->Grid().GetCellRect(row, &cell)) form->Grid().ScrollRectIntoView(cell, true, false);
      }));
      // The grid's offset follows its bar one turn of the loop later.
      ASSERT_TRUE(UiEventually([&] {
        sRect cell;
        cLangsGrid& grid = form->Grid();
        return GetCurrentLanguage() == id && grid.GetCellRect(row, &cell) && cell.y >= grid.GetScrollY() &&
               cell.y + cell.height <= grid.GetScrollY() + grid.GetHeight();
      })) << id;
      std::u16string start;
      ASSERT_TRUE(OnUi([&] { start = form->StartButton().GetText(); }));
      EXPECT_EQ(start, GetLanguageText("pkgm::langs", 2)) << id;
      std::string code = twtest::Narrow(GetLanguageCode3(id));
      ASSERT_TRUE(OnUi([&] { Shot("tools_lang_form_" + code + ".png"); }));
    }

    // German's row, then Enter as real input through the system's queue.
    ASSERT_TRUE(OnUi([&] {
      form->Grid().SelectRow(1, true);
      SetForegroundWindow(::GetParent(host));
      ::SetFocus(host);
    }));
    ASSERT_TRUE(UiEventually([&] { return GetCurrentLanguage() == 2 && ::GetFocus() == host; }))
        << "German, and the keyboard on the form";
    twtest::PressKey(VK_RETURN);
  }
};

TEST(LangSelectionWine, EveryLanguageShownThenEnterChoosesTheSelectedOne) {
  static cWEKTLang toolkit;
  RegisterPackageLanguages();
  ASSERT_TRUE(ApplyLanguage(0));
  cSpyMaker maker;
  maker.sectionMap = &GetLanguageSections();
  ASSERT_TRUE(maker.RegisterClasses(nullptr, 0, 101));
  sDriver driver;
  driver.maker = &maker;
  cSimpleList<int32_t> ids;
  for (int32_t id : {0, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12}) ids.Append(id);
  std::thread drive([&] { driver.Run(); });
  const int32_t chosen = ShowLanguageSelection(&ids, 0, u"demo", nullptr, &maker);
  drive.join();
  EXPECT_EQ(maker.size, "400x370 fixed");
  EXPECT_EQ(chosen, 2);
  EXPECT_EQ(driver.written.size(), 12u) << "tools_lang_form_*.png in the build folder";
}

}  // namespace
