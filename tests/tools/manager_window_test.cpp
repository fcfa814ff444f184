// The software manager's main window, driven through the test host: records
// read into entries, the three window states, one update check per package
// in list order, the details pane (links that fit, web links by address,
// the Update button), the actions (offer, uninstall with the language kept,
// removal, links, refresh, language switch) and the run loop.
#include "tools/manager_window.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "base/config_store.h"
#include "base/fileio.h"
#include "base/full_config.h"
#include "tests/base/scoped_env.h"
#include "gui/language.h"
#include "gui/language_internal.h"
#include "gui/window_maker.h"
#include "tests/controls/control_fixture.h"
#include "tests/support/test_support.h"
#ifdef _WIN32
#include "tests/support/capture.h"
#endif
#include "tools/app_language.h"
#include "tools/install_record.h"
#include "tools/update_check.h"

namespace {

using twtest::cTestHost;
using twtest::Narrow;
using twtest::U16;

constexpr uint64_t V(uint64_t a, uint64_t b, uint64_t c = 0, uint64_t d = 0) {
  return (a << 48) | (b << 32) | (c << 16) | d;
}

std::u16string Str(const char16_t* text) { return text != nullptr ? text : u""; }

// What the scripted update endpoint answers for one codename.
struct sAnswer {
  bool ok = false;
  uint64_t version = tw::kNoVersion;  // written even when !ok, as a parsed first line is
  std::u16string download, web, notes;
};

// A window whose outside effects are recorded instead of done.
class cWatchedForm : public cTarnwickForm {
public:
  // Job thread.
  bool CheckPackageUpdate(const char* codename, sSoftwareEntry* entry) override {
    std::lock_guard<std::mutex> guard(mutex);
    checks.push_back(codename);
    const auto it = answers.find(codename);
    if (it == answers.end()) return false;
    entry->announcedVersion = it->second.version;
    entry->downloadUrl.Assign(it->second.download.c_str());
    entry->webPage.Assign(it->second.web.c_str());
    entry->releaseNotes.Assign(it->second.notes.c_str());
    return it->second.ok;
  }
  void UninstallPackage(const char16_t* codename) override {
    uninstalled.push_back(codename);
    // As the uninstaller does: the record goes, and it speaks the
    // package's language meanwhile.
    Store()->DeleteKey(("install/" + Narrow(codename)).c_str());
    ApplyLanguage(uninstallerLanguage);
  }
  bool ShowOffer(const sUpdateInfo& info) override {
    offers.push_back({Str(info.name.text), Str(info.versionText.text), Str(info.downloadUrl.text),
                      Str(info.webPage.text), Str(info.releaseNotes.text)});
    return offerOpens;
  }
  bool RemoveManager() override {
    ++removals;
    return removalSucceeds;
  }
  bool OpenTarget(const char16_t* text) override {
    opened.push_back(Str(text));
    return true;
  }

  std::mutex mutex;
  std::map<std::string, sAnswer> answers;
  std::vector<std::string> checks;
  std::vector<std::u16string> uninstalled;
  std::vector<std::vector<std::u16string>> offers;
  std::vector<std::u16string> opened;
  int32_t uninstallerLanguage = 2;
  bool offerOpens = false;
  int32_t removals = 0;
  bool removalSucceeds = false;
};

class ManagerWindow : public ::testing::Test {
protected:
  void SetUp() override {
    tw::ResetLanguageState();
    static cWEKTLang toolkit;
    cLibLang::Register(&toolkit);
    RegisterPackageLanguages();
    ASSERT_TRUE(ApplyLanguage(0));
    ASSERT_TRUE(store.Open(U16(tmp.path()).c_str()));
  }
  void TearDown() override {
    host.reset();
    tw::ResetLanguageState();
  }

  // A package record as the installer writes it.
  void Record(const std::string& code, uint64_t version, const char16_t* name, uint32_t utime = 1700000000,
              std::vector<std::pair<std::u16string, std::u16string>> links = {}) {
    const std::string p = "install/" + code;
    ASSERT_TRUE(store.SetInt64((p + "/ver").c_str(), static_cast<int64_t>(version)));
    ASSERT_TRUE(store.SetString((p + "/name").c_str(), name, -1));
    ASSERT_TRUE(store.SetInt((p + "/utime").c_str(), static_cast<int32_t>(utime)));
    for (size_t i = 0; i < links.size(); ++i) {
      ASSERT_TRUE(store.SetString((p + "/cplns" + std::to_string(i)).c_str(), links[i].first.c_str(), -1));
      ASSERT_TRUE(store.SetString((p + "/cplcs" + std::to_string(i)).c_str(), links[i].second.c_str(), -1));
    }
  }

