// A user who may read a store's section files but not write them (the
// machine-wide store, for a user who is not an administrator) still reads
// every section; only saving needs write access.
//
// Tests may run as root, whom permission bits do not stop: the store then
// runs in a child process that gives up root for the "nobody" user first,
// and the child checks that it really cannot open the file for writing.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <grp.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "base/config_store.h"
#include "base/strings.h"
#include "tests/support/test_support.h"

namespace {

using twtest::Narrow;
using twtest::ReadFileText;
using twtest::U16;

constexpr uid_t kNobody = 65534;

std::string Str(cApplicationConfig& store, const char* path) {
  _guardchar<char16_t> s;
  if (!store.GetString(path, s)) return "<missing>";
  return Narrow(s.text != nullptr ? s.text : u"");
}

void WriteFile(const std::string& path, const std::string& bytes) {
  FILE* f = std::fopen(path.c_str(), "wb");
  ASSERT_NE(f, nullptr) << path;
  ASSERT_EQ(std::fwrite(bytes.data(), 1, bytes.size(), f), bytes.size());
  std::fclose(f);
}

// What the child found, as its exit code.
enum eVerdict {
  kReadAsExpected = 0,
  kCouldNotDropRights = 10,
  kFileStillWritable = 11,
  kOpenFailed = 12,
  kSectionUnread = 13,
  kWrongValue = 14,
  kWriteRefused = 15,
  kSaveSucceeded = 16,
};

// In a child process without the right to write the folder or its files:
// opens the store and reads key, expecting value; a change then cannot be
// saved. The verdict is the child's exit code.
int ReadAsAnotherUser(const std::string& folder, const std::string& file, const char* key, const char* value) {
  const pid_t pid = fork();
  if (pid == 0) {
    if (geteuid() == 0 && (setgroups(0, nullptr) != 0 || setgid(kNobody) != 0 || setuid(kNobody) != 0))
      _exit(kCouldNotDropRights);
    const int probe = open(file.c_str(), O_RDWR);
    if (probe >= 0) _exit(kFileStillWritable);
    cCIAppConfig store;
    if (!store.Open(U16(folder).c_str())) _exit(kOpenFailed);
    if (!store.Exists("s")) _exit(kSectionUnread);
    if (Str(store, key) != value) _exit(kWrongValue);
    if (!store.SetString(key, u"changed", -1)) _exit(kWriteRefused);
    if (store.Save()) _exit(kSaveSucceeded);
    _exit(kReadAsExpected);
  }
  int status = 0;
  if (pid < 0 || waitpid(pid, &status, 0) != pid || !WIFEXITED(status)) return -1;
  return WEXITSTATUS(status);
}

TEST(ConfigReadOnly, SectionsThatCannotBeWrittenAreStillRead) {
  twtest::TempDir tmp;
  const std::string file = tmp.path() + "/s";
  {
    cCIAppConfig store;
    ASSERT_TRUE(store.Open(U16(tmp.path()).c_str()));
    ASSERT_TRUE(store.SetString("s/k", u"v", -1));
    ASSERT_TRUE(store.Save());
  }
  // An interrupted save's complete pending copy, as a crash leaves it: a
  // reader without write access takes its content without finishing it.
  const std::string oldImage = ReadFileText(file);
  std::string newImage = oldImage;
  newImage[newImage.find('v')] = 'w';
  _typebuf<char> copy;
  tw::BuildPendingCopy(oldImage.data(), static_cast<uint32_t>(oldImage.size()), newImage.data(),
                       static_cast<uint32_t>(newImage.size()), copy);
  const std::string pendingFolder = tmp.path() + "/.pending";

  struct Case {
    const char* what;
    bool withPendingCopy;
    const char* value;
  } cases[] = {
      {"plain section file", false, "v"},
      {"with an interrupted save's copy", true, "w"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::filesystem::remove_all(pendingFolder);
    if (c.withPendingCopy) {
      ASSERT_TRUE(std::filesystem::create_directory(pendingFolder));
      WriteFile(pendingFolder + "/s", std::string(copy.data, static_cast<size_t>(copy.count)));
      ASSERT_EQ(chmod((pendingFolder + "/s").c_str(), 0444), 0);
      ASSERT_EQ(chmod(pendingFolder.c_str(), 0555), 0);
    }
    ASSERT_EQ(chmod(file.c_str(), 0444), 0);
    ASSERT_EQ(chmod(tmp.path().c_str(), 0555), 0);
    EXPECT_EQ(ReadAsAnotherUser(tmp.path(), file, "s/k", c.value), kReadAsExpected)
        << "10 rights kept, 11 file writable, 12 open, 13 section unread, 14 wrong value, 15 write refused, 16 saved";
    ASSERT_EQ(chmod(tmp.path().c_str(), 0755), 0);
    if (c.withPendingCopy) {
      ASSERT_EQ(chmod(pendingFolder.c_str(), 0755), 0);
    }
    EXPECT_TRUE(ReadFileText(file) == oldImage) << "the file was changed";
  }
}

}  // namespace
