#include "base/process.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <unistd.h>
#endif

#include "base/process_internal.h"
#include "tests/support/handles.h"
#include "tests/support/test_support.h"

namespace {

using namespace std::chrono_literals;

#ifdef _WIN32
constexpr bool kWin32 = true;
#else
constexpr bool kWin32 = false;
#endif

// ASCII only: the paths of the tests are.
std::u16string Widen(const std::string& s) { return std::u16string(s.begin(), s.end()); }

// The helper program, quoted for a command line.
std::string Child() {
  const char* dir = std::getenv("TW_BINARY_DIR");
  if (dir == nullptr) throw std::runtime_error("TW_BINARY_DIR is not set");
  std::string path(dir);
  if (kWin32 && !path.empty() && path[0] == '/') path = "Z:" + path;
  path += kWin32 ? "/tw_process_child.exe" : "/tw_process_child";
  return path;
}

std::u16string ChildCommand(const std::string& arguments) {
  return Widen("\"" + Child() + "\" " + arguments);
}

// Polls as the system's callers do (with a shorter pause) until the child's
// end; false when it has not ended within the time.
bool PollUntilEnded(cConProcess& process, std::chrono::seconds limit = 60s) {
  const auto until = std::chrono::steady_clock::now() + limit;
  while (process.Poll() && process.HasProcess()) {
    if (std::chrono::steady_clock::now() > until) return false;
    std::this_thread::sleep_for(10ms);
  }
  return !process.HasProcess();
}

bool WaitForFile(const std::string& path, std::chrono::milliseconds limit = 20000ms) {
  const auto until = std::chrono::steady_clock::now() + limit;
  while (!std::filesystem::exists(path)) {
    if (std::chrono::steady_clock::now() > until) return false;
    std::this_thread::sleep_for(10ms);
  }
  return true;
}

TEST(ConProcess, WithoutAChild) {
  cConProcess process;
  EXPECT_FALSE(process.HasProcess());
  EXPECT_FALSE(process.Poll());
  EXPECT_TRUE(process.Terminate());
  process.Close();
  EXPECT_EQ(process.ExitCode(), 0);
  EXPECT_FALSE(process.Start(nullptr));
  EXPECT_FALSE(process.Start(u""));
  EXPECT_FALSE(process.HasProcess());
}

// Every child ends and reports its code while the parent only polls: one
// that exits with the system's "still active" code, ones that write far more
// than a pipe holds, one that waits for input.
TEST(ConProcess, ChildrenEndAndReportTheirExitCodes) {
  struct Case {
    const char* arguments;
    int32_t win32Code;
    int32_t nativeCode;  // exit statuses have 8 bits there
  };
  const Case cases[] = {
      {"exit 0", 0, 0},
      {"exit 7", 7, 7},
      {"exit 259", 259, 259 & 0xFF},
      {"write 10485760 5", 5, 5},
      {"writeerr 2097152 6", 6, 6},
      {"read 4", 4, 4},
  };
  const int64_t handlesBefore = twtest::NextFreeHandleSlot();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.arguments);
    cConProcess process;
    ASSERT_TRUE(process.Start(ChildCommand(c.arguments).c_str()));
    EXPECT_TRUE(process.HasProcess());
    ASSERT_TRUE(PollUntilEnded(process));
    EXPECT_EQ(process.ExitCode(), kWin32 ? c.win32Code : c.nativeCode);
    EXPECT_FALSE(process.Poll()) << "the child is released";
  }
  EXPECT_LE(twtest::NextFreeHandleSlot(), handlesBefore + 2) << "pipe or process handles leak";
}

