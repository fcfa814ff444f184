// The XPM decoder: the probe, the grammar (comments, the "static" line,
// strings and commas), the colour forms of the dialect, refused files, text
// that ends early, line ends, streaming and the factory.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "base/memio.h"
#include "picture/pict_factory.h"
#include "picture/pict_xpm.h"

namespace {

struct sFile {
  std::string text;
  cBufWrapperIO io;
  explicit sFile(std::string t) : text(std::move(t)), io(text.data(), static_cast<uint32_t>(text.size())) {}
  cFileIOTarget* at0() {
    io.Seek(0);
    return &io;
  }
};

// A file of the given values line, colour lines and pixel rows.
std::string Xpm(const std::string& values, const std::vector<std::string>& colours,
                const std::vector<std::string>& rows, const std::string& tail = "};\n") {
  std::string s = "/* XPM */\nstatic char *pic[] = {\n\"" + values + "\"";
  for (const auto& c : colours) s += ",\n\"" + c + "\"";
  for (const auto& r : rows) s += ",\n\"" + r + "\"";
  return s + "\n" + tail;
}

std::vector<uint32_t> TopDown(const cPictBase& p) {
  std::vector<uint32_t> v;
  for (int32_t y = p.GetHeight() - 1; y >= 0; --y)
    for (int32_t x = 0; x < p.GetWidth(); ++x) v.push_back(p.Pixels32().data[static_cast<size_t>(y) * p.GetWidth() + x]);
  return v;
}

TEST(PictXpm, ColourForms) {
  struct sCase {
    const char* name;
    std::string colour;
    bool ok;
    uint32_t pixel;
  };
  const sCase cases[] = {
      {"None is transparent black", "a c None", true, 0x00000000u},
      {"6 digits", "a c #1A2b3C", true, 0xFF1A2B3Cu},
      {"12 digits: the high two of each", "a c #FFFF00000000", true, 0xFFFF0000u},
      {"any separators", "a\tc\t#000080", true, 0xFF000080u},
      {"a colour name", "a c red", false, 0},
      {"key m", "a m #000000", false, 0},
      {"key s", "a s None", false, 0},
      {"9 digits", "a c #123456789", false, 0},
      {"not hexadecimal", "a c #12345G", false, 0},
      {"None with more after it", "a c None ", false, 0},
      {"too short", "a c #1", false, 0},
  };
  for (const sCase& c : cases) {
    sFile f(Xpm("2 1 1 1", {c.colour}, {"aa"}));
    cPictXPM xpm;
    EXPECT_EQ(xpm.Load(f.at0()), c.ok) << c.name;
    if (c.ok) EXPECT_EQ(TopDown(xpm), (std::vector<uint32_t>{c.pixel, c.pixel})) << c.name;
  }
}

TEST(PictXpm, TwoCharactersPerPixelAndRowOrder) {
  sFile f(Xpm("2 2 3 2", {"ab c #FF0000", "ba c #00FF00", "   c None"}, {"abba", "  ab"}));
  cPictXPM xpm;
  ASSERT_TRUE(xpm.Load(f.at0()));
  EXPECT_EQ(xpm.GetFormat(), kPictFormatXPM);
  EXPECT_EQ(TopDown(xpm), (std::vector<uint32_t>{0xFFFF0000u, 0xFF00FF00u, 0u, 0xFFFF0000u}));
}

// A comment between the brace and the values may quote other numbers: the
// probe reads the same values as the loader.
TEST(PictXpm, ProbeSkipsACommentWithQuotesBeforeTheValues) {
  sFile f("/* XPM */\nstatic char *pic[] = {\n/* \"7 3 1 1\" */\n\"2 1 1 1\",\n\"a c None\",\n\"aa\"};\n");
  sPictInfo info;
  ASSERT_TRUE(cPictXPM::Detect(f.at0(), &info));
  EXPECT_EQ(info.width, 2);
  EXPECT_EQ(info.height, 1);
  cPictXPM xpm;
  ASSERT_TRUE(xpm.Load(f.at0()));
  EXPECT_EQ(xpm.GetWidth(), info.width);
  EXPECT_EQ(xpm.GetHeight(), info.height);
}

TEST(PictXpm, RefusedFiles) {
  const std::string good = Xpm("1 1 1 1", {"a c None"}, {"a"});
  struct sCase {
    const char* name;
    std::string text;
  };
  const sCase cases[] = {
      {"no XPM comment first", "static char *p[] = {\n\"1 1 1 1\",\n\"a c None\",\n\"a\"};\n"},
      {"something before static", "/* XPM */\nchar static *p[] = {\n\"1 1 1 1\",\"a c None\",\"a\"};\n"},
      {"brace on the next line", "/* XPM */\nstatic char *p[] =\n{\n\"1 1 1 1\",\"a c None\",\"a\"};\n"},
      {"missing comma", Xpm("1 1 1 1", {}, {}, "\"a c None\"\n\"a\"\n};\n")},
      {"string not closed on its line", "/* XPM */\nstatic char *p[] = {\n\"1 1 1 1\",\n\"a c None\n\",\"a\"};\n"},
      {"values: three numbers", Xpm("1 1 1", {"a c None"}, {"a"})},
      {"values: width 0", Xpm("0 1 1 1", {"a c None"}, {""})},
      {"values: 5 characters per pixel", Xpm("1 1 1 5", {"aaaaa c None"}, {"aaaaa"})},
      {"values: a number beyond 32 bits", Xpm("99999999999 1 1 1", {"a c None"}, {"a"})},
      {"duplicate key", Xpm("1 1 2 1", {"a c None", "a c #000000"}, {"a"})},
      {"row of the wrong length", Xpm("2 1 1 1", {"a c None"}, {"a"})},
      {"key not in the table", Xpm("1 1 1 1", {"a c None"}, {"b"})},
      {"no pixel row at all", "/* XPM */\nstatic char *p[] = {\n\"1 1 1 1\",\n\"a c None\"\n"},
  };
  for (const sCase& c : cases) {
    sFile f(c.text);
    cPictXPM xpm;
    EXPECT_FALSE(xpm.Load(f.at0())) << c.name;
  }
  sFile f(good);
  cPictXPM xpm;
  EXPECT_TRUE(xpm.Load(f.at0()));
}

TEST(PictXpm, ProbeLooksAtTheStartOnly) {
  struct sCase {
    const char* name;
    std::string text;
    bool ok;
    int32_t width, height;
  };
  const sCase cases[] = {
      {"plain", Xpm("7 3 1 1", {}, {}), true, 7, 3},
      {"leading whitespace", "\r\n \t" + Xpm("4 5 1 4", {}, {}), true, 4, 5},
      {"characters per pixel 5", Xpm("1 1 1 5", {}, {}), false, 0, 0},
      {"colour count 0", Xpm("1 1 0 1", {}, {}), false, 0, 0},
      {"declaration beyond 255 bytes", "/* XPM" + std::string(300, ' ') + "*/ static char *p[] = {\"1 1 1 1\"};",
       false, 0, 0},
      {"not XPM", "/* C */\nstatic char *p[] = {\"1 1 1 1\"};", false, 0, 0},
  };
  for (const sCase& c : cases) {
    sFile f(c.text);
    sPictInfo info;
    EXPECT_EQ(cPictXPM::Detect(f.at0(), &info), c.ok) << c.name;
    if (c.ok) {
      EXPECT_EQ(info.width, c.width) << c.name;
      EXPECT_EQ(info.height, c.height) << c.name;
    }
  }
}

TEST(PictXpm, CommentsLineEndsAndTheByteOrderMark) {
  // Comments between any tokens (also across lines), CR LF and bare CR
  // line ends, a UTF-8 mark, and junk after the last row.
  const std::string text =
      "\xEF\xBB\xBF/* XPM */\r\n/* one\r\n two */ static char *p[] = { /* x */\r\"2 1 2 1\" /* c */ ,\r\n"
      "/* colours */ \"a c #010203\",\n\"b c None\" , /* rows\n */ \"ab\" this is not read \" ,, {";
  sFile f(text);
  cPictXPM xpm;
  ASSERT_TRUE(xpm.Load(f.at0()));
  EXPECT_EQ(TopDown(xpm), (std::vector<uint32_t>{0xFF010203u, 0u}));
}

TEST(PictXpm, TextThatEndsEarlyKeepsTheRowsRead) {
  std::vector<std::string> rows(3, "aaaa");
  sFile f(Xpm("4 10 1 1", {"a c #FFFFFF"}, rows, ""));
  cPictXPM xpm;
  ASSERT_TRUE(xpm.Load(f.at0()));
  ASSERT_EQ(xpm.GetHeight(), 10);
  const std::vector<uint32_t> px = TopDown(xpm);
  EXPECT_EQ(px[0], 0xFFFFFFFFu);
  EXPECT_EQ(px[4 * 2 + 3], 0xFFFFFFFFu);
  EXPECT_EQ(px[4 * 3], 0u);  // never reached: transparent black
  EXPECT_EQ(px[4 * 9 + 3], 0u);
  // A line longer than 4096 characters ends the text as well.
  std::string longLine = Xpm("4 2 1 1", {"a c #FFFFFF"}, {"aaaa"}, ",\"" + std::string(5000, 'a') + "\"\n};\n");
  sFile g(longLine);
  ASSERT_TRUE(xpm.Load(g.at0()));
  EXPECT_EQ(TopDown(xpm)[4], 0u);
}

TEST(PictXpm, StreamsAndIsRecognisedLast) {
  sFile f(Xpm("2 2 2 1", {"a c #102030", "b c #405060"}, {"ab", "ba"}));
  sPictInfo info;
  std::unique_ptr<cPictBase> p(CreatePicture(f.at0(), &info));
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(p->GetFormat(), kPictFormatXPM);
  std::vector<uint32_t> pixels(4 * 4, 0);
  sPictCanvas canvas{pixels.data(), 4, 4, 0, 0, 0, 1.0, 0};
  cPictXPM xpm;
  ASSERT_TRUE(xpm.AttachCanvas(&canvas));
  ASSERT_TRUE(xpm.Load(f.at0()));
  EXPECT_EQ(xpm.GetAttachedCanvas(), nullptr);
  // Centred in 4 x 4: the bottom row of the picture ("ba") at canvas row 1.
  EXPECT_EQ(pixels[1 * 4 + 1], 0xFF405060u);
  EXPECT_EQ(pixels[2 * 4 + 1], 0xFF102030u);
}

}  // namespace
