// The installation wizard on a test host: its page sequence for each shape
// of package, Next and the agreement boxes, step clicks, the removal of
// products to remove first, the target folder page and its checks, the
// installation page with its progress arithmetic and Escape, the finish
// page and the interactive install start's messages. Installations go to
// the test's private folders and store and are checked on disk.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <deque>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "base/time.h"
#include "gui/controls/toolbar.h"
#include "gui/dialogs/folder_chooser.h"
#include "gui/dialogs/message_box.h"
#include "gui/language.h"
#include "gui/mem_canvas.h"
#include "sidoc/box.h"
#include "tests/controls/control_fixture.h"
#include "tests/support/install_fixture.h"
#include "tools/app_language.h"
#include "tools/install_context.h"
#include "tools/install_start.h"
#include "tools/install_start_form.h"
#include "tools/installer_job.h"
#include "tools/wizard.h"
#include "tools/wizard_art.h"
#ifdef _WIN32
#include "tests/support/capture.h"
#endif

using twtest::cTestHost;
using twtest::FileContent;
using twtest::Noise;
using twtest::sPackageSpec;
using twtest::U16;
namespace fs = std::filesystem;

namespace {

constexpr int32_t kWaitMs = 120000;

template <class P>
bool PumpUntil(cTestHost& host, P pred) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(kWaitMs);
  while (std::chrono::steady_clock::now() < end) {
    if (pred()) return true;
    host.WaitAndPump(20);
  }
  return pred();
}

void WriteFile(const std::string& path, const std::string& content) {
  fs::create_directories(fs::u8path(path).parent_path());
  std::ofstream(fs::u8path(path), std::ios::binary) << content;
}

std::u16string Joined(cMessageForm* m) {
  std::u16string out;
  for (cListItem* i = m->Lines().head; i != nullptr; i = i->next) {
    if (!out.empty()) out += u"\n";
    const char16_t* line = static_cast<cMessageForm::cStrTokenItem*>(i)->line.text;
    out += line != nullptr ? line : u"";
  }
  return out;
}

const char16_t* WizText(int32_t index) { return GetLanguageText("pkgm::instw", index); }
const char16_t* FinText(int32_t index) { return GetLanguageText("pkgm::fin", index); }
const char16_t* SelText(int32_t index) { return GetLanguageText("pkgm::fsel", index); }
const char16_t* IniText(int32_t index) { return GetLanguageText("pkgm::iini", index); }

std::u16string Format1(const char16_t* format, const std::u16string& argument) {
  std::u16string f = format;
  const size_t at = f.find(u"%s");
  if (at != std::u16string::npos) f.replace(at, 2, argument);
  return f;
}

// Message boxes answered in order (true: Enter, false: Escape), their texts
// recorded; a box beyond the answers fails the test and is refused.
struct sAnswers {
  std::deque<bool> answers;
  std::vector<std::u16string> shown;
  std::function<void()> beforeAnswer;
};

void QueueAnswers(cTestHost& host, std::shared_ptr<sAnswers> a, size_t count) {
  for (size_t i = 0; i < count; ++i) {
    host.QueueModalScript([a](cTestHost& box, cChildElement* form) {
      box.Pump();
      auto* m = dynamic_cast<cMessageForm*>(form);
      if (m == nullptr) {
        form->Key(13, false, false, false);  // the language form: its preselection
        return;
      }
      a->shown.push_back(Joined(m));
      if (a->answers.empty()) {
        ADD_FAILURE() << "an unexpected message box";
        m->Key(27, false, false, false);
        return;
      }
      const bool yes = a->answers.front();
      a->answers.pop_front();
      if (a->beforeAnswer) a->beforeAnswer();
      m->Key(yes ? 13 : 27, false, false, false);
    });
  }
}

// Shapes of package for the page table.
struct sShape {
  const char* name;
  bool welcome, readme, eula, products, earlierFolder;
  std::vector<int32_t> pages;
};

class Wizard : public twtest::InstallTest {
protected:
  void SetUp() override {
    twtest::InstallTest::SetUp();
    ASSERT_TRUE(twtest::UseEnglish());
    RegisterPackageLanguages();
    ASSERT_TRUE(ApplyLanguage(0));
  }
  void TearDown() override {
    host_.reset();  // the wizard and its jobs go before the context
    context_.reset();
    twtest::InstallTest::TearDown();
  }