TEST(ConProcess, PollKeepsARunningChild) {
  cConProcess process;
  ASSERT_TRUE(process.Start(ChildCommand("sleep 20000 3").c_str()));
  for (int i = 0; i < 3; ++i) {
    EXPECT_TRUE(process.Poll());
    EXPECT_TRUE(process.HasProcess());
    std::this_thread::sleep_for(20ms);
  }
  const auto t0 = std::chrono::steady_clock::now();
  EXPECT_TRUE(process.Terminate());
  EXPECT_LT(std::chrono::steady_clock::now() - t0, 10s);
  EXPECT_FALSE(process.HasProcess());
  EXPECT_EQ(process.ExitCode(), 0) << "a terminated child's code is not recorded";
  EXPECT_FALSE(process.Poll());
}

TEST(ConProcess, TerminateAfterTheEndRecordsTheCode) {
  twtest::TempDir dir;
  // The child ends without being polled: its marker comes just before the
  // exit. Nothing else tells the test that the exit is complete, so a slow
  // machine gets longer pauses: a child still running when Terminate comes
  // is ended with 1 and leaves the code 0, and the next pause is longer.
  int32_t code = -1;
  for (const auto pause : {200ms, 1000ms, 5000ms, 15000ms}) {
    const std::string marker = dir.path() + "/exiting" + std::to_string(pause.count());
    cConProcess process;
    ASSERT_TRUE(process.Start(ChildCommand("touchexit " + marker + " 9").c_str()));
    ASSERT_TRUE(WaitForFile(marker));
    std::this_thread::sleep_for(pause);
    EXPECT_TRUE(process.Terminate());
    EXPECT_FALSE(process.HasProcess());
    code = process.ExitCode();
    if (code != 0) break;
  }
  EXPECT_EQ(code, 9);
}

// A terminated child never reaches its "sleeptouch" marker.
TEST(ConProcess, StartAgainAndDestructionEndTheChild) {
  twtest::TempDir dir;
  const std::string first = dir.path() + "/first";
  const std::string second = dir.path() + "/second";
  {
    cConProcess process;
    ASSERT_TRUE(process.Start(ChildCommand("sleeptouch 1500 " + first).c_str()));
    ASSERT_TRUE(process.Start(ChildCommand("exit 3").c_str()));
    ASSERT_TRUE(PollUntilEnded(process));
    EXPECT_EQ(process.ExitCode(), 3);
    ASSERT_TRUE(process.Start(ChildCommand("sleeptouch 1500 " + second).c_str()));
  }
  std::this_thread::sleep_for(2500ms);
  EXPECT_FALSE(std::filesystem::exists(first));
  EXPECT_FALSE(std::filesystem::exists(second));
}

TEST(ConProcess, ClosingOneChildLeavesAnotherRunning) {
  cConProcess a, b;
  ASSERT_TRUE(a.Start(ChildCommand("write 1048576 1").c_str()));
  ASSERT_TRUE(b.Start(ChildCommand("sleep 3000 2").c_str()));
  ASSERT_TRUE(PollUntilEnded(a, 20s));
  EXPECT_EQ(a.ExitCode(), 1);
  const auto t0 = std::chrono::steady_clock::now();
  a.Close();
  EXPECT_LT(std::chrono::steady_clock::now() - t0, 2s);
  ASSERT_TRUE(PollUntilEnded(b));
  EXPECT_EQ(b.ExitCode(), 2);
}

// The child has ended, but a grandchild still holds the output pipe: the
// drain never sees the pipe's end, and Close must stop it anyway without
// leaving a handle behind.
TEST(ConProcess, CloseStopsTheDrainOfAPipeAGrandchildStillHolds) {
  const int64_t handlesBefore = twtest::NextFreeHandleSlot();
  {
    cConProcess process;
    ASSERT_TRUE(process.Start(ChildCommand("spawnsleep 8000 4").c_str()));
    ASSERT_TRUE(PollUntilEnded(process));
    EXPECT_EQ(process.ExitCode(), 4);
    const auto t0 = std::chrono::steady_clock::now();
    process.Close();
    EXPECT_LT(std::chrono::steady_clock::now() - t0, 6s) << "Close waited for the grandchild";
  }
  EXPECT_LE(twtest::NextFreeHandleSlot(), handlesBefore + 2) << "the pipe or the drain was left behind";
}

