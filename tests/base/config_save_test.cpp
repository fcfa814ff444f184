// What a Save applies, what it refuses, what it keeps valid and in which
// order it puts its writes on the disk.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "base/config_store.h"
#include "base/config_store_internal.h"
#include "base/strings.h"
#include "tests/support/test_support.h"

namespace {

using twtest::Narrow;
using twtest::ReadFileText;
using twtest::U16;

std::string Str(cApplicationConfig& store, const char* path) {
  _guardchar<char16_t> s;
  if (!store.GetString(path, s)) return "<missing>";
  return Narrow(s.text != nullptr ? s.text : u"");
}

bool Exists(const std::string& path) { return std::filesystem::exists(std::filesystem::u8path(path)); }

class ConfigSave : public ::testing::Test {
protected:
  void SetUp() override { folder = U16(tmp.path()); }
  // A store freshly opened on the folder.
  void OpenStore(cCIAppConfig& store) { ASSERT_TRUE(store.Open(folder.c_str())); }
  std::string File(const std::string& name) { return tmp.path() + "/" + name; }

  twtest::TempDir tmp;
  std::u16string folder;
};

// Two stores with the section as written here; b saves changes, then a
// writes and saves. Whatever a wrote or deleted is in the file afterwards,
// even where a wrote back the value it had read.
TEST_F(ConfigSave, EverythingTheLaterSaverWroteOrDeletedWins) {
  struct Step {
    enum Kind { kSet, kDelete } kind;
    const char* path;
    const char* value;
  };
  using S = Step;
  struct Case {
    const char* what;
    std::vector<Step> first;  // saved by b in between
    std::vector<Step> later;  // a's unsaved changes, saved last
    std::vector<std::pair<const char*, const char*>> expected;  // path, value or "<missing>"
  } cases[] = {
      {"values written back as they were read",
       {{S::kSet, "s/x", "2"}, {S::kDelete, "s/k", nullptr}},
       {{S::kSet, "s/x", "1"}, {S::kSet, "s/k", "5"}},
       {{"s/x", "1"}, {"s/k", "5"}}},
      {"a key created and deleted again",
       {{S::kSet, "s/new", "b"}},
       {{S::kSet, "s/new", "a"}, {S::kDelete, "s/new", nullptr}},
       {{"s/new", "<missing>"}, {"s/x", "1"}}},
      {"a subtree deleted, then one key written into it again",
       {{S::kSet, "s/t/extra", "b"}},
       {{S::kDelete, "s/t", nullptr}, {S::kSet, "s/t/kept", "a"}},
       {{"s/t/extra", "<missing>"}, {"s/t/old", "<missing>"}, {"s/t/kept", "a"}}},
      {"keys nobody touched twice stay",
       {{S::kSet, "s/fromb", "b"}},
       {{S::kSet, "s/froma", "a"}},
       {{"s/fromb", "b"}, {"s/froma", "a"}, {"s/k", "5"}, {"s/t/old", "o"}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::filesystem::remove_all(std::filesystem::u8path(File("s")));
    {
      cCIAppConfig setup;
      OpenStore(setup);
      ASSERT_TRUE(setup.SetString("s/x", u"1", -1));
      ASSERT_TRUE(setup.SetString("s/k", u"5", -1));
      ASSERT_TRUE(setup.SetString("s/t/old", u"o", -1));
      ASSERT_TRUE(setup.Save());
    }
    cCIAppConfig a, b;
    OpenStore(a);
    OpenStore(b);
    auto apply = [](cCIAppConfig& store, const std::vector<Step>& steps) {
      for (const Step& s : steps) {
        if (s.kind == S::kSet)
          EXPECT_TRUE(store.SetString(s.path, U16(s.value).c_str(), -1)) << s.path;
        else
          EXPECT_TRUE(store.DeleteKey(s.path)) << s.path;
      }
    };
    apply(a, c.later);  // unsaved while b saves
    apply(b, c.first);
    ASSERT_TRUE(b.Save());
    ASSERT_TRUE(a.Save());
    cCIAppConfig check;
    OpenStore(check);
    for (const auto& [path, value] : c.expected) {
      EXPECT_EQ(Str(check, path), value) << path << " in the file";
      EXPECT_EQ(Str(a, path), value) << path << " in the saving store";
    }
  }
}

TEST_F(ConfigSave, ASectionTheReaderWouldRefuseIsNotSaved) {
  cCIAppConfig store;
  OpenStore(store);
  ASSERT_TRUE(store.SetString("big/first", u"kept", -1));
  ASSERT_TRUE(store.Save());
  const std::string before = ReadFileText(File("big"));
  // 1,050 values of 65,000 bytes: about 68 MB, above the reader's 64 MiB.
  const std::string value(65000, 'v');
  for (int i = 0; i < 1050; ++i)
    ASSERT_TRUE(store.SetBytes(("big/" + std::to_string(i)).c_str(), value.data(), 65000));
  EXPECT_FALSE(store.Save());
  EXPECT_TRUE(ReadFileText(File("big")) == before) << "the file was changed";
  EXPECT_FALSE(Exists(File(".pending/big")));
  cCIAppConfig other;
  OpenStore(other);
  EXPECT_EQ(Str(other, "big/first"), "kept");
  // Still changed: once it fits again it saves.
  for (int i = 0; i < 1000; ++i) ASSERT_TRUE(store.DeleteKey(("big/" + std::to_string(i)).c_str()));
  EXPECT_TRUE(store.Save());
  cCIAppConfig after;
  OpenStore(after);
  uint32_t size = 0;
  EXPECT_TRUE(after.ValueSize(after.Resolve("big/1049", false), size));
  EXPECT_EQ(size, 65000u);
  EXPECT_FALSE(after.Exists("big/0"));
}

TEST_F(ConfigSave, NodesStayValidAcrossSave) {
  cCIAppConfig store, other;
  OpenStore(store);
  cConfigNode* node = store.Resolve("sec/a/b", true);
  ASSERT_NE(node, nullptr);
  cConfigNode* section = store.Resolve("sec", false);
  ASSERT_TRUE(store.WriteBytes("one", 3, node));
  ASSERT_TRUE(store.Save());
  EXPECT_EQ(store.Resolve("sec/a/b", false), node);
  EXPECT_EQ(store.Resolve("sec", false), section);
  char bytes[3] = {};
  ASSERT_TRUE(store.ReadBytes(bytes, 3, node));
  EXPECT_EQ(std::string(bytes, 3), "one");
  // Marked changed again (a creating lookup), so that no re-read replaces
  // the tree; another process's keys come in beside the kept node.
  ASSERT_EQ(store.Resolve("sec/a/b", true), node);
  OpenStore(other);
  ASSERT_TRUE(other.SetString("sec/a/c", u"other", -1));
  ASSERT_TRUE(other.Save());
  ASSERT_TRUE(store.WriteBytes("two", 3, node));
  ASSERT_TRUE(store.Save());
  EXPECT_EQ(store.Resolve("sec/a/b", false), node);
  EXPECT_EQ(Str(store, "sec/a/c"), "other");
  cCIAppConfig check;
  OpenStore(check);
  EXPECT_EQ(Str(check, "sec/a/b"), "two");
  EXPECT_EQ(Str(check, "sec/a/c"), "other");
}

// The order of a save's writes, seen from its flushes.
struct sFlushLog {
  std::string section;  // the section file's path
  std::string pending;  // its pending copy's path
  std::vector<std::string> events;
  int failAt = -1;  // the flush (counting from 0) that fails
};
sFlushLog* g_log = nullptr;

bool LogFlush(const std::string& what) {
  const int index = static_cast<int>(g_log->events.size());
  g_log->events.push_back(what);
  return index != g_log->failAt;
}

const tw::sConfigDurability kLoggingDurability = {
    [](cFileIO& file) {
      const std::string path = Narrow(file.Path());
      std::string what = path == g_log->pending ? "pending" : path == g_log->section ? "section" : "other";
      // What is on the disk at this point: the section file's content and
      // whether the pending copy is there.
      const std::string content = ReadFileText(g_log->section);
      what += !Exists(g_log->section)                    ? " file:none"
              : content.find("new") != std::string::npos ? " file:new"
                                                         : " file:old";
      what += Exists(g_log->pending) ? " copy:yes" : " copy:no";
      return LogFlush(what);
    },
    [](const char16_t* path) { return LogFlush("folder " + Narrow(path).substr(Narrow(path).rfind('/') + 1)); },
};

class ConfigSaveFlushes : public ConfigSave {
protected:
  void SetUp() override {
    ConfigSave::SetUp();
    log.section = File("d");
    log.pending = File(".pending/d");
    g_log = &log;
    OpenStore(store);
    ASSERT_TRUE(store.SetString("d/k", u"old", -1));
    ASSERT_TRUE(store.Save());
    ASSERT_TRUE(store.SetString("d/k", u"new", -1));
    tw::SetConfigDurability(&kLoggingDurability);
  }
  void TearDown() override {
    tw::SetConfigDurability(nullptr);
    g_log = nullptr;
  }

  sFlushLog log;
  cCIAppConfig store;
};

TEST_F(ConfigSaveFlushes, TheCopyIsOnTheDiskBeforeTheFileAndTheFileBeforeTheCopyGoes) {
  ASSERT_TRUE(store.Save());
  const std::vector<std::string> expected = {
      "pending file:old copy:yes",  // the copy, before the file is touched
      "folder .pending",            // and its name
      "section file:new copy:yes",  // the file, while the copy is still there
  };
  EXPECT_EQ(log.events, expected);
  EXPECT_FALSE(Exists(log.pending));
}

TEST_F(ConfigSaveFlushes, AFailedFlushOfTheCopyLeavesTheFileAlone) {
  const std::string before = ReadFileText(log.section);
  for (int failAt : {0, 1}) {
    SCOPED_TRACE(failAt);
    log.events.clear();
    log.failAt = failAt;
    EXPECT_FALSE(store.Save());
    EXPECT_TRUE(ReadFileText(log.section) == before);
    // Nor may a later lock finish the failed save from its copy.
    EXPECT_FALSE(Exists(log.pending));
  }
  log.failAt = -1;
  EXPECT_TRUE(store.Save());
  cCIAppConfig check;
  OpenStore(check);
  EXPECT_EQ(Str(check, "d/k"), "new");
}

TEST_F(ConfigSaveFlushes, ANewSectionFileIsFlushedBeforeItTakesItsName) {
  log.section = File("fresh");
  ASSERT_TRUE(store.SetString("fresh/k", u"v", -1));
  // Flushed under its temporary name, before the section file exists.
  EXPECT_EQ(log.events, std::vector<std::string>{"other file:none copy:no"});
  EXPECT_TRUE(Exists(File("fresh")));
}

}  // namespace
