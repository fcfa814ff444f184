// The file stream and the long-path functions, on both targets.
#include "base/fileio.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#include "base/time.h"
#include "tests/support/test_support.h"

namespace {

std::u16string U16(const std::string& s) { return std::u16string(s.begin(), s.end()); }

class FileIOTest : public ::testing::Test {
protected:
  std::u16string PathOf(const char* name) { return U16(dir.path() + "/" + name); }
  std::string NarrowPath(const char* name) { return dir.path() + "/" + name; }
  void WriteFile(const char* name, const std::string& bytes) {
    std::ofstream(NarrowPath(name), std::ios::binary) << bytes;
  }
  std::string ReadFile(const char* name) {
    std::ifstream in(NarrowPath(name), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  twtest::TempDir dir;
};

TEST_F(FileIOTest, CreateWriteReadBack) {
  cFileIO f;
  ASSERT_TRUE(f.Create(PathOf("a.bin").c_str(), kFileRead | kFileWrite));
  EXPECT_EQ(std::u16string(f.Path()), PathOf("a.bin"));
  EXPECT_EQ(f.Flags(), 3);
  EXPECT_EQ(f.GetKind(), 1);
  ASSERT_TRUE(f.WriteExact("hello world", 11));
  EXPECT_EQ(f.GetSize(), 11u);
  ASSERT_TRUE(f.Seek(6));
  char buf[16];
  EXPECT_EQ(f.Read(buf, 16), 5u);
  EXPECT_EQ(std::string(buf, 5), "world");
  EXPECT_EQ(f.Read(buf, 16), 0u);
  EXPECT_FALSE(f.ReadExact(buf, 1));
  f.Close();
  EXPECT_FALSE(f.IsOpen());
  EXPECT_EQ(std::u16string(f.Path()), PathOf("a.bin")) << "path and flags stay";
  EXPECT_EQ(ReadFile("a.bin"), "hello world");
  // Create truncates an existing file.
  ASSERT_TRUE(f.Create(PathOf("a.bin").c_str(), kFileWrite));
  f.Close();
  EXPECT_EQ(ReadFile("a.bin"), "");
}

TEST_F(FileIOTest, FailedOpenKeepsPathAndFlags) {
  WriteFile("x.txt", "x");
  cFileIO f;
  ASSERT_TRUE(f.Open(PathOf("x.txt").c_str(), kFileRead));
  EXPECT_FALSE(f.Open(PathOf("missing.txt").c_str(), kFileRead | kFileWrite));
  EXPECT_FALSE(f.IsOpen());
  EXPECT_EQ(std::u16string(f.Path()), PathOf("x.txt"));
  EXPECT_EQ(f.Flags(), kFileRead);
  EXPECT_FALSE(f.Open(nullptr, kFileRead));
  EXPECT_FALSE(f.Open(u"", kFileRead));
  EXPECT_FALSE(f.Open(U16(dir.path()).c_str(), kFileRead)) << "a folder is not a file";
  EXPECT_EQ(OpenFileLong(u"", kFileRead), kInvalidFileHandle);
}

TEST_F(FileIOTest, ClosedStreamFailsEverything) {
  cFileIO f;
  char c;
  EXPECT_EQ(f.GetSize(), 0u);
  EXPECT_EQ(f.Read(&c, 1), 0u);
  EXPECT_EQ(f.Write("x", 1), 0u);
  EXPECT_FALSE(f.Seek(0));
  EXPECT_FALSE(f.SeekFromEnd(0));
  EXPECT_FALSE(f.SetSize(0));
  EXPECT_FALSE(f.SetTime(2020, 1, 1, 0, 0, 0));
  EXPECT_FALSE(f.SetFileTimes(1000, kKeepFileTime, kKeepFileTime));
  EXPECT_FALSE(f.Lock(0, 4));
  EXPECT_FALSE(f.TryLock(0, 4));
  EXPECT_EQ(f.Clone(false), nullptr);
}

TEST_F(FileIOTest, SeekPastTheEndThenWriteExtends) {
  cFileIO f;
  ASSERT_TRUE(f.Create(PathOf("g.bin").c_str(), 3));
  f.Write("ab", 2);
  ASSERT_TRUE(f.Seek(6)) << "files accept positions past the end";
  char c;
  EXPECT_EQ(f.Read(&c, 1), 0u);
  ASSERT_EQ(f.Write("z", 1), 1u);
  EXPECT_EQ(f.GetSize(), 7u);
  f.Close();
  EXPECT_EQ(ReadFile("g.bin"), std::string("ab\0\0\0\0z", 7));
}

TEST_F(FileIOTest, SeekFromEndBounds) {
  WriteFile("e.bin", "0123456789");
  cFileIO f;
  ASSERT_TRUE(f.Open(PathOf("e.bin").c_str(), kFileRead));
  char c;
  ASSERT_TRUE(f.SeekFromEnd(0));
  EXPECT_EQ(f.Read(&c, 1), 0u);
  ASSERT_TRUE(f.SeekFromEnd(10));
  ASSERT_EQ(f.Read(&c, 1), 1u);
  EXPECT_EQ(c, '0');
  ASSERT_TRUE(f.Seek(4));
  EXPECT_FALSE(f.SeekFromEnd(11));
  ASSERT_EQ(f.Read(&c, 1), 1u);
  EXPECT_EQ(c, '4') << "a distance past the start leaves the position";
}

TEST_F(FileIOTest, CloneReopensWithoutTruncating) {
  cFileIO f;
  ASSERT_TRUE(f.Create(PathOf("c.bin").c_str(), 3));
  f.Write("payload", 7);
  std::unique_ptr<cFileIOTarget> c = f.Clone(true);
  ASSERT_NE(c, nullptr);
  auto* cf = static_cast<cFileIO*>(c.get());
  EXPECT_EQ(cf->Flags(), 3);
  EXPECT_EQ(c->GetSize(), 7u);
  char buf[8];
  ASSERT_EQ(c->Read(buf, 8), 7u) << "the clone starts at 0";
  EXPECT_EQ(std::string(buf, 7), "payload");
  EXPECT_EQ(f.Write("!", 1), 1u) << "the original stays at its position";
  f.Close();
  EXPECT_EQ(ReadFile("c.bin"), "payload!");
}

TEST_F(FileIOTest, SetSizeTruncatesAndExtends) {
  cFileIO f;
  ASSERT_TRUE(f.Create(PathOf("s.bin").c_str(), 3));
  f.Write("0123456789", 10);
  ASSERT_TRUE(f.SetSize(4));
  EXPECT_EQ(f.GetSize(), 4u);
  ASSERT_EQ(f.Write("x", 1), 1u) << "the position is the new size";
  ASSERT_TRUE(f.SetSize(8));
  f.Close();
  EXPECT_EQ(ReadFile("s.bin"), std::string("0123x\0\0\0", 8));
}

TEST_F(FileIOTest, PastFourGigabytes) {
  // A sparse file: only the bytes written take space.
  const uint64_t far = (uint64_t{5} << 30) + 7;
  cFileIO f;
  ASSERT_TRUE(f.Create(PathOf("big.bin").c_str(), 3));
  ASSERT_TRUE(f.Seek(far));
  ASSERT_TRUE(f.WriteExact("past 4 GiB", 10));
  EXPECT_EQ(f.GetSize(), far + 10);
  ASSERT_TRUE(f.Seek(uint64_t{1} << 32));
  ASSERT_TRUE(f.WriteExact("at4G", 4));
  f.Close();
  ASSERT_TRUE(f.Open(PathOf("big.bin").c_str(), kFileRead));
  char buf[12] = {};
  ASSERT_TRUE(f.SeekFromEnd(10));
  ASSERT_TRUE(f.ReadExact(buf, 10));
  EXPECT_EQ(std::string(buf, 10), "past 4 GiB");
  ASSERT_TRUE(f.Seek((uint64_t{1} << 32) - 2));
  ASSERT_TRUE(f.ReadExact(buf, 8));
  EXPECT_EQ(std::string(buf, 8), std::string("\0\0at4G\0\0", 8));
  f.Close();
  ASSERT_TRUE(f.Open(PathOf("big.bin").c_str(), 3));
  ASSERT_TRUE(f.SetSize((uint64_t{1} << 32) + 1));
  EXPECT_EQ(f.GetSize(), (uint64_t{1} << 32) + 1);
  ASSERT_TRUE(f.SeekFromEnd(1));
  ASSERT_TRUE(f.ReadExact(buf, 1));
  EXPECT_EQ(buf[0], 'a');
}

TEST_F(FileIOTest, MoveNeverReplacesAndDelete) {
  WriteFile("from.txt", "from");
  WriteFile("to.txt", "to");
  EXPECT_FALSE(MoveFileLong(PathOf("from.txt").c_str(), PathOf("to.txt").c_str()));
  EXPECT_EQ(ReadFile("to.txt"), "to");
  ASSERT_TRUE(MoveFileLong(PathOf("from.txt").c_str(), PathOf("new.txt").c_str()));
  EXPECT_EQ(ReadFile("new.txt"), "from");
  EXPECT_FALSE(std::filesystem::exists(NarrowPath("from.txt")));
  EXPECT_TRUE(DeleteFileLong(PathOf("new.txt").c_str()));
  EXPECT_FALSE(DeleteFileLong(PathOf("new.txt").c_str()));
  EXPECT_FALSE(MoveFileLong(nullptr, PathOf("x").c_str()));
}

TEST_F(FileIOTest, ReplaceTakesTheNameInOneStep) {
  WriteFile("new.txt", "new");
  WriteFile("old.txt", "old");
  ASSERT_TRUE(ReplaceFileLong(PathOf("new.txt").c_str(), PathOf("old.txt").c_str()));
  EXPECT_EQ(ReadFile("old.txt"), "new");
  EXPECT_FALSE(std::filesystem::exists(NarrowPath("new.txt")));
  // A missing target is simply created; a folder is never replaced.
  WriteFile("a.txt", "a");
  ASSERT_TRUE(ReplaceFileLong(PathOf("a.txt").c_str(), PathOf("b.txt").c_str()));
  EXPECT_EQ(ReadFile("b.txt"), "a");
  std::filesystem::create_directory(NarrowPath("dir"));
  EXPECT_FALSE(ReplaceFileLong(PathOf("b.txt").c_str(), PathOf("dir").c_str()));
  EXPECT_EQ(ReadFile("b.txt"), "a");
  EXPECT_FALSE(ReplaceFileLong(nullptr, PathOf("x").c_str()));
}

TEST_F(FileIOTest, LongPaths) {
  // Deeper than MAX_PATH (260) in all.
  std::string rel;
  for (int i = 0; i < 6; ++i) {
    rel += "/" + std::string(60, static_cast<char>('a' + i));
    std::filesystem::create_directory(dir.path() + rel);
  }
  const std::u16string path = U16(dir.path() + rel + "/file.txt");
  ASSERT_GT(path.size(), 300u);
  cFileIO f;
  ASSERT_TRUE(f.Create(path.c_str(), 3));
  ASSERT_TRUE(f.WriteExact("deep", 4));
  f.Close();
  ASSERT_TRUE(f.Open(path.c_str(), kFileRead));
  char buf[4];
  ASSERT_TRUE(f.ReadExact(buf, 4));
  EXPECT_EQ(std::string(buf, 4), "deep");
  f.Close();
  const std::u16string moved = U16(dir.path() + rel + "/moved.txt");
  EXPECT_TRUE(MoveFileLong(path.c_str(), moved.c_str()));
  EXPECT_TRUE(DeleteFileLong(moved.c_str()));
}

int64_t MTimeUnix(const std::string& path) {
  const auto ft = std::filesystem::last_write_time(path);
  const auto sys = std::chrono::file_clock::to_sys(ft);
  return std::chrono::duration_cast<std::chrono::seconds>(sys.time_since_epoch()).count();
}

TEST_F(FileIOTest, FileTimes) {
  cFileIO f;
  ASSERT_TRUE(f.Create(PathOf("t.bin").c_str(), 3));
  EXPECT_FALSE(f.SetFileTimes(kKeepFileTime, kKeepFileTime, kKeepFileTime));
  const uint64_t local = 1500000000;  // 2017-07-14, local time
  ASSERT_TRUE(f.SetFileTimes(local, kKeepFileTime, kKeepFileTime));
  f.Close();
  EXPECT_EQ(MTimeUnix(NarrowPath("t.bin")), LocalUnixToUtc(static_cast<int64_t>(local)));
  ASSERT_TRUE(f.Open(PathOf("t.bin").c_str(), 3));
  ASSERT_TRUE(f.SetTime(2020, 2, 29, 13, 14, 15));  // UTC
  EXPECT_FALSE(f.SetTime(2021, 2, 29, 0, 0, 0));
  EXPECT_FALSE(f.SetTime(2020, 13, 1, 0, 0, 0));
  EXPECT_FALSE(f.SetTime(2020, 1, 1, 24, 0, 0));
  f.Close();
  EXPECT_EQ(MTimeUnix(NarrowPath("t.bin")), 1582982055);
}

TEST_F(FileIOTest, TwoHandlesLockingOneRangeConflict) {
  WriteFile("lock.bin", "0123456789");
  cFileIO a, b;
  ASSERT_TRUE(a.Open(PathOf("lock.bin").c_str(), 3));
  ASSERT_TRUE(b.Open(PathOf("lock.bin").c_str(), 3));
  ASSERT_TRUE(a.Lock(0, 4));
  EXPECT_FALSE(b.TryLock(0, 4));
  EXPECT_FALSE(b.TryLock(3, 2)) << "any overlap conflicts";
  EXPECT_TRUE(b.TryLock(4, 4)) << "a neighbouring range is free";
  EXPECT_FALSE(a.TryLock(5, 1));
  EXPECT_FALSE(b.TryLock(1, 0)) << "an empty range inside a held one conflicts (Wine agrees)";
  a.Close();  // closing the holder frees its ranges
  EXPECT_TRUE(b.TryLock(0, 4));
}

TEST_F(FileIOTest, LockWaitsForTheHolder) {
  WriteFile("wait.bin", "0123");
  cFileIO a, b;
  ASSERT_TRUE(a.Open(PathOf("wait.bin").c_str(), 3));
  ASSERT_TRUE(b.Open(PathOf("wait.bin").c_str(), 3));
  ASSERT_TRUE(a.Lock(0, 4));
  std::atomic<bool> granted{false};
  std::thread waiter([&] { granted = b.Lock(0, 4); });
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  EXPECT_FALSE(granted.load()) << "Lock must wait while another handle holds the range";
  a.Close();
  waiter.join();
  EXPECT_TRUE(granted.load());
}

}  // namespace
