#include "gui/language.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <cstring>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "gui/language_builtin.h"
#include "gui/language_internal.h"
#include "tests/support/lang_check.h"
#include "tests/support/test_support.h"

namespace {

using Bytes = std::vector<unsigned char>;

std::u16string U16(const char16_t* s) { return s != nullptr ? std::u16string(s) : std::u16string(u"<null>"); }

// --- a pack builder for hand-made and broken packs ------------------------------

void Put32(Bytes& b, uint32_t v) {
  for (int i = 0; i < 4; ++i) b.push_back(static_cast<unsigned char>(v >> (8 * i)));
}
void Put16(Bytes& b, uint32_t v) {
  b.push_back(static_cast<unsigned char>(v));
  b.push_back(static_cast<unsigned char>(v >> 8));
}
void PutText(Bytes& b, const std::string& s) { b.insert(b.end(), s.begin(), s.end()); }

// A string block; a text of "\xFF" alone stands for an absent one.
Bytes Block(const std::vector<std::string>& texts) {
  Bytes b;
  Put16(b, static_cast<uint32_t>(texts.size()));
  for (const auto& t : texts) Put16(b, t == "\xFF" ? 0xFFFF : static_cast<uint32_t>(t.size()));
  for (const auto& t : texts)
    if (t != "\xFF") PutText(b, t);
  return b;
}

Bytes Section(std::string name, const Bytes& block) {
  while (name.size() % 4 != 0) name += '\0';
  Bytes b;
  Put32(b, static_cast<uint32_t>(name.size()));
  PutText(b, name);
  Put32(b, static_cast<uint32_t>(block.size()));
  b.insert(b.end(), block.begin(), block.end());
  return b;
}

Bytes Body(const std::vector<Bytes>& sections) {
  Bytes b;
  PutText(b, "WEKTLANG");
  for (const auto& s : sections) b.insert(b.end(), s.begin(), s.end());
  return b;
}

Bytes Deflate(const Bytes& plain) {
  uLongf n = compressBound(static_cast<uLong>(plain.size()));
  Bytes out(n);
  EXPECT_EQ(compress2(out.data(), &n, plain.data(), static_cast<uLong>(plain.size()), 9), Z_OK);
  out.resize(n);
  return out;
}

// A pack around body; plainSize -1 means the body's true size.
Bytes Pack(const Bytes& body, const std::string& code = "TST", const std::string& name = "Test",
           int64_t plainSize = -1) {
  Bytes b;
  PutText(b, "WEKTLAFIWEKTBASE");
  PutText(b, code);
  b.push_back(static_cast<unsigned char>(name.size()));
  PutText(b, name);
  Put32(b, plainSize >= 0 ? static_cast<uint32_t>(plainSize) : static_cast<uint32_t>(body.size()));
  const Bytes z = Deflate(body);
  b.insert(b.end(), z.begin(), z.end());
  return b;
}

// Loads from a heap copy of exactly the given size, so that the address
// sanitizer sees any read past the end.
bool Load(const Bytes& pack, sLangSections& record) {
  if (pack.empty()) return LoadLanguagePack(nullptr, 0, record);
  std::unique_ptr<unsigned char[]> copy(new unsigned char[pack.size()]);
  std::memcpy(copy.get(), pack.data(), pack.size());
  return LoadLanguagePack(copy.get(), static_cast<int32_t>(pack.size()), record);
}

Bytes GoodBody() { return Body({Section("one", Block({"a", "bc"})), Section("two", Block({"x"}))}); }

// --- the text sources ------------------------------------------------------------

struct SourceFile {
  std::map<std::string, std::string> header;
  std::map<std::string, std::map<int, std::string>> sections;  // texts as UTF-8
};

// A reader of its own for the text format (gui/lang/eng.txt), so that the
// round trip checks the compiler against an independent reading.
SourceFile ReadSource(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  EXPECT_TRUE(in.good()) << path;
  SourceFile f;
  std::string line, section;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty() || line[0] == '#') continue;
    if (line[0] == '[') {
      section = line.substr(1, line.find(']') - 1);
      f.sections[section];
      continue;
    }
    const size_t eq = line.find('=');
    const std::string key = line.substr(0, line.find_first_of(" =")), raw = line.substr(eq + 1);
    std::string value = !raw.empty() && raw[0] == ' ' ? raw.substr(1) : raw;
    std::string text;
    for (size_t i = 0; i < value.size(); ++i) {
      if (value[i] == '\\' && i + 1 < value.size()) {
        const char c = value[++i];
        text += c == 'n' ? '\n' : c == 't' ? '\t' : c;
      } else {
        text += value[i];
      }
    }
    if (section.empty())
      f.header[key] = text;
    else
      f.sections[section][std::stoi(key)] = text;
  }
  return f;
}

