// A writer killed (SIGKILL) at random points while it saves a section over
// and over: after each kill the section file loads completely, with the
// content of one whole save.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <random>
#include <string>

#include "base/config_store.h"
#include "base/strings.h"
#include "tests/support/test_support.h"

namespace {

using twtest::U16;

// Large enough that writing the file takes a good part of each save, so that
// kills land inside that write (a kill between two pages of one write cuts
// it short).
constexpr int kValueBytes = 60000;
constexpr int kKeyCount = 16;
std::string Key(int k) { return "sec/" + std::string(1, static_cast<char>('a' + k)); }

std::string Payload(uint32_t round, int which) {
  std::string s(kValueBytes, '\0');
  std::memcpy(s.data(), &round, 4);
  for (int i = 4; i < kValueBytes; ++i) s[i] = static_cast<char>((round * 31 + which * 7 + i) & 0xFF);
  return s;
}

// Reports its first completed save with one byte on savedFd, so that the
// parent kills only a writer that has made progress, however slow the machine.
[[noreturn]] void WriteForever(const std::u16string& folder, uint32_t firstRound, int savedFd) {
  cCIAppConfig store;
  if (!store.Open(folder.c_str())) _exit(2);
  for (uint32_t round = firstRound;; ++round) {
    for (int k = 0; k < kKeyCount; ++k) {
      const std::string p = Payload(round, k);
      if (!store.SetBytes(Key(k).c_str(), p.data(), static_cast<uint32_t>(p.size()))) _exit(3);
    }
    if (!store.Save()) _exit(4);
    if (savedFd >= 0) {
      const char one = 1;
      if (write(savedFd, &one, 1) != 1) _exit(5);
      close(savedFd);
      savedFd = -1;
    }
  }
}

TEST(ConfigKill, KilledSaveLeavesOldOrNewContent) {
  twtest::TempDir tmp;
  const std::u16string folder = U16(tmp.path());
  const std::u16string path = folder + u"/sec";
  std::mt19937 random(12345);
  uint32_t lastRound = 0;
  for (int kill = 0; kill < 120; ++kill) {
    int saved[2];
    ASSERT_EQ(pipe(saved), 0);
    const pid_t pid = fork();
    ASSERT_NE(pid, -1);
    if (pid == 0) {
      close(saved[0]);
      WriteForever(folder, lastRound + 1, saved[1]);
    }
    close(saved[1]);
    // Wait for the writer's first whole save, then kill it somewhere in the
    // saves that follow.
    char got = 0;
    ssize_t n;
    do n = read(saved[0], &got, 1); while (n < 0 && errno == EINTR);
    close(saved[0]);
    ASSERT_EQ(n, 1) << "the writer ended before its first save";
    usleep(random() % 60000);
    ASSERT_EQ(::kill(pid, SIGKILL), 0);
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFSIGNALED(status)) << "writer ended by itself with " << WEXITSTATUS(status);

    cCIAppConfig store;
    ASSERT_TRUE(store.Open(folder.c_str()));
    sConfigSection section;
    section.name.Assign(u"sec");
    ASSERT_TRUE(store.LoadSectionFile(path.c_str(), section)) << "after kill " << kill;
    // Either nothing saved yet, or all values of one round.
    // The writer completed a save before the kill: the values are there.
    _typebuf<char> first;
    ASSERT_TRUE(store.GetBytes(Key(0).c_str(), first)) << "values missing after kill " << kill;
    ASSERT_EQ(first.count, kValueBytes);
    uint32_t round = 0;
    std::memcpy(&round, first.data, 4);
    for (int k = 0; k < kKeyCount; ++k) {
      _typebuf<char> v;
      ASSERT_TRUE(store.GetBytes(Key(k).c_str(), v)) << Key(k) << " after kill " << kill;
      ASSERT_TRUE(std::string(v.data, static_cast<size_t>(v.count)) == Payload(round, k))
          << Key(k) << " after kill " << kill;
    }
    EXPECT_GT(round, lastRound) << "a save reported complete is missing after kill " << kill;
    lastRound = round;
  }
}

}  // namespace