  // A context prepared as the install start leaves it for pkg.
  void Prepare(const sPackageSpec& pkg, int32_t expected = 0) {
    const std::string package = WritePackage(pkg);
    store_ = OpenStore();
    context_ = std::make_unique<sInstallContext>();
    context_->programPath.Assign(U16(program_).c_str());
    context_->packagePath.Assign(U16(package).c_str());
    context_->store = store_.get();
    ASSERT_EQ(LoadInstallPackage(*context_), 0);
    context_->description.GetLanguages(context_->languages);
    context_->description.SelectLanguage(0);
    ASSERT_EQ(PreInstallCheck(*context_), expected);
  }
  // Gives the package a document of the current language.
  void AddDocument(sPkgDocument& document) {
    document.loader.containers.FindOrInsert(0)->reset(new cSiDocContainer());
  }
  void AddProduct(const char16_t* name, const std::string& command) {
    sDeprecatedProduct& p = context_->deprecated.Append()->value;
    p.displayName.Assign(name);
    p.uninstallCommand.Assign(U16(command).c_str());
  }
  cInstWizard* Open() {
    host_ = std::make_unique<cTestHost>();
    wizard_ = new cInstWizard(context_.get());
    host_->Host(wizard_, tw::kWizardWidth, tw::kWizardHeight);
    host_->Pump();
    return wizard_;
  }
  bool WaitForFinish() {
    return PumpUntil(*host_, [&] { return wizard_->CurrentKind() == tw::kPageFinish; });
  }
  void Enter() { wizard_->Key(13, false, false, false); }
  // A click in the middle of step i's label.
  void ClickStep(int32_t i) {
    wizard_->MouseButton(60, 85 + 22 * i + 7, 1, true, false, false);
    wizard_->MouseButton(60, 85 + 22 * i + 7, 1, false, false, false);
  }
  void Click(cChildElement* child) {
    sRect r;
    ASSERT_TRUE(wizard_->GetDescendantRect(child, &r));
    wizard_->MouseButton(r.x + 2, r.y + 2, 1, true, false, false);
    wizard_->MouseButton(r.x + 2, r.y + 2, 1, false, false, false);
    host_->Pump();
  }

  std::unique_ptr<sInstallContext> context_;
  std::unique_ptr<cTestHost> host_;
  cInstWizard* wizard_ = nullptr;  // owned by host_
};

// Uninstall commands that end with code, flood their output with megabytes
// and wait for their input: natively shell commands, under Windows the
// stand-in uninstaller.
#ifdef _WIN32
std::string Fake(const std::string& arguments) {
  return "\"" + twtest::BinaryPath("tw_fake_uninstaller.exe") + "\" " + arguments;
}
std::string ExitWith(int code) { return Fake("exit " + std::to_string(code)); }
std::string Flood() { return Fake("flood 11"); }
std::string Prompt() { return Fake("read"); }
#else
std::string ExitWith(int code) { return "exit " + std::to_string(code); }
std::string Flood() { return "head -c 8000000 /dev/zero; head -c 3000000 /dev/zero >&2; exit 0"; }
std::string Prompt() { return "read answer; exit 0"; }
#endif

sPackageSpec Small() {
  sPackageSpec s;
  s.files["app.exe"] = Noise(150000, 7);
  s.files["data/a.dat"] = Noise(3000, 8);
  return s;
}

// ---- Pages ----------------------------------------------------------------

TEST_F(Wizard, PageSequenceFollowsThePackageShape) {
  using namespace tw;
  const sShape shapes[] = {
      {"everything", true, true, true, true, false,
       {kPageWelcome, kPageReadme, kPageEula, kPageProducts, kPageFolder, kPageInstall, kPageFinish}},
      {"bare first installation", false, false, false, false, false, {kPageFolder, kPageInstall, kPageFinish}},
      {"licence only", false, false, true, false, false, {kPageEula, kPageFolder, kPageInstall, kPageFinish}},
      {"welcome and products", true, false, false, true, false,
       {kPageWelcome, kPageProducts, kPageFolder, kPageInstall, kPageFinish}},
      {"update with a readme", false, true, false, false, true, {kPageReadme, kPageInstall, kPageFinish}},
  };
  for (const sShape& s : shapes) {
    SCOPED_TRACE(s.name);
    Prepare(Small());
    if (s.welcome) AddDocument(context_->description.welcome);
    if (s.readme) AddDocument(context_->description.readme);
    if (s.eula) AddDocument(context_->description.eula);
    if (s.products) AddProduct(u"Old Tool", ExitWith(0));
    if (s.earlierFolder) {
      context_->description.SetProgramFolder(context_->description.commonTable, U16(ProgramFolder()).c_str());
    }
    Open();
    std::vector<int32_t> pages;
    for (int32_t i = 0; i < wizard_->PageCount(); ++i) pages.push_back(wizard_->PageKind(i));
    EXPECT_EQ(pages, s.pages);
    EXPECT_EQ(wizard_->CurrentPage(), 0);
    host_.reset();
  }
}