const char* const kSourceFiles[] = {"eng", "deu", "jpn", "kor", "fra", "ukr",
                                    "esp", "chi", "twn", "trk", "por", "pol"};

// --- the checker ---------------------------------------------------------------

// The printf conversions of a text in order, each as its length modifier and
// conversion letter ("%02d" gives "d", "%.01f" "f", "%ls" "ls"); "%%" is no
// conversion.
std::vector<std::string> Conversions(const char16_t* text) {
  std::vector<std::string> out;
  if (text == nullptr) return out;
  const std::u16string s(text);
  for (size_t i = 0; i < s.size(); ++i) {
    if (s[i] != u'%') continue;
    size_t j = i + 1;
    if (j < s.size() && s[j] == u'%') {
      i = j;
      continue;
    }
    while (j < s.size() && std::u16string_view(u"-+ #0").find(s[j]) != std::u16string_view::npos) ++j;
    while (j < s.size() && ((s[j] >= u'0' && s[j] <= u'9') || s[j] == u'*' || s[j] == u'.')) ++j;
    std::string conv;
    while (j < s.size() && std::u16string_view(u"hlLqjztI64").find(s[j]) != std::u16string_view::npos)
      conv += static_cast<char>(s[j++]);
    conv += j < s.size() && s[j] < 0x80 ? static_cast<char>(s[j]) : '?';
    out.push_back(conv);
    i = j;
  }
  return out;
}

// Differences of a pack from the reference: sections, text counts, which
// texts are present, and the conversions of each text.
std::vector<std::string> CompareWithReference(const sLangSections& reference, const sLangSections& pack) {
  std::vector<std::string> problems;
  std::vector<std::string> refKeys, keys;
  const auto keyText = [](const cPackedKey& k) {
    _typebuf<char> bytes;
    k.ToBytes(bytes);
    int32_t n = 0;
    while (n < bytes.count && bytes.data[n] != 0) ++n;
    return std::string(bytes.data, static_cast<size_t>(n));
  };
  for (auto* n = reference.sections.First(); n != nullptr; n = decltype(reference.sections)::Next(n))
    refKeys.push_back(keyText(n->key));
  for (auto* n = pack.sections.First(); n != nullptr; n = decltype(pack.sections)::Next(n))
    keys.push_back(keyText(n->key));
  if (keys != refKeys) problems.push_back("the section keys differ");
  for (const std::string& key : refKeys) {
    const tLangSection* ref = reference.Find(key.c_str());
    const tLangSection* own = pack.Find(key.c_str());
    if (own == nullptr) continue;
    if (own->count != ref->count) {
      problems.push_back(key + ": " + std::to_string(own->count) + " texts, not " + std::to_string(ref->count));
      continue;
    }
    for (int32_t i = 0; i < ref->count; ++i) {
      const char16_t* a = GetSectionText(ref, i);
      const char16_t* b = GetSectionText(own, i);
      if ((a == nullptr) != (b == nullptr))
        problems.push_back(key + " " + std::to_string(i) + ": present in one only");
      else if (Conversions(a) != Conversions(b))
        problems.push_back(key + " " + std::to_string(i) + ": other printf conversions");
    }
  }
  return problems;
}

class LanguageTest : public testing::Test {
protected:
  void SetUp() override { tw::ResetLanguageState(); }
  void TearDown() override { tw::ResetLanguageState(); }
};

// --- the built-in packs ----------------------------------------------------------

