// File behaviour that only Windows (here Wine) enforces: share modes, and
// byte-range locks held by another process. The second process is this test
// program itself, started with the LockHolder test selected.
#include <windows.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#include "base/fileio.h"
#include "base/win_text.h"
#include "tests/support/test_support.h"

namespace {

std::u16string U16(const std::string& s) { return std::u16string(s.begin(), s.end()); }

bool WaitFor(const std::string& path, int seconds) {
  const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
  while (!std::filesystem::exists(path)) {
    if (std::chrono::steady_clock::now() > until) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return true;
}

TEST(FileShareModes, AFileInUseIsNotReplaced) {
  twtest::TempDir dir;
  std::ofstream(dir.path() + "/old.exe") << "old";
  std::ofstream(dir.path() + "/new.tmp") << "new";
  const std::u16string old = U16(dir.path() + "/old.exe"), fresh = U16(dir.path() + "/new.tmp");
  {
    cFileIO held;
    ASSERT_TRUE(held.Open(old.c_str(), kFileRead | kFileShareNone));
    EXPECT_FALSE(ReplaceFileLong(fresh.c_str(), old.c_str()));
  }
  EXPECT_TRUE(std::filesystem::exists(dir.path() + "/new.tmp"));
  ASSERT_TRUE(ReplaceFileLong(fresh.c_str(), old.c_str()));
  std::ifstream in(dir.path() + "/old.exe");
  std::string text;
  in >> text;
  EXPECT_EQ(text, "new");
}

TEST(FileShareModes, NoSharingAndShareRead) {
  twtest::TempDir dir;
  const std::u16string path = U16(dir.path() + "/share.bin");
  std::ofstream(dir.path() + "/share.bin") << "data";
  cFileIO first, second;
  // Flags 5: read, no sharing.
  ASSERT_TRUE(first.Open(path.c_str(), kFileRead | kFileShareNone));
  EXPECT_FALSE(second.Open(path.c_str(), kFileRead));
  first.Close();
  // Flags 9: read, others may read but not write.
  ASSERT_TRUE(first.Open(path.c_str(), kFileRead | kFileShareRead));
  EXPECT_TRUE(second.Open(path.c_str(), kFileRead | kFileShareRead));
  second.Close();
  EXPECT_FALSE(second.Open(path.c_str(), kFileRead | kFileWrite));
  first.Close();
  // Default sharing lets a writer in beside a reader.
  ASSERT_TRUE(first.Open(path.c_str(), kFileRead));
  EXPECT_TRUE(second.Open(path.c_str(), kFileRead | kFileWrite));
}

// The child's part: lock the first 4 bytes of the file named by the
// environment, announce it, and hold the lock until told to let go.
TEST(LockHolder, Run) {
  const char* file = std::getenv("TW_LOCK_HOLDER");
  if (file == nullptr) GTEST_SKIP() << "runs only as the child of TwoProcesses";
  cFileIO f;
  ASSERT_TRUE(f.Open(U16(file).c_str(), kFileRead | kFileWrite));
  ASSERT_TRUE(f.Lock(0, 4));
  std::ofstream(std::string(file) + ".ready") << "1";
  ASSERT_TRUE(WaitFor(std::string(file) + ".release", 60));
}

TEST(FileLocks, TwoProcesses) {
  if (std::getenv("TW_LOCK_HOLDER") != nullptr) GTEST_SKIP();
  twtest::TempDir dir;
  const std::string file = dir.path() + "/locked.bin";
  std::ofstream(file) << "0123456789";

  wchar_t exe[MAX_PATH];
  ASSERT_NE(GetModuleFileNameW(nullptr, exe, MAX_PATH), 0u);
  std::wstring command = L"\"" + std::wstring(exe) + L"\" --gtest_filter=LockHolder.Run";
  ASSERT_TRUE(SetEnvironmentVariableA("TW_LOCK_HOLDER", file.c_str()));
  STARTUPINFOW si = {};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi = {};
  const BOOL started =
      CreateProcessW(exe, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi);
  SetEnvironmentVariableA("TW_LOCK_HOLDER", nullptr);
  ASSERT_TRUE(started);
  CloseHandle(pi.hThread);

  ASSERT_TRUE(WaitFor(file + ".ready", 60)) << "the child did not take its lock";
  cFileIO mine;
  ASSERT_TRUE(mine.Open(U16(file).c_str(), kFileRead | kFileWrite));
  EXPECT_FALSE(mine.TryLock(0, 4)) << "another process holds the range";
  EXPECT_FALSE(mine.TryLock(2, 1));
  EXPECT_TRUE(mine.TryLock(4, 4));

  std::ofstream(file + ".release") << "1";
  EXPECT_EQ(WaitForSingleObject(pi.hProcess, 60000), WAIT_OBJECT_0);
  DWORD code = 1;
  GetExitCodeProcess(pi.hProcess, &code);
  CloseHandle(pi.hProcess);
  EXPECT_EQ(code, 0u) << "the child's own checks failed";
  EXPECT_TRUE(mine.TryLock(0, 4)) << "the child's exit released the range";
}

}  // namespace