// An update without documents or products starts on the installation page
// and runs to the finish page by itself; the result is the silent
// installation's.
TEST_F(Wizard, AnUpdateWithoutQuestionsInstallsAtOnce) {
  ASSERT_EQ(Install(Small()), 0);
  sPackageSpec v2 = Small();
  v2.version[0] = 2;
  v2.files["app.exe"] = Noise(170000, 9);
  v2.files["new.txt"] = "new";
  Prepare(v2);
  Open();
  ASSERT_EQ(wizard_->PageCount(), 2);
  EXPECT_EQ(wizard_->PageKind(0), tw::kPageInstall);
  ASSERT_TRUE(WaitForFinish());
  EXPECT_EQ(context_->resultCode, 0);
  ExpectInstalled(v2);
  ExpectRegistered(v2);
  EXPECT_EQ(FileContent(ProgramFolder() + "/new.txt"), "new");
}

// The whole road of a first installation, driven by keys and clicks: the
// agreement boxes gate Next, a step click goes back and clears its box,
// later steps and the installation step cannot be clicked, the finish page
// ends the wizard.
TEST_F(Wizard, FirstInstallationByKeysAndClicks) {
  const sPackageSpec pkg = Small();
  Prepare(pkg);
  AddDocument(context_->description.welcome);
  AddDocument(context_->description.readme);
  AddDocument(context_->description.eula);
  context_->description.readmeConfirm = 1;
  Open();
  EXPECT_EQ(wizard_->CurrentKind(), tw::kPageWelcome);
  EXPECT_EQ(wizard_->HitStep(60, 85 + 22 * 1 + 7), -1) << "a later step";
  Enter();
  ASSERT_EQ(wizard_->CurrentKind(), tw::kPageReadme);
  EXPECT_TRUE(wizard_->ReadmeBox().IsVisible());
  EXPECT_FALSE(wizard_->NextButton().IsEnabled());
  Enter();
  EXPECT_EQ(wizard_->CurrentKind(), tw::kPageReadme) << "Next without the agreement";
  Click(&wizard_->ReadmeBox());
  EXPECT_TRUE(wizard_->ReadmeBox().IsChecked());
  EXPECT_TRUE(wizard_->NextButton().IsEnabled());
  Enter();
  ASSERT_EQ(wizard_->CurrentKind(), tw::kPageEula);
  Click(&wizard_->EulaBox());
  EXPECT_TRUE(wizard_->NextButton().IsEnabled());
  Click(&wizard_->EulaBox());
  EXPECT_FALSE(wizard_->NextButton().IsEnabled()) << "unchecking disables Next again";
  Click(&wizard_->EulaBox());
  Enter();
  ASSERT_EQ(wizard_->CurrentKind(), tw::kPageFolder);
  EXPECT_EQ(std::u16string(wizard_->FolderPage().Field().GetText()), U16(ProgramFolder()));

  // Back to the licence: its box is cleared, Next disabled again.
  ClickStep(2);
  ASSERT_EQ(wizard_->CurrentKind(), tw::kPageEula);
  EXPECT_FALSE(wizard_->EulaBox().IsChecked());
  EXPECT_FALSE(wizard_->NextButton().IsEnabled());
  Click(&wizard_->EulaBox());
  Enter();
  ASSERT_EQ(wizard_->CurrentKind(), tw::kPageFolder);
  Enter();
  ASSERT_TRUE(WaitForFinish());
  EXPECT_EQ(context_->resultCode, 0);
  ExpectInstalled(pkg);
  ExpectRegistered(pkg);
  EXPECT_EQ(wizard_->HitStep(60, 85 + 7), -1) << "no step from the finish page";
  EXPECT_EQ(std::u16string(wizard_->NextButton().GetText()), WizText(14));
  EXPECT_TRUE(wizard_->CanClose()) << "the close box on the finish page asks nothing";
  Enter();
  EXPECT_TRUE(host_->ended);
  EXPECT_EQ(host_->endCode, 0);
}

