// Fonts: the size correction table, the cache, and the UI face choice with
// its fallback. Expectations that depend on which faces the system has are
// derived from tw::FontFaceExists, so the same tests hold natively (the
// stand-in's fixed list) and under Wine (the installed fonts).
#include "gui/font.h"

#include <gtest/gtest.h>

#include <string>

#include "gui/language.h"
#include "gui/mem_canvas.h"
#include "tests/support/test_support.h"

namespace {

TEST(FontCorrection, TableOfFaces) {
  struct Case {
    const char16_t* face;
    int32_t weight, h, w;
    int32_t wantH, wantW;
  };
  const Case cases[] = {
      {u"Segoe UI", 400, 13, 5, 16, 7},            // 15.6, 6.5
      {u"Meiryo", 400, 13, 5, 18, 11},             // 17.55, 10.5
      {u"Meiryo", 400, 14, 6, 19, 13},             // 18.9, 12.6
      {u"Meiryo", 400, 15, 5, 19, 10},             // w * 2
      {u"Meiryo", 400, 16, 5, 20, 9},              // 9.25
      {u"Meiryo", 400, 17, 4, 19, 7},              // 18.7, 7.0
      {u"PMingLiU", 400, 13, 5, 13, 6},            // 6.0
      {u"SimSun", 400, 13, 6, 13, 8},              // 7.5
      {u"Microsoft YaHei", 400, 13, 5, 18, 7},     // small: fixed
      {u"Microsoft YaHei", 700, 13, 6, 19, 8},     // bold: fixed, whatever width
      {u"Microsoft YaHei", 700, 15, 99, 19, 8},
      {u"Microsoft YaHei", 400, 16, 5, 18, 6},     // 17.6, 5.5
      {u"Microsoft JhengHei", 400, 13, 5, 17, 6},
      {u"Microsoft JhengHei", 401, 15, 5, 18, 7},  // above 400 is bold
      {u"Microsoft JhengHei", 400, 20, 5, 23, 6},  // 23.0, 5.75
      {u"Tahoma", 700, 13, 5, 13, 5},
      {u"segoe ui", 400, 13, 5, 13, 5},            // ordinal: case matters
  };
  for (const Case& c : cases) {
    int32_t h = c.h, w = c.w;
    tw::CorrectFontSize(c.face, c.weight, &h, &w);
    EXPECT_EQ(h, c.wantH) << twtest::Narrow(c.face) << " " << c.h << "x" << c.w;
    EXPECT_EQ(w, c.wantW) << twtest::Narrow(c.face) << " " << c.h << "x" << c.w;
  }
}

TEST(FontCache, SameDescriptionSameObjectAndFaceCaseMatters) {
  cWinFont* a = GetCachedFont(5, 13, u"Tahoma", false, false, false);
  ASSERT_NE(a, nullptr);
  EXPECT_EQ(a, GetCachedFont(5, 13, u"Tahoma", false, false, false));
  EXPECT_EQ(a->width, 5);
  EXPECT_EQ(a->height, 13);
  EXPECT_EQ(std::u16string(a->face.text), u"Tahoma");
  EXPECT_NE(a, GetCachedFont(5, 13, u"Tahoma", true, false, false));
  EXPECT_NE(a, GetCachedFont(5, 13, u"Tahoma", false, true, false));
  EXPECT_NE(a, GetCachedFont(5, 13, u"Tahoma", false, false, true));
  EXPECT_NE(a, GetCachedFont(6, 13, u"Tahoma", false, false, false));
  // The system finds "tahoma" as well, but the cache keeps it apart.
  cWinFont* lower = GetCachedFont(5, 13, u"tahoma", false, false, false);
  ASSERT_NE(lower, nullptr);
  EXPECT_NE(a, lower);
  EXPECT_EQ(lower, GetCachedFont(5, 13, u"tahoma", false, false, false));
}

TEST(FontCache, MissingFaceFailsAndIsNotCached) {
  const int32_t before = tw::CachedFontCount();
  EXPECT_FALSE(tw::FontFaceExists(u"No Such Face 7"));
  EXPECT_EQ(GetCachedFont(5, 13, u"No Such Face 7", false, false, false), nullptr);
  EXPECT_EQ(GetCachedFont(5, 13, u"No Such Face 7", false, false, false), nullptr);
  EXPECT_EQ(GetCachedFont(5, 13, nullptr, false, false, false), nullptr);
  EXPECT_EQ(tw::CachedFontCount(), before);
}

TEST(FontCache, IsEqualComparesAllSixValues) {
  cWinFont* f = GetCachedFont(6, 13, u"Tahoma", true, false, false);
  ASSERT_NE(f, nullptr);
  sFontKey key;
  key.width = 6, key.height = 13, key.bold = 1;
  key.face.Assign(u"Tahoma");
  EXPECT_TRUE(f->IsEqual(&key));
  key.face.Assign(u"TAHOMA");
  EXPECT_FALSE(f->IsEqual(&key));
  EXPECT_FALSE(f->IsEqual(nullptr));
}

TEST(FontMetrics, StandInFollowsTheCorrectedSize) {
  cWinFont* tahoma = GetCachedFont(5, 13, u"Tahoma", false, false, false);
  ASSERT_NE(tahoma, nullptr);
  EXPECT_EQ(tw::StandInCellWidth(tahoma), 5);
  EXPECT_EQ(tw::StandInTextHeight(tahoma), 13);
  EXPECT_EQ(tw::StandInCellWidth(nullptr), 5);
  EXPECT_EQ(tw::StandInTextHeight(nullptr), 13);
  if (cWinFont* segoe = GetCachedFont(5, 13, u"Segoe UI", false, false, false)) {
    EXPECT_EQ(tw::StandInCellWidth(segoe), 7);
    EXPECT_EQ(tw::StandInTextHeight(segoe), 16);
  }
  // A memory canvas measures with the stand-in on every target.
  cMemCanvas canvas(40, 20);
  sSize size;
  ASSERT_TRUE(tahoma->MeasureText(&canvas, u"abcd", -1, &size));
  EXPECT_EQ(size, (sSize{20, 13}));
  ASSERT_TRUE(tahoma->MeasureTextAnsi(&canvas, "abcdef", 2, &size));
  EXPECT_EQ(size, (sSize{10, 13}));
  EXPECT_FALSE(tahoma->MeasureText(nullptr, u"a", -1, &size));
  EXPECT_FALSE(tahoma->SelectInto(nullptr));
}

TEST(FontChoice, LanguagesPickTheirFaceOrFallBackToTahoma) {
  // Japanese first: the only language that sets the factor to 0.9.
  ASSERT_TRUE(SetCurrentLanguage(3));
  const bool meiryo = tw::FontFaceExists(u"Meiryo");
  EXPECT_EQ(std::u16string(SelectUIFontForLanguage()), meiryo ? u"Meiryo" : u"Tahoma");
  EXPECT_EQ(std::u16string(GetUIFaceName()), meiryo ? u"Meiryo" : u"Tahoma");
  EXPECT_EQ(GetWrappedTextAlignment(), 0);
  const double afterJapanese = meiryo ? 0.9 : 1.2;
  EXPECT_DOUBLE_EQ(GetLineSpacing(), afterJapanese);

  // A Tahoma language keeps the factor and justifies again.
  ASSERT_TRUE(SetCurrentLanguage(0));
  EXPECT_EQ(std::u16string(SelectUIFontForLanguage()), u"Tahoma");
  EXPECT_EQ(GetWrappedTextAlignment(), 3);
  EXPECT_DOUBLE_EQ(GetLineSpacing(), afterJapanese);

  struct Case {
    int32_t id;
    const char16_t* face;
  };
  for (const Case& c : {Case{4, u"Malgun Gothic"}, Case{8, u"Microsoft YaHei"}, Case{9, u"Microsoft JhengHei"}}) {
    ASSERT_TRUE(SetCurrentLanguage(c.id));
    const double factorBefore = GetLineSpacing();
    const bool has = tw::FontFaceExists(c.face);
    EXPECT_EQ(std::u16string(SelectUIFontForLanguage()), has ? std::u16string(c.face) : u"Tahoma") << c.id;
    EXPECT_EQ(GetWrappedTextAlignment(), 0) << c.id;
    EXPECT_DOUBLE_EQ(GetLineSpacing(), has ? 1.2 : factorBefore) << c.id;
  }
  ASSERT_TRUE(SetCurrentLanguage(0));
  SelectUIFontForLanguage();
  EXPECT_EQ(std::u16string(GetUIFaceName()), u"Tahoma");
}

}  // namespace
