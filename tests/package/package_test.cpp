// The package file: writer and reader round trip, the writer's exact bytes
// where they matter, and one crafted package per reader failure.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "base/memio.h"
#include "package/description.h"
#include "package/package_format.h"
#include "tests/sidoc/doc_bytes.h"
#include "tests/support/package_bytes.h"
#include "tests/support/test_support.h"

// Lengths claimed by a package must be compared with the data before they
// size a buffer: natively, any single allocation above 64 MiB stops this
// program with a report (no test here needs that much).
#if defined(__SANITIZE_ADDRESS__)
extern "C" const char* __asan_default_options() { return "max_allocation_size_mb=64"; }
#endif

namespace {

using Bytes = std::vector<unsigned char>;
using twtest::MakePackage;
using twtest::PackageSections;
using twtest::PkgBytes;
using twtest::SoftwareSection;

void Put(tPkgStringTable& table, const char16_t* key, const char16_t* value) {
  cPackedKey k;
  k.FromWide(key, -1);
  table.FindOrInsert(std::move(k))->Assign(value);
}

Bytes Written(const cSOPKGDescription& d) {
  cMemIOTarget out;
  EXPECT_TRUE(d.Write(&out));
  _typebuf<char> image;
  out.CopyToBuffer(image);
  return Bytes(image.data, image.data + image.count);
}

bool ReadBytes(cSOPKGDescription& d, const Bytes& b) {
  cBufWrapperIO in(b.data(), static_cast<uint32_t>(b.size()));
  return d.Read(&in);
}

// A compiled document with one text body per language.
Bytes CompiledDoc(const std::vector<std::pair<uint8_t, std::string>>& texts) {
  doctest::Doc doc;
  for (const auto& [language, text] : texts) doc.bodies.push_back({language, doctest::Cat({doctest::Text(text), doctest::kEnd})});
  return doc.Build();
}

const Bytes kWelcomeDoc = CompiledDoc({{0, "welcome"}, {13, "witaj"}});
const Bytes kReadmeDoc = CompiledDoc({{0, "read me first"}});
const Bytes kEulaDoc = CompiledDoc({{13, "licence"}});

void SetDocument(sPkgDocument& document, const Bytes& bytes) {
  document.bytes.Reallocate(static_cast<int32_t>(bytes.size()));
  std::memcpy(document.bytes.data, bytes.data(), bytes.size());
}

Bytes Content(int n, char c) { return Bytes(static_cast<size_t>(n), static_cast<unsigned char>(c)); }

// A description with something in every field and list, several records per
// list so that order shows.
void FillEverything(cSOPKGDescription& d) {
  d.version[0] = 4;
  d.version[1] = 2;
  d.version[2] = 0;
  d.version[3] = 77;
  d.support_URL.Assign(u"https://example.org/support");
  d.publish_URL.Assign(u"https://example.org/");
  d.updates_URL.Assign(u"https://example.org/upd");
  d.manual_URL.Assign(u"https://example.org/Ünïcødé");
  Put(d.commonTable, u"app", u"Tarnwick Tool");
  Put(d.commonTable, u"folder", u"Prog");
  Put(d.commonTable, u"empty", u"");
  Put(d.commonTable, u"abcd", u"four");
  Put(d.commonTable, u"abcde", u"five");
  Put(*d.LanguageTable(0), u"title", u"Title");
  Put(*d.LanguageTable(0), u"ico", u"C:/Icons");
  Put(*d.LanguageTable(13), u"title", u"Tytuł 日本");
  Put(*d.LanguageTable(13), u"ico", u"D:/Icons");
  d.LanguageTable(2);  // declared without strings
  Put(*d.LanguageTable(2), u"title", u"Titel");
  Put(*d.LanguageTable(2), u"ico", u"E:/I");
  d.iconFolderKey.Assign(u"ico");
  d.iconPath.Assign(u"app.ico");
  for (int i = 0; i < 3; ++i) {
    sMenuItem* m = d.AddMenuEntry();
    m->nameKey.Assign(u"title");
    m->descriptionKey.Assign(i == 1 ? u"" : u"app");
    m->targetFolderKey.Assign(u"folder");
    m->targetPath.Assign(i == 0 ? u"a.exe" : i == 1 ? u"b.exe" : u"c.exe");
    m->argumentsKey.Assign(i == 2 ? u"abcd" : u"");
    m->iconFolderKey.Assign(u"pgm");
    m->iconPath.Assign(u"x.ico");
    m->flags = static_cast<uint8_t>(i * 3);
  }
  for (const char* s : {"first", "second content", "third"}) {
    const Bytes b(s, s + std::strlen(s));
    cBufWrapperIO src(b.data(), static_cast<uint32_t>(b.size()));
    ASSERT_GE(AddPayloadFromStream(&src, d.payloads), 0);
  }
  for (uint32_t i = 0; i < 3; ++i) {
    sInstallEntry* e = d.AddInstallEntry();
    e->payloadIndex = 2 - i;
    e->folderKey.Assign(u"pgm");
    e->relativePath.Assign(i == 0 ? u"bin/a.exe" : i == 1 ? u"b.dat" : u"sub/c.txt");
    e->flag32 = i != 1;
    e->flag64 = i != 2;
    e->accessUser = static_cast<uint8_t>(i == 0 ? 8 : 7);
    e->accessAdmins = static_cast<uint8_t>(i == 0 ? 8 : 5);
    e->accessEveryone = static_cast<uint8_t>(i == 0 ? 8 : 0);
    if (i == 1) {
      e->languages.Append(13);
      e->languages.Append(0);
    }
  }
  for (int i = 0; i < 2; ++i) {
    sRunItem* r = d.AddRunEntry();
    r->captionKey.Assign(u"title");
    r->folderKey.Assign(u"pgm");
    r->relativePath.Assign(i == 0 ? u"bin/a.exe" : u"readme.txt");
    r->argumentsKey.Assign(i == 0 ? u"abcde" : u"");
    r->flag = static_cast<uint8_t>(i);
  }
  const char* names[] = {"z/last", "a/first", "empty text"};
  for (int i = 0; i < 3; ++i) {
    sSettingItem* s = d.AddSetting();
    s->name.Assign(names[i]);
    s->value.Reallocate(i == 2 ? 0 : 3 + i);
    for (int32_t k = 0; k < s->value.count; ++k) s->value.data[k] = static_cast<char>(k * 7 + i);
  }
  sDeprecateItem* a = d.AddDeprecate();
  a->codename.Assign(u"oldtool");
  a->version = 0xFFFF;
  sDeprecateItem* b = d.AddDeprecate();
  b->codename.Assign(u"older");
  b->version = 3;
  SetDocument(d.welcome, kWelcomeDoc);
  SetDocument(d.readme, kReadmeDoc);
  d.readmeConfirm = 1;
  SetDocument(d.eula, kEulaDoc);
}

std::u16string S(const _guardchar<char16_t>& s) { return s.text == nullptr ? u"" : std::u16string(s.text); }

template <class T, class F>
void SameList(const cSimpleList<T>& a, const cSimpleList<T>& b, F same) {
  auto* x = a.head;
  auto* y = b.head;
  int i = 0;
  for (; x != nullptr && y != nullptr; x = x->next, y = y->next, ++i) {
    SCOPED_TRACE("record " + std::to_string(i));
    same(x->value, y->value);
  }
  EXPECT_EQ(x == nullptr, y == nullptr) << "lists differ in length";
}

void SameTable(const tPkgStringTable& a, const tPkgStringTable& b) {
  auto* x = a.First();
  auto* y = b.First();
  for (; x != nullptr && y != nullptr; x = tPkgStringTable::Next(x), y = tPkgStringTable::Next(y)) {
    EXPECT_EQ(cPackedKey::Compare(x->key, y->key), 0);
    EXPECT_EQ(S(x->value), S(y->value));
  }
  EXPECT_EQ(x == nullptr, y == nullptr) << "tables differ in size";
}

void SameDocument(const sPkgDocument& a, const sPkgDocument& b) {
  ASSERT_EQ(a.bytes.count, b.bytes.count);
  if (a.bytes.count > 0) {
    EXPECT_EQ(std::memcmp(a.bytes.data, b.bytes.data, static_cast<size_t>(a.bytes.count)), 0);
  }
}

void ExpectSame(const cSOPKGDescription& a, const cSOPKGDescription& b) {
  for (int i = 0; i < 4; ++i) EXPECT_EQ(a.version[i], b.version[i]);
  EXPECT_EQ(S(a.support_URL), S(b.support_URL));
  EXPECT_EQ(S(a.publish_URL), S(b.publish_URL));
  EXPECT_EQ(S(a.updates_URL), S(b.updates_URL));
  EXPECT_EQ(S(a.manual_URL), S(b.manual_URL));
  EXPECT_EQ(S(a.iconFolderKey), S(b.iconFolderKey));
  EXPECT_EQ(S(a.iconPath), S(b.iconPath));
  SameTable(a.commonTable, b.commonTable);
  {
    auto* x = a.languageTables.First();
    auto* y = b.languageTables.First();
    for (; x != nullptr && y != nullptr; x = tPkgLanguageTables::Next(x), y = tPkgLanguageTables::Next(y)) {
      EXPECT_EQ(x->key, y->key);
      SameTable(*x->value, *y->value);
    }
    EXPECT_EQ(x == nullptr, y == nullptr);
  }
  SameList(a.menuList, b.menuList, [](const sMenuItem& x, const sMenuItem& y) {
    EXPECT_EQ(S(x.nameKey), S(y.nameKey));
    EXPECT_EQ(S(x.descriptionKey), S(y.descriptionKey));
    EXPECT_EQ(S(x.targetFolderKey), S(y.targetFolderKey));
    EXPECT_EQ(S(x.targetPath), S(y.targetPath));
    EXPECT_EQ(S(x.argumentsKey), S(y.argumentsKey));
    EXPECT_EQ(S(x.iconFolderKey), S(y.iconFolderKey));
    EXPECT_EQ(S(x.iconPath), S(y.iconPath));
    EXPECT_EQ(x.flags, y.flags);
  });
  SameList(a.installList, b.installList, [](const sInstallEntry& x, const sInstallEntry& y) {
    EXPECT_EQ(x.payloadIndex, y.payloadIndex);
    EXPECT_EQ(S(x.folderKey), S(y.folderKey));
    EXPECT_EQ(S(x.relativePath), S(y.relativePath));
    EXPECT_EQ(x.flag32, y.flag32);
    EXPECT_EQ(x.flag64, y.flag64);
    EXPECT_EQ(x.accessUser, y.accessUser);
    EXPECT_EQ(x.accessAdmins, y.accessAdmins);
    EXPECT_EQ(x.accessEveryone, y.accessEveryone);
    SameList(x.languages, y.languages, [](int32_t p, int32_t q) { EXPECT_EQ(p, q); });
  });
  SameList(a.runList, b.runList, [](const sRunItem& x, const sRunItem& y) {
    EXPECT_EQ(S(x.captionKey), S(y.captionKey));
    EXPECT_EQ(S(x.folderKey), S(y.folderKey));
    EXPECT_EQ(S(x.relativePath), S(y.relativePath));
    EXPECT_EQ(S(x.argumentsKey), S(y.argumentsKey));
    EXPECT_EQ(x.flag, y.flag);
  });
  SameList(a.settings, b.settings, [](const sSettingItem& x, const sSettingItem& y) {
    EXPECT_STREQ(x.name.text, y.name.text);
    ASSERT_EQ(x.value.count, y.value.count);
    if (x.value.count > 0) {
      EXPECT_EQ(std::memcmp(x.value.data, y.value.data, static_cast<size_t>(x.value.count)), 0);
    }
  });
  SameList(a.deprecatedList, b.deprecatedList, [](const sDeprecateItem& x, const sDeprecateItem& y) {
    EXPECT_EQ(S(x.codename), S(y.codename));
    EXPECT_EQ(x.version, y.version);
  });
  SameDocument(a.welcome, b.welcome);
  SameDocument(a.readme, b.readme);
  SameDocument(a.eula, b.eula);
  EXPECT_EQ(a.readmeConfirm, b.readmeConfirm);
  SameList(a.payloads.items, b.payloads.items, [](const sPayload& x, const sPayload& y) {
    EXPECT_EQ(x.uncompressedSize, y.uncompressedSize);
    EXPECT_EQ(std::memcmp(x.digest, y.digest, kSha256Size), 0);
    ASSERT_EQ(x.stored.count, y.stored.count);
    EXPECT_EQ(std::memcmp(x.stored.data, y.stored.data, static_cast<size_t>(x.stored.count)), 0);
  });
  EXPECT_EQ(a.payloads.count, b.payloads.count);
}

TEST(Package, RoundTripKeepsEveryFieldAndOrder) {
  cSOPKGDescription d;
  FillEverything(d);
  const Bytes image = Written(d);
  cSOPKGDescription back;
  ASSERT_TRUE(ReadBytes(back, image));
  ExpectSame(d, back);
  // Written again, the same bytes.
  EXPECT_EQ(Written(back), image);
  // Payloads stream out of the read package.
  auto s = OpenPayloadStream(1, back.payloads);
  ASSERT_NE(s, nullptr);
  char buf[64] = {};
  ASSERT_EQ(s->Read(buf, sizeof buf), 14u);
  EXPECT_STREQ(buf, "second content");
  // The documents were loaded: each answers for the languages it holds.
  EXPECT_NE(back.GetWelcomeDocument(), nullptr);
  EXPECT_NE(back.GetReadmeDocument(), nullptr);
  EXPECT_EQ(back.GetEulaDocument(), nullptr);
  ASSERT_TRUE(back.SelectLanguage(13));
  EXPECT_NE(back.GetWelcomeDocument(), nullptr);
  EXPECT_EQ(back.GetReadmeDocument(), nullptr);
  EXPECT_NE(back.GetEulaDocument(), nullptr);
  EXPECT_EQ(back.GetWelcomeDocument(), back.welcome.loader.GetContainer(13));
  // A written but never read description has loaded nothing.
  EXPECT_EQ(d.GetWelcomeDocument(), nullptr);
}

TEST(Package, WriterSectionOrderAndHeader) {
  cSOPKGDescription d;
  FillEverything(d);
  const Bytes image = Written(d);
  ASSERT_GE(image.size(), 49u);
  EXPECT_EQ(std::string(image.begin(), image.begin() + 8), "QXVSOPKG");
  EXPECT_EQ(image[8], 1);
  const Bytes sections = PackageSections(image);
  ASSERT_FALSE(sections.empty());
  // Walk the tags by reading a package back section by section is the
  // reader's job; here the order shows in where each tag's first bytes sit.
  // The software section is first and the stream ends with the tag 0.
  EXPECT_EQ(sections.front(), kTagSoftware);
  EXPECT_EQ(sections.back(), kTagEnd);
  const auto find = [&](const Bytes& text) {
    const auto it = std::search(sections.begin(), sections.end(), text.begin(), text.end());
    EXPECT_NE(it, sections.end());
    return static_cast<long>(it - sections.begin());
  };
  // Common table (6), language tables (7), icon (2), menu (3), install (4),
  // run (5), settings (8), deprecated (12), documents (9, 10, 11), payloads (13).
  const auto text = [&](const std::string& t) { return find(Bytes(t.begin(), t.end())); };
  const long positions[] = {text("Tarnwick Tool"), text("Titel"),          text("app.ico"),
                            text("a.exe"),         text("sub/c.txt"),      text("readme.txt"),
                            text("z/last"),        text("oldtool"),        find(kWelcomeDoc),
                            find(kReadmeDoc),      find(kEulaDoc)};
  for (size_t i = 1; i < sizeof positions / sizeof positions[0]; ++i)
    EXPECT_LT(positions[i - 1], positions[i]) << "section " << i;
}

TEST(Package, MinimalPackage) {
  cSOPKGDescription d;
  d.version[0] = 1;
  const Bytes image = Written(d);
  const Bytes sections = PackageSections(image);
  // Section 1 with empty strings and the tag 0.
  EXPECT_EQ(sections.size(), 26u);
  EXPECT_EQ(sections, [] {
    PkgBytes b = SoftwareSection(1);
    return b.u8(0).bytes;
  }());
  cSOPKGDescription back;
  ASSERT_TRUE(ReadBytes(back, image));
  EXPECT_EQ(back.version[0], 1u);
  EXPECT_EQ(back.payloads.count, 0u);
}

TEST(Package, KeysArePaddedToFourBytes) {
  cSOPKGDescription d;
  Put(d.commonTable, u"abcd", u"x");
  Put(d.commonTable, u"abcde", u"y");
  Put(d.commonTable, u"app", u"z");
  d.LanguageTable(4);  // declared without strings
  const Bytes sections = PackageSections(Written(d));
  PkgBytes expected = SoftwareSection(0);
  expected.u8(kTagCommonTable);
  expected.u8(1).u16(4).raw(std::string("abcd")).str("x");
  expected.u8(1).u16(8).raw(std::string("abcde\0\0\0", 8)).str("y");
  expected.u8(1).u16(4).raw(std::string("app\0", 4)).str("z");
  expected.u8(0);
  expected.u8(kTagLanguageTables).u8(4).u8(0).u8(0xFF);
  expected.u8(kTagEnd);
  EXPECT_EQ(sections, expected.bytes);
}

TEST(Package, WriterRefusals) {
  struct Case {
    const char* what;
    void (*spoil)(cSOPKGDescription&);
  } cases[] = {
      {"deprecated record without codename", [](cSOPKGDescription& d) { d.AddDeprecate()->version = 1; }},
      {"setting without name", [](cSOPKGDescription& d) { d.AddSetting()->value.Reallocate(2); }},
      {"setting value over 65,535 bytes",
       [](cSOPKGDescription& d) {
         sSettingItem* s = d.AddSetting();
         s->name.Assign("n");
         s->value.Reallocate(65536);
       }},
      {"string of 65,536 UTF-8 bytes",
       [](cSOPKGDescription& d) { d.support_URL.Assign(std::u16string(65536, u'a').c_str()); }},
      {"string of 65,536 UTF-8 bytes from 2-byte characters",
       [](cSOPKGDescription& d) { d.manual_URL.Assign(std::u16string(32768, u'é').c_str()); }},
      // Files outside the program folder (the reader refuses these too).
      {"install path with ..",
       [](cSOPKGDescription& d) {
         sInstallEntry* e = d.AddInstallEntry();
         e->folderKey.Assign(u"pgm");
         e->relativePath.Assign(u"../evil.exe");
       }},
      {"install entry under another folder key",
       [](cSOPKGDescription& d) {
         Put(d.commonTable, u"sys", u"C:/Windows");
         sInstallEntry* e = d.AddInstallEntry();
         e->folderKey.Assign(u"sys");
         e->relativePath.Assign(u"evil.dll");
       }},
      {"pgm defined by the package", [](cSOPKGDescription& d) { Put(*d.LanguageTable(0), u"pgm", u"C:/Windows"); }},
      {"absolute folder text", [](cSOPKGDescription& d) { Put(d.commonTable, u"folder", u"C:/Windows"); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    cSOPKGDescription d;
    c.spoil(d);
    cMemIOTarget out;
    EXPECT_FALSE(d.Write(&out));
  }
  cSOPKGDescription d;
  EXPECT_FALSE(d.Write(nullptr));
  d.support_URL.Assign(std::u16string(65535, u'a').c_str());
  cMemIOTarget out;
  EXPECT_TRUE(d.Write(&out));
}

// ---- Reader -----------------------------------------------------------------

// A package whose sections are software data, then body, then the tag 0.
Bytes Pkg(const PkgBytes& body, bool end = true) {
  PkgBytes all = SoftwareSection(1);
  all.raw(body.bytes);
  if (end) all.u8(kTagEnd);
  return MakePackage(all.bytes);
}

PkgBytes Tables(int lang1, int lang2) {
  PkgBytes b;
  b.u8(kTagLanguageTables);
  b.u8(lang1).entry("name", "N1").u8(0);
  if (lang2 >= 0) b.u8(lang2).entry("name", "N2").u8(0);
  b.u8(0xFF);
  return b;
}

// One payload record "abc" stored as is.
PkgBytes OnePayload() {
  unsigned char digest[32];
  Sha256(digest, "abc", 3);
  PkgBytes b;
  b.u8(kTagPayloads).u32(0).u32(3).raw(Bytes(digest, digest + 32)).raw(std::string("abc")).u32(0).u32(0);
  return b;
}

// One install record under folder key at path, every digit 8, both flags.
PkgBytes InstallAt(const std::string& folder, const std::string& path) {
  PkgBytes b;
  b.u8(kTagInstall).u8(1).u32(0).u32(0x03080808).str(folder).str(path).u8(0xFF).u8(0);
  return b;
}

PkgBytes InstallRecord(uint32_t payload, uint32_t attributes, std::initializer_list<int> languages) {
  PkgBytes b;
  b.u8(kTagInstall).u8(1).u32(payload).u32(attributes).str("pgm").str("file.txt");
  for (int l : languages) b.u8(l);
  b.u8(0xFF).u8(0);
  return b;
}

TEST(Package, ReaderCases) {
  struct Case {
    std::string what;
    Bytes package;
    bool ok;
  };
  const Bytes good = Pkg(PkgBytes());
  auto patched = [&](size_t at, unsigned char v) {
    Bytes b = good;
    b[at] = v;
    return b;
  };
  auto sized = [&](uint32_t unpacked, uint32_t packed) {
    Bytes b = good;
    for (int i = 0; i < 4; ++i) {
      b[9 + i] = static_cast<unsigned char>(unpacked >> (8 * i));
      b[13 + i] = static_cast<unsigned char>(packed >> (8 * i));
    }
    return b;
  };
  const Bytes noEnd = Pkg(PkgBytes(), false);
  const uint32_t attrAll = 0x03080808;
  std::vector<Case> cases = {
      {"minimal", good, true},
      {"format byte 0", MakePackage(PkgBytes(SoftwareSection(1)).u8(0).bytes, 0), true},
      {"format byte 2", MakePackage(PkgBytes(SoftwareSection(1)).u8(0).bytes, 2), false},
      {"wrong magic", patched(3, 'x'), false},
      {"header cut short", Bytes(good.begin(), good.begin() + 40), false},
      {"packed bytes cut short", Bytes(good.begin(), good.end() - 1), false},
      {"unpacked size 0", sized(0, static_cast<uint32_t>(good.size() - 49)), false},
      {"packed size 0", sized(26, 0), false},
      {"packed size beyond the source", sized(26, 0x7FFFFFF0), false},
      {"unpacked size no deflate stream can give", sized(0x7FFFFFF0, static_cast<uint32_t>(good.size() - 49)),
       false},
      {"unpacked size larger than the stream", sized(27, static_cast<uint32_t>(good.size() - 49)), false},
      {"unpacked size smaller than the stream", sized(25, static_cast<uint32_t>(good.size() - 49)), false},
      {"digest mismatch", patched(20, good[20] ^ 1), false},
      {"damaged zlib stream", patched(good.size() - 3, good[good.size() - 3] ^ 0x55), false},
      {"no tag 0", noEnd, false},
      {"tag 14", Pkg(PkgBytes().u8(14)), false},
      {"section cut short", MakePackage(PkgBytes().u8(1).u32(1).u32(0).bytes), false},
      {"string longer than the data", MakePackage(PkgBytes().u8(1).u32(1).u32(0).u32(0).u32(0).u16(500).bytes),
       false},
      {"record marker 2", Pkg(PkgBytes().u8(kTagRun).u8(2)), false},
      {"install digit 9", Pkg(PkgBytes(OnePayload()).raw(InstallRecord(0, 0x03080809, {}).bytes)), false},
      {"install digits 8 and flags", Pkg(PkgBytes(OnePayload()).raw(InstallRecord(0, attrAll, {}).bytes)), true},
      {"install language 13", Pkg(PkgBytes(OnePayload()).raw(InstallRecord(0, attrAll, {0, 13}).bytes)), true},
      {"install language 14", Pkg(PkgBytes(OnePayload()).raw(InstallRecord(0, attrAll, {14}).bytes)), false},
      {"install index past the payload list", Pkg(PkgBytes(OnePayload()).raw(InstallRecord(1, attrAll, {}).bytes)),
       false},
      {"install entry without any payload list", Pkg(InstallRecord(0, attrAll, {})), false},
      {"payload list after the install list", Pkg(PkgBytes(InstallRecord(0, attrAll, {})).raw(OnePayload().bytes)),
       true},
      {"language 13", Pkg(Tables(13, -1)), true},
      {"language 14", Pkg(Tables(14, -1)), false},
      {"same language twice in one section", Pkg(Tables(3, 3)), false},
      {"two sections of different languages", Pkg(PkgBytes(Tables(3, -1)).raw(Tables(4, -1).bytes)), true},
      {"same language in two sections", Pkg(PkgBytes(Tables(3, -1)).raw(Tables(3, -1).bytes)), false},
      {"duplicate key", Pkg(PkgBytes().u8(kTagCommonTable).entry("k", "1").entry("k", "2").u8(0)), false},
      {"key length 0", Pkg(PkgBytes().u8(kTagCommonTable).u8(1).u16(0).str("v").u8(0)), false},
      {"key of zero bytes only", Pkg(PkgBytes().u8(kTagCommonTable).u8(1).u16(4).u32(0).str("v").u8(0)), false},
      {"settings name length 0", Pkg(PkgBytes().u8(kTagSettings).u8(1).u16(0).u16(1).u8('v').u8(0)), false},
      {"settings name of a zero byte", Pkg(PkgBytes().u8(kTagSettings).u8(1).u16(1).u8(0).u16(1).u8('v').u8(0)),
       false},
      {"settings value length 0", Pkg(PkgBytes().u8(kTagSettings).u8(1).u16(1).u8('n').u16(0).u8(0)), true},
      {"settings value beyond the data", Pkg(PkgBytes().u8(kTagSettings).u8(1).u16(1).u8('n').u16(900)), false},
      {"document length 0", Pkg(PkgBytes().u8(kTagWelcome).u32(0)), false},
      {"document length beyond the data", Pkg(PkgBytes().u8(kTagEula).u32(0x7FFFFF00).u8(1)), false},
      {"document length 2^31 and more", Pkg(PkgBytes().u8(kTagEula).u32(0xFFFFFFFFu).u8(1)), false},
      {"readme with flag", Pkg(PkgBytes().u8(kTagReadme).u8(1).u32(static_cast<uint32_t>(kReadmeDoc.size())).raw(kReadmeDoc)),
       true},
      // A document that does not load fails the package.
      {"welcome of filler bytes", Pkg(PkgBytes().u8(kTagWelcome).u32(4).raw(std::string("QXVH"))), false},
      {"readme cut by one byte",
       Pkg(PkgBytes().u8(kTagReadme).u8(0).u32(static_cast<uint32_t>(kReadmeDoc.size() - 1))
               .raw(Bytes(kReadmeDoc.begin(), kReadmeDoc.end() - 1))),
       false},
      {"eula with a damaged magic", [&] {
         Bytes doc = kEulaDoc;
         doc[0] ^= 0x20;
         return Pkg(PkgBytes().u8(kTagEula).u32(static_cast<uint32_t>(doc.size())).raw(doc));
       }(), false},
      {"eula body without its closing record", [] {
         doctest::Doc doc;
         doc.bodies.push_back({0, doctest::Text("licence")});
         const Bytes bytes = doc.Build();
         return Pkg(PkgBytes().u8(kTagEula).u32(static_cast<uint32_t>(bytes.size())).raw(bytes));
       }(), false},
      {"payload list without end record", Pkg(PkgBytes().u8(kTagPayloads).u32(0).u32(1).raw(Content(33, 'p'))),
       false},
      {"payload record {5, 0}", Pkg(PkgBytes().u8(kTagPayloads).u32(5).u32(0)), false},
      {"payload stored length beyond the data", Pkg(PkgBytes().u8(kTagPayloads).u32(1).u32(0x7FFFFFFF)), false},
      // Without an icon section there is no icon key to check, also when
      // language tables exist.
      {"no icon section with language tables", Pkg(Tables(0, 2)), true},
      {"icon key in every language", Pkg(PkgBytes(Tables(0, 2)).u8(kTagIcon).str("name").str("a.ico")), true},
      {"icon key missing in a language",
       Pkg(PkgBytes(Tables(0, 2)).u8(kTagIcon).str("other").str("a.ico")), false},
      {"icon key in the common table",
       Pkg(PkgBytes(Tables(0, 2)).u8(kTagCommonTable).entry("other", "C:/x").u8(0).u8(kTagIcon).str("other").str("")),
       true},
      {"shortcut name key only in some languages",
       Pkg(PkgBytes(Tables(0, -1))
               .u8(kTagLanguageTables).u8(5).entry("only", "x").u8(0).u8(0xFF)
               .u8(kTagMenu).u8(1).str("only").str("pgm").str("a.exe").str("").str("").str("").str("").u8(0).u8(0)),
       false},
      {"shortcut with keys in every language and pgm",
       Pkg(PkgBytes(Tables(0, 5))
               .u8(kTagMenu).u8(1).str("name").str("pgm").str("a.exe").str("").str("name").str("").str("").u8(0).u8(0)),
       true},
      {"run caption key missing",
       Pkg(PkgBytes(Tables(0, -1)).u8(kTagRun).u8(1).u8(1).str("nope").str("pgm").str("r.exe").str("").u8(0)), false},
      {"install folder key missing",
       Pkg(PkgBytes(Tables(0, -1)).raw(OnePayload().bytes).u8(kTagInstall).u8(1).u32(0).u32(attrAll).str("nope")
               .str("f").u8(0xFF).u8(0)),
       false},
  };
  // Packages are hostile: files go only below the program folder.
  struct PathCase {
    const char* folderKey;
    const char* path;
    bool ok;
  } const paths[] = {
      {"pgm", "bin/tool.exe", true},
      {"pgm", "a b/c.d.txt", true},
      {"pgm", "../evil.exe", false},
      {"pgm", "bin/../../evil.exe", false},
      {"pgm", "bin\\..\\..\\evil.exe", false},
      {"pgm", "/etc/evil", false},
      {"pgm", "\\\\server\\share\\evil", false},
      {"pgm", "C:/Windows/evil.dll", false},
      {"pgm", "C:evil.dll", false},
      {"pgm", "file.txt:stream", false},
      {"pgm", "bin//a.exe", false},
      {"pgm", "bin/", false},
      {"pgm", ".", false},
      {"pgm", "bin/./a.exe", false},
      {"pgm", ".../evil.exe", false},
      {"pgm", ".. /evil.exe", false},
      {"pgm", "", false},
      {"pgm", "a\x01z", false},
      {"", "evil.exe", false},
      {"other", "evil.exe", false},
  };
  for (const PathCase& p : paths) {
    const std::string what = std::string("install at \"") + p.folderKey + "\" \"" + p.path + "\"";
    cases.push_back({what,
                     Pkg(PkgBytes(OnePayload())
                             .u8(kTagCommonTable).entry("other", "C:/Windows").u8(0)
                             .raw(InstallAt(p.folderKey, p.path).bytes)),
                     p.ok});
  }
  struct TableCase {
    const char* what;
    const char* key;
    const char* value;
    bool inLanguage;
    bool ok;
  } const tables[] = {
      {"pgm in the common table", "pgm", "C:/Windows", false, false},
      {"pgm in a language table", "pgm", "C:/Windows", true, false},
      {"relative folder text", "folder", "Vendor/Product", false, true},
      {"relative folder text in a language", "folder", "Hersteller/Produkt", true, true},
      {"absolute folder text", "folder", "C:/Windows", false, false},
      {"folder text with ..", "folder", "../../Windows", false, false},
      {"folder text with .. in a language", "folder", "a/../..", true, false},
      {"empty folder text", "folder", "", false, false},
  };
  for (const TableCase& t : tables) {
    PkgBytes body;
    if (t.inLanguage)
      body.u8(kTagLanguageTables).u8(0).entry(t.key, t.value).entry("name", "N").u8(0).u8(0xFF);
    else
      body.u8(kTagCommonTable).entry(t.key, t.value).u8(0);
    cases.push_back({t.what, Pkg(body), t.ok});
  }
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    cSOPKGDescription d;
    EXPECT_EQ(ReadBytes(d, c.package), c.ok);
  }
  cSOPKGDescription d;
  EXPECT_FALSE(d.Read(nullptr));
}

TEST(Package, RepeatedSections) {
  // Section 1 twice: the second wins. Section 3 twice: the lists join.
  PkgBytes b;
  b.u8(kTagSoftware).u32(7).u32(8).u32(9).u32(10).str("a").str("b").str("c").str("d");
  b.u8(kTagMenu).u8(1).str("n1").str("").str("1.exe").str("").str("").str("").str("").u8(0).u8(0);
  b.u8(kTagMenu).u8(1).str("n2").str("").str("2.exe").str("").str("").str("").str("").u8(1).u8(0);
  cSOPKGDescription d;
  ASSERT_TRUE(ReadBytes(d, Pkg(b)));
  EXPECT_EQ(d.version[0], 7u);
  EXPECT_EQ(d.version[3], 10u);
  EXPECT_EQ(S(d.manual_URL), u"d");
  ASSERT_NE(d.menuList.head, nullptr);
  EXPECT_EQ(S(d.menuList.head->value.targetPath), u"1.exe");
  ASSERT_NE(d.menuList.head->next, nullptr);
  EXPECT_EQ(S(d.menuList.head->next->value.targetPath), u"2.exe");
  EXPECT_EQ(d.menuList.head->next->value.flags, 1);
}

TEST(Package, PaddedKeyReadsAsItsText) {
  cSOPKGDescription d;
  ASSERT_TRUE(ReadBytes(d, Pkg(PkgBytes().u8(kTagCommonTable).entry("dir", "C:/P").entry("codename", "x").u8(0))));
  EXPECT_EQ(twtest::Narrow(d.GetString(u"dir")), "C:/P");
  EXPECT_EQ(twtest::Narrow(d.GetString(u"codename")), "x");
}

TEST(Package, ReadsInPlaceInsideALargerStream) {
  cSOPKGDescription d;
  FillEverything(d);
  const Bytes image = Written(d);
  // A setup file: program bytes before, other bytes after.
  Bytes file(1000 + image.size() + 500, 'T');
  std::fill(file.begin(), file.begin() + 1000, 'M');
  std::copy(image.begin(), image.end(), file.begin() + 1000);
  cBufWrapperIO in(file.data(), static_cast<uint32_t>(file.size()));
  ASSERT_TRUE(in.Seek(1000));
  cSOPKGDescription back;
  ASSERT_TRUE(back.Read(&in));
  ExpectSame(d, back);
  // The reader stopped right after the package.
  char next = 0;
  ASSERT_EQ(in.Read(&next, 1), 1u);
  EXPECT_EQ(next, 'T');
}

// A flipped byte anywhere in a package fails the read: the header fields are
// checked and the body is covered by its digest.
TEST(Package, FlippedByteFailsTheRead) {
  cSOPKGDescription d;
  FillEverything(d);
  const Bytes image = Written(d);
  for (size_t at = 0; at < image.size(); at += (at < 60 ? 1 : 7)) {
    Bytes bad = image;
    bad[at] ^= 0x01;
    cSOPKGDescription back;
    // Format byte 1 -> 0 is still a valid package.
    if (at == 8) continue;
    EXPECT_FALSE(ReadBytes(back, bad)) << "byte " << at;
  }
}

}  // namespace

namespace {

Bytes SeedFile(const char* name) {
  const std::string text = twtest::ReadFileText(twtest::SourcePath(std::string("fuzz/corpus/package_reader/") + name));
  return Bytes(text.begin(), text.end());
}

// A package made by an encoder written apart from ours (the fuzz seed
// script, in Python) reads with the values it was given.
TEST(Package, ReadsAPackageMadeElsewhere) {
  cSOPKGDescription d;
  ASSERT_TRUE(ReadBytes(d, SeedFile("package_full")));
  EXPECT_EQ(d.version[0], 1u);
  EXPECT_EQ(d.version[1], 2u);
  EXPECT_EQ(S(d.support_URL), u"https://a/");
  ASSERT_TRUE(d.SelectLanguage(2));
  EXPECT_EQ(twtest::Narrow(d.GetString(u"name")), "Nom");
  ASSERT_TRUE(d.SetProgramFolder(d.commonTable, u"D:/T"));
  cSimpleList<sInstallTarget> files;
  ASSERT_TRUE(d.GetInstallEntries(files, false));
  ASSERT_NE(files.head, nullptr);
  EXPECT_EQ(S(files.head->value.targetPath), u"D:/T/bin/a.exe");
  EXPECT_EQ(files.head->value.accessUser, 7);
  EXPECT_EQ(files.head->value.accessAdmins, 5);
  EXPECT_EQ(files.head->value.accessEveryone, 4);
  ASSERT_NE(files.head->next, nullptr);
  EXPECT_EQ(S(files.head->next->value.targetPath), u"D:/T/doc/b.txt");
  ASSERT_EQ(d.payloads.count, 2u);
  auto s = OpenPayloadStream(1, d.payloads);
  ASSERT_NE(s, nullptr);
  std::vector<char> buf(6000);
  EXPECT_EQ(s->Read(buf.data(), 6000), 5000u);
  EXPECT_EQ(std::string(buf.data(), 5000), std::string(5000, 'x'));
  ASSERT_NE(d.settings.head, nullptr);
  EXPECT_STREQ(d.settings.head->value.name.text, "k/v");
  ASSERT_NE(d.settings.head->next, nullptr);
  EXPECT_EQ(d.settings.head->next->value.value.count, 0);  // an empty value reads
  EXPECT_EQ(d.readmeConfirm, 1);
  EXPECT_NE(d.GetEulaDocument(), nullptr);  // language 2
  ASSERT_TRUE(d.SelectLanguage(0));
  EXPECT_NE(d.GetWelcomeDocument(), nullptr);
  EXPECT_NE(d.GetReadmeDocument(), nullptr);
  EXPECT_EQ(d.GetEulaDocument(), nullptr);
}

}  // namespace