// A pipe of the test's own whose write end any child could inherit (Win32:
// an inheritable handle; natively: a descriptor without close-on-exec),
// as another thread's pipe is for a moment while its child starts.
class cInheritablePipe {
public:
  cInheritablePipe() {
#ifdef _WIN32
    SECURITY_ATTRIBUTES inheritable = {sizeof(inheritable), nullptr, TRUE};
    HANDLE r = nullptr, w = nullptr;
    if (CreatePipe(&r, &w, &inheritable, 0) != 0) {
      read_ = reinterpret_cast<intptr_t>(r);
      write_ = reinterpret_cast<intptr_t>(w);
    }
#else
    int ends[2];
    if (pipe(ends) == 0) {
      fcntl(ends[0], F_SETFL, O_NONBLOCK);
      read_ = ends[0];
      write_ = ends[1];
    }
#endif
  }
  ~cInheritablePipe() {
    CloseWriteEnd();
    Close(read_);
  }
  bool Made() const { return read_ != -1; }
  void CloseWriteEnd() { Close(write_); }
  // With the write end closed here: true when nobody else holds it either,
  // so that the reader sees the end of the pipe.
  bool AtEnd() const {
#ifdef _WIN32
    DWORD available = 0;
    return PeekNamedPipe(reinterpret_cast<HANDLE>(read_), nullptr, 0, nullptr, &available, nullptr) == 0 &&
           GetLastError() == ERROR_BROKEN_PIPE;
#else
    char byte;
    return read(static_cast<int>(read_), &byte, 1) == 0;
#endif
  }

private:
  static void Close(intptr_t& h) {
    if (h == -1) return;
#ifdef _WIN32
    CloseHandle(reinterpret_cast<HANDLE>(h));
#else
    close(static_cast<int>(h));
#endif
    h = -1;
  }
  intptr_t read_ = -1, write_ = -1;
};

// A child gets its own standard streams and nothing else that happens to be
// inheritable while it starts.
TEST(ConProcess, ChildGetsOnlyItsOwnHandles) {
  cInheritablePipe other;
  ASSERT_TRUE(other.Made());
  cConProcess process;
  ASSERT_TRUE(process.Start(ChildCommand("sleep 60000 0").c_str()));
  other.CloseWriteEnd();
  EXPECT_TRUE(other.AtEnd()) << "the child holds the write end of a pipe that is not its own";
  process.Close();
}

// Two threads start children that write more than a pipe holds, over and
// over: each child ends with its own code, and nothing is left open.
TEST(ConProcess, TwoThreadsStartingChattyChildren) {
  constexpr int kRounds = 25;
  const int64_t handlesBefore = twtest::NextFreeHandleSlot();
  std::vector<std::string> failures[2];
  auto startMany = [](int thread, std::vector<std::string>* failed) {
    for (int round = 0; round < kRounds; ++round) {
      const int code = thread * 50 + round;
      cConProcess process;
      if (!process.Start(ChildCommand("write 200000 " + std::to_string(code)).c_str())) {
        failed->push_back("round " + std::to_string(round) + ": not started");
        continue;
      }
      if (!PollUntilEnded(process))
        failed->push_back("round " + std::to_string(round) + ": did not end");
      else if (process.ExitCode() != code)
        failed->push_back("round " + std::to_string(round) + ": exit code " + std::to_string(process.ExitCode()));
    }
  };
  std::thread first(startMany, 0, &failures[0]), second(startMany, 1, &failures[1]);
  first.join();
  second.join();
  for (const auto& f : failures)
    for (const std::string& line : f) ADD_FAILURE() << line;
  EXPECT_LE(twtest::NextFreeHandleSlot(), handlesBefore + 2) << "pipe or process handles leak";
}