  // Hosts the window at width x height and waits for its list.
  cWatchedForm* Open(int32_t width = 770, int32_t height = 480) {
    form = new cWatchedForm();
    configure(form);
    form->SetStore(&store);
    host = std::make_unique<cTestHost>();
    host->Host(form, width, height);
    EXPECT_TRUE(WaitListed());
    return form;
  }
  // Pumps until the job has ended and its action has arrived.
  bool WaitListed() {
    for (int round = 0; round < 2000; ++round) {
      host->WaitAndPump(10);
      if (form->GetState() != cTarnwickForm::kBuilding && !form->IsJobRunning()) return true;
    }
    return false;
  }
  void Click(cChildElement& element) {
    element.PostKind(0);
    host->Pump();
  }
  std::u16string Cell(int32_t item, int32_t column) {
    _guardchar<char16_t> text;
    form->List().GetCellText(item, column, &text);
    return Str(text.text);
  }

  twtest::TempDir tmp;
  cCIAppConfig store;
  std::unique_ptr<cTestHost> host;
  cWatchedForm* form = nullptr;
  std::function<void(cWatchedForm*)> configure = [](cWatchedForm*) {};
};

TEST(ManagerRecords, EntriesReadFromTheRecord) {
  twtest::TempDir tmp;
  cCIAppConfig store;
  ASSERT_TRUE(store.Open(U16(tmp.path()).c_str()));
  const std::string p = "install/full";
  store.SetInt64((p + "/ver").c_str(), static_cast<int64_t>(V(3, 0, 7)));
  store.SetString((p + "/name").c_str(), u"Full App", -1);
  store.SetString((p + "/publisher").c_str(), u"http://pub.example/", -1);
  store.SetString((p + "/support").c_str(), u"http://help.example/", -1);
  store.SetString((p + "/updates").c_str(), u"http://news.example/", -1);
  store.SetString((p + "/icon").c_str(), u"C:/Full/app.exe", -1);
  store.SetInt((p + "/utime").c_str(), 1700000000);  // 14 Nov 2023 22:13:20 UTC
  // Two links, then one without a command: the third ends the list.
  store.SetString((p + "/cplns0").c_str(), u"Run", -1);
  store.SetString((p + "/cplcs0").c_str(), u"\"C:/Full/app.exe\" -x", -1);
  store.SetString((p + "/cplns1").c_str(), u"Read me", -1);
  store.SetString((p + "/cplcs1").c_str(), u"C:/Full/readme.txt", -1);
  store.SetString((p + "/cplns2").c_str(), u"Broken", -1);
  store.SetString((p + "/cplns3").c_str(), u"After the gap", -1);
  store.SetString((p + "/cplcs3").c_str(), u"C:/Full/x.exe", -1);

  sSoftwareEntry e;
  _guardchar<char16_t> icon;
  ASSERT_TRUE(ReadSoftwareEntry(&store, "full", &e, &icon));
  EXPECT_EQ(Str(e.codename.text), u"full");
  EXPECT_EQ(e.installedVersion, V(3, 0, 7));
  EXPECT_EQ(e.announcedVersion, tw::kNoVersion);
  EXPECT_EQ(Str(e.versionText.text), u"3.0.7");
  EXPECT_EQ(Str(e.name.text), u"Full App");
  EXPECT_EQ(Str(e.publisherUrl.text), u"http://pub.example/");
  EXPECT_EQ(Str(e.supportUrl.text), u"http://help.example/");
  EXPECT_EQ(Str(e.updatesUrl.text), u"http://news.example/");
  EXPECT_EQ(Str(e.dateText.text), u"14.11.2023");
  EXPECT_EQ(Str(icon.text), u"C:/Full/app.exe");
  ASSERT_EQ(e.links.size(), 2u);
  EXPECT_EQ(Str(e.links[0]->caption.text), u"Run");
  EXPECT_EQ(Str(e.links[0]->command.text), u"\"C:/Full/app.exe\" -x");
  EXPECT_EQ(Str(e.links[1]->caption.text), u"Read me");

  // Only "ver" is required; everything else stays empty.
  store.SetInt64("install/bare/ver", static_cast<int64_t>(V(1, 0)));
  sSoftwareEntry bare;
  ASSERT_TRUE(ReadSoftwareEntry(&store, "bare", &bare, nullptr));
  EXPECT_EQ(Str(bare.versionText.text), u"1.0");
  EXPECT_TRUE(bare.name.IsEmpty());
  EXPECT_TRUE(bare.dateText.IsEmpty());
  EXPECT_TRUE(bare.links.empty());

  // No "ver", an empty name, no store: no entry.
  store.SetString("install/nover/name", u"No Version", -1);
  sSoftwareEntry none;
  EXPECT_FALSE(ReadSoftwareEntry(&store, "nover", &none, nullptr));
  EXPECT_FALSE(ReadSoftwareEntry(&store, "", &none, nullptr));
  EXPECT_FALSE(ReadSoftwareEntry(nullptr, "full", &none, nullptr));
  EXPECT_TRUE(none.codename.IsEmpty());
}

TEST(ManagerRecords, DateTexts) {
  const struct {
    uint32_t seconds;
    const char16_t* text;
  } cases[] = {
      {0, u"-"},  // the formatter's dash
      {0xFFFFFFFFu, u"-"},
      {1, u"01.01.1970"},
      {1700000000, u"14.11.2023"},
      {951782400, u"29.02.2000"},
  };
  for (const auto& c : cases) {
    _guardchar<char16_t> out;
    FormatInstallDate(c.seconds, out);
    EXPECT_EQ(Str(out.text), c.text) << c.seconds;
  }
}

TEST(ManagerRecords, UpdateMarks) {
  const struct {
    uint64_t installed, announced;
    bool update;
  } cases[] = {
      {V(1, 0), tw::kNoVersion, false},  // no answer
      {V(1, 0), V(1, 0), false},         // the same
      {V(2, 0), V(1, 9, 9, 9), false},   // older
      {V(1, 0), V(1, 0, 0, 1), true},
      {V(1, 0), V(65535, 65535, 65535, 65534), true},  // compared unsigned
      {0, 0, false},
  };
  for (const auto& c : cases) {
    sSoftwareEntry e;
    e.installedVersion = c.installed;
    e.announcedVersion = c.announced;
    EXPECT_EQ(e.HasUpdate(), c.update) << std::hex << c.installed << " " << c.announced;
  }
}

TEST(ManagerRecords, TextsFilledIn) {
  const struct {
    const char16_t* format;
    const char16_t* argument;
    const char16_t* out;
  } cases[] = {
      {u"version %s", u"2.5.0.3", u"version 2.5.0.3"},
      {u"installed %s", nullptr, u"installed "},
      {nullptr, u"x", u""},
      {u"%s", u"a long text that is much longer than its format", u"a long text that is much longer than its format"},
  };
  for (const auto& c : cases) {
    _guardchar<char16_t> out;
    FormatManagerText(c.format, c.argument, out);
    EXPECT_EQ(Str(out.text), c.out);
  }
}

TEST(ManagerIcons, DefaultIconsAreDrawn) {
  for (int32_t size : {16, 48}) {
    cPicture p;
    ASSERT_TRUE(MakeDefaultPackageIcon(size, &p));
    ASSERT_EQ(p.GetWidth(), size);
    ASSERT_EQ(p.GetHeight(), size);
    const uint32_t* px = p.GetPixels();
    EXPECT_EQ(px[0] >> 24, 0u) << "a corner is transparent";
    EXPECT_EQ(px[static_cast<size_t>(size / 2) * size + size / 4] >> 24, 255u) << "the carton is opaque";
  }
  cPicture none;
  EXPECT_FALSE(MakeDefaultPackageIcon(4, &none));
  EXPECT_FALSE(MakeDefaultPackageIcon(16, nullptr));
}

// The property bags' program file, made by the mingw tool chain.
std::string PropsFixture() {
#ifdef _WIN32
  return twtest::BinaryPath(TW_PROPS_FIXTURE);
#else
  return TW_PROPS_FIXTURE;
#endif
}

TEST(ManagerIcons, IconsFromAProgramFile) {
  cPicture i16, i48;
  ASSERT_TRUE(LoadPackageIcons(U16(PropsFixture()).c_str(), &i16, &i48));
  EXPECT_EQ(i16.GetWidth(), 16);
  EXPECT_EQ(i16.GetHeight(), 16);
  EXPECT_EQ(i48.GetWidth(), 48);
  EXPECT_EQ(i48.GetHeight(), 48);

  // Neither a missing file nor one that is no picture and no program
  // changes the pictures.
  twtest::TempDir tmp;
  const std::string text = tmp.path() + "/notes.txt";
  {
    cFileIO f;
    ASSERT_TRUE(f.Create(U16(text).c_str(), kFileWrite));
    ASSERT_TRUE(f.WriteExact("plain words, nothing else", 25));
  }
  for (const std::string& path : {text, tmp.path() + "/missing.exe", std::string()}) {
    cPicture a, b;
    EXPECT_FALSE(LoadPackageIcons(U16(path).c_str(), &a, &b)) << path;
    EXPECT_EQ(a.GetPixelCount(), 0);
    EXPECT_EQ(b.GetPixelCount(), 0);
  }
}

TEST_F(ManagerWindow, NothingInstalledOffersRemoval) {
  Open();
  EXPECT_EQ(form->GetState(), cTarnwickForm::kEmpty);
  EXPECT_EQ(form->GetEntryCount(), 0);
  EXPECT_EQ(Str(form->StatusLabel().GetText()), u"No software packages installed");
  EXPECT_TRUE(form->StatusLabel().IsVisible());
  EXPECT_TRUE(form->RemoveLink().IsVisible());
  EXPECT_FALSE(form->ListPanel().IsVisible());
  EXPECT_FALSE(form->DetailsPanel().IsVisible());
  EXPECT_TRUE(form->RefreshButton().IsEnabled());
  EXPECT_TRUE(form->TabButton().IsEnabled());
  EXPECT_TRUE(form->LangSwitch().IsEnabled());
  EXPECT_TRUE(form->checks.empty());
  // The link sits at the bottom left, centred on the Refresh button's row.
  const int32_t h = form->RemoveLink().GetHeight();
  EXPECT_GT(h, 0);
  EXPECT_EQ(form->RemoveLink().GetX(), 45);
  EXPECT_EQ(form->RemoveLink().GetY(), 480 + (30 - h) / 2 - 40 + 1);

  // The removal: nothing while it fails, the window ends with 0 once done.
  Click(form->RemoveLink());
  EXPECT_EQ(form->removals, 1);
  EXPECT_FALSE(host->ended);
  form->removalSucceeds = true;
  Click(form->RemoveLink());
  EXPECT_EQ(form->removals, 2);
  EXPECT_TRUE(host->ended);
  EXPECT_EQ(host->endCode, 0);
}

TEST_F(ManagerWindow, BuildingStateWhileTheChecksRun) {
  Record("slow", V(1, 0), u"Slow");
  std::mutex gate;
  gate.lock();  // the check waits until the test has looked
  struct cGated : cWatchedForm {
    std::mutex* gate = nullptr;
    bool CheckPackageUpdate(const char* c, sSoftwareEntry* e) override {
      std::lock_guard<std::mutex> hold(*gate);
      return cWatchedForm::CheckPackageUpdate(c, e);
    }
  };
  auto* gated = new cGated();
  gated->gate = &gate;
  form = gated;
  form->SetStore(&store);
  host = std::make_unique<cTestHost>();
  host->Host(form, 770, 480);
  host->Pump();
  EXPECT_EQ(form->GetState(), cTarnwickForm::kBuilding);
  EXPECT_EQ(Str(form->StatusLabel().GetText()), u"Checking for installed software packages...");
  EXPECT_FALSE(form->ListPanel().IsVisible());
  EXPECT_FALSE(form->DetailsPanel().IsVisible());
  EXPECT_FALSE(form->RefreshButton().IsEnabled());
  EXPECT_FALSE(form->TabButton().IsEnabled());
  EXPECT_FALSE(form->LangSwitch().IsEnabled());
  EXPECT_TRUE(form->List().IsInBatch());
  gate.unlock();
  ASSERT_TRUE(WaitListed());
  EXPECT_EQ(form->GetState(), cTarnwickForm::kListed);
  EXPECT_FALSE(form->List().IsInBatch());
  EXPECT_FALSE(form->StatusLabel().IsVisible());
  EXPECT_FALSE(form->RemoveLink().IsVisible());
}

TEST_F(ManagerWindow, OneCheckPerPackageAndTheUpdateMark) {
  Record("alpha", V(1, 0), u"Alpha");
  Record("beta", V(2, 1), u"Beta", 0);
  Record("gamma", V(1, 5), u"Gamma");
  configure = [](cWatchedForm* f) {
    f->answers["alpha"] = {true, V(1, 2), u"http://dl.example/alpha.exe", u"http://alpha.example/", u"Faster."};
    f->answers["beta"] = {true, V(2, 1), u"http://dl.example/beta.exe", u"", u""};  // the same version
    // A first line that parsed, the rest refused: no mark.
    f->answers["gamma"] = {false, V(9, 0), u"", u"", u""};
  };
  Open();
  ASSERT_EQ(form->GetState(), cTarnwickForm::kListed);
  EXPECT_EQ(form->checks, (std::vector<std::string>{"alpha", "beta", "gamma"}));
  ASSERT_EQ(form->GetEntryCount(), 3);
  EXPECT_EQ(form->List().GetRowCount(), 3);
  const struct {
    int32_t item;
    const char16_t* name;
    const char16_t* date;
    const char16_t* version;
    const char16_t* mark;
  } rows[] = {
      {0, u"Alpha", u"14.11.2023", u"1.0", u"Update available"},
      {1, u"Beta", u"-", u"2.1", u""},
      {2, u"Gamma", u"14.11.2023", u"1.5", u""},
  };
  for (const auto& r : rows) {
    SCOPED_TRACE(Narrow(r.name));
    EXPECT_EQ(Cell(r.item, 1), r.name);
    EXPECT_EQ(Cell(r.item, 2), r.date);
    EXPECT_EQ(Cell(r.item, 3), r.version);
    EXPECT_EQ(Cell(r.item, 4), r.mark);
    EXPECT_EQ(form->IconStore().Find(r.item), &form->GetEntry(r.item)->icon16);
  }
  // Every icon fell back to the built-in one.
  EXPECT_EQ(form->GetEntry(0)->icon16.GetWidth(), 16);
  EXPECT_EQ(form->GetEntry(0)->icon48.GetWidth(), 48);

  // The first entry is shown, with the Update button.
  EXPECT_EQ(form->GetSelected(), form->GetEntry(0));
  EXPECT_EQ(Str(form->NameLabel().GetText()), u"Alpha");
  EXPECT_EQ(Str(form->VersionLabel().GetText()), u"version 1.0");
  EXPECT_EQ(Str(form->DateLabel().GetText()), u"installed 14.11.2023");
  EXPECT_EQ(form->IconDisplay().GetPicture(), &form->GetEntry(0)->icon48);
  EXPECT_TRUE(form->UpdateButton().IsVisible());
  EXPECT_TRUE(form->UninstallButton().IsVisible());

  // Selecting the others: no Update button.
  for (int32_t item : {1, 2}) {
    ASSERT_TRUE(form->List().FocusItem(item));
    host->Pump();
    EXPECT_EQ(form->GetSelected(), form->GetEntry(item));
    EXPECT_FALSE(form->UpdateButton().IsVisible()) << item;
  }
  EXPECT_EQ(Str(form->DateLabel().GetText()), u"installed 14.11.2023");

  // Refresh asks again, once per package.
  Click(form->RefreshButton());
  ASSERT_TRUE(WaitListed());
  EXPECT_EQ(form->checks.size(), 6u);
  EXPECT_EQ(form->GetSelected(), form->GetEntry(0));
}

TEST_F(ManagerWindow, ProgramLinksThatFit) {
  const std::vector<std::pair<std::u16string, std::u16string>> four = {
      {u"One", u"C:/a/one.exe"}, {u"Two", u"\"C:/a/two.exe\" -t"}, {u"Three", u"C:/a/three.txt"}, {u"Four", u"C:/a/4"}};
  Record("links", V(1, 0), u"Links", 1700000000, four);
  const struct {
    int32_t height;  // the window's; the details panel is 295 less
    size_t shown;
  } cases[] = {{480, 3}, {470, 3}, {469, 2}, {460, 2}, {440, 1}, {420, 0}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.height);
    Open(770, c.height);
    ASSERT_EQ(form->GetState(), cTarnwickForm::kListed);
    EXPECT_EQ(form->DetailsPanel().GetHeight(), c.height - 295);
    const auto& links = form->ProgramLinks();
    ASSERT_EQ(links.size(), c.shown);
    for (size_t i = 0; i < links.size(); ++i) {
      EXPECT_EQ(links[i]->GetX(), 85);
      EXPECT_EQ(links[i]->GetY(), 115 + 20 * static_cast<int32_t>(i));
      EXPECT_EQ(Str(links[i]->GetText()), four[i].first);
    }
    if (!links.empty()) {
      Click(*links.back());
      ASSERT_EQ(form->opened.size(), 1u);
      EXPECT_EQ(form->opened[0], four[links.size() - 1].second);
    }
  }
}

