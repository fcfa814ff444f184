// The installation wizard in real windows under Wine: a driver thread finds
// the wizard's window, posts keys and mouse clicks to it as a user would,
// saves a screenshot of each page it passes and answers the message boxes;
// the end state is then read from the disk, the store and the registry with
// the silent installation tests' own checks.
//
// The installer job is held at chosen steps through its step hook, so that
// the installation page is photographed, Escape meets a running unpack and a
// held file is met, whatever the machine's speed. Every wait is bounded;
// when a step fails the driver closes the windows so the test fails instead
// of hanging.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "base/fileio.h"
#include "gui/language.h"
#include "gui/picture.h"
#include "gui/win_canvas.h"
#include "gui/window_maker.h"
#include "base/memio.h"
#include "sidoc/box.h"
#include "sidoc/compiler.h"
#include "sidoc/loader.h"
#include "tests/gui/png_file.h"
#include "tests/support/capture.h"
#include "tests/support/gui_e2e.h"
#include "tests/support/install_fixture.h"
#include "tools/app_language.h"
#include "tools/install_context.h"
#include "tools/install_start.h"
#include "tools/installer_job.h"
#include "tools/manager_location.h"
#include "tools/version_record.h"
#include "tools/wizard.h"
#include "tools/wizard_art.h"

using namespace std::chrono_literals;
using twtest::FileContent;
using twtest::Noise;
using twtest::sPackageSpec;
using twtest::U16;
namespace fs = std::filesystem;

namespace {

constexpr int kPatienceRounds = 6000;  // 20 ms each
const char16_t kTitle[] = u"Tarn App software installer";

bool Eventually(const std::function<bool()>& check) { return twtest::Eventually(check, kPatienceRounds) || check(); }

// The installer job waits at one step (name and entry index) until the
// driver lets it go.
std::atomic<const char*> sHoldStep{nullptr};
std::atomic<int32_t> sHoldIndex{0};
std::atomic<bool> sHeld{false};
std::atomic<bool> sRelease{false};

void HoldingHook(const char* step, int32_t index) {
  const char* hold = sHoldStep.load();
  if (hold == nullptr || std::string(step) != hold || index != sHoldIndex.load()) return;
  sHeld = true;
  for (int i = 0; i < kPatienceRounds && !sRelease.load(); ++i) std::this_thread::sleep_for(20ms);
}

void HoldAt(const char* step, int32_t index) {
  sHeld = false;
  sRelease = false;
  sHoldIndex = index;
  sHoldStep = step;
  SetInstallerStepHook(HoldingHook);
}

using twtest::PostKey;
using twtest::ThreadWindows;

std::u16string TitleOf(HWND w) {
  wchar_t text[256] = {};
  GetWindowTextW(w, text, 255);
  std::u16string out;
  for (const wchar_t* p = text; *p != 0; ++p) out.push_back(static_cast<char16_t>(*p));
  return out;
}

// A click at a client point of the dialog's element window.
void PostClick(HWND dialog, int32_t x, int32_t y) { twtest::PostClick(twtest::HostOf(dialog), x, y); }

void Put(tPkgStringTable& table, const char16_t* key, const std::u16string& value) {
  cPackedKey k;
  k.FromWide(key, -1);
  table.FindOrInsert(std::move(k))->Assign(value.c_str());
}

class WizardWindow : public twtest::InstallTest {
protected:
  void SetUp() override {
    twtest::InstallTest::SetUp();
    static cWEKTLang builtin;
    RegisterPackageLanguages();
    ASSERT_TRUE(ApplyLanguage(0));
    ASSERT_TRUE(maker_.RegisterClasses(nullptr, 0, 101));
    maker_.sectionMap = &GetLanguageSections();
  }
  void TearDown() override {
    SetInstallerStepHook(nullptr);
    sHoldStep = nullptr;
    context_.reset();
    twtest::InstallTest::TearDown();
  }

