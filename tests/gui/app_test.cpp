// The application runner: exit codes, the store's opening, program path
// and folder, the window factory and the current application on every path.
#include "gui/app.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/app_config.h"
#include "gui/language.h"
#include "gui/window_maker.h"
#include "tests/support/test_support.h"

namespace {

std::vector<std::string> g_log;

// A store that records how it is opened; Open fails the first `failOpens` times.
class RecordingStore : public cApplicationConfig {
public:
  explicit RecordingStore(int failOpens = 0) : failOpens_(failOpens) {}
  ~RecordingStore() override { g_log.push_back("store deleted"); }
  cConfigNode* Root() override { return nullptr; }
  cConfigNode* Child(const char*, cConfigNode*, bool) override { return nullptr; }
  bool ValueSize(cConfigNode*, uint32_t&) override { return false; }
  bool Create(const char16_t* name) override {
    g_log.push_back("create " + twtest::Narrow(name));
    return true;
  }
  bool Open(const char16_t* name) override {
    g_log.push_back("open " + twtest::Narrow(name));
    return failOpens_-- <= 0;
  }

private:
  int failOpens_;
};

class CountingMaker : public cWindowMaker {
public:
  explicit CountingMaker(bool registers) : registers_(registers) {}
  ~CountingMaker() override { g_log.push_back("maker deleted"); }
  bool RegisterClasses(void*, intptr_t reserved, int32_t icon) override {
    g_log.push_back("register " + std::to_string(reserved) + " " + std::to_string(icon));
    return registers_;
  }
  int32_t RunModalForm(const char16_t*, int32_t, int32_t, cChildElement*, cWindowRequestTarget*,
                       bool) override {
    return -1;
  }

private:
  bool registers_;
};

struct Behaviour {
  bool initResult = true;
  int32_t initWrites = -1;  // -1: leaves the exit code alone
  int32_t runResult = 0;
  cWindowMaker* maker = nullptr;
};

class ProbeApp : public cCIApplication {
public:
  explicit ProbeApp(Behaviour b) : b_(b) {
    if (b.maker != nullptr) SetWindowMaker(b.maker);
  }
  ~ProbeApp() override { g_log.push_back("app deleted"); }
  bool Init(int32_t argc, char16_t**, int32_t& exitCode) override {
    g_log.push_back("init " + std::to_string(argc) + (GetCurrent() == this ? " current" : "") +
                    (GetConfig() != nullptr ? " store" : ""));
    path = GetProgramPath() != nullptr ? GetProgramPath() : u"";
    folder = GetProgramFolder() != nullptr ? GetProgramFolder() : u"";
    if (b_.initWrites >= 0) exitCode = b_.initWrites;
    return b_.initResult;
  }
  int32_t Run() override {
    g_log.push_back(std::string("run") + (GetWindowMaker() != nullptr ? " maker" : "") +
                    (GetCurrent() == this ? " current" : ""));
    return b_.runResult;
  }
  void AfterRun() override { g_log.push_back("after run"); }