TEST_F(ManagerWindow, WebLinksByAddress) {
  const struct {
    const char16_t* publisher;
    const char16_t* support;
    const char16_t* updates;
    int32_t y[3];  // -1: hidden
  } cases[] = {
      {u"http://p/", u"http://s/", u"http://u/", {70, 90, 110}},
      {nullptr, u"http://s/", nullptr, {-1, 70, -1}},
      {u"http://p/", nullptr, u"http://u/", {70, -1, 90}},
      {nullptr, nullptr, nullptr, {-1, -1, -1}},
  };
  for (const auto& c : cases) {
    store.DeleteKey("install/web");
    Record("web", V(1, 0), u"Web");
    if (c.publisher) store.SetString("install/web/publisher", c.publisher, -1);
    if (c.support) store.SetString("install/web/support", c.support, -1);
    if (c.updates) store.SetString("install/web/updates", c.updates, -1);
    Open();
    cLinkElement* links[] = {&form->PublisherLink(), &form->SupportLink(), &form->UpdatesLink()};
    const char16_t* addresses[] = {c.publisher, c.support, c.updates};
    for (int i = 0; i < 3; ++i) {
      SCOPED_TRACE(i);
      EXPECT_EQ(links[i]->IsVisible(), c.y[i] >= 0);
      if (c.y[i] < 0) continue;
      EXPECT_EQ(links[i]->GetX(), 390);
      EXPECT_EQ(links[i]->GetY(), c.y[i]);
      EXPECT_EQ(links[i]->GetWidth(), 680 - 291 + 1);  // as placed, cut by the panel
      form->opened.clear();
      Click(*links[i]);
      EXPECT_EQ(form->opened, (std::vector<std::u16string>{addresses[i]}));
    }
  }
}