  void Prepare(const sPackageSpec& pkg, bool documents) {
    const std::string package = WritePackage(pkg);
    store_ = OpenStore();
    context_ = std::make_unique<sInstallContext>();
    context_->programPath.Assign(U16(program_).c_str());
    context_->packagePath.Assign(U16(package).c_str());
    context_->store = store_.get();
    ASSERT_EQ(LoadInstallPackage(*context_), 0);
    context_->description.GetLanguages(context_->languages);
    context_->description.SelectLanguage(0);
    ASSERT_EQ(PreInstallCheck(*context_), 0);
    if (documents) {
      // The example product's readme and licence, and a welcome document
      // whose link starts the marker helper.
      linkMarker_ = tmp_.path() + "/link.txt";
      const std::string welcome = tmp_.path() + "/docs/welcome.idx";
      fs::create_directories(fs::u8path(tmp_.path() + "/docs"));
      std::ofstream(fs::u8path(welcome)) << "ENG = \"./welcome_en.txt\"\n";
      std::string helper = twtest::BinaryPath("tw_fake_uninstaller.exe");
      std::replace(helper.begin(), helper.end(), '\\', '/');
      std::ofstream(fs::u8path(tmp_.path() + "/docs/welcome_en.txt"))
          << "<text mb=6><b>Welcome to Tarn App</b></text>\nThis test installs Tarn App.<br>\n"
          << "<link ref=\"" << helper << " mark " << linkMarker_ << "\">Start the helper</link>\n";
      ASSERT_TRUE(CompileInto(welcome, context_->description.welcome));
      ASSERT_TRUE(CompileInto(twtest::SourcePath("examples/demo/docs/readme.idx"), context_->description.readme));
      ASSERT_TRUE(CompileInto(twtest::SourcePath("examples/demo/docs/licence.idx"), context_->description.eula));
      context_->description.readmeConfirm = 1;
    }
  }

  static bool CompileInto(const std::string& index, sPkgDocument& document) {
    tLanguageCodeMap codes(kPackedKeyDepthLimit);
    cMemIOTarget out;
    cDocCompileError error;
    if (!CompileDocument(&codes, U16(index).c_str(), &out, &error)) {
      ADD_FAILURE() << (error.message.text != nullptr ? error.message.text : "") << " line " << error.line;
      return false;
    }
    if (!out.CopyToBuffer(document.bytes)) return false;
    return LoadCompiledDocument(document.bytes.data, static_cast<uint32_t>(document.bytes.count), &document.loader);
  }

  // A run entry, ticked, that starts the marker helper.
  std::string AddMarkerRunEntry() {
    const std::string marker = tmp_.path() + "/started.txt";
    cSOPKGDescription& d = context_->description;
    Put(d.commonTable, u"run_args", U16("mark \"" + marker + "\""));
    Put(d.commonTable, u"run_caption", u"Start the marker");
    sRunItem* r = d.AddRunEntry();
    r->captionKey.Assign(u"run_caption");
    r->relativePath.Assign(U16(twtest::BinaryPath("tw_fake_uninstaller.exe")).c_str());
    r->argumentsKey.Assign(u"run_args");
    r->flag = 1;
    return marker;
  }

  // Runs the wizard on this thread while drive runs on another with the
  // wizard's window; the window's end code.
  int32_t RunDriven(const std::function<void(HWND)>& drive) {
    auto* wizard = new cInstWizard(context_.get());
    wizard_ = wizard;
    const DWORD thread = GetCurrentThreadId();
    std::atomic<bool> done{false};
    std::thread driver([&] {
      HWND dialog = nullptr;
      const bool found = Eventually([&] {
        for (HWND w : ThreadWindows(thread))
          if (TitleOf(w) == kTitle) dialog = w;
        return dialog != nullptr;
      });
      EXPECT_TRUE(found) << "the wizard's window never showed";
      if (found) drive(dialog);
      done = true;
      // Whatever happened, the windows go, so the modal loops return.
      if (dialog != nullptr && !Eventually([&] { return !IsWindow(dialog); })) {
        ADD_FAILURE() << "the wizard was left open";
        sRelease = true;
        for (int i = 0; i < 3000 && IsWindow(dialog); ++i) {
          if (i % 50 == 0)
            for (HWND w : ThreadWindows(thread)) PostMessageW(w, WM_CLOSE, 0, 0);
          std::this_thread::sleep_for(20ms);
        }
      }
    });
    const int32_t code = maker_.RunModalForm(kTitle, tw::kWizardWidth, tw::kWizardHeight, wizard, nullptr, false);
    driver.join();
    return code;
  }

  // Runs work on the UI thread and waits for it.
  bool OnUi(std::function<void()> work) { return twtest::OnUi(wizard_, std::move(work)); }
  int32_t Kind() {
    int32_t kind = -2;
    OnUi([&] { kind = wizard_->CurrentKind(); });
    return kind;
  }
  bool WaitKind(int32_t kind) {
    return Eventually([&] { return Kind() == kind; });
  }
  // The first window of the UI thread other than the wizard (a message
  // box); its text is checked by the caller through its title.
  HWND WaitBox(HWND dialog) {
    HWND box = nullptr;
    Eventually([&] {
      for (HWND w : ThreadWindows(GetWindowThreadProcessId(dialog, nullptr)))
        if (w != dialog) box = w;
      return box != nullptr;
    });
    return box;
  }

