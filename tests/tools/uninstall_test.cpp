// The uninstaller and the manager remover, driven through their forms on a
// test host: the questions they ask are answered by scripts, the messages
// they end with are read back, and the disk, the store and the Uninstall
// entries are compared with what an installation left.
#include <gtest/gtest.h>

#include <chrono>
#include <deque>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "base/config_store.h"
#include "base/paths.h"
#include "base/registry.h"
#include "gui/dialogs/message_box.h"
#include "gui/language.h"
#include "tests/base/scoped_env.h"
#include "tests/controls/control_fixture.h"
#include "tests/support/test_support.h"
#include "tests/tools/registry_fixture.h"
#include "tools/app_language.h"
#include "tools/install_record.h"
#include "tools/manager_remover.h"
#include "tools/modes.h"
#include "tools/uninstall_entry.h"
#include "tools/uninstaller.h"
#ifdef _WIN32
#include <windows.h>

#include "tests/support/capture.h"
#endif

using twtest::cTestHost;
using twtest::Narrow;
using twtest::ScopedEnv;
using twtest::U16;
namespace fs = std::filesystem;

namespace {

constexpr int32_t kWaitMs = 60000;

template <class P>
bool PumpUntil(cTestHost& host, P pred) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(kWaitMs);
  while (std::chrono::steady_clock::now() < end) {
    if (pred()) return true;
    host.WaitAndPump(20);
  }
  return pred();
}