TEST_F(ManagerWindow, OfferOnlyForAnUpdate) {
  Record("new", V(1, 0), u"New App");
  Record("same", V(1, 0), u"Same App");
  configure = [](cWatchedForm* f) {
    f->answers["new"] = {true, V(1, 2, 3), u"http://dl.example/new.exe", u"http://new.example/", u"Notes\r\n"};
    f->answers["same"] = {true, V(1, 0), u"http://dl.example/same.exe", u"", u""};
  };
  Open();
  // Double-clicking the package without an update does nothing.
  ASSERT_TRUE(form->List().FocusItem(1));
  host->Pump();
  form->List().PostAction(new cListViewChild::cListViewItemAction(7, 1));
  host->Pump();
  Click(form->UpdateButton());
  EXPECT_TRUE(form->offers.empty());

  // The other one: the offer with the answer's texts; declined, the window
  // stays.
  ASSERT_TRUE(form->List().FocusItem(0));
  host->Pump();
  form->List().PostAction(new cListViewChild::cListViewItemAction(7, 0));
  host->Pump();
  ASSERT_EQ(form->offers.size(), 1u);
  EXPECT_EQ(form->offers[0], (std::vector<std::u16string>{u"New App", u"1.2.3", u"http://dl.example/new.exe",
                                                          u"http://new.example/", u"Notes\r\n"}));
  EXPECT_FALSE(host->ended);
  // Accepted through the button: the manager ends with 0.
  form->offerOpens = true;
  Click(form->UpdateButton());
  EXPECT_EQ(form->offers.size(), 2u);
  EXPECT_TRUE(host->ended);
  EXPECT_EQ(host->endCode, 0);
}