TEST_F(LanguageTest, SourcesCompileAndLoadBackEveryText) {
  struct Expect {
    int id;
    const char* code;
  };
  for (const char* file : kSourceFiles) {
    SCOPED_TRACE(file);
    const SourceFile src = ReadSource(twtest::SourcePath(std::string("gui/lang/") + file + ".txt"));
    const int id = std::stoi(src.header.at("id"));
    ASSERT_TRUE(id >= 0 && id <= 12 && id != 1);
    const tw::sPackImage& image = tw::kBuiltinPackImages[id];
    sLangSections record;
    ASSERT_TRUE(LoadLanguagePack(image.data, image.size, record));
    EXPECT_EQ(twtest::Narrow(U16(record.code.text)), src.header.at("code"));
    EXPECT_EQ(twtest::Narrow(U16(record.nativeName.text)), src.header.at("name"));
    for (const auto& [key, texts] : src.sections) {
      const tLangSection* section = record.Find(key.c_str());
      ASSERT_NE(section, nullptr) << key;
      EXPECT_EQ(section->count, texts.rbegin()->first + 1) << key;
      for (int i = 0; i < section->count; ++i) {
        const char16_t* t = GetSectionText(section, i);
        const auto it = texts.find(i);
        if (it == texts.end()) {
          EXPECT_EQ(t, nullptr) << key << " " << i;
        } else {
          ASSERT_NE(t, nullptr) << key << " " << i;
          EXPECT_EQ(twtest::Narrow(t), it->second) << key << " " << i;
        }
      }
    }
  }
}

TEST_F(LanguageTest, EveryPackMatchesEnglish) {
  sLangSections english;
  ASSERT_TRUE(LoadLanguagePack(tw::kBuiltinPackImages[0].data, tw::kBuiltinPackImages[0].size, english));
  const std::pair<const char*, int> sizes[] = {{"wekt::cld", 22},         {"wekt::edit", 5},
                                               {"wekt::filechoose", 25},  {"wekt::folderchoose", 8},
                                               {"wekt::messages", 7},     {"wekt::progress", 7},
                                               {"wekt::propsheet", 3}};
  for (const auto& [key, count] : sizes) {
    ASSERT_NE(english.Find(key), nullptr) << key;
    EXPECT_EQ(english.Find(key)->count, count) << key;
  }
  EXPECT_EQ(Conversions(english.Text("wekt::progress", 2)),
            (std::vector<std::string>{"s", "f", "d", "d", "d", "d", "d", "d"}));
  for (int id = 2; id <= 12; ++id) {
    sLangSections pack;
    ASSERT_TRUE(LoadLanguagePack(tw::kBuiltinPackImages[id].data, tw::kBuiltinPackImages[id].size, pack)) << id;
    EXPECT_EQ(CompareWithReference(english, pack), std::vector<std::string>{}) << "language " << id;
  }
}

// The checker itself finds each kind of difference.
TEST_F(LanguageTest, CheckerFindsDifferences) {
  sLangSections ref;
  ASSERT_TRUE(Load(Pack(Body({Section("a", Block({"%s: %d%%", "x"})), Section("b", Block({"y"}))})), ref));
  const struct {
    Bytes body;
    const char* problem;
  } cases[] = {
      {Body({Section("a", Block({"%s: %d%%", "x"})), Section("b", Block({"y"}))}), nullptr},
      {Body({Section("a", Block({"%d: %s", "x"})), Section("b", Block({"y"}))}), "a 0: other printf conversions"},
      {Body({Section("a", Block({"%s: %d", "x %d"})), Section("b", Block({"y"}))}), "a 1: other printf conversions"},
      {Body({Section("a", Block({"%s: %ld", "x"})), Section("b", Block({"y"}))}), "a 0: other printf conversions"},
      {Body({Section("a", Block({"%s %d", "x"})), Section("b", Block({"y", "z"}))}), "b: 2 texts, not 1"},
      {Body({Section("a", Block({"%s %d", "\xFF"})), Section("b", Block({"y"}))}), "a 1: present in one only"},
      {Body({Section("a", Block({"%s %d", "x"}))}), "the section keys differ"},
  };
  for (const auto& c : cases) {
    sLangSections pack;
    ASSERT_TRUE(Load(Pack(c.body), pack));
    const auto problems = CompareWithReference(ref, pack);
    if (c.problem == nullptr) {
      EXPECT_TRUE(problems.empty());
    } else {
      ASSERT_EQ(problems.size(), 1u) << c.problem;
      EXPECT_EQ(problems[0], c.problem);
    }
  }
}