TEST_F(Wizard, StepHitTestOnlyTakesFinishedStepsBesideTheirLabels) {
  Prepare(Small());
  AddDocument(context_->description.welcome);
  AddDocument(context_->description.readme);
  Open();
  Enter();
  Enter();
  ASSERT_EQ(wizard_->CurrentKind(), tw::kPageFolder);
  struct sCase {
    int32_t x, y, step;
  } cases[] = {
      {60, 85 + 7, 0},         // welcome: done
      {60, 85 + 22 + 7, 1},    // readme: done
      {60, 85 + 44 + 7, -1},   // the current step
      {60, 85 + 66 + 7, -1},   // installation: never
      {24, 85 + 7, -1},        // left of the column
      {60, 84, -1},            // above it
      {400, 85 + 7, -1},       // right of the label
  };
  for (const sCase& c : cases) EXPECT_EQ(wizard_->HitStep(c.x, c.y), c.step) << c.x << "," << c.y;
  // The hand cursor over a step that can be taken.
  wizard_->MouseMove(60, 85 + 7);
  EXPECT_EQ(host_->cursor, 3);
  wizard_->MouseMove(60, 85 + 44 + 7);
  EXPECT_EQ(host_->cursor, 0);
}

TEST_F(Wizard, ReadmeWithoutItsFlagNeedsNoAgreement) {
  Prepare(Small());
  AddDocument(context_->description.readme);
  context_->description.readmeConfirm = 0;
  Open();
  ASSERT_EQ(wizard_->CurrentKind(), tw::kPageReadme);
  EXPECT_FALSE(wizard_->ReadmeBox().IsVisible());
  EXPECT_TRUE(wizard_->NextButton().IsEnabled());
  Enter();
  EXPECT_EQ(wizard_->CurrentKind(), tw::kPageFolder);
}

TEST_F(Wizard, ClosingAsksOnEveryPageButTheFinishPage) {
  Prepare(Small());
  Open();
  auto a = std::make_shared<sAnswers>();
  a->answers = {false, true};
  QueueAnswers(*host_, a, 2);
  EXPECT_FALSE(wizard_->CanClose());
  EXPECT_TRUE(wizard_->CanClose());
  ASSERT_EQ(a->shown.size(), 2u);
  EXPECT_EQ(a->shown[0], WizText(15));
  // Escape while nothing installs asks nothing.
  wizard_->Key(27, false, false, false);
  EXPECT_EQ(a->shown.size(), 2u);
}

// The painted wizard shows the background and the page's title on its band.
TEST_F(Wizard, PaintsBackgroundStepsAndTitle) {
  Prepare(Small());
  Open();
  cPicture picture;
  ASSERT_TRUE(picture.Allocate(tw::kWizardWidth, tw::kWizardHeight));
  cMemCanvas canvas(&picture);
  host_->Paint(&canvas);
  const cPicture* background = WizardBackground();
  ASSERT_NE(background, nullptr);
  ASSERT_EQ(background->GetWidth(), tw::kWizardWidth);
  ASSERT_EQ(background->GetHeight(), tw::kWizardHeight);
  // A corner far from every text and control: the background itself.
  const int32_t row = tw::kWizardHeight - 1 - 10;  // bottom-up rows
  EXPECT_EQ(picture.GetPixels()[row * tw::kWizardWidth + 10] & 0xFFFFFF,
            background->GetPixels()[row * tw::kWizardWidth + 10] & 0xFFFFFF);
  // Title text and the current step's mark differ from the plain band.
  auto differs = [&](int32_t x0, int32_t y0, int32_t w, int32_t h) {
    for (int32_t y = y0; y < y0 + h; ++y) {
      for (int32_t x = x0; x < x0 + w; ++x) {
        const int32_t i = (tw::kWizardHeight - 1 - y) * tw::kWizardWidth + x;
        if ((picture.GetPixels()[i] ^ background->GetPixels()[i]) & 0xFFFFFF) return true;
      }
    }
    return false;
  };
  EXPECT_TRUE(differs(195, 25, 300, 25)) << "title";
  EXPECT_TRUE(differs(25, 85, 16, 14)) << "current step mark";
  EXPECT_TRUE(differs(50, 85, 140, 14)) << "step label";
}

// ---- Products to remove first -----------------------------------------------