TEST_F(ManagerWindow, UninstallKeepsTheLanguageAndRebuildsTheList) {
  Record("first", V(1, 0), u"First");
  Record("second", V(1, 0), u"Second");
  Open();
  ASSERT_EQ(form->GetEntryCount(), 2);
  form->uninstallerLanguage = 5;  // the package's language, French
  ASSERT_TRUE(form->List().FocusItem(1));
  host->Pump();
  Click(form->UninstallButton());
  EXPECT_EQ(form->uninstalled, (std::vector<std::u16string>{u"second"}));
  EXPECT_EQ(GetCurrentLanguage(), 0) << "the window's language comes back";
  ASSERT_TRUE(WaitListed());
  ASSERT_EQ(form->GetEntryCount(), 1);
  EXPECT_EQ(Str(form->GetEntry(0)->codename.text), u"first");
  EXPECT_EQ(form->List().GetRowCount(), 1);

  // The last one: the empty state offers the removal.
  Click(form->UninstallButton());
  EXPECT_EQ(form->uninstalled.size(), 2u);
  ASSERT_TRUE(WaitListed());
  EXPECT_EQ(form->GetState(), cTarnwickForm::kEmpty);
  EXPECT_TRUE(form->RemoveLink().IsVisible());
  EXPECT_EQ(form->List().GetRowCount(), 0);
  EXPECT_EQ(form->checks.size(), 2u + 1u + 0u);
}