// Texts a translation may share with English, by language id: words the
// language uses as they are. Every other text equal to English is reported.
const std::map<int, std::set<std::string>> kSameAsEnglish = {
    {2, {"OK", "Mo", "Fr", "Sa", "April", "August", "September", "November", "Name", "Computer", "Information",
         "Pause"}},
    {3, {"OK"}},
    {5, {"OK", "Sa", "Date", "Type", "Information", "Pause"}},
    {6, {"OK"}},
    {7, {"No", "Error"}},
    {11, {"OK"}},
    {12, {"OK"}},
};

TEST_F(LanguageTest, EveryPackIsTranslated) {
  sLangSections english;
  ASSERT_TRUE(LoadLanguagePack(tw::kBuiltinPackImages[0].data, tw::kBuiltinPackImages[0].size, english));
  for (int id = 2; id <= 12; ++id) {
    sLangSections pack;
    ASSERT_TRUE(LoadLanguagePack(tw::kBuiltinPackImages[id].data, tw::kBuiltinPackImages[id].size, pack)) << id;
    const auto allowed = kSameAsEnglish.count(id) != 0 ? kSameAsEnglish.at(id) : std::set<std::string>{};
    EXPECT_EQ(twtest::TextsStillEnglish(english, pack, allowed), std::vector<std::string>{}) << "language " << id;
  }
}

// The second checker reports a text left in English unless its language
// may keep it.
TEST_F(LanguageTest, CheckerFindsTextsLeftInEnglish) {
  sLangSections ref, pack;
  ASSERT_TRUE(Load(Pack(Body({Section("a", Block({"OK", "Save", "Name"})), Section("b", Block({"%s files"}))})), ref));
  ASSERT_TRUE(Load(Pack(Body({Section("a", Block({"OK", "Speichern", "Name"})), Section("b", Block({"%s files"}))})),
                   pack));
  EXPECT_EQ(twtest::TextsStillEnglish(ref, pack, {"OK"}),
            (std::vector<std::string>{"a 2: Name", "b 0: %s files"}));
  EXPECT_EQ(twtest::TextsStillEnglish(ref, pack, {"OK", "Name", "%s files"}), std::vector<std::string>{});
}

TEST_F(LanguageTest, LanguageNamesPack) {
  const tw::sPackImage& names = tw::kLanguageNamesPackImage;
  ASSERT_GE(names.size, 24);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(names.data), 19), "WEKTLAFIWEKTLN  ENG");
  const int n = names.data[19];
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(names.data) + 20, n), "Langnames");
  EXPECT_EQ(names.data[20 + n] | names.data[21 + n] << 8, 180);  // the plain size
  struct Case {
    int32_t id;
    const char16_t* name;
  };
  for (const Case& c : {Case{0, u"English"}, Case{1, u"Русский"}, Case{3, u"日本"}, Case{5, u"Français"},
                        Case{8, u"简体中文"}, Case{9, u"繁體中文"}, Case{12, u"Polski"}, Case{-1, nullptr},
                        Case{13, nullptr}})
    EXPECT_EQ(U16(GetBuiltinLanguageName(c.id)), U16(c.name)) << c.id;
}

TEST_F(LanguageTest, LanguageCodes) {
  struct Case {
    int32_t id;
    const char16_t* code3;
    const char16_t* code2;
  };
  for (const Case& c : {Case{0, u"ENG", u"EN"}, Case{1, u"INV", u"**"}, Case{7, u"ESP", u"ESP"},
                        Case{8, u"CHN", u"CH"}, Case{10, u"TUR", u"TR"}, Case{12, u"POL", u"PL"},
                        Case{13, u"INV", u"**"}, Case{-5, u"INV", u"**"}}) {
    EXPECT_EQ(U16(GetLanguageCode3(c.id)), U16(c.code3)) << c.id;
    EXPECT_EQ(U16(GetLanguageCode2(c.id)), U16(c.code2)) << c.id;
  }
}