// Commands that end with 0 take their product out of the list, others keep
// their exit code; a failure asks text 22, and no shows the products page
// again with what is left. An uninstaller that writes megabytes or waits
// for input does not hang the page.
TEST_F(Wizard, RemovalRunsSelectedCommandsAndKeepsTheFailures) {
  Prepare(Small());
  AddProduct(u"Chatty", Flood());
  AddProduct(u"Prompting", Prompt());
  AddProduct(u"Failing", ExitWith(3));
  AddProduct(u"Plain", ExitWith(0));
  Open();
  ASSERT_EQ(wizard_->CurrentKind(), tw::kPageProducts);
  EXPECT_EQ(wizard_->ProductList().GetRowCount(), 4);
  auto a = std::make_shared<sAnswers>();
  a->answers = {false};
  QueueAnswers(*host_, a, 1);
  Enter();  // every row checked: no question
  EXPECT_FALSE(wizard_->NextButton().IsEnabled());
  EXPECT_TRUE(wizard_->UninstallPanel().IsVisible());
  ASSERT_TRUE(PumpUntil(*host_, [&] { return a->shown.size() == 1; })) << "the removal did not end";
  EXPECT_EQ(a->shown[0], WizText(22));
  host_->Pump();
  ASSERT_EQ(wizard_->CurrentKind(), tw::kPageProducts);
  ASSERT_NE(context_->deprecated.head, nullptr);
  EXPECT_EQ(std::u16string(context_->deprecated.head->value.displayName.text), u"Failing");
  EXPECT_EQ(context_->deprecated.head->value.result, 3);
  EXPECT_EQ(context_->deprecated.head->next, nullptr);
  EXPECT_EQ(wizard_->ProductList().GetRowCount(), 1);
  EXPECT_TRUE(wizard_->ProductList().IsVisible());
}

TEST_F(Wizard, UncheckedProductsAreAskedAboutAndPassedOver) {
  Prepare(Small());
  AddProduct(u"Kept", ExitWith(9));
  AddProduct(u"Removed", ExitWith(0));
  Open();
  // None checked, answered yes: no removal at all.
  wizard_->ProductList().SetItemChecked(0, false, false);
  wizard_->ProductList().SetItemChecked(1, false, false);
  auto a = std::make_shared<sAnswers>();
  a->answers = {true};
  QueueAnswers(*host_, a, 1);
  Enter();
  ASSERT_EQ(a->shown.size(), 1u);
  EXPECT_EQ(a->shown[0], WizText(20));
  EXPECT_EQ(wizard_->CurrentKind(), tw::kPageFolder);
  EXPECT_EQ(context_->deprecated.head->value.result, 0) << "nothing ran";

  // Back, one of two checked, answered yes: only the checked one runs; the
  // unchecked one stays in the list without a failure.
  ClickStep(0);
  ASSERT_EQ(wizard_->CurrentKind(), tw::kPageProducts);
  wizard_->ProductList().SetItemChecked(0, false, false);
  a->shown.clear();
  a->answers = {true};
  QueueAnswers(*host_, a, 1);
  Enter();
  ASSERT_EQ(a->shown.size(), 1u);
  EXPECT_EQ(a->shown[0], WizText(21));
  ASSERT_TRUE(PumpUntil(*host_, [&] { return wizard_->CurrentKind() == tw::kPageFolder; }));
  ASSERT_NE(context_->deprecated.head, nullptr);
  EXPECT_EQ(std::u16string(context_->deprecated.head->value.displayName.text), u"Kept");
  EXPECT_FALSE(context_->deprecated.head->value.selected);
  EXPECT_EQ(context_->deprecated.head->next, nullptr);
}

// ---- Target folder page ----------------------------------------------------------

TEST_F(Wizard, SizeTextRoundsMegabytesUp) {
  Prepare(Small());
  Open();
  struct sCase {
    uint64_t bytes;
    std::u16string text;
  } cases[] = {
      {0, SelText(4)},
      {1048575, SelText(4)},
      {1048576, u"approximately 1MB"},
      {1048577, u"approximately 2MB"},
      {5ull << 40, u"approximately 5242880MB"},
  };
  for (const sCase& c : cases) {
    _guardchar<char16_t> text;
    wizard_->FolderPage().SizeText(c.bytes, text);
    EXPECT_EQ(std::u16string(text.text), c.text) << c.bytes;
  }
}