// The program's store: the machine-wide packages first, then the per-user
// ones, each in key order; one recorded in both is listed twice, both times
// with the per-user values, which hide the machine-wide ones.
TEST_F(ManagerWindow, BothStoresInTheirOrder) {
  for (const char* sub : {"/appdata", "/programdata"}) std::filesystem::create_directories(tmp.path() + sub);
  twtest::ScopedEnv appdata("APPDATA", (tmp.path() + "/appdata").c_str());
  twtest::ScopedEnv programdata("ProgramData", (tmp.path() + "/programdata").c_str());
  cCIAppFullConfig full;
  ASSERT_TRUE(full.Create(u"qxv") || true);
  ASSERT_TRUE(full.Open(u"qxv"));
  const struct {
    bool machine;
    const char* code;
    const char16_t* name;
  } records[] = {
      {true, "zeta", u"Zeta (all users)"}, {true, "both", u"Both (all users)"}, {true, "alpha", u"Alpha (all users)"},
      {false, "mine", u"Mine"},            {false, "both", u"Both (mine)"},
  };
  for (const auto& r : records) {
    cApplicationConfig* target = r.machine ? static_cast<cApplicationConfig*>(full.GetMachineConfig())
                                           : static_cast<cApplicationConfig*>(full.GetUserConfig());
    const std::string p = std::string("install/") + r.code;
    ASSERT_TRUE(target->SetInt64((p + "/ver").c_str(), static_cast<int64_t>(V(1, 0))));
    ASSERT_TRUE(target->SetString((p + "/name").c_str(), r.name, -1));
  }
  form = new cWatchedForm();
  form->SetStore(&full);
  host = std::make_unique<cTestHost>();
  host->Host(form, 770, 480);
  ASSERT_TRUE(WaitListed());
  const std::vector<std::string> codes = {"alpha", "both", "zeta", "both", "mine"};
  const std::vector<std::u16string> names = {u"Alpha (all users)", u"Both (mine)", u"Zeta (all users)",
                                             u"Both (mine)", u"Mine"};
  EXPECT_EQ(form->checks, codes);
  ASSERT_EQ(form->GetEntryCount(), 5);
  for (int32_t i = 0; i < 5; ++i) {
    EXPECT_EQ(Narrow(Str(form->GetEntry(i)->codename.text)), codes[static_cast<size_t>(i)]);
    EXPECT_EQ(Cell(i, 1), names[static_cast<size_t>(i)]) << i;
  }
  host.reset();  // before the store goes
}

