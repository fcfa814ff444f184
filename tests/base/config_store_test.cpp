#include "base/config_store.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "base/strings.h"
#include "tests/base/scoped_env.h"
#include "tests/support/test_support.h"

namespace {

using namespace std::string_literals;
using twtest::Narrow;
using twtest::ReadFileText;
using twtest::U16;

void WriteFile(const std::string& path, const std::string& bytes) {
  std::ofstream f(std::filesystem::u8path(path), std::ios::binary | std::ios::trunc);
  f << bytes;
  ASSERT_TRUE(f.good()) << path;
}

std::string Str(cApplicationConfig& store, const char* path) {
  _guardchar<char16_t> s(u"<unchanged>");
  if (!store.GetString(path, s)) return "<missing>";
  return Narrow(s.text != nullptr ? s.text : u"");
}

std::string Keys(cApplicationConfig& store, const char* path) {
  std::string out;
  const bool ok = store.EnumKeys(
      path,
      [](const char* key, void* user) {
        *static_cast<std::string*>(user) += std::string(key) + ";";
        return true;
      },
      &out);
  return ok ? out : "<false>";
}

class ConfigStore : public ::testing::Test {
protected:
  void SetUp() override {
    folder = U16(tmp.path());
    ASSERT_TRUE(store.Open(folder.c_str()));
  }
  std::string File(const std::string& name) { return tmp.path() + "/" + name; }

