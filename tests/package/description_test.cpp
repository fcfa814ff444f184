// The package description's lookups: texts by key for the current language,
// paths, the version text, the space needed and the resolved lists.
#include "package/description.h"
#include "tests/sidoc/doc_bytes.h"

#include <gtest/gtest.h>

#include <string>

#include "tests/support/test_support.h"

namespace {

using twtest::Narrow;

void Put(tPkgStringTable& table, const char16_t* key, const char16_t* value) {
  cPackedKey k;
  k.FromWide(key, -1);
  table.FindOrInsert(std::move(k))->Assign(value);
}

std::u16string Text(const char16_t* s) { return s == nullptr ? u"<null>" : std::u16string(s); }

// Common: "both" = "common", "emptyCommon" = "", "folder" = "C:/Prog",
// "slashed" = "C:/Prog/", "blank" = "". Language 2: "both" = "Deutsch",
// "emptyLang" = "", "onlyLang" = "nur". Language 5: "both" = "Fr".
void Fill(cSOPKGDescription& d) {
  Put(d.commonTable, u"both", u"common");
  Put(d.commonTable, u"emptyCommon", u"");
  Put(d.commonTable, u"emptyLang", u"common text");
  Put(d.commonTable, u"folder", u"C:/Prog");
  Put(d.commonTable, u"slashed", u"C:/Prog/");
  Put(d.commonTable, u"blank", u"");
  tPkgStringTable* de = d.LanguageTable(2);
  Put(*de, u"both", u"Deutsch");
  Put(*de, u"emptyLang", u"");
  Put(*de, u"onlyLang", u"nur");
  Put(*d.LanguageTable(5), u"both", u"Fr");
}

TEST(Description, StringLookup) {
  cSOPKGDescription d;
  Fill(d);
  ASSERT_TRUE(d.SelectLanguage(2));
  struct Case {
    const char16_t* key;
    const char16_t* expected;  // null: no text
  } cases[] = {
      {u"both", u"Deutsch"},
      // Empty in the language's table: null, with no fall-back to the common text.
      {u"emptyLang", nullptr},
      // Empty in the common table only: an empty text.
      {u"emptyCommon", u""},
      {u"onlyLang", u"nur"},
      {u"folder", u"C:/Prog"},
      {u"missing", nullptr},
      {u"Both", nullptr},  // keys are case-sensitive
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(Narrow(c.key));
    EXPECT_EQ(Text(d.GetString(c.key)), Text(c.expected));
  }
  // Without a language table for the current language, the common table.
  ASSERT_TRUE(d.SelectLanguage(5));
  EXPECT_EQ(Text(d.GetString(u"onlyLang")), u"<null>");
  EXPECT_EQ(Text(d.GetString(u"emptyLang")), u"common text");
}

TEST(Description, SelectingALanguageWithoutTableKeepsTheCurrentOne) {
  cSOPKGDescription d;
  Fill(d);
  ASSERT_TRUE(d.SelectLanguage(5));
  EXPECT_FALSE(d.SelectLanguage(3));
  EXPECT_EQ(d.currentLanguage, 5);
  cSimpleList<int32_t> ids;
  d.GetLanguages(ids);
  ASSERT_NE(ids.head, nullptr);
  EXPECT_EQ(ids.head->value, 2);
  ASSERT_NE(ids.head->next, nullptr);
  EXPECT_EQ(ids.head->next->value, 5);
  EXPECT_EQ(ids.head->next->next, nullptr);
}

TEST(Description, ExpandPath) {
  cSOPKGDescription d;
  Fill(d);
  struct Case {
    const char16_t* folderKey;
    const char16_t* relative;
    const char16_t* expected;  // null: false
  } cases[] = {
      {u"", u"a/b.exe", u"a/b.exe"},
      {u"", u"", u""},
      {nullptr, nullptr, u""},
      {u"folder", u"a/b.exe", u"C:/Prog/a/b.exe"},
      {u"slashed", u"a/b.exe", u"C:/Prog/a/b.exe"},
      {u"folder", u"", u"C:/Prog"},
      {u"blank", u"x.txt", u"x.txt"},
      {u"missing", u"x.txt", nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(Narrow(c.folderKey != nullptr ? c.folderKey : u"<null>"));
    _guardchar<char16_t> out;
    const bool ok = d.ExpandPath(c.folderKey, c.relative, out);
    EXPECT_EQ(ok, c.expected != nullptr);
    if (ok) {
      EXPECT_EQ(Text(out.text == nullptr ? u"" : out.text), Text(c.expected));
    }
  }
}

TEST(Description, ProgramFolderAndKeyCheck) {
  cSOPKGDescription d;
  Fill(d);
  int32_t missing = -1;
  // "pgm" passes although the package does not define it.
  EXPECT_TRUE(d.CheckStringKey(u"pgm", missing));
  EXPECT_TRUE(d.CheckStringKey(u"folder", missing));
  // Only in language 2: language 5 lacks it.
  EXPECT_FALSE(d.CheckStringKey(u"onlyLang", missing));
  EXPECT_EQ(missing, 5);
  EXPECT_FALSE(d.CheckStringKey(u"missing", missing));
  EXPECT_EQ(missing, 2);
  cSOPKGDescription bare;
  EXPECT_TRUE(bare.CheckStringKey(u"anything", missing));  // no language table

  ASSERT_TRUE(d.SetProgramFolder(d.commonTable, u"D:/Apps/Tool"));
  ASSERT_TRUE(d.SetProgramFolder(d.commonTable, u"E:/Tool"));
  _guardchar<char16_t> path;
  ASSERT_TRUE(d.ExpandPath(u"pgm", u"bin/t.exe", path));
  EXPECT_EQ(Text(path.text), u"E:/Tool/bin/t.exe");
}

TEST(Description, VersionText) {
  struct Case {
    uint32_t v[4];
    const char16_t* text;
  } cases[] = {
      {{1, 0, 0, 0}, u"1.0"},
      {{2, 0, 3, 0}, u"2.0.3"},
      {{2, 0, 0, 5}, u"2.0.0.5"},
      {{10, 20, 30, 40}, u"10.20.30.40"},
  };
  for (const Case& c : cases) {
    cSOPKGDescription d;
    std::copy(c.v, c.v + 4, d.version);
    _guardchar<char16_t> text;
    ASSERT_TRUE(d.GetVersionText(text));
    EXPECT_EQ(Text(text.text), Text(c.text));
  }
}

sPayload& AddPayload(cSOPKGDescription& d, uint32_t size, int32_t stored, uint8_t mark) {
  sPayload& p = d.payloads.Append();
  p.uncompressedSize = size;
  p.stored.Reallocate(stored);
  p.digest[0] = mark;
  return p;
}

sInstallEntry* AddFile(cSOPKGDescription& d, uint32_t payload, const char16_t* path, bool on32, bool on64,
                       std::initializer_list<int32_t> languages = {}) {
  sInstallEntry* e = d.AddInstallEntry();
  e->payloadIndex = payload;
  e->folderKey.Assign(u"folder");
  e->relativePath.Assign(path);
  e->flag32 = on32 ? 1 : 0;
  e->flag64 = on64 ? 1 : 0;
  for (int32_t l : languages) e->languages.Append(l);
  return e;
}

TEST(Description, RequiredSpace) {
  cSOPKGDescription d;
  Fill(d);
  AddPayload(d, 1, 5, 0);          // 0: one byte
  AddPayload(d, 65537, 900, 1);    // 1: just over one unit
  AddPayload(d, 65536, 900, 2);    // 2: exactly one unit
  AddPayload(d, 0, 70000, 3);      // 3: stored as is: its stored length counts
  AddFile(d, 0, u"a", true, false);
  AddFile(d, 1, u"b", true, true, {5});  // another language counts too
  AddFile(d, 2, u"c", false, true);      // only on 64-bit
  AddFile(d, 3, u"d", true, false);
  AddFile(d, 99, u"e", true, true);      // no such payload: nothing
  EXPECT_EQ(d.GetRequiredSpace(false), 65536u + 131072u + 131072u);
  EXPECT_EQ(d.GetRequiredSpace(true), 131072u + 65536u);
}

TEST(Description, InstallEntriesForLanguageAndPlatform) {
  cSOPKGDescription d;
  Fill(d);
  AddPayload(d, 10, 3, 0xA0);
  AddPayload(d, 10, 3, 0xA1);
  AddFile(d, 0, u"all.txt", true, true);
  AddFile(d, 1, u"de.txt", true, true, {2, 7});
  AddFile(d, 0, u"fr.txt", true, true, {5});
  AddFile(d, 1, u"x64.txt", false, true);
  sInstallEntry* guarded = AddFile(d, 1, u"acl.txt", true, false);
  guarded->accessUser = 7;
  guarded->accessAdmins = 6;
  guarded->accessEveryone = 4;
  ASSERT_TRUE(d.SelectLanguage(2));
  cSimpleList<sInstallTarget> list;
  ASSERT_TRUE(d.GetInstallEntries(list, false));
  std::u16string got;
  for (auto* n = list.head; n != nullptr; n = n->next) got += Text(n->value.targetPath.text) + u";";
  EXPECT_EQ(got, u"C:/Prog/all.txt;C:/Prog/de.txt;C:/Prog/acl.txt;");
  EXPECT_EQ(list.head->value.digest[0], 0xA0);
  EXPECT_EQ(list.head->next->value.digest[0], 0xA1);
  EXPECT_EQ(list.tail->value.accessUser, 7);
  EXPECT_EQ(list.tail->value.accessAdmins, 6);
  EXPECT_EQ(list.tail->value.accessEveryone, 4);
  ASSERT_TRUE(d.GetInstallEntries(list, true));
  got.clear();
  for (auto* n = list.head; n != nullptr; n = n->next) got += Text(n->value.targetPath.text) + u";";
  EXPECT_EQ(got, u"C:/Prog/all.txt;C:/Prog/de.txt;C:/Prog/x64.txt;");

  // A folder key without text stops the list there.
  AddFile(d, 0, u"late.txt", true, true)->folderKey.Assign(u"missing");
  AddFile(d, 0, u"after.txt", true, true);
  EXPECT_FALSE(d.GetInstallEntries(list, true));
  EXPECT_EQ(Text(list.tail->value.targetPath.text), u"C:/Prog/x64.txt");
}

TEST(Description, MenuRunAndDeprecatedLists) {
  cSOPKGDescription d;
  Fill(d);
  ASSERT_TRUE(d.SelectLanguage(2));
  sMenuItem* m = d.AddMenuEntry();
  m->nameKey.Assign(u"both");
  m->targetFolderKey.Assign(u"folder");
  m->targetPath.Assign(u"t.exe");
  m->iconFolderKey.Assign(u"slashed");
  m->iconPath.Assign(u"t.ico");
  m->argumentsKey.Assign(u"onlyLang");
  m->flags = 3;
  sRunItem* r = d.AddRunEntry();
  r->captionKey.Assign(u"both");
  r->folderKey.Assign(u"folder");
  r->relativePath.Assign(u"run.exe");
  r->flag = 1;
  sDeprecateItem* old = d.AddDeprecate();
  old->codename.Assign(u"oldtool");
  old->version = 0xFFFF;

  cSimpleList<sMenuEntry> menu;
  ASSERT_TRUE(d.GetMenuEntries(menu));
  ASSERT_NE(menu.head, nullptr);
  const sMenuEntry& e = menu.head->value;
  EXPECT_EQ(Text(e.name.text), u"Deutsch");
  EXPECT_EQ(Text(e.targetPath.text), u"C:/Prog/t.exe");
  EXPECT_EQ(Text(e.iconPath.text), u"C:/Prog/t.ico");
  EXPECT_EQ(Text(e.arguments.text), u"nur");
  EXPECT_EQ(e.description.text, nullptr);
  EXPECT_TRUE(e.runAsAdmin);

  cSimpleList<sRunEntry> run;
  ASSERT_TRUE(d.GetRunEntries(run));
  EXPECT_EQ(Text(run.head->value.path.text), u"C:/Prog/run.exe");
  EXPECT_EQ(Text(run.head->value.caption.text), u"Deutsch");
  EXPECT_EQ(run.head->value.flag, 1);

  cSimpleList<sDeprecatedEntry> dep;
  ASSERT_TRUE(d.GetDeprecates(dep));
  EXPECT_EQ(Text(dep.head->value.codename.text), u"oldtool");
  EXPECT_EQ(dep.head->value.version, 0xFFFF);

  // A name without text in the current language fails, keeping what came
  // before.
  d.AddMenuEntry()->nameKey.Assign(u"emptyLang");
  EXPECT_FALSE(d.GetMenuEntries(menu));
  ASSERT_NE(menu.head, nullptr);
  EXPECT_EQ(menu.head->next, nullptr);
  d.AddRunEntry()->captionKey.Assign(u"missing");
  EXPECT_FALSE(d.GetRunEntries(run));
}

TEST(Description, ClearKeepsTheLanguage) {
  cSOPKGDescription d;
  Fill(d);
  ASSERT_TRUE(d.SelectLanguage(5));
  d.version[0] = 3;
  d.readmeConfirm = 1;
  d.literalCounter = 4;
  d.welcome.bytes.Reallocate(10);
  doctest::Doc compiled;
  compiled.bodies.push_back({5, doctest::Cat({doctest::Text("hi"), doctest::kEnd})});
  const doctest::Bytes doc = compiled.Build();
  ASSERT_TRUE(LoadCompiledDocument(doc.data(), static_cast<uint32_t>(doc.size()), &d.welcome.loader));
  ASSERT_NE(d.GetWelcomeDocument(), nullptr);
  AddPayload(d, 1, 1, 0);
  AddFile(d, 0, u"a", true, true);
  d.Clear();
  EXPECT_EQ(d.currentLanguage, 5);
  EXPECT_EQ(d.version[0], 0u);
  EXPECT_EQ(d.readmeConfirm, 0);
  EXPECT_EQ(d.literalCounter, 0);
  EXPECT_EQ(d.welcome.bytes.count, 0);
  EXPECT_EQ(d.GetWelcomeDocument(), nullptr);
  EXPECT_EQ(d.payloads.count, 0u);
  EXPECT_EQ(d.installList.head, nullptr);
  EXPECT_TRUE(d.commonTable.IsEmpty());
  EXPECT_TRUE(d.languageTables.IsEmpty());
}

}  // namespace