TEST_F(ManagerWindow, LanguageSwitchEndsWithTen) {
  Open();
  form->LangSwitch().PostKind(7);  // what a finished switch posts
  host->Pump();
  EXPECT_TRUE(host->ended);
  EXPECT_EQ(host->endCode, 10);
}

TEST_F(ManagerWindow, RefreshCaptionFitsInEveryLanguage) {
  // Some translations are wider than the button's usual 114 pixels: the
  // button grows leftwards from the same right edge.
  cSOPKGLang* packs = RegisterPackageLanguages();
  int32_t languages = 0, widened = 0;
  for (int32_t id = 0; id < 64; ++id) {
    if (!packs->Has(id)) continue;
    ASSERT_TRUE(ApplyLanguage(id)) << id;
    Open();
    cWZIButton& refresh = form->RefreshButton();
    const int32_t wanted = refresh.CaptionWidth();
    EXPECT_GE(refresh.GetWidth(), wanted) << "language " << id;
    EXPECT_GE(refresh.GetWidth(), 114) << "language " << id;
    EXPECT_EQ(refresh.GetX() + refresh.GetWidth(), 770 - 47 + 1) << "language " << id;
    if (refresh.GetWidth() > 114) ++widened;
    ++languages;
    host.reset();
  }
  EXPECT_GE(languages, 12);
  EXPECT_GE(widened, 1) << "no translation was wider: the case this guards is not shown";
}