  static std::u16string path, folder;

private:
  Behaviour b_;
};
std::u16string ProbeApp::path, ProbeApp::folder;

int32_t RunProbe(Behaviour b, cApplicationConfig* store, std::vector<std::u16string> args = {u"C:\\x\\prog.exe"}) {
  g_log.clear();
  std::vector<char16_t*> argv;
  for (auto& a : args) argv.push_back(a.data());
  return RunApplication(new ProbeApp(b), nullptr, 0, 101, static_cast<int32_t>(argv.size()), argv.data(),
                        store, u"qxv");
}

using Log = std::vector<std::string>;

TEST(RunApplication, NullApplicationEndsWithOneAndFreesTheStore) {
  g_log.clear();
  EXPECT_EQ(RunApplication(nullptr, nullptr, 0, 101, 0, nullptr, new RecordingStore(), u"qxv"), 1);
  EXPECT_EQ(g_log, Log{"store deleted"});
  EXPECT_EQ(cCIApplication::GetCurrent(), nullptr);
}

TEST(RunApplication, RunsInitWindowingRunAndAfterRun) {
  Behaviour b;
  b.runResult = 7;
  b.maker = new CountingMaker(true);
  EXPECT_EQ(RunProbe(b, new RecordingStore()), 7);
  const Log expected = {"open qxv",   "init 1 current store", "register 0 101", "run maker current",
                        "after run",  "app deleted",          "store deleted",  "maker deleted"};
  EXPECT_EQ(g_log, expected);
  EXPECT_EQ(cCIApplication::GetCurrent(), nullptr);
}

TEST(RunApplication, StoreThatCannotOpenIsCreatedAndOpenedOnce) {
  Behaviour b;
  b.maker = new CountingMaker(true);
  EXPECT_EQ(RunProbe(b, new RecordingStore(5)), 0);  // the second failure is not reported
  ASSERT_GE(g_log.size(), 3u);
  EXPECT_EQ((Log{g_log[0], g_log[1], g_log[2]}), (Log{"open qxv", "create qxv", "open qxv"}));
  EXPECT_EQ(g_log[3], "init 1 current store");
}

TEST(RunApplication, InitRefusalEndsWithItsExitCodeAndNoWindowing) {
  struct Case {
    int32_t writes;
    int32_t exit;
  };
  for (const Case c : {Case{-1, 1}, Case{0, 0}, Case{3, 3}}) {
    Behaviour b;
    b.initResult = false;
    b.initWrites = c.writes;
    b.maker = new CountingMaker(true);
    EXPECT_EQ(RunProbe(b, new RecordingStore()), c.exit) << c.writes;
    const Log expected = {"open qxv", "init 1 current store", "app deleted", "store deleted",
                          "maker deleted"};
    EXPECT_EQ(g_log, expected) << "no class registered, nothing run";
    EXPECT_EQ(cCIApplication::GetCurrent(), nullptr) << "cleared on the failure path";
  }
}

TEST(RunApplication, ClassesThatCannotBeRegisteredEndWithOne) {
  Behaviour b;
  b.maker = new CountingMaker(false);
  EXPECT_EQ(RunProbe(b, new RecordingStore()), 1);
  const Log expected = {"open qxv", "init 1 current store", "register 0 101", "app deleted",
                        "store deleted", "maker deleted"};
  EXPECT_EQ(g_log, expected);
  EXPECT_EQ(cCIApplication::GetCurrent(), nullptr);
}

TEST(RunApplication, ProgramPathAndFolder) {
  struct Case {
    std::vector<std::u16string> args;
    bool nullFirst;
    std::u16string path, folder;
  };
  const Case cases[] = {
      {{}, false, u"", u""},
      {{u"x"}, true, u"", u"./"},
      {{u"prog.exe"}, false, u"prog.exe", u"./"},
      {{u"C:\\x\\prog.exe", u"make"}, false, u"C:/x/prog.exe", u"C:/x"},
      {{u"\"C:\\Program Files\\t.exe\" "}, false, u"C:/Program Files/t.exe", u"C:/Program Files"},
      {{u"/abs"}, false, u"/abs", u""},
  };
  for (const Case& c : cases) {
    g_log.clear();
    ProbeApp::path = u"unset";
    ProbeApp::folder = u"unset";
    std::vector<std::u16string> args = c.args;
    std::vector<char16_t*> argv;
    for (auto& a : args) argv.push_back(a.data());
    if (c.nullFirst) argv[0] = nullptr;
    Behaviour b;
    b.maker = new CountingMaker(true);
    RunApplication(new ProbeApp(b), nullptr, 0, 101, static_cast<int32_t>(argv.size()), argv.data(),
                   new RecordingStore(), u"qxv");
    EXPECT_EQ(ProbeApp::path, c.path) << twtest::Narrow(c.args.empty() ? u"(none)" : c.args[0]);
    EXPECT_EQ(ProbeApp::folder, c.folder) << twtest::Narrow(c.args.empty() ? u"(none)" : c.args[0]);
  }
}

}  // namespace