TEST_F(LanguageTest, BuiltinProvider) {
  static cWEKTLang builtin;  // providers live until exit
  cLibLang::Register(&builtin);
  for (int32_t id = -1; id <= 14; ++id) {
    const bool has = id >= 0 && id <= 12 && id != 1;
    EXPECT_EQ(builtin.Has(id), has) << id;
    EXPECT_EQ(builtin.GetSize(id) > 20, has) << id;
    EXPECT_EQ(builtin.GetData(id) != nullptr, has) << id;
  }
  EXPECT_EQ(builtin.GetDefault(), 0);
  EXPECT_EQ(GetCurrentLanguage(), kNoLanguage);

  // Id 1 has no pack: the default (English) loads, and the id is kept.
  EXPECT_TRUE(SetCurrentLanguage(1));
  EXPECT_EQ(GetCurrentLanguage(), 1);
  EXPECT_EQ(U16(GetLanguageSections().code.text), u"ENG");
  EXPECT_EQ(U16(GetLanguageText("wekt::messages", 1)), u"Yes");
  EXPECT_EQ(U16(GetLanguageText(u"wekt::progress", 1)), u"Starting...");
  EXPECT_EQ(GetLanguageText("wekt::messages", 7), nullptr);
  EXPECT_EQ(GetLanguageText("wekt::nothing", 0), nullptr);

  const tLangSection* edit = FindLanguageSection(u"wekt::edit");
  ASSERT_NE(edit, nullptr);
  EXPECT_TRUE(SetCurrentLanguage(2));
  EXPECT_EQ(U16(GetLanguageSections().code.text), u"DEU");
  EXPECT_EQ(U16(GetLanguageSections().nativeName.text), u"Deutsch");
  EXPECT_EQ(FindLanguageSection(u"wekt::edit"), edit);  // the same table, new texts
  EXPECT_TRUE(SetDefaultLanguage());
  EXPECT_EQ(GetCurrentLanguage(), 0);
}

// --- providers and merging -----------------------------------------------------------

// A provider of packs given by the test.
class TestProvider : public cLibLang {
public:
  std::map<int32_t, Bytes> packs;
  int32_t defaultId = 0;
  mutable int loads = 0;
  bool Has(int32_t id) const override { return packs.count(id) != 0; }
  int32_t GetSize(int32_t id) const override {
    return Has(id) ? static_cast<int32_t>(packs.at(id).size()) : 0;
  }
  const void* GetData(int32_t id) const override {
    if (!Has(id)) return nullptr;
    ++loads;
    return packs.at(id).data();
  }
  int32_t GetDefault() const override { return defaultId; }
};

TEST_F(LanguageTest, SetCurrentLanguageWithSeveralProviders) {
  static TestProvider first, second;
  first.packs = {{0, Pack(Body({Section("edit", Block({"Copy"})), Section("msg", Block({"Yes"}))}), "ENG")},
                 {2, Pack(Body({Section("edit", Block({"Kopieren"})), Section("msg", Block({"Ja"}))}), "DEU")},
                 {3, Pack(Body({Section("msg", Block({"Hai"}))}), "JPN")}};
  second.packs = {{5, Pack(Body({Section("app", Block({"Bonjour"}))}), "FRA")}};
  second.defaultId = 5;
  cLibLang::Register(&first);
  cLibLang::Register(&second);
  cLibLang::Register(&first);  // listed once

  EXPECT_TRUE(SetCurrentLanguage(2));  // the second provider falls back to its default
  EXPECT_EQ(first.loads, 1);
  EXPECT_EQ(U16(GetLanguageText("edit", 0)), u"Kopieren");
  EXPECT_EQ(U16(GetLanguageText("app", 0)), u"Bonjour");
  EXPECT_EQ(U16(GetLanguageSections().code.text), u"FRA");  // the pack loaded last

  // A pack without "edit" leaves the German edit texts in place.
  EXPECT_TRUE(SetCurrentLanguage(3));
  EXPECT_EQ(U16(GetLanguageText("edit", 0)), u"Kopieren");
  EXPECT_EQ(U16(GetLanguageText("msg", 0)), u"Hai");

  // A provider with neither the id nor its default: false, the others load.
  second.defaultId = 9;
  EXPECT_FALSE(SetCurrentLanguage(0));
  EXPECT_EQ(GetCurrentLanguage(), 0);
  EXPECT_EQ(U16(GetLanguageText("edit", 0)), u"Copy");

  // A pack of exactly 20 bytes is never loaded.
  second.defaultId = 5;
  const Bytes whole = Pack(GoodBody());
  second.packs[5] = Bytes(whole.begin(), whole.begin() + 20);
  const int before = second.loads;
  EXPECT_FALSE(SetCurrentLanguage(5));
  EXPECT_EQ(second.loads, before);
  EXPECT_EQ(GetCurrentLanguage(), 5);

  // A broken pack: false, and the id is still taken.
  second.packs[5] = Pack(GoodBody(), "FRA", "F", 3);
  EXPECT_FALSE(SetCurrentLanguage(5));
  EXPECT_EQ(GetCurrentLanguage(), 5);
}