TEST_F(ManagerWindow, PaintsWhiteAroundItsParts) {
  Record("paint", V(1, 0), u"Paint");
  Open();
  twtest::sPainted shot;
  twtest::PaintAlone(*form, shot);
  EXPECT_EQ(shot.At(5, 5), twtest::Px(0xFFFFFF));
  EXPECT_EQ(shot.At(765, 475), twtest::Px(0xFFFFFF));
  // The list panel's frame.
  EXPECT_EQ(shot.At(45, 120), twtest::Px(0xE4E0DC));
}

// A factory that runs the forms it is given through a script.
class cScriptedMaker : public cWindowMaker {
public:
  bool RegisterClasses(void*, intptr_t, int32_t) override { return true; }
  int32_t RunModalForm(const char16_t* title, int32_t w, int32_t h, cChildElement* form, cWindowRequestTarget* owner,
                       bool) override {
    asked.push_back(std::u16string(title) + u" " + U16(std::to_string(w) + "x" + std::to_string(h)) +
                    (owner == nullptr ? u" top" : u" owned"));
    const bool isManager = dynamic_cast<cTarnwickForm*>(form) != nullptr;
    delete form;
    if (!isManager || codes.empty()) return -1;
    const int32_t code = codes.front();
    codes.erase(codes.begin());
    if (code == 10) ApplyLanguage(2);  // as the switch does before it posts
    return code;
  }
  std::vector<std::u16string> asked;
  std::vector<int32_t> codes;
};

TEST_F(ManagerWindow, RunLoopRebuildsAfterASwitch) {
  cScriptedMaker maker;
  maker.codes = {10, 0};
  EXPECT_EQ(RunManagerWindowWith(&maker, nullptr), 0);
  ASSERT_EQ(maker.asked.size(), 2u);
  EXPECT_EQ(maker.asked[0], u"Vornak Software Manager 770x480 top");
  // The second window is titled in the new language.
  const char16_t* german = GetLanguageSections().Text(u"pkgm::tarnw", 0);
  ASSERT_NE(german, nullptr);
  EXPECT_EQ(maker.asked[1], std::u16string(german) + u" 770x480 top");

  const struct {
    std::vector<int32_t> codes;
    int32_t result;
    size_t windows;
  } cases[] = {{{0}, 0, 1}, {{10, 10, 3}, 3, 3}, {{-1}, -1, 1}};
  for (const auto& c : cases) {
    cScriptedMaker m;
    m.codes = c.codes;
    EXPECT_EQ(RunManagerWindowWith(&m, nullptr), c.result);
    EXPECT_EQ(m.asked.size(), c.windows);
  }
  EXPECT_EQ(RunManagerWindowWith(nullptr, nullptr), 1);
}

}  // namespace