template <class P>
bool WaitFor(P pred) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(kWaitMs);
  while (std::chrono::steady_clock::now() < end) {
    if (pred()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  return pred();
}

void Touch(const std::string& path, const std::string& content = "x") {
  fs::create_directories(fs::u8path(path).parent_path());
  std::ofstream(fs::u8path(path), std::ios::binary) << content;
}

bool Exists(const std::string& path) { return fs::exists(fs::u8path(path)); }

std::string Utf8(const fs::path& p) {
  const auto u = p.generic_u8string();
  return std::string(u.begin(), u.end());
}

// Every file and folder below root with the files' contents.
std::map<std::string, std::string> Snapshot(const std::string& root) {
  std::map<std::string, std::string> out;
  for (const auto& e : fs::recursive_directory_iterator(fs::u8path(root))) {
    const std::string rel = Utf8(e.path().lexically_relative(fs::u8path(root)));
    out[rel] = e.is_directory() ? "<dir>" : twtest::ReadFileText(Utf8(e.path()));
  }
  return out;
}

// One message box as the form showed it: its window title and its lines.
struct sShown {
  std::u16string title;
  std::u16string text;
};

// What a run of a form asked and told, and how it ended.
struct sRun {
  int32_t result = -99;
  std::vector<sShown> shown;
};

std::u16string Joined(cMessageForm* m) {
  std::u16string out;
  for (cListItem* i = m->Lines().head; i != nullptr; i = i->next) {
    if (!out.empty()) out += u"\n";
    const char16_t* line = static_cast<cMessageForm::cStrTokenItem*>(i)->line.text;
    out += line != nullptr ? line : u"";
  }
  return out;
}

// Answers for the message boxes in the order they come: true presses
// Enter (yes, ok), false Escape (no). A hook may run before the answer.
struct sAnswer {
  sAnswer(bool answer) : yes(answer) {}  // NOLINT: a table of plain answers reads best
  sAnswer(bool answer, std::function<void()> hook) : yes(answer), before(std::move(hook)) {}
  bool yes;
  std::function<void()> before;
};

// Runs start (which shows the form modally over the fixture's top) and
// answers its message boxes.
sRun Drive(const std::function<int32_t(cChildElement*)>& start, const std::vector<sAnswer>& answers) {
  sRun run;
  twtest::sControlFixture f;
  std::vector<std::u16string> titles;
  f.host.QueueModalScript([&](cTestHost& nested, cChildElement*) {
    EXPECT_TRUE(PumpUntil(nested, [&] { return nested.ended; })) << "the form did not end";
    titles = nested.modalTitles;
  });
  // The language question (a record without a language) is a form of its
  // own: it takes the preselected language and uses up no answer.
  auto pending = std::make_shared<std::deque<sAnswer>>(answers.begin(), answers.end());
  for (size_t i = 0; i <= answers.size(); ++i) {
    f.host.QueueModalScript([&run, pending](cTestHost& box, cChildElement* form) {
      auto* m = dynamic_cast<cMessageForm*>(form);
      box.Pump();
      if (m == nullptr) {
        form->Key(13, false, false, false);
        return;
      }
      if (pending->empty()) {
        ADD_FAILURE() << "a message box beyond the answers given";
        m->Key(27, false, false, false);
        return;
      }
      const sAnswer a = pending->front();
      pending->pop_front();
      run.shown.push_back({u"", Joined(m)});
      if (a.before) a.before();
      m->Key(a.yes ? 13 : 27, false, false, false);
    });
  }
  run.result = start(f.top);
  for (size_t i = 0; i < run.shown.size() && i < titles.size(); ++i) run.shown[i].title = titles[i];
  return run;
}

std::vector<std::u16string> Titles(const sRun& run) {
  std::vector<std::u16string> out;
  for (const sShown& s : run.shown) out.push_back(s.title);
  return out;
}

const char16_t* UninText(int32_t index) { return GetLanguageText("pkgm::unin", index); }
const char16_t* RemText(int32_t index) { return GetLanguageText("pkgm::rem", index); }

class Uninstall : public twtest::RegistryTest {
protected:
  void SetUp() override {
    twtest::RegistryTest::SetUp();
    ASSERT_TRUE(twtest::UseEnglish());
    RegisterPackageLanguages();
    ASSERT_TRUE(SetCurrentLanguage(0));
    root_ = tmp_.path() + "/disk";
    fs::create_directories(fs::u8path(root_));
    ASSERT_TRUE(store_.Open(U16(tmp_.path()).c_str()));
    code_ = UniqueCodename("twtest-unin");
  }
  void TearDown() override {
    DeleteUninstallEntry(code_.c_str(), false);
    DeleteUninstallEntry(code_.c_str(), true);
  }

  std::string RecordKey() const { return "install/" + Narrow(code_); }

  // What an installation leaves: three files in a folder tree of their own
  // beside a file that is not the package's, a recorded file that is gone
  // already, a shortcut in a menu group, the manager, the record and the
  // Uninstall entry (per-user or machine-wide).
  void Install(bool perUser, uint32_t fileCountOverride = 0) {
    Touch(root_ + "/Programs/keep.txt", "not ours");
    Touch(root_ + "/Programs/App/app.exe", "exe");
    Touch(root_ + "/Programs/App/data/b.dat", "data");
    Touch(root_ + "/Programs/App/data/deep/c.txt", "text");
    Touch(root_ + "/Menu/Group/App.lnk", "link");
    Touch(root_ + "/Menu/other.lnk", "someone else's");
    Touch(Manager(), "manager");
    files_ = {U16(root_ + "/Programs/App/app.exe"), U16(root_ + "/Programs/App/data/b.dat"),
              U16(root_ + "/Programs/App/gone.txt"), U16(root_ + "/Programs/App/data/deep/c.txt")};
    links_ = {U16(root_ + "/Menu/Group/App.lnk")};
    std::vector<const char16_t*> files, links;
    for (const auto& f : files_) files.push_back(f.c_str());
    for (const auto& l : links_) links.push_back(l.c_str());
    sInstallRecordData r;
    r.version = 0x0001000200000000ull;
    r.language = 0;
    r.name = u"Tarn App";
    r.files = files.data();
    r.fileCount = static_cast<int32_t>(files.size());
    r.shortcuts = links.data();
    r.shortcutCount = static_cast<int32_t>(links.size());
    WriteInstallRegistration(&store_, r, RecordKey().c_str());
    if (fileCountOverride != 0) store_.SetInt((RecordKey() + "/files").c_str(), static_cast<int32_t>(fileCountOverride));
    // Another package's record stays.
    store_.SetString("install/twtest-other/name", u"Other", -1);
    ASSERT_TRUE(store_.Save());
    sUninstallEntryData e;
    e.codename = code_.c_str();
    e.version = r.version;
    e.displayName = u"Tarn App";
    ASSERT_TRUE(WriteUninstallEntry(e, U16(Manager()).c_str(), perUser));
  }
  std::string Manager() const { return root_ + "/Common Files/Vornak/tarnwick.exe"; }

  bool HasEntry(bool perUser) {
    uint32_t v[4];
    return ReadUninstallEntry(code_.c_str(), v, nullptr, nullptr, perUser);
  }

  sRun RunForm(const std::vector<sAnswer>& answers) {
    return Drive([&](cChildElement* owner) {
      return RunUninstallWith(&store_, GetLanguageSections(), code_.c_str(), owner);
    }, answers);
  }

  std::string root_;
  std::u16string code_;
  cCIAppConfig store_;
  std::vector<std::u16string> files_, links_;
};

// Confirmed: the package's files, the folders they leave empty, its
// shortcut and its group, both registrations and the record are gone;
// everything else stays. Both kinds of installation.
TEST_F(Uninstall, RemovesWhatTheInstallationLeftAndNothingElse) {
  for (bool perUser : {false, true}) {
    const auto before = Snapshot(root_);
    Install(perUser);
    const sRun run = RunForm({{true}, {true}});
    EXPECT_EQ(run.result, 0) << perUser;
    ASSERT_EQ(run.shown.size(), 2u) << perUser;
    EXPECT_EQ(Titles(run), (std::vector<std::u16string>{u"Confirm", u"Information"}));
    EXPECT_EQ(run.shown[0].text, UninText(3));
    EXPECT_EQ(run.shown[1].text, UninText(5));

    auto after = Snapshot(root_);
    // What existed before the installation, and what was not the package's.
    EXPECT_TRUE(after.erase("Programs/keep.txt") && after.erase("Programs") && after.erase("Menu/other.lnk") &&
                after.erase("Menu") && after.erase("Common Files/Vornak/tarnwick.exe") &&
                after.erase("Common Files/Vornak") && after.erase("Common Files"))
        << "the manager or a file of someone else went";
    EXPECT_EQ(after, before) << perUser;
    EXPECT_FALSE(HasEntry(false));
    EXPECT_FALSE(HasEntry(true)) << "the per-user entry was left behind";
    EXPECT_FALSE(store_.Exists(RecordKey().c_str()));
    EXPECT_TRUE(store_.Exists("install/twtest-other"));
    // Saved: a fresh look at the store agrees.
    cCIAppConfig reread;
    ASSERT_TRUE(reread.Open(U16(tmp_.path()).c_str()));
    EXPECT_FALSE(reread.Exists(RecordKey().c_str()));
    fs::remove_all(fs::u8path(root_));
    fs::create_directories(fs::u8path(root_));
  }
}

TEST_F(Uninstall, DecliningChangesNothing) {
  Install(false);
  const auto installed = Snapshot(root_);
  const sRun run = RunForm({{false}, {true}});
  EXPECT_EQ(run.result, 1);
  ASSERT_EQ(run.shown.size(), 2u);
  EXPECT_EQ(run.shown[0].text, UninText(3));
  EXPECT_EQ(run.shown[1].text, UninText(11));
  EXPECT_EQ(Snapshot(root_), installed);
  EXPECT_TRUE(HasEntry(false));
  EXPECT_TRUE(store_.Exists((RecordKey() + "/file0").c_str()));
}

// A count that the record does not back with keys ends at the first
// missing one instead of walking billions of indexes.
TEST_F(Uninstall, TheFileCountEndsAtTheFirstMissingKey) {
  Install(false, 0x7FFFFFF0u);
  const sRun run = RunForm({{true}, {true}});
  EXPECT_EQ(run.result, 0);
  EXPECT_FALSE(Exists(root_ + "/Programs/App"));
  EXPECT_FALSE(store_.Exists(RecordKey().c_str()));
}

// A record without "lang" asks for the language among the application's
// packs; the run goes on in the chosen one.
TEST_F(Uninstall, ARecordWithoutLanguageStillRuns) {
  Install(false);
  ASSERT_TRUE(store_.DeleteKey((RecordKey() + "/lang").c_str()));
  const sRun run = RunForm({{true}, {true}});
  EXPECT_EQ(run.result, 0);
  EXPECT_FALSE(Exists(root_ + "/Programs/App/app.exe"));
}

TEST_F(Uninstall, NothingHappensWithoutACodenameOrTexts) {
  sRun run = Drive([&](cChildElement* owner) { return RunUninstallWith(&store_, GetLanguageSections(), u"", owner); }, {});
  EXPECT_EQ(run.result, 1);
  Install(false);
  sLangSections none;
  twtest::sControlFixture f;
  EXPECT_EQ(RunUninstallWith(&store_, none, code_.c_str(), f.top), 1);
  EXPECT_TRUE(f.host.modalTitles.empty());
  EXPECT_TRUE(Exists(root_ + "/Programs/App/app.exe"));
}

// Packages known only from an Uninstall entry.
TEST_F(Uninstall, EntriesWithoutARecord) {
  struct sCase {
    const char* name;
    bool entry;            // an entry is written
    bool perUser;
    const char16_t* command;  // null: none; else the manager's own command
    uint64_t version;
    std::vector<sAnswer> answers;
    int32_t result;
    std::vector<int32_t> texts;  // the texts shown, in order
    bool entryStays;
  } const cases[] = {
      {"no entry at all", false, false, nullptr, 0, {{true}}, 1, {7}, false},
      {"own command, record gone", true, false, u"<own>", 0x0001000000000000ull, {{true}}, 1, {10}, false},
      {"own command, per-user", true, true, u"<own>", 0x0001000000000000ull, {{true}}, 1, {10}, false},
      {"no command, version 0.0", true, false, nullptr, 0, {{true}}, 1, {7}, true},
      {"no command, deregistered", true, true, nullptr, 0x0000000100000000ull, {{true}, {true}}, 0, {2, 5}, false},
      {"no command, kept", true, false, nullptr, 0x0002000000000000ull, {{false}, {true}}, 1, {2, 11}, true},
  };
  for (const sCase& c : cases) {
    if (c.entry) {
      sUninstallEntryData e;
      e.codename = code_.c_str();
      e.version = c.version;
      ASSERT_TRUE(WriteUninstallEntry(e, u"C:/Program Files/Common Files/Vornak/tarnwick.exe", c.perUser));
      cRegKey key;
      const std::u16string path = u"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\" + code_;
      ASSERT_TRUE(OpenRegKey(key, c.perUser ? tw::kRegCurrentUser : tw::kRegLocalMachine, nullptr, path.c_str(),
                             tw::kRegRead | tw::kRegWrite | tw::kRegView64));
      if (c.command == nullptr) {
        // An entry without a command: written by hand, as other programs do.
        ASSERT_TRUE(DeleteUninstallEntry(code_.c_str(), c.perUser));
        ASSERT_TRUE(CreateRegKey(key, c.perUser ? tw::kRegCurrentUser : tw::kRegLocalMachine, nullptr, path.c_str(),
                                 tw::kRegRead | tw::kRegWrite | tw::kRegView64));
        ASSERT_TRUE(WriteRegDword(static_cast<uint32_t>(c.version >> 48), key, u"MajorVersion"));
        ASSERT_TRUE(WriteRegDword(static_cast<uint32_t>(c.version >> 32) & 0xFFFF, key, u"MinorVersion"));
      }
    }
    const sRun run = RunForm(c.answers);
    EXPECT_EQ(run.result, c.result) << c.name;
    std::vector<std::u16string> shown, expected;
    for (const sShown& s : run.shown) shown.push_back(s.text);
    for (int32_t t : c.texts) expected.push_back(UninText(t));
    EXPECT_EQ(shown, expected) << c.name;
    EXPECT_EQ(HasEntry(c.perUser), c.entryStays) << c.name;
    DeleteUninstallEntry(code_.c_str(), c.perUser);
  }
}

TEST(OwnUninstallCommand, RecognisesTheProgramsOwnCommandLine) {
  const struct {
    const char16_t* command;
    bool own;
  } cases[] = {
      {u"\"C:\\P\\tarnwick.exe\" uninstall \"abc\"", true},
      {u"\"D:\\elsewhere\\copy.exe\" uninstall \"abc\"", true},
      {u"\"C:\\P\\tarnwick.exe\" update \"abc\"", false},
      {u"\"C:\\P\\tarnwick.exe\" uninstall \"abd\"", false},
      {u"\"C:\\P\\tarnwick.exe\" uninstall \"ab", false},
      {u"\"C:\\P\\tarnwick.exe\"  uninstall \"abc\"", false},
      {u"C:\\P\\tarnwick.exe uninstall \"abc\"", false},
      {u"\"C:\\P\\tarnwick.exe uninstall \"abc\"", false},
      {u"", false},
  };
  for (const auto& c : cases) EXPECT_EQ(IsOwnUninstallCommand(c.command, u"abc"), c.own) << Narrow(c.command);
}

// ---- Foreign uninstallers -----------------------------------------------------

#ifndef _WIN32
// Natively commands run through /bin/sh.
TEST_F(Uninstall, ForeignUninstallCommands) {
  const struct {
    const char* name;
    const char16_t* command;
    int32_t result;
    int32_t text;
  } cases[] = {
      {"exits 0", u"exit 0", 0, 5},
      {"exits 3", u"exit 3", 1, 9},
      {"writes megabytes", u"head -c 8000000 /dev/zero; exit 0", 0, 5},
      {"writes megabytes to its error output", u"head -c 8000000 /dev/zero >&2; exit 0", 0, 5},
      {"waits for input", u"read answer; cat >/dev/null; exit 0", 0, 5},
  };
  for (const auto& c : cases) {
    cRegKey key;
    const std::u16string path = u"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\" + code_;
    ASSERT_TRUE(CreateRegKey(key, tw::kRegLocalMachine, nullptr, path.c_str(),
                             tw::kRegRead | tw::kRegWrite | tw::kRegView64));
    ASSERT_TRUE(WriteRegDword(1, key, u"MajorVersion"));
    ASSERT_TRUE(WriteRegString(key, c.command, u"UninstallString"));
    const sRun run = RunForm({{true}});
    EXPECT_EQ(run.result, c.result) << c.name;
    ASSERT_EQ(run.shown.size(), 1u) << c.name;
    EXPECT_EQ(run.shown[0].text, UninText(c.text)) << c.name;
    // A foreign uninstaller removes its own entry; ours is left to it.
    EXPECT_TRUE(HasEntry(false)) << c.name;
    DeleteUninstallEntry(code_.c_str(), false);
  }
}
#else
// The stand-in uninstaller program plays the other product.
TEST_F(Uninstall, ForeignUninstallCommands) {
  const std::u16string fake = U16("\"" + twtest::BinaryPath("tw_fake_uninstaller.exe") + "\"");
  const struct {
    const char* name;
    std::u16string command;
    int32_t result;
    int32_t text;
  } cases[] = {
      {"exits 0", fake + u" exit 0", 0, 5},
      {"exits 3", fake + u" exit 3", 1, 9},
      {"writes megabytes", fake + u" flood 16", 0, 5},
      {"waits for input", fake + u" read", 0, 5},
      {"cannot start", U16("\"" + tmp_.path() + "/missing.exe\" /uninstall"), 1, 8},
  };
  for (const auto& c : cases) {
    cRegKey key;
    const std::u16string path = u"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\" + code_;
    ASSERT_TRUE(CreateRegKey(key, tw::kRegLocalMachine, nullptr, path.c_str(),
                             tw::kRegRead | tw::kRegWrite | tw::kRegView64));
    ASSERT_TRUE(WriteRegDword(1, key, u"MajorVersion"));
    ASSERT_TRUE(WriteRegString(key, c.command.c_str(), u"UninstallString"));
    const sRun run = RunForm({{true}});
    EXPECT_EQ(run.result, c.result) << c.name;
    ASSERT_EQ(run.shown.size(), 1u) << c.name;
    EXPECT_EQ(run.shown[0].text, UninText(c.text)) << c.name;
    EXPECT_TRUE(HasEntry(false)) << c.name;
    DeleteUninstallEntry(code_.c_str(), false);
  }
}

// A file held open by someone else: giving up puts every file moved aside
// back; retrying after it was let go finishes the removal.
TEST_F(Uninstall, AFileInUse) {
  for (bool giveUp : {true, false}) {
    Install(false);
    const auto installed = Snapshot(root_);
    const std::string heldPath = root_ + "/Programs/App/data/b.dat";
    HANDLE held = CreateFileW(fs::u8path(heldPath).wstring().c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    std::vector<sAnswer> answers = {{true}};
    if (giveUp) {
      answers.push_back({false});  // "try again?" no
    } else {
      answers.push_back({true, [&] { CloseHandle(held); held = INVALID_HANDLE_VALUE; }});
    }
    answers.push_back({true});
    const sRun run = RunForm(answers);
    if (held != INVALID_HANDLE_VALUE) CloseHandle(held);
    ASSERT_EQ(run.shown.size(), 3u) << giveUp;
    EXPECT_EQ(run.shown[1].title, u"Confirm");
    EXPECT_NE(run.shown[1].text.find(U16(heldPath)), std::u16string::npos) << Narrow(run.shown[1].text);
    if (giveUp) {
      EXPECT_EQ(run.result, 1);
      EXPECT_EQ(run.shown[2].text, UninText(11));
      EXPECT_EQ(Snapshot(root_), installed);
      EXPECT_TRUE(HasEntry(false));
      EXPECT_TRUE(store_.Exists(RecordKey().c_str()));
    } else {
      EXPECT_EQ(run.result, 0);
      EXPECT_EQ(run.shown[2].text, UninText(5));
      EXPECT_FALSE(Exists(root_ + "/Programs/App"));
      EXPECT_FALSE(store_.Exists(RecordKey().c_str()));
    }
    fs::remove_all(fs::u8path(root_));
    fs::create_directories(fs::u8path(root_));
  }
}
#endif

// ---- Remover ---------------------------------------------------------------------

class RemoveManager : public Uninstall {
protected:
  void SetUp() override {
    Uninstall::SetUp();
    programs_ = std::make_unique<ScopedEnv>("ProgramW6432", (root_ + "/Programs").c_str());
    temp_ = std::make_unique<ScopedEnv>("TEMP", (tmp_.path() + "/temp").c_str());
    fs::create_directories(fs::u8path(root_ + "/Programs"));
    fs::create_directories(fs::u8path(tmp_.path() + "/temp"));
  }
  std::string Manager() const { return root_ + "/Programs/Common Files/Vornak/tarnwick.exe"; }
  void PlaceManagerAndShortcut() {
    Touch(root_ + "/Programs/keep.txt", "not the manager's");
    Touch(Manager(), "manager");
    Touch(root_ + "/Menu/Vornak/Software manager.lnk", "link");
    store_.SetString(tw::kKeyInstallerShortcut, U16(root_ + "/Menu/Vornak/Software manager.lnk").c_str(), -1);
    store_.SetString(tw::kKeyInstallerApp, U16(Manager()).c_str(), -1);
  }
  sRun Remove(const std::u16string& fallback, const std::vector<sAnswer>& answers) {
    return Drive([&](cChildElement* owner) {
      return RunRemoveManagerWith(&store_, GetLanguageSections(), fallback.c_str(), owner) ? 1 : 0;
    }, answers);
  }
  std::vector<std::u16string> Texts(const sRun& run) {
    std::vector<std::u16string> out;
    for (const sShown& s : run.shown) out.push_back(s.text);
    return out;
  }
  std::unique_ptr<ScopedEnv> programs_, temp_;
};

TEST_F(RemoveManager, APackageLeftBlocksTheRemoval) {
  PlaceManagerAndShortcut();
  store_.SetString("install/twtest-left/name", u"Left", -1);
  const auto before = Snapshot(root_);
  const sRun run = Remove(u"", {{true}});
  EXPECT_EQ(run.result, 0);
  EXPECT_EQ(Texts(run), (std::vector<std::u16string>{RemText(4)}));
  EXPECT_EQ(Snapshot(root_), before);
}

TEST_F(RemoveManager, DecliningEndsWithoutAMessage) {
  PlaceManagerAndShortcut();
  const auto before = Snapshot(root_);
  const sRun run = Remove(u"", {{false}});
  EXPECT_EQ(run.result, 0);
  EXPECT_EQ(Texts(run), (std::vector<std::u16string>{RemText(2)}));
  EXPECT_EQ(Snapshot(root_), before);
}

// A manager that nobody holds is deleted at once, with its emptied folders
// and its shortcut.
TEST_F(RemoveManager, AFreeManagerIsDeletedDirectly) {
  PlaceManagerAndShortcut();
  const sRun run = Remove(u"", {{true}, {true}});
  EXPECT_EQ(run.result, 1);
  EXPECT_EQ(Texts(run), (std::vector<std::u16string>{RemText(2), RemText(3)}));
  EXPECT_FALSE(Exists(root_ + "/Programs/Common Files"));
  EXPECT_FALSE(Exists(root_ + "/Menu"));
  EXPECT_TRUE(Exists(root_ + "/Programs"));
}

// A folder where the manager belongs: nothing is deleted, and the script
// has nothing to do.
TEST_F(RemoveManager, AFolderAtTheManagersNameStays) {
  fs::create_directories(fs::u8path(Manager() + "/inside"));
  const std::string copy = root_ + "/copy/tarnwick.exe";
  Touch(copy);
  const sRun run = Remove(U16(copy), {{true}, {true}});
  EXPECT_EQ(run.result, 1);
  EXPECT_EQ(Texts(run), (std::vector<std::u16string>{RemText(2), RemText(6)}));
  EXPECT_TRUE(Exists(Manager() + "/inside"));
  EXPECT_TRUE(Exists(copy));
}

// Without an installed manager the running copy's own path goes to the
// script, which deletes it and then itself.
TEST_F(RemoveManager, WithoutAManagerTheRunningCopyIsHandedToTheScript) {
  const std::string copy = root_ + "/copy/tarnwick.exe";
  Touch(copy);
  const sRun run = Remove(U16(copy), {{true}, {true}});
  EXPECT_EQ(run.result, 1);
  EXPECT_EQ(Texts(run), (std::vector<std::u16string>{RemText(2), RemText(6)}));
  EXPECT_TRUE(WaitFor([&] { return !Exists(copy); })) << "the script did not delete the copy";
  const std::string temp = tmp_.path() + "/temp";
  EXPECT_TRUE(WaitFor([&] {
    for (const auto& e : fs::directory_iterator(fs::u8path(temp)))
      if (e.path().extension() == ".cmd") return false;
    return true;
  })) << "the script did not delete itself";
}

// A script that cannot be written is a failure, and the copy stays.
TEST_F(RemoveManager, AScriptThatCannotBeWrittenIsAFailure) {
  const std::string copy = root_ + "/copy/tarnwick.exe";
  Touch(copy);
  ScopedEnv noTemp("TEMP", (tmp_.path() + "/no such folder").c_str());
  const sRun run = Remove(U16(copy), {{true}, {true}});
  EXPECT_EQ(run.result, 0);
  EXPECT_EQ(Texts(run), (std::vector<std::u16string>{RemText(2), RemText(7)}));
  EXPECT_TRUE(Exists(copy));
}

TEST_F(RemoveManager, NothingWithoutTexts) {
  sLangSections none;
  twtest::sControlFixture f;
  EXPECT_FALSE(RunRemoveManagerWith(&store_, none, u"", f.top));
  EXPECT_TRUE(f.host.modalTitles.empty());
}

}  // namespace