TEST_F(LanguageTest, NoProviders) {
  EXPECT_FALSE(SetDefaultLanguage());
  EXPECT_TRUE(SetCurrentLanguage(4));  // nothing to load, nothing failed
  EXPECT_EQ(GetCurrentLanguage(), 4);
}

// --- the loader on good and bad data -------------------------------------------------

TEST_F(LanguageTest, LoadsSectionsTextsAndHeader) {
  sLangSections r;
  const Bytes body = Body({Section("one", Block({"a", "\xFF", "", "d\xC3\xA9"})),
                           Section(std::string("k\0junk", 6), Block({"z"}))});
  ASSERT_TRUE(Load(Pack(body, "XYZ", "N\xC3\xA4me"), r));
  EXPECT_EQ(U16(r.code.text), u"XYZ");
  EXPECT_EQ(U16(r.nativeName.text), u"Näme");
  const tLangSection* one = r.Find("one");
  ASSERT_NE(one, nullptr);
  ASSERT_EQ(one->count, 4);
  EXPECT_EQ(U16(GetSectionText(one, 0)), u"a");
  EXPECT_EQ(GetSectionText(one, 1), nullptr);  // absent
  EXPECT_EQ(U16(GetSectionText(one, 2)), u"");  // present and empty
  EXPECT_EQ(U16(GetSectionText(one, 3)), u"dé");
  EXPECT_EQ(GetSectionText(one, 4), nullptr);
  EXPECT_EQ(GetSectionText(one, -1), nullptr);
  EXPECT_EQ(U16(r.Text(u"k", 0)), u"z");  // the key ends at the first zero byte
}

// Bytes appended to the body after the last section.
Bytes WithTrailing(int n) {
  Bytes body = GoodBody();
  body.insert(body.end(), static_cast<size_t>(n), 0);
  return body;
}