// A foreign file at a target stops Next with text 8 naming it; an identical
// file passes.
TEST_F(Wizard, FolderCheckNamesTheFirstFailingTarget) {
  const sPackageSpec pkg = Small();
  Prepare(pkg);
  Open();
  ASSERT_EQ(wizard_->CurrentKind(), tw::kPageFolder);
  WriteFile(ProgramFolder() + "/app.exe", pkg.files.at("app.exe"));
  WriteFile(ProgramFolder() + "/data/a.dat", "someone else's");
  auto a = std::make_shared<sAnswers>();
  a->answers = {true};
  QueueAnswers(*host_, a, 1);
  Enter();
  ASSERT_EQ(a->shown.size(), 1u);
  EXPECT_EQ(a->shown[0], Format1(SelText(8), U16(ProgramFolder() + "/data/a.dat")));
  EXPECT_EQ(wizard_->CurrentKind(), tw::kPageFolder);
  fs::remove(fs::u8path(ProgramFolder() + "/data/a.dat"));
  Enter();
  ASSERT_TRUE(WaitForFinish());
  EXPECT_EQ(context_->resultCode, 0);
  ExpectInstalled(pkg);
}

TEST_F(Wizard, BrowseKeepsTheFieldWithoutRoomOrInformation) {
  Prepare(Small());
  Open();
  cFileSelectPanel& page = wizard_->FolderPage();
  const std::u16string before = page.Field().GetText();
  auto a = std::make_shared<sAnswers>();
  a->answers = {true, true};
  QueueAnswers(*host_, a, 2);
  EXPECT_FALSE(page.TakeChosenFolder(U16(tmp_.path() + "/no such folder").c_str()));
  context_->requiredSpace = ~0ull;
  EXPECT_FALSE(page.TakeChosenFolder(U16(tmp_.path()).c_str()));
  ASSERT_EQ(a->shown.size(), 2u);
  EXPECT_EQ(a->shown[0], SelText(12));
  EXPECT_EQ(a->shown[1], SelText(13));
  EXPECT_EQ(std::u16string(page.Field().GetText()), before);
  context_->requiredSpace = 1;
  EXPECT_TRUE(page.TakeChosenFolder(U16(tmp_.path()).c_str()));
  EXPECT_EQ(std::u16string(page.Field().GetText()), U16(tmp_.path()));
  // The field cannot be typed into.
  page.SetFocusTo(&page.Field());
  page.Field().Char(u'x', false, false, false);
  EXPECT_EQ(std::u16string(page.Field().GetText()), U16(tmp_.path()));
}

// Browse opens the folder chooser with the page's title; a chosen folder
// with room replaces the field, a cancelled chooser leaves it.
TEST_F(Wizard, BrowseTakesTheChosenFolder) {
  Prepare(Small());
  Open();
  cFileSelectPanel& page = wizard_->FolderPage();
  const std::u16string before = page.Field().GetText();
  const std::u16string chosen = U16(tmp_.path());
  host_->QueueModalScript([&](cTestHost& nested, cChildElement* form) {
    nested.Pump();
    auto* d = dynamic_cast<cFolderChooseDialog*>(form);
    ASSERT_NE(d, nullptr);
    d->BottomBar().PostAction(new cToolBarChild::cTbButtonAction(2));  // Cancel
    nested.Pump();
  });
  Click(&page.BrowseButton());
  EXPECT_EQ(std::u16string(page.Field().GetText()), before);
  host_->QueueModalScript([&](cTestHost& nested, cChildElement* form) {
    nested.Pump();
    auto* d = dynamic_cast<cFolderChooseDialog*>(form);
    ASSERT_NE(d, nullptr);
    for (int i = 0; i < 2; ++i) {  // the first Enter opens the path, the second takes it
      d->PathEdit().SetEditText(chosen.c_str(), -1);
      d->Key(13, false, false, false);
      nested.Pump();
    }
  });
  Click(&page.BrowseButton());
  ASSERT_FALSE(host_->modalTitles.empty());
  EXPECT_EQ(host_->modalTitles.back(), SelText(1));
  EXPECT_EQ(std::u16string(page.Field().GetText()), chosen);
}

// ---- Installation page ---------------------------------------------------------

TEST(JobPanel, BarPositionWithinTheStage) {
  struct sCase {
    int32_t stage, lines;
    double percent;
    int32_t bar;
  } cases[] = {
      {2, 4, 50, 62}, {0, 0, 49.6, 50}, {0, 0, 49.4, 49}, {0, 4, 100, 25}, {3, 4, 100, 100}, {1, 3, 0, 33},
  };
  for (const sCase& c : cases)
    EXPECT_EQ(cJobPanel::BarPosition(c.stage, c.lines, c.percent), c.bar)
        << c.stage << "/" << c.lines << " " << c.percent;
}

