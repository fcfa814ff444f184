// The application's language packs: the table, the sections every pack
// holds, applying a language and choosing the one to start with.
#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>
#include <vector>

#include "base/config_store.h"
#include "gui/language.h"
#include "gui/language_internal.h"
#include "tests/support/lang_check.h"
#include "tests/support/test_support.h"
#include "tools/app_language.h"
#include "tools/app_language_packs.h"

using twtest::Narrow;

namespace {

class AppLanguage : public ::testing::Test {
protected:
  void SetUp() override {
    tw::ResetLanguageState();
    RegisterPackageLanguages();
  }
  void TearDown() override { tw::ResetLanguageState(); }
};

// The sections and their text counts (the highest number given + 1).
const struct {
  const char* key;
  int32_t count;
} kSections[] = {
    {"pkgm::fin", 14},  {"pkgm::fsel", 14}, {"pkgm::iini", 13},  {"pkgm::instp", 7},
    {"pkgm::instw", 26}, {"pkgm::langs", 5}, {"pkgm::rem", 8},    {"pkgm::resp", 2},
    {"pkgm::tarnw", 18}, {"pkgm::unin", 12}, {"pkgm::updi", 16},  {"pkgm::updr", 3},
};

// The printf conversions of a text in order ("%lld" gives "lld").
std::vector<std::string> Conversions(const char16_t* text) {
  std::vector<std::string> out;
  for (const char16_t* p = text; p != nullptr && *p != 0; ++p) {
    if (*p != u'%') continue;
    if (p[1] == u'%') {
      ++p;
      continue;
    }
    std::string conv;
    while (*++p != 0 && std::u16string_view(u"-+ #0123456789.*").find(*p) != std::u16string_view::npos) {
    }
    while (*p != 0 && std::u16string_view(u"hlI64").find(*p) != std::u16string_view::npos) conv += static_cast<char>(*p++);
    if (*p == 0) break;
    conv += static_cast<char>(*p);
    out.push_back(conv);
  }
  return out;
}

TEST_F(AppLanguage, TheTableAndItsProvider) {
  const int32_t order[] = {0, 2, 6, 4, 3, 8, 9, 10, 11, 5, 7, 12};
  cSOPKGLang* provider = RegisterPackageLanguages();
  EXPECT_EQ(provider, RegisterPackageLanguages());  // once per process
  for (int i = 0; i < 12; ++i) {
    EXPECT_EQ(tw::kAppPacks[i].id, order[i]);
    EXPECT_TRUE(provider->Has(order[i]));
    EXPECT_EQ(provider->GetData(order[i]), tw::kAppPacks[i].data);
    EXPECT_EQ(provider->GetSize(order[i]), tw::kAppPacks[i].size);
  }
  for (int32_t id : {1, 13, -1}) {
    EXPECT_FALSE(provider->Has(id));
    EXPECT_EQ(provider->GetSize(id), 0);
    EXPECT_EQ(provider->GetData(id), nullptr);
  }
  EXPECT_EQ(provider->GetDefault(), 0);
}

TEST_F(AppLanguage, EveryPackHoldsTheSectionsWithTheSameConversions) {
  sLangSections english;
  ASSERT_TRUE(LoadLanguagePack(tw::kAppPacks[0].data, tw::kAppPacks[0].size, english));
  EXPECT_EQ(Narrow(english.nativeName.text), "English");
  const char* names[] = {"English", "Deutsch", "Українська", "한국어", "日本語", "中国语",
                         "中國語",  "Türkçe",  "Portugues",  "French", "Español", "Polski"};
  for (int i = 0; i < 12; ++i) {
    sLangSections pack;
    ASSERT_TRUE(LoadLanguagePack(tw::kAppPacks[i].data, tw::kAppPacks[i].size, pack)) << i;
    EXPECT_EQ(Narrow(pack.nativeName.text), names[i]);
    for (const auto& s : kSections) {
      const tLangSection* section = pack.Find(s.key);
      ASSERT_NE(section, nullptr) << names[i] << " " << s.key;
      const bool korean = tw::kAppPacks[i].id == 4 && std::string(s.key) == "pkgm::langs";
      // The Korean pack offers no link text: its last text is absent.
      EXPECT_EQ(section->count, korean ? s.count - 1 : s.count) << names[i] << " " << s.key;
      for (int32_t t = 0; t < s.count; ++t) {
        const char16_t* own = pack.Text(s.key, t);
        const char16_t* ref = english.Text(s.key, t);
        if (korean && t == 4) {
          EXPECT_EQ(own, nullptr);
          continue;
        }
        ASSERT_NE(own, nullptr) << names[i] << " " << s.key << " " << t;
        EXPECT_EQ(Conversions(own), Conversions(ref)) << names[i] << " " << s.key << " " << t;
      }
    }
  }
  EXPECT_EQ(Narrow(english.Text("pkgm::langs", 2)), "Start");
  EXPECT_EQ(Conversions(english.Text("pkgm::fsel", 5)), (std::vector<std::string>{"lld"}));
  EXPECT_EQ(Narrow(english.Text("pkgm::iini", 7)).substr(0, 34), "Unable to open existing file for \"");
}

// Texts a translation may share with English: the product's name in every
// language, and words some languages use as they are (by language id).
const std::set<std::string> kBrand = {"Vornak"};
const std::map<int32_t, std::set<std::string>> kSameAsEnglish = {
    {2, {"Vornak", "Name", "Version"}},
    {5, {"Vornak", "Introduction", "Version", "version %s"}},
};

TEST_F(AppLanguage, EveryPackIsTranslated) {
  sLangSections english;
  ASSERT_TRUE(LoadLanguagePack(tw::kAppPacks[0].data, tw::kAppPacks[0].size, english));
  for (int i = 1; i < 12; ++i) {
    sLangSections pack;
    ASSERT_TRUE(LoadLanguagePack(tw::kAppPacks[i].data, tw::kAppPacks[i].size, pack)) << i;
    const int32_t id = tw::kAppPacks[i].id;
    const auto& allowed = kSameAsEnglish.count(id) != 0 ? kSameAsEnglish.at(id) : kBrand;
    EXPECT_EQ(twtest::TextsStillEnglish(english, pack, allowed), std::vector<std::string>{}) << "language " << id;
  }
}

TEST_F(AppLanguage, ApplyingALanguageSwitchesTheApplicationTexts) {
  ASSERT_TRUE(ApplyLanguage(0));
  EXPECT_EQ(GetCurrentLanguage(), 0);
  EXPECT_EQ(Narrow(GetLanguageText("pkgm::tarnw", 0)), "Vornak Software Manager");
  EXPECT_EQ(Narrow(GetLanguageText("pkgm::langs", 4)), "Other languages");
  ASSERT_TRUE(ApplyLanguage(2));
  EXPECT_EQ(Narrow(GetLanguageText("pkgm::langs", 2)), "Starten");
  EXPECT_EQ(Narrow(GetLanguageText("pkgm::tarnw", 0)), "Vornak Software-Manager");
  ASSERT_TRUE(ApplyLanguage(4));
  EXPECT_EQ(GetCurrentLanguage(), 4);
  EXPECT_EQ(GetLanguageText("pkgm::langs", 4), nullptr);
  EXPECT_NE(GetLanguageText("pkgm::langs", 3), nullptr);
}

TEST_F(AppLanguage, TheStartLanguageComesFromTheStoreWhenItHasAPack) {
  twtest::TempDir tmp;
  cCIAppConfig store;
  ASSERT_TRUE(store.Open(twtest::U16(tmp.path()).c_str()));
  const struct {
    int64_t stored;  // -1: nothing stored
    int32_t expected;
  } cases[] = {{-1, 0}, {5, 5}, {12, 12}, {1, 0}, {13, 0}, {0x10005, 0}};
  for (const auto& c : cases) {
    tw::ResetLanguageState();
    store.DeleteKey("lang/current");
    if (c.stored >= 0) {
      ASSERT_TRUE(store.SetInt64("lang/current", c.stored));
    }
    ChooseStartLanguage(&store);
    EXPECT_EQ(GetCurrentLanguage(), c.expected) << c.stored;
    EXPECT_NE(GetLanguageText("pkgm::langs", 2), nullptr) << c.stored;
  }
  tw::ResetLanguageState();
  ChooseStartLanguage(nullptr);
  EXPECT_EQ(GetCurrentLanguage(), 0);
}

}  // namespace