TEST_F(LanguageTest, MalformedPacksFail) {
  const Bytes good = Pack(GoodBody());
  Bytes badMagic = good;
  badMagic[3] = 'X';
  Bytes longName = good;
  longName[19] = 200;  // a name longer than the pack
  Bytes truncatedStream(good.begin(), good.end() - 5);
  Bytes lyingName = Body({Section("one", Block({"a"}))});
  lyingName[8] = 0xF0, lyingName[9] = 0xFF, lyingName[10] = 0xFF, lyingName[11] = 0xFF;
  Bytes lyingBlock = Body({Section("one", Block({"a"}))});
  lyingBlock[16] = 0xFD, lyingBlock[17] = 0xFF, lyingBlock[18] = 0xFF, lyingBlock[19] = 0xFF;
  Bytes shortBlock = Body({Section("one", Block({"abc"}))});
  shortBlock[16] = 3;  // block length 3 (the body ends with three unread bytes)
  Bytes countPastBlock = Body({Section("one", Block({"abc"}))});
  countPastBlock[20] = 9;  // nine lengths in a block of seven bytes
  Bytes textPastBlock = Body({Section("one", Block({"abc"}))});
  textPastBlock[22] = 4;  // four bytes of text in a block of three

  const struct {
    const char* what;
    Bytes pack;
  } cases[] = {
      {"wrong magic", badMagic},
      {"name past the end", longName},
      {"plain size 0", Pack(GoodBody(), "TST", "Test", 0)},
      {"plain size above 4 MiB", Pack(GoodBody(), "TST", "Test", 0x400001)},
      {"stream shorter than the plain size", Pack(GoodBody(), "TST", "Test", int64_t(GoodBody().size()) + 1)},
      // Room past the real body for one more section header: parsed, the
      // missing bytes would be read from beyond the inflated buffer.
      {"stream 4 bytes short", Pack(GoodBody(), "TST", "Test", int64_t(GoodBody().size()) + 4)},
      {"stream 12 bytes short", Pack(GoodBody(), "TST", "Test", int64_t(GoodBody().size()) + 12)},
      {"stream longer than the plain size", Pack(GoodBody(), "TST", "Test", int64_t(GoodBody().size()) - 1)},
      {"truncated stream", truncatedStream},
      {"no stream", Bytes(good.begin(), good.begin() + 28)},
      {"body magic", Pack(Bytes{'W', 'E', 'K', 'T', 'L', 'A', 'N', 'X', 0, 0, 0, 0})},
      {"plain size below 12", Pack(Bytes{'W', 'E', 'K', 'T', 'L', 'A', 'N', 'G'})},
      {"name length past the body", Pack(lyingName)},
      {"block length past the body", Pack(lyingBlock)},
      {"block of three bytes", Pack(shortBlock)},
      {"count 0", Pack(Body({Section("one", Bytes{0, 0, 0, 0})}))},
      {"lengths past the block", Pack(countPastBlock)},
      {"text past the block", Pack(textPastBlock)},
      {"one trailing byte", Pack(WithTrailing(1))},
      {"three trailing bytes", Pack(WithTrailing(3))},
      {"four trailing zero bytes", Pack(WithTrailing(4))},
  };
  for (const auto& c : cases) {
    sLangSections r;
    EXPECT_FALSE(Load(c.pack, r)) << c.what;
    EXPECT_EQ(r.code.text, nullptr) << c.what;  // the header is taken only on success
  }
  sLangSections r;
  EXPECT_TRUE(Load(Pack(WithTrailing(0)), r));
}

TEST_F(LanguageTest, ShortHeadersFailWithoutReadingPastTheEnd) {
  const Bytes good = Pack(GoodBody());
  for (size_t n = 0; n < 24 + 4; ++n) {
    sLangSections r;
    EXPECT_FALSE(Load(Bytes(good.begin(), good.begin() + static_cast<ptrdiff_t>(n)), r)) << n;
  }
  sLangSections r;
  EXPECT_FALSE(LoadLanguagePack(good.data(), -1, r));
  EXPECT_TRUE(Load(good, r));
}

TEST_F(LanguageTest, AFailedLoadKeepsTheSectionsReadBeforeIt) {
  sLangSections r;
  ASSERT_TRUE(Load(Pack(Body({Section("one", Block({"old"})), Section("two", Block({"old"}))})), r));
  Bytes pastEnd = Block({"new", "abc"});
  pastEnd[4] = 4;  // the second text reaches past the block
  EXPECT_FALSE(Load(Pack(Body({Section("one", Block({"new"})), Section("two", pastEnd)})), r));
  EXPECT_EQ(U16(r.Text("one", 0)), u"new");
  ASSERT_EQ(r.Find("two")->count, 2);  // re-created: its old text is gone
  EXPECT_EQ(U16(r.Text("two", 0)), u"new");  // read before the failing text
  EXPECT_EQ(r.Text("two", 1), nullptr);
  // A block refused before it is read (count 0) leaves that section alone.
  EXPECT_FALSE(Load(Pack(Body({Section("one", Block({"newer"})), Section("two", Bytes{0, 0, 0, 0})})), r));
  EXPECT_EQ(U16(r.Text("one", 0)), u"newer");
  EXPECT_EQ(r.Find("two")->count, 2);
}

}  // namespace