class cIdlePanel : public cJobPanel {
public:
  ~cIdlePanel() override { cJob::Stop(kStopTimeoutMs); }
  int32_t Run() override { return 0; }
};

// The bar moves at most once per 100 ms: a report right after the last
// update leaves it; one after the interval moves it within the stage.
TEST(JobPanel, BarUpdatesAreThrottled) {
  ASSERT_TRUE(twtest::UseEnglish());
  twtest::sControlFixture f(500, 300);
  cIdlePanel panel;
  f.Add(&panel, 0, 0, 410, 290);
  panel.SizeLines(4);
  for (int32_t i = 0; i < 4; ++i) panel.SetLine(i, (u"line " + std::u16string(1, char16_t(u'0' + i))).c_str());
  const uint64_t before = GetMicroseconds();
  panel.OnStart();
  panel.SetProgress(100);
  if (GetMicroseconds() - before < 100000) {
    EXPECT_EQ(panel.BarValue(), 0);
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(150));
  panel.SetStage(2);  // due: the stage's start
  EXPECT_EQ(panel.Stage(), 2);
  EXPECT_EQ(panel.BarValue(), 50);
  EXPECT_EQ(std::u16string(panel.Status().GetText()), u"line 2");
  std::this_thread::sleep_for(std::chrono::milliseconds(150));
  EXPECT_TRUE(panel.SetProgress(50));
  EXPECT_EQ(panel.BarValue(), 62);
  panel.SetStage(9);  // no such line: the stage stays
  EXPECT_EQ(panel.Stage(), 2);
  panel.RequestStop();
  EXPECT_FALSE(panel.SetProgress(10));
  f.Detach();
}

std::atomic<bool> sEscapeAnswered{false};

// Escape during unpacking, confirmed: the job stops with code 10 and
// leaves nothing half-written (no side file, no target, no record).
TEST_F(Wizard, EscapeDuringUnpackingAbortsCleanly) {
  sPackageSpec pkg;
  pkg.files["a.bin"] = Noise(300000, 11);
  pkg.files["b.bin"] = Noise(300000, 12);
  Prepare(pkg);
  Open();
  ASSERT_EQ(wizard_->CurrentKind(), tw::kPageFolder);
  // The job waits after its first unpacked file until the question is
  // answered, so Escape always meets a running unpack.
  sEscapeAnswered = false;
  SetInstallerStepHook([](const char* step, int32_t index) {
    if (std::string(step) != "unpacked" || index != 0) return;
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(kWaitMs);
    while (!sEscapeAnswered && std::chrono::steady_clock::now() < end)
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
  });
  Enter();
  ASSERT_EQ(wizard_->CurrentKind(), tw::kPageInstall);
  EXPECT_FALSE(wizard_->NextButton().IsEnabled());
  auto a = std::make_shared<sAnswers>();
  a->answers = {true};
  QueueAnswers(*host_, a, 1);
  wizard_->Key(27, false, false, false);
  sEscapeAnswered = true;
  ASSERT_EQ(a->shown.size(), 1u);
  EXPECT_EQ(a->shown[0], WizText(24));
  EXPECT_FALSE(wizard_->CanClose()) << "closing is refused while the job runs";
  ASSERT_TRUE(WaitForFinish());
  SetInstallerStepHook(nullptr);
  EXPECT_EQ(context_->resultCode, tw::kInstallStopped);
  EXPECT_EQ(SideFiles(), std::vector<std::string>{});
  EXPECT_FALSE(fs::exists(fs::u8path(ProgramFolder() + "/a.bin")));
  EXPECT_FALSE(fs::exists(fs::u8path(ProgramFolder() + "/b.bin")));
  EXPECT_EQ(std::u16string(wizard_->FinishPage().ResultLabel().GetText()), FinText(1));
  EXPECT_EQ(std::u16string(wizard_->FinishPage().ErrorText().GetText()), FinText(11));
}

// ---- Finish page ------------------------------------------------------------------