  twtest::TempDir tmp;
  std::u16string folder;
  cCIAppConfig store;
};

TEST_F(ConfigStore, WritingCreatesTheEmptySectionFileAndSaveWritesTheTree) {
  ASSERT_TRUE(store.SetString("lang/x", u"de", -1));
  // The file exists at once, as the empty image; the value is only in memory.
  EXPECT_EQ(ReadFileText(File("lang")), "QXVC\0\0\0"s);
  ASSERT_TRUE(store.Save());
  EXPECT_EQ(ReadFileText(File("lang")), "QXVC\0\0\x01\x04x\0\0\0\x02\0de\0\0"s);
  // Nothing but the section is left in the folder's top level.
  std::vector<std::string> files;
  for (const auto& e : std::filesystem::directory_iterator(tmp.path()))
    if (e.is_regular_file()) files.push_back(e.path().filename().string());
  EXPECT_EQ(files, std::vector<std::string>{"lang"});
  // A second store on the folder reads what was saved.
  cCIAppConfig other;
  ASSERT_TRUE(other.Open(folder.c_str()));
  EXPECT_EQ(Str(other, "lang/x"), "de");
}

TEST_F(ConfigStore, TypedValuesRoundTripThroughTheirBytes) {
  EXPECT_TRUE(store.SetU16("n/u16", 65535));
  EXPECT_EQ(store.GetInt("n/u16"), 65535);
  EXPECT_TRUE(store.SetInt("n/i32", -1));
  EXPECT_EQ(store.GetInt64Value("n/i32"), 4294967295u);
  EXPECT_TRUE(store.SetInt64("n/i64", -1));
  EXPECT_EQ(store.GetInt("n/i64"), -1);
  EXPECT_EQ(store.GetInt64Value("n/i64"), ~uint64_t{0});
  EXPECT_TRUE(store.SetInt64("n/le", 0x0102030405060708ll));
  _typebuf<char> bytes;
  ASSERT_TRUE(store.GetBytes("n/le", bytes));
  EXPECT_EQ(std::string(bytes.data, 8), "\x08\x07\x06\x05\x04\x03\x02\x01"s);
  EXPECT_EQ(store.GetU16("n/le"), 0x0708);

  // Sizes that are not numbers: 9 bytes and the empty value.
  ASSERT_TRUE(store.SetBytes("n/nine", "123456789", 9));
  uint64_t v = 77;
  EXPECT_FALSE(store.GetInt64("n/nine", v));
  EXPECT_EQ(v, 77u);
  EXPECT_EQ(store.GetInt("n/nine"), 0);
  ASSERT_TRUE(store.SetString("n/empty", u"", -1));
  EXPECT_FALSE(store.GetInt64("n/empty", v));
  EXPECT_EQ(Str(store, "n/empty"), "");
  EXPECT_EQ(Str(store, "n/missing"), "<missing>");
  _guardchar<char16_t> kept(u"kept");
  EXPECT_FALSE(store.GetString("n/missing", kept));
  EXPECT_EQ(std::u16string(kept.text), u"kept");
  EXPECT_FALSE(store.GetBytes("n/missing", bytes));

  // Text is stored as UTF-8; a length counts units and may cut the text.
  ASSERT_TRUE(store.SetString("t/a", u"\u00e4\U0001F600x", -1));
  ASSERT_TRUE(store.GetBytes("t/a", bytes));
  EXPECT_EQ(std::string(bytes.data, static_cast<size_t>(bytes.count)),
            "\xC3\xA4\xED\xA0\xBD\xED\xB8\x80x");
  _guardchar<char16_t> back;
  ASSERT_TRUE(store.GetString("t/a", back));
  EXPECT_EQ(std::u16string(back.text), u"\u00e4\U0001F600x");
  ASSERT_TRUE(store.SetString("t/b", u"abcdef", 2));
  EXPECT_EQ(Str(store, "t/b"), "ab");
  ASSERT_TRUE(store.SetString("t/c", nullptr, -1));
  EXPECT_EQ(Str(store, "t/c"), "");
}

TEST_F(ConfigStore, OversizedValuesAreRefusedWhenSet) {
  const std::string big(65536, 'x');
  EXPECT_FALSE(store.SetBytes("v/big", big.data(), 65536));
  EXPECT_FALSE(store.Exists("v/big"));
  ASSERT_TRUE(store.SetBytes("v/max", big.data(), 65535));
  EXPECT_FALSE(store.SetBytes("v/max", big.data(), 65536));
  _typebuf<char> bytes;
  ASSERT_TRUE(store.GetBytes("v/max", bytes));
  EXPECT_EQ(bytes.count, 65535);
  ASSERT_TRUE(store.Save());
  cCIAppConfig other;
  ASSERT_TRUE(other.Open(folder.c_str()));
  ASSERT_TRUE(other.GetBytes("v/max", bytes));
  EXPECT_EQ(bytes.count, 65535);
}

TEST_F(ConfigStore, PathsThatCouldNotBeStoredResolveToNothing) {
  std::string deepest = "deep";
  for (int i = 0; i < tw::kConfigMaxDepth; ++i) deepest += "/d";
  const std::string tooDeep = deepest + "/d";
  const std::string refused[] = {"a//b", "a/b/", "/a", "a/", "//", tooDeep};
  for (const auto& path : refused) {
    EXPECT_FALSE(store.SetInt(path.c_str(), 1)) << path;
    EXPECT_EQ(store.Resolve(path.c_str(), true), nullptr) << path;
  }
  // Refused before anything was touched: no section file appeared.
  EXPECT_EQ(ReadFileText(File("a")), "<missing>");
  EXPECT_EQ(ReadFileText(File("deep")), "<missing>");
  ASSERT_TRUE(store.SetInt(deepest.c_str(), 5));
  ASSERT_TRUE(store.Save());
  cCIAppConfig other;
  ASSERT_TRUE(other.Open(folder.c_str()));
  EXPECT_EQ(other.GetInt(deepest.c_str()), 5);
  // The top node exists and holds no value.
  EXPECT_TRUE(store.Exists(""));
  EXPECT_TRUE(store.Exists(nullptr));
  uint32_t size = 0;
  EXPECT_FALSE(store.ValueSize(store.Root(), size));
  EXPECT_FALSE(store.WriteBytes("x", 1, store.Root()));
}

TEST_F(ConfigStore, EnumKeysVisitsChildrenInKeyOrder) {
  for (const char* k : {"s/p/c", "s/p/a", "s/p/b", "s/p/B", "s/q"}) ASSERT_TRUE(store.SetInt(k, 1));
  EXPECT_EQ(Keys(store, "s/p"), "B;a;b;c;");
  EXPECT_EQ(Keys(store, "s"), "p;q;");
  EXPECT_EQ(Keys(store, ""), "<false>");
  EXPECT_EQ(Keys(store, "s/none"), "<false>");
  EXPECT_EQ(Keys(store, "s/q"), "");

  struct Run {
    cCIAppConfig* store;
    std::string seen;
  } run{&store, ""};
  // Stopping at b: false, c not visited.
  EXPECT_FALSE(store.EnumKeys(
      "s/p",
      [](const char* key, void* user) {
        auto* r = static_cast<Run*>(user);
        r->seen += key;
        return std::string(key) != "b";
      },
      &run));
  EXPECT_EQ(run.seen, "Bab");
  // Additions behind the current key are visited; deleting the current key
  // ends the run early with true.
  run.seen.clear();
  EXPECT_TRUE(store.EnumKeys(
      "s/p",
      [](const char* key, void* user) {
        auto* r = static_cast<Run*>(user);
        r->seen += key;
        if (std::string(key) == "B") r->store->SetInt("s/p/bb", 2);
        if (std::string(key) == "bb") r->store->DeleteKey("s/p/bb");
        return true;
      },
      &run));
  EXPECT_EQ(run.seen, "Babbb");
}

TEST_F(ConfigStore, DeleteKeyRemovesSubtreesButNeverSections) {
  ASSERT_TRUE(store.SetInt("s/a/x", 1));
  ASSERT_TRUE(store.SetInt("s/a/y", 2));
  ASSERT_TRUE(store.SetInt("s/b", 3));
  EXPECT_FALSE(store.DeleteKey("s"));
  EXPECT_FALSE(store.DeleteKey("s/"));
  EXPECT_TRUE(store.DeleteKey("s/a"));
  EXPECT_FALSE(store.Exists("s/a/x"));
  EXPECT_FALSE(store.DeleteKey("s/a"));
  EXPECT_EQ(Keys(store, "s"), "b;");
  // A missing section: its empty file is made and the result is false.
  EXPECT_FALSE(store.DeleteKey("fresh/k"));
  EXPECT_EQ(ReadFileText(File("fresh")), "QXVC\0\0\0"s);
  ASSERT_TRUE(store.Save());
  cCIAppConfig other;
  ASSERT_TRUE(other.Open(folder.c_str()));
  EXPECT_EQ(Keys(other, "s"), "b;");
}

TEST_F(ConfigStore, RevertDiscardsUnsavedChanges) {
  ASSERT_TRUE(store.SetString("r/k", u"saved", -1));
  ASSERT_TRUE(store.Save());
  ASSERT_TRUE(store.SetString("r/k", u"unsaved", -1));
  ASSERT_TRUE(store.SetInt("r/new", 1));
  EXPECT_EQ(Str(store, "r/k"), "unsaved");
  EXPECT_TRUE(store.RevertChanged());
  EXPECT_EQ(Str(store, "r/k"), "saved");
  EXPECT_FALSE(store.Exists("r/new"));
  // Reverting a section whose file is gone fails and keeps it marked.
  ASSERT_TRUE(store.SetInt("r/new", 1));
  std::filesystem::remove(std::filesystem::u8path(File("r")));
  EXPECT_FALSE(store.RevertChanged());
  EXPECT_FALSE(store.Exists("r/k"));
  EXPECT_FALSE(store.Save());  // saving never creates a file
}

TEST_F(ConfigStore, ForeignAndDamagedFilesLoadWhatDecodes) {
  const std::string good = "QXVC\0\0\x01\x04" "a\0\0\0\x01\0" "1\0"s;
  WriteFile(File("foreign"), "not a section file");
  WriteFile(File("cut"), good);  // the root's end marker is missing
  WriteFile(File("tail"), good + "\0old bytes of a longer version"s);
  std::filesystem::create_directory(std::filesystem::u8path(File("folder")));
  cCIAppConfig other;
  ASSERT_TRUE(other.Open(folder.c_str()));
  EXPECT_TRUE(other.Exists("foreign"));
  EXPECT_EQ(Keys(other, "foreign"), "");
  EXPECT_EQ(Str(other, "cut/a"), "1");
  EXPECT_EQ(Str(other, "tail/a"), "1");
  EXPECT_FALSE(other.Exists("folder"));
  EXPECT_FALSE(other.SetInt("folder/k", 1));
  // Read alone, nothing is written back.
  EXPECT_EQ(ReadFileText(File("foreign")), "not a section file");
  // A section file cut short, first met by a lookup: that lookup fails, the
  // next one returns what was decoded.
  WriteFile(File("late"), good);
  EXPECT_FALSE(other.Exists("late"));
  EXPECT_EQ(Str(other, "late/a"), "1");
}

TEST_F(ConfigStore, CleanSectionsFollowAnotherStoresSaves) {
  cCIAppConfig other;
  ASSERT_TRUE(store.SetString("s/k", u"v1", -1));
  ASSERT_TRUE(store.Save());
  ASSERT_TRUE(other.Open(folder.c_str()));
  // Several saves in quick succession with values of the same size: the
  // full-resolution write time tells each apart.
  for (const char16_t* v : {u"v2", u"v3", u"v4", u"v5"}) {
    ASSERT_TRUE(store.SetString("s/k", v, -1));
    ASSERT_TRUE(store.Save());
    EXPECT_EQ(Str(other, "s/k"), Narrow(v));
  }
}

TEST_F(ConfigStore, EverySaveMovesTheWriteTimeOn) {
  // The file system stamps writes with a clock that moves in ticks of
  // milliseconds, so two saves of one size within a tick would look alike.
  // A write time ahead of the clock stands for a save earlier in the tick.
  ASSERT_TRUE(store.SetString("s/k", u"v1", -1));
  ASSERT_TRUE(store.Save());
  const auto path = std::filesystem::u8path(File("s"));
  std::filesystem::last_write_time(path, std::filesystem::last_write_time(path) + std::chrono::hours(1));
  // Read at full resolution (the C library's times are whole seconds).
  sFileStamp previous;
  ASSERT_TRUE(GetFileStamp(U16(File("s")).c_str(), previous));
  cCIAppConfig other;
  ASSERT_TRUE(other.Open(folder.c_str()));
  EXPECT_EQ(Str(other, "s/k"), "v1");
  for (const char16_t* v : {u"v2", u"v3"}) {
    ASSERT_TRUE(store.SetString("s/k", v, -1));
    ASSERT_TRUE(store.Save());
    sFileStamp now;
    ASSERT_TRUE(GetFileStamp(U16(File("s")).c_str(), now));
    EXPECT_GT(now.writeTime, previous.writeTime) << Narrow(v);
    previous = now;
    EXPECT_EQ(Str(other, "s/k"), Narrow(v));
  }
}

TEST_F(ConfigStore, SaveKeepsWhatOtherStoresSavedMeanwhile) {
  ASSERT_TRUE(store.SetString("s/gone", u"x", -1));
  ASSERT_TRUE(store.SetString("s/both", u"x", -1));
  ASSERT_TRUE(store.Save());
  cCIAppConfig a, b;
  ASSERT_TRUE(a.Open(folder.c_str()));
  ASSERT_TRUE(b.Open(folder.c_str()));
  ASSERT_TRUE(a.SetString("s/a", u"from a", -1));
  ASSERT_TRUE(a.DeleteKey("s/gone"));
  ASSERT_TRUE(a.SetString("s/both", u"a", -1));
  ASSERT_TRUE(b.SetString("s/b/deep", u"from b", -1));
  ASSERT_TRUE(b.SetString("s/both", u"b", -1));
  ASSERT_TRUE(a.Save());
  // b has unsaved changes: its tree wins over the file until it saves.
  EXPECT_EQ(Str(b, "s/a"), "<missing>");
  ASSERT_TRUE(b.Save());
  // b now holds the merged content, and so does the file.
  for (cCIAppConfig* s : {&b, &store}) {
    EXPECT_EQ(Str(*s, "s/a"), "from a");
    EXPECT_EQ(Str(*s, "s/b/deep"), "from b");
    EXPECT_EQ(Str(*s, "s/both"), "b");  // the later save wins
    EXPECT_FALSE(s->Exists("s/gone"));
  }
}

TEST_F(ConfigStore, CreatingASectionLoadsAFileThatAppearedMeanwhile) {
  cCIAppConfig other;
  ASSERT_TRUE(other.Open(folder.c_str()));  // sees no section yet
  ASSERT_TRUE(store.SetString("n/first", u"1", -1));
  ASSERT_TRUE(store.Save());
  ASSERT_TRUE(other.SetString("n/second", u"2", -1));
  EXPECT_EQ(Str(other, "n/first"), "1");
  ASSERT_TRUE(other.Save());
  cCIAppConfig third;
  ASSERT_TRUE(third.Open(folder.c_str()));
  EXPECT_EQ(Keys(third, "n"), "first;second;");
  // Creating over an existing file is refused and leaves it alone.
  const std::string before = ReadFileText(File("n"));
  EXPECT_FALSE(store.CreateSectionFile(U16(File("n")).c_str()));
  EXPECT_EQ(ReadFileText(File("n")), before);
}

TEST_F(ConfigStore, PendingCopyOfAnInterruptedSaveIsFinishedByTheNextReader) {
  ASSERT_TRUE(store.SetString("p/k", u"old", -1));
  ASSERT_TRUE(store.Save());
  const std::string oldImage = ReadFileText(File("p"));
  ASSERT_EQ(oldImage, "QXVC\0\0\x01\x04k\0\0\0\x03\0old\0\0"s);
  const std::string newImage = "QXVC\0\0\x01\x04k\0\0\0\x03\0new\0\0"s;
  const std::string longImage = "QXVC\0\0\x01\x04k\0\0\0\x0B\0newer value\0\0"s;
  const std::string shortImage = "QXVC\0\0\x01\x04k\0\0\0\x01\0n\0\0"s;
  // What an older copy of the program, which knows nothing of pending
  // copies, leaves when it saves over the file in place without cutting it.
  const std::string olderSave = "QXVC\0\0\x01\x04k\0\0\0\x01\0o\0\0"s + oldImage.substr(17);
  auto copyOf = [](const std::string& before, const std::string& image) {
    _typebuf<char> copy;
    tw::BuildPendingCopy(before.data(), static_cast<uint32_t>(before.size()), image.data(),
                         static_cast<uint32_t>(image.size()), copy);
    return std::string(copy.data, static_cast<size_t>(copy.count));
  };
  std::filesystem::create_directory(std::filesystem::u8path(File(".pending")));
  struct Case {
    const char* what;
    std::string file;
    std::string pending;
    const char* value;
    std::string fileAfter;
  } cases[] = {
      // Killed while writing the file over: the complete copy wins.
      {"torn file", newImage.substr(0, 16) + oldImage.substr(16), copyOf(oldImage, newImage), "new", newImage},
      {"torn past the old end", longImage.substr(0, 23), copyOf(oldImage, longImage), "newer value", longImage},
      {"written, not yet cut", shortImage + oldImage.substr(17), copyOf(oldImage, shortImage), "n", shortImage},
      {"file written, copy not yet deleted", newImage, copyOf(oldImage, newImage), "new", newImage},
      {"copy written, file not yet touched", oldImage, copyOf(oldImage, newImage), "new", newImage},
      // Killed while writing the copy: the file was never touched.
      {"torn copy", oldImage, copyOf(oldImage, newImage).substr(0, 30), "old", oldImage},
      // A copy left behind must not undo a later save by an older program.
      {"file saved since by an older program", olderSave, copyOf(oldImage, newImage), "o", olderSave},
  };
  for (const auto& c : cases) {
    WriteFile(File("p"), c.file);
    WriteFile(File(".pending/p"), c.pending);
    cCIAppConfig other;
    ASSERT_TRUE(other.Open(folder.c_str()));
    EXPECT_EQ(Str(other, "p/k"), c.value) << c.what;
    EXPECT_FALSE(std::filesystem::exists(std::filesystem::u8path(File(".pending/p")))) << c.what;
    EXPECT_TRUE(ReadFileText(File("p")) == c.fileAfter) << c.what;
  }
}

TEST_F(ConfigStore, LongKeysReadBackCutTo255Bytes) {
  const std::string key(300, 'k');
  ASSERT_TRUE(store.SetInt(("s/" + key).c_str(), 7));
  ASSERT_TRUE(store.Save());
  cCIAppConfig other;
  ASSERT_TRUE(other.Open(folder.c_str()));
  EXPECT_EQ(other.GetInt(("s/" + key.substr(0, 255)).c_str()), 7);
  EXPECT_FALSE(other.Exists(("s/" + key).c_str()));
}

TEST(ConfigStoreFolder, NothingResolvesBeforeAFolderIsSet) {
  cCIAppConfig store;
  EXPECT_FALSE(store.SetInt("a/b", 1));
  EXPECT_FALSE(store.Exists("a"));
  EXPECT_TRUE(store.Save());  // nothing changed
  EXPECT_FALSE(store.Open(nullptr));
  twtest::TempDir tmp;
  twtest::ScopedEnv appData("APPDATA", tmp.path().c_str());
  ASSERT_TRUE(store.Open(U16(tmp.path()).c_str()));
  ASSERT_TRUE(store.SetInt("a/b", 1));
  // Not a folder: taken as a store name whose data folder cannot be made
  // (its parent is missing). The old folder is forgotten.
  EXPECT_FALSE(store.Open(u"missing/deeper"));
  EXPECT_EQ(store.RootFolder(), nullptr);
  EXPECT_FALSE(store.Exists("a"));
  EXPECT_FALSE(store.SetInt("a/b", 1));
  // A store name: the data folder under APPDATA, created on the way.
  ASSERT_TRUE(store.Open(u"named"));
  EXPECT_NE(twtest::Narrow(store.RootFolder()).find("/Vornak/named"), std::string::npos);
  ASSERT_TRUE(store.SetInt("a/b", 2));
  ASSERT_TRUE(store.Save());
  EXPECT_TRUE(std::filesystem::exists(std::filesystem::u8path(tmp.path() + "/Vornak/named/a")));
  // Create on an existing folder fails; the runner then just opens it.
  EXPECT_FALSE(store.Create(u"named"));
}

TEST(ConfigStoreFolder, FixtureWrittenByEitherTargetIsTheSame) {
  // The fixture was written by this store; both targets must write the
  // same bytes and read the same values from it.
  const std::string fixture = ReadFileText(twtest::SourcePath("tests/base/data/config/install"));
  ASSERT_NE(fixture, "<missing>");
  twtest::TempDir tmp;
  cCIAppConfig store;
  ASSERT_TRUE(store.Open(U16(tmp.path()).c_str()));
  ASSERT_TRUE(store.SetString("install/demo/ver", u"1.4.2", -1));
  ASSERT_TRUE(store.SetString("install/demo/path", u"C:/Program Files/Demo \u00c4", -1));
  ASSERT_TRUE(store.SetInt("install/demo/size", 123456));
  ASSERT_TRUE(store.SetInt64("install/demo/time", 1765000000));
  ASSERT_TRUE(store.SetU16("install/demo/lang", 1031));
  ASSERT_TRUE(store.SetString("install/other/ver", u"2.0", -1));
  ASSERT_TRUE(store.Save());
  EXPECT_EQ(ReadFileText(tmp.path() + "/install"), fixture);

  twtest::TempDir copy;
  WriteFile(copy.path() + "/install", fixture);
  cCIAppConfig reader;
  ASSERT_TRUE(reader.Open(U16(copy.path()).c_str()));
  EXPECT_EQ(Str(reader, "install/demo/path"), "C:/Program Files/Demo \xC3\x84");
  EXPECT_EQ(reader.GetInt("install/demo/size"), 123456);
  EXPECT_EQ(reader.GetInt64Value("install/demo/time"), 1765000000u);
  EXPECT_EQ(reader.GetU16("install/demo/lang"), 1031);
  EXPECT_EQ(Keys(reader, "install"), "demo;other;");
}

}  // namespace
