// Two processes save different keys of one section at the same time, many
// rounds each: every key of every round must be in the file at the end.
// The processes are this test program itself, started again with the
// disabled worker test selected.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "base/config_store.h"
#include "base/strings.h"
#include "tests/base/scoped_env.h"
#include "tests/support/test_support.h"

#ifdef _WIN32
#include <process.h>
#else
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace {

using twtest::U16;

constexpr int kRounds = 150;
constexpr const char* kWorkerVariable = "TW_CONFIG_WORKER";

// This test program, found in the build folder the test runner names.
std::string SelfPath() {
  const char* folder = std::getenv("TW_BINARY_DIR");
  if (folder == nullptr) return "";
  std::string path(folder);
#ifdef _WIN32
  if (!path.empty() && path[0] == '/') path = "Z:" + path;
  return path + "/test_base_config_concurrency.exe";
#else
  return path + "/test_base_config_concurrency";
#endif
}

// Starts this program running the worker test (one of the disabled tests
// below); the worker reads its orders from the environment it inherits.
// Returns a handle for Wait, -1 on failure.
intptr_t StartWorker(const char* test = "DISABLED_Worker") {
  const std::string self = SelfPath();
  if (self.empty()) return -1;
  const std::string filter = std::string("--gtest_filter=ConfigConcurrency.") + test;
  const char* const args[] = {self.c_str(), filter.c_str(), "--gtest_also_run_disabled_tests", nullptr};
#ifdef _WIN32
  return _spawnv(_P_NOWAIT, self.c_str(), args);
#else
  const pid_t pid = fork();
  if (pid == 0) {
    execv(self.c_str(), const_cast<char* const*>(args));
    _exit(127);
  }
  return pid;
#endif
}

// The worker's exit code, or -1.
int Wait(intptr_t worker) {
#ifdef _WIN32
  int status = -1;
  if (_cwait(&status, worker, 0) == -1) return -1;
  return status;
#else
  int status = 0;
  if (waitpid(static_cast<pid_t>(worker), &status, 0) != static_cast<pid_t>(worker)) return -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
#endif
}

// Orders: "<folder>|<name>". Each round adds shared/<name>/<round> and
// updates shared/<name>-last, then saves.
TEST(ConfigConcurrency, DISABLED_Worker) {
  const char* orders = std::getenv(kWorkerVariable);
  ASSERT_NE(orders, nullptr);
  const std::string text(orders);
  const size_t bar = text.find('|');
  ASSERT_NE(bar, std::string::npos);
  const std::string name = text.substr(bar + 1);
  cCIAppConfig store;
  ASSERT_TRUE(store.Open(U16(text.substr(0, bar)).c_str()));
  for (int round = 0; round < kRounds; ++round) {
    ASSERT_TRUE(store.SetInt(("shared/" + name + "/" + std::to_string(round)).c_str(), round));
    ASSERT_TRUE(store.SetInt(("shared/" + name + "-last").c_str(), round));
    ASSERT_TRUE(store.Save()) << "round " << round;
  }
}

TEST(ConfigConcurrency, TwoProcessesSavingOneSectionLoseNoUpdate) {
  twtest::TempDir tmp;
  intptr_t workers[2];
  const char* names[2] = {"first", "second"};
  for (int i = 0; i < 2; ++i) {
    twtest::ScopedEnv orders(kWorkerVariable, (tmp.path() + "|" + names[i]).c_str());
    workers[i] = StartWorker();
    ASSERT_NE(workers[i], -1);
  }
  for (intptr_t w : workers) EXPECT_EQ(Wait(w), 0);

  cCIAppConfig store;
  ASSERT_TRUE(store.Open(U16(tmp.path()).c_str()));
  for (const char* name : names) {
    EXPECT_EQ(store.GetInt(("shared/" + std::string(name) + "-last").c_str()), kRounds - 1) << name;
    int missing = 0;
    for (int round = 0; round < kRounds; ++round) {
      uint64_t v = 0;
      if (!store.GetInt64(("shared/" + std::string(name) + "/" + std::to_string(round)).c_str(), v) ||
          v != static_cast<uint64_t>(round))
        ++missing;
    }
    EXPECT_EQ(missing, 0) << name;
  }
}

constexpr const char* kSaveOnceVariable = "TW_CONFIG_SAVE_ONCE";

// Orders: "<folder>|<key to set>|<key to delete>". Sets the first key, deletes
// the second and saves once.
TEST(ConfigConcurrency, DISABLED_SaveOnce) {
  const char* orders = std::getenv(kSaveOnceVariable);
  ASSERT_NE(orders, nullptr);
  const std::string text(orders);
  const size_t bar = text.find('|'), bar2 = text.find('|', bar + 1);
  ASSERT_NE(bar2, std::string::npos);
  cCIAppConfig store;
  ASSERT_TRUE(store.Open(U16(text.substr(0, bar)).c_str()));
  ASSERT_TRUE(store.SetString(text.substr(bar + 1, bar2 - bar - 1).c_str(), u"other", -1));
  ASSERT_TRUE(store.DeleteKey(text.substr(bar2 + 1).c_str()));
  ASSERT_TRUE(store.Save());
}

// While EnumKeys lists install/apps, another process saves the section
// (adding e, deleting d) from within the callback at b; then the callback
// either looks a key up, which re-reads the section, or writes and saves.
// Either way the tree the walk started on was replaced; the walk goes on in
// the section as it is now.
TEST(ConfigConcurrency, EnumerationGoesOnWhileTheSectionIsReReadOrSaved) {
  enum eThen { kLookUp, kSave };
  struct Case {
    const char* what;
    eThen then;
  } cases[] = {{"lookup after another process saved", kLookUp}, {"save after another process saved", kSave}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    twtest::TempDir tmp;
    cCIAppConfig store;
    ASSERT_TRUE(store.Open(U16(tmp.path()).c_str()));
    for (const char* app : {"a", "b", "c", "d"})
      ASSERT_TRUE(store.SetString((std::string("install/apps/") + app + "/ver").c_str(), u"1", -1));
    ASSERT_TRUE(store.Save());
    // With unsaved changes the section is never re-read: the save in the
    // callback is then what replaces the walked tree.
    if (c.then == kSave) {
      ASSERT_TRUE(store.SetString("install/apps/a/note", u"x", -1));
    }

    struct sWalk {
      cCIAppConfig* store;
      std::string folder;
      eThen then;
      std::string visited;
      int workerExit = -2;
    } walk{&store, tmp.path(), c.then, "", -2};
    const bool ran = store.EnumKeys(
        "install/apps",
        [](const char* key, void* user) {
          auto& w = *static_cast<sWalk*>(user);
          w.visited += key;
          if (std::string(key) != "b") return true;
          {
            twtest::ScopedEnv orders(kSaveOnceVariable, (w.folder + "|install/apps/e/ver|install/apps/d").c_str());
            w.workerExit = Wait(StartWorker("DISABLED_SaveOnce"));
          }
          if (w.then == kLookUp) {
            _guardchar<char16_t> ver;
            EXPECT_TRUE(w.store->GetString("install/apps/e/ver", ver));
          } else {
            EXPECT_TRUE(w.store->SetString("install/apps/b/seen", u"yes", -1));
            EXPECT_TRUE(w.store->Save());
          }
          return true;
        },
        &walk);
    EXPECT_EQ(walk.workerExit, 0);
    EXPECT_TRUE(ran);
    EXPECT_EQ(walk.visited, "abce");
    cCIAppConfig check;
    ASSERT_TRUE(check.Open(U16(tmp.path()).c_str()));
    EXPECT_TRUE(check.Exists("install/apps/e/ver"));
    EXPECT_FALSE(check.Exists("install/apps/d"));
    EXPECT_EQ(check.Exists("install/apps/b/seen"), c.then == kSave);
  }
}

}  // namespace