  cWWMaker maker_;
  std::string linkMarker_;
  std::unique_ptr<sInstallContext> context_;
  cInstWizard* wizard_ = nullptr;
};

sPackageSpec Spec() {
  sPackageSpec s;
  s.files["app.exe"] = Noise(400000, 31);
  s.files["readme.txt"] = "version one";
  s.files["data/a.dat"] = Noise(6000, 32);
  return s;
}

// Every page from the welcome document to the finish page by keys and
// clicks; Close starts the ticked run entry; the end state is the silent
// installation's.
TEST_F(WizardWindow, FirstInstallationByKeysAndClicks) {
  const sPackageSpec pkg = Spec();
  Prepare(pkg, true);
  const std::string marker = AddMarkerRunEntry();
  bool shots[6] = {};
  const int32_t code = RunDriven([&](HWND dialog) {
    ASSERT_TRUE(WaitKind(tw::kPageWelcome));
    shots[0] = twtest::SaveScreenshot(dialog, "tools_wizard_welcome.png", 6);
    // The link: found by the viewer's own hit test, then clicked.
    int32_t linkX = -1, linkY = -1;
    ASSERT_TRUE(Eventually([&] {
      OnUi([&] {
        cSiDocViewer& viewer = wizard_->Viewer(0);
        for (int32_t y = 0; y < viewer.GetHeight() && linkX < 0; y += 2)
          for (int32_t x = 0; x < viewer.GetWidth() && linkX < 0; x += 4)
            if (viewer.HitTest(x, y) != nullptr) linkX = viewer.GetX() + x + 2, linkY = viewer.GetY() + y + 1;
      });
      return linkX >= 0;
    })) << "the welcome document shows its link";
    PostClick(dialog, linkX, linkY);
    EXPECT_TRUE(Eventually([&] { return FileContent(linkMarker_) == "started"; })) << "the link started its helper";
    PostKey(dialog, VK_RETURN);
    ASSERT_TRUE(WaitKind(tw::kPageReadme));
    PostKey(dialog, VK_RETURN);  // refused: the agreement is not given
    PostClick(dialog, 193 + 5, 369 + 5);
    ASSERT_TRUE(Eventually([&] {
      bool checked = false;
      OnUi([&] { checked = wizard_->ReadmeBox().IsChecked() && wizard_->NextButton().IsEnabled(); });
      return checked;
    })) << "a click on the agreement box checks it";
    EXPECT_EQ(Kind(), tw::kPageReadme);
    shots[1] = twtest::SaveScreenshot(dialog, "tools_wizard_readme.png", 6);
    PostKey(dialog, VK_RETURN);
    ASSERT_TRUE(WaitKind(tw::kPageEula));
    PostClick(dialog, 193 + 5, 369 + 5);
    // The Next button, clicked.
    ASSERT_TRUE(Eventually([&] {
      bool enabled = false;
      OnUi([&] { enabled = wizard_->NextButton().IsEnabled(); });
      return enabled;
    }));
    PostClick(dialog, tw::kWizardWidth - 125 + 50, tw::kWizardHeight - 51 + 13);
    ASSERT_TRUE(WaitKind(tw::kPageFolder));
    shots[2] = twtest::SaveScreenshot(dialog, "tools_wizard_folder.png", 6);
    HoldAt("unpacked", 1);
    PostKey(dialog, VK_RETURN);
    ASSERT_TRUE(Eventually([] { return sHeld.load(); }));
    EXPECT_EQ(Kind(), tw::kPageInstall);
    shots[3] = twtest::SaveScreenshot(dialog, "tools_wizard_installing.png", 6);
    sRelease = true;
    ASSERT_TRUE(WaitKind(tw::kPageFinish));
    shots[4] = twtest::SaveScreenshot(dialog, "tools_wizard_finish.png", 6);
    PostKey(dialog, VK_RETURN);
  });
  EXPECT_EQ(code, 0);
  EXPECT_EQ(context_->resultCode, 0);
  for (int i = 0; i < 5; ++i) EXPECT_TRUE(shots[i]) << "screenshot " << i;
  ExpectInstalled(pkg);
  ExpectRegistered(pkg);
  EXPECT_TRUE(FileContent(ManagerPath()) == FileContent(ProgramFile()));
  EXPECT_EQ(QueryManagerVersion(U16(ManagerPath()).c_str()), GetOwnVersion());
  EXPECT_TRUE(Eventually([&] { return FileContent(marker) == "started"; })) << "the run entry started";
}

// A file held open during an update: the question names it, no gives the
// backup failure's finish text and the earlier installation stays whole.
TEST_F(WizardWindow, AFileHeldOpenAsksAndNoKeepsTheEarlierInstallation) {
  const sPackageSpec v1 = Spec();
  ASSERT_EQ(Install(v1), 0);
  sPackageSpec v2 = v1;
  v2.version[0] = 2;
  v2.files["app.exe"] = Noise(300000, 33);
  v2.files["readme.txt"] = "version two";
  Prepare(v2, false);
  cFileIO held;
  ASSERT_TRUE(held.Open(U16(ProgramFolder() + "/readme.txt").c_str(), kFileRead | kFileShareRead));
  bool shot = false;
  std::u16string question;
  const int32_t code = RunDriven([&](HWND dialog) {
    HWND box = WaitBox(dialog);
    ASSERT_NE(box, nullptr) << "no question about the held file";
    shot = twtest::SaveScreenshot(box, "tools_wizard_file_in_use.png", 4);
    PostKey(box, VK_ESCAPE);
    ASSERT_TRUE(WaitKind(tw::kPageFinish));
    OnUi([&] {
      question = wizard_->FinishPage().ErrorText().GetText() != nullptr ? wizard_->FinishPage().ErrorText().GetText()
                                                                        : u"";
    });
    PostKey(dialog, VK_RETURN);
  });
  EXPECT_EQ(code, 0);
  EXPECT_TRUE(shot);
  EXPECT_EQ(context_->resultCode, tw::kInstallCannotBackUp);
  EXPECT_EQ(question, GetLanguageText("pkgm::fin", 8));
  held.Close();
  ExpectInstalled(v1);
  ExpectRegistered(v1);
}

// Escape during unpacking, confirmed: the installation stops with nothing
// half-written.
TEST_F(WizardWindow, EscapeDuringUnpackingAbortsWithNothingHalfWritten) {
  const sPackageSpec pkg = Spec();
  Prepare(pkg, false);
  bool shot = false;
  const int32_t code = RunDriven([&](HWND dialog) {
    ASSERT_TRUE(WaitKind(tw::kPageFolder));
    HoldAt("unpacked", 0);
    PostKey(dialog, VK_RETURN);
    ASSERT_TRUE(Eventually([] { return sHeld.load(); }));
    PostKey(dialog, VK_ESCAPE);
    HWND box = WaitBox(dialog);
    ASSERT_NE(box, nullptr) << "no question before aborting";
    shot = twtest::SaveScreenshot(box, "tools_wizard_abort_question.png", 4);
    PostKey(box, VK_RETURN);
    ASSERT_TRUE(Eventually([&] { return !IsWindow(box); }));
    sRelease = true;
    ASSERT_TRUE(WaitKind(tw::kPageFinish));
    twtest::SaveScreenshot(dialog, "tools_wizard_aborted.png", 6);
    PostKey(dialog, VK_RETURN);
  });
  EXPECT_EQ(code, 0);
  EXPECT_TRUE(shot);
  EXPECT_EQ(context_->resultCode, tw::kInstallStopped);
  EXPECT_EQ(SideFiles(), std::vector<std::string>{});
  EXPECT_FALSE(fs::exists(fs::u8path(ProgramFolder() + "/app.exe")));
  auto store = OpenStore();
  EXPECT_FALSE(store->Exists(("install/" + twtest::Narrow(codename_)).c_str()));
}

// The wizard in each language of the program: the folder page is shown in it
// (screenshot tools_wizard_<CODE>.png) and the installation runs to its end.
class WizardLanguages : public WizardWindow, public ::testing::WithParamInterface<int32_t> {};

TEST_P(WizardLanguages, ShowsItsPagesAndInstalls) {
  const int32_t id = GetParam();
  ASSERT_TRUE(ApplyLanguage(id));
  ASSERT_EQ(GetCurrentLanguage(), id);
  const sPackageSpec pkg = Spec();
  Prepare(pkg, false);
  const std::string file = "tools_wizard_" + twtest::Narrow(GetLanguageCode3(id)) + ".png";
  bool shot = false;
  const int32_t code = RunDriven([&](HWND dialog) {
    ASSERT_TRUE(WaitKind(tw::kPageFolder));
    shot = twtest::SaveScreenshot(dialog, file.c_str(), 6);
    PostKey(dialog, VK_RETURN);
    ASSERT_TRUE(WaitKind(tw::kPageFinish));
    PostKey(dialog, VK_RETURN);
  });
  ApplyLanguage(0);
  EXPECT_EQ(code, 0);
  EXPECT_TRUE(shot) << file;
  EXPECT_EQ(context_->resultCode, 0);
  ExpectInstalled(pkg);
}

INSTANTIATE_TEST_SUITE_P(EveryLanguage, WizardLanguages, ::testing::Values(0, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12));

}  // namespace