TEST(RunCommandLine, StartsAndForgets) {
  twtest::TempDir dir;
  const std::string marker = dir.path() + "/ran";
  EXPECT_FALSE(RunCommandLine(nullptr));
  EXPECT_FALSE(RunCommandLine(u""));
  ASSERT_TRUE(RunCommandLine(ChildCommand("touch " + marker).c_str()));
  EXPECT_TRUE(WaitForFile(marker));
}

TEST(OpenOrRunFile, TextsThatStartNothing) {
  EXPECT_FALSE(OpenOrRunFile(nullptr));
  EXPECT_FALSE(OpenOrRunFile(u""));
  EXPECT_FALSE(OpenOrRunFile(u"\"no closing quote and blanks"));
  EXPECT_FALSE(OpenOrRunFile(u"\"no-closing-quote"));
}

// The choice between the shell and a command line, without starting
// anything. Paths are the system's own: either separator names the same file.
TEST(OpenOrRunFile, ExistingPathsGoToTheShellWhateverTheirBlanks) {
  using tw::eOpenAction;
  twtest::TempDir dir;
  const std::string folder = dir.path() + "/a folder";
  std::filesystem::create_directory(folder);
  const std::string file = folder + "/a file.txt";
  { std::FILE* f = std::fopen(file.c_str(), "wb"); ASSERT_NE(f, nullptr); std::fclose(f); }
  std::string backslashed = file;
  for (char& c : backslashed)
    if (c == '/') c = '\\';
  struct Case {
    std::string text;
    eOpenAction action;
  };
  const Case cases[] = {
      {file, eOpenAction::kShellOpen},
      {backslashed, eOpenAction::kShellOpen},
      {folder, eOpenAction::kShellOpen},
      {folder + "/", eOpenAction::kShellOpen},
      {dir.path() + "/no such file.txt", eOpenAction::kRunCommandLine},
      {"\"" + file + "\" --flag", eOpenAction::kRunCommandLine},
      {"https://example.invalid/page", eOpenAction::kShellOpen},
      {"\"" + file, eOpenAction::kNothing},
      {"", eOpenAction::kNothing},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(tw::ChooseOpenAction(Widen(c.text).c_str()), c.action);
  }
  EXPECT_EQ(tw::ChooseOpenAction(nullptr), eOpenAction::kNothing);
}

TEST(OpenOrRunFile, CommandLinesWithArgumentsAreRun) {
  twtest::TempDir dir;
  // A program path in quotes, with blanks inside, followed by arguments.
  const std::string spaced = dir.path() + "/dir with blanks";
  std::filesystem::create_directory(spaced);
  const std::string copy = spaced + (kWin32 ? "/child copy.exe" : "/child copy");
  std::filesystem::copy_file(Child(), copy);
  struct Case {
    std::string text;
    std::string marker;
  };
  const Case cases[] = {
      {"\"" + Child() + "\" touch " + dir.path() + "/quoted", dir.path() + "/quoted"},
      {Child() + "\ttouch " + dir.path() + "/tab", dir.path() + "/tab"},
      {"\"" + copy + "\" touch " + dir.path() + "/spaced", dir.path() + "/spaced"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    ASSERT_TRUE(OpenOrRunFile(Widen(c.text).c_str()));
    EXPECT_TRUE(WaitForFile(c.marker));
  }
}

#ifdef _WIN32
TEST(OpenOrRunFile, ExistingFileWithBlanksIsOpenedByTheShell) {
  twtest::TempDir dir;
  const std::string copy = dir.path() + "/child with blanks.exe";
  std::filesystem::copy_file(Child(), copy);
  ASSERT_TRUE(OpenOrRunFile(Widen(copy).c_str()));
  // Started by the shell without arguments, the helper leaves "<path>.ran".
  EXPECT_TRUE(WaitForFile(copy + ".ran"));
}

TEST(OpenOrRunFile, UnknownAddressFails) {
  EXPECT_FALSE(OpenOrRunFile(u"twnosuchscheme:nothing-here"));
}
#endif

}  // namespace