TEST_F(Wizard, FinishPageTextsByResultCode) {
  Prepare(Small());
  // Nine run entries: only seven fit on the page.
  for (int i = 0; i < 9; ++i) {
    sRunItem* r = context_->description.AddRunEntry();
    r->captionKey.Assign(u"name");
    r->folderKey.Assign(u"pgm");
    r->relativePath.Assign(u"app.exe");
    r->flag = i == 0 ? 1 : 0;
  }
  context_->description.SetProgramFolder(context_->description.commonTable, U16(ProgramFolder()).c_str());
  Open();
  cFinishPanel& page = wizard_->FinishPage();
  struct sCase {
    int32_t code;
    const char16_t* label;
    const char16_t* detail;
    size_t boxes;
  } cases[] = {
      {0, FinText(0), FinText(13), 7},  {7, FinText(1), FinText(8), 0},  {11, FinText(1), FinText(12), 0},
      {10, FinText(1), FinText(11), 0}, {42, FinText(1), nullptr, 0},    {0, FinText(0), FinText(13), 7},
  };
  for (const sCase& c : cases) {
    context_->resultCode = c.code;
    FillFinishPanel(&page, context_.get());
    EXPECT_EQ(std::u16string(page.ResultLabel().GetText()), c.label) << c.code;
    const char16_t* detail = page.ErrorText().GetText();
    EXPECT_EQ(std::u16string(detail != nullptr ? detail : u""), c.detail != nullptr ? c.detail : u"") << c.code;
    EXPECT_EQ(page.Boxes().size(), c.boxes) << c.code;
    EXPECT_EQ(page.ErrorText().GetBackgroundColour(), c.code == 0 ? 0x655654u : 0x4040A0u);
  }
  ASSERT_EQ(page.Boxes().size(), 7u);
  EXPECT_TRUE(page.Boxes()[0]->IsChecked());
  EXPECT_FALSE(page.Boxes()[1]->IsChecked());
  EXPECT_EQ(std::u16string(page.Boxes()[0]->commandLine.text), U16(ProgramFolder() + "/app.exe"));
  EXPECT_EQ(page.Boxes()[6]->GetY(), 110 + 6 * 25);
}

// ---- Install start ------------------------------------------------------------------

// The start form's message for each failing result code, and success.
TEST_F(Wizard, StartFormTellsEachResult) {
  ASSERT_EQ(Install(Small()), 0);
  sPackageSpec older = Small();
  older.version[0] = 0;
  older.version[1] = 5;
  struct sCase {
    const char* name;
    std::string package;
    bool ready;
    std::u16string message;
  } cases[] = {
      {"no package", tmp_.path() + "/missing.bin", false, IniText(2)},
      {"older package", WritePackage(older), false, IniText(4)},
      {"same again", WritePackage(Small()), false, IniText(12)},
  };
  sPackageSpec newer = Small();
  newer.version[0] = 3;
  newer.files["app.exe"] = Noise(1000, 21);  // a changed file: something to do
  const std::string newerPackage = WritePackage(newer);
  for (const sCase& c : cases) {
    SCOPED_TRACE(c.name);
    sInstallContext context;
    context.programPath.Assign(U16(program_).c_str());
    context.packagePath.Assign(U16(c.package).c_str());
    context.store = store_.get();
    twtest::sControlFixture f;
    auto a = std::make_shared<sAnswers>();
    a->answers = {true};
    f.host.QueueModalScript([a](cTestHost& nested, cChildElement*) {
      EXPECT_TRUE(PumpUntil(nested, [&] { return nested.ended; })) << "the form did not end";
    });
    QueueAnswers(f.host, a, 1);
    EXPECT_EQ(ShowInstallStartForm(&context, GetLanguageSections(), f.top), c.ready);
    ASSERT_EQ(a->shown.size(), 1u);
    EXPECT_EQ(a->shown[0], c.message);
  }
  sInstallContext context;
  context.programPath.Assign(U16(program_).c_str());
  context.packagePath.Assign(U16(newerPackage).c_str());
  context.store = store_.get();
  twtest::sControlFixture f;
  f.host.QueueModalScript([](cTestHost& nested, cChildElement*) {
    EXPECT_TRUE(PumpUntil(nested, [&] { return nested.ended; })) << "the form did not end";
  });
  auto none = std::make_shared<sAnswers>();
  QueueAnswers(f.host, none, 1);
  EXPECT_TRUE(ShowInstallStartForm(&context, GetLanguageSections(), f.top));
  EXPECT_EQ(none->shown, std::vector<std::u16string>{});
  EXPECT_EQ(context.packageVersion >> 48, 3u);
  EXPECT_NE(context.description.GetString(u"pgm"), nullptr) << "the update's folder";
}

}  // namespace
