// The markup compiler and its driver: every error with its message, line and
// column, the index file, text files, and compile -> load round trips.
#include "sidoc/compiler.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "base/memio.h"
#include "base/strings.h"
#include "gui/font.h"
#include "sidoc/format.h"
#include "sidoc/loader.h"
#include "sidoc/markup.h"
#include "tests/sidoc/doc_bytes.h"
#include "tests/sidoc/doc_dump.h"
#include "tests/support/test_support.h"

namespace {

using namespace doctest;
using twtest::U16;

void WriteFile(const std::string& path, const Bytes& bytes) {
  cFileIO f;
  ASSERT_TRUE(f.Create(U16(path).c_str(), kFileWrite)) << path;
  ASSERT_TRUE(bytes.empty() || f.WriteExact(bytes.data(), static_cast<uint32_t>(bytes.size())));
}
void WriteFile(const std::string& path, const std::string& utf8) { WriteFile(path, Str(utf8)); }

struct Compiled {
  bool ok = false;
  std::string message, path;
  int32_t line = -1, column = -1;
  Bytes bytes;
};

Compiled Compile(const std::string& indexPath) {
  cMemIOTarget target;
  tLanguageCodeMap codes(kPackedKeyDepthLimit);
  cDocCompileError error;
  Compiled c;
  c.ok = CompileDocument(&codes, U16(indexPath).c_str(), &target, &error);
  c.message = error.message.text != nullptr ? error.message.text : "";
  c.path = error.path.text != nullptr ? twtest::Narrow(error.path.text) : "";
  c.line = error.line;
  c.column = error.column;
  _typebuf<char> out;
  target.CopyToBuffer(out);
  c.bytes.assign(out.data, out.data + out.count);
  return c;
}

// One language's markup compiled straight into a context.
struct MarkupResult {
  bool ok;
  std::string message;
  int32_t line, column;
};
MarkupResult CompileMarkup(const std::u16string& text, sDocCompileContext& context) {
  if (context.currentLanguage < 0) context.currentLanguage = 0;
  const bool ok = CompileLanguageMarkup(context, text.data(), static_cast<int32_t>(text.size()));
  return {ok, context.errorMessage != nullptr ? context.errorMessage : "", context.errorLine, context.errorColumn};
}
MarkupResult CompileMarkup(const std::u16string& text) {
  sDocCompileContext context;
  return CompileMarkup(text, context);
}

// The context's parts written as a document and loaded back.
bool LoadContext(sDocCompileContext& context, cSiDocLoader& loader, eDocLoadError* reason = nullptr) {
  cMemIOTarget target;
  target.WriteExact(sidoc::kMagic, sidoc::kMagicSize);
  cDocCompileError error;
  if (!WriteDocumentParts(context, &target, &error)) return false;
  _typebuf<char> out;
  target.CopyToBuffer(out);
  return LoadCompiledDocument(out.data, static_cast<uint32_t>(out.count), &loader, reason);
}

std::string DumpMarkup(const std::u16string& text) {
  sDocCompileContext context;
  const MarkupResult r = CompileMarkup(text, context);
  if (!r.ok) return "error: " + r.message;
  cSiDocLoader loader;
  eDocLoadError reason;
  if (!LoadContext(context, loader, &reason)) return std::string("load: ") + DocLoadErrorText(reason);
  return Dump(*loader.GetContainer(0), &loader);
}

// ---- Markup errors -----------------------------------------------------------

struct ErrorCase {
  std::u16string markup;
  const char* message;
  int32_t line, column;
};

TEST(Markup, EveryErrorWithItsPosition) {
  const std::u16string longWord(70000, u'x');
  const ErrorCase cases[] = {
      {u"ab <text", "unexpected termination", 0, 3},
      {u"<text>a</text >", "tag is not properly closed", 0, 15},
      {u"<link>a</link x>", "tag is not properly closed", 0, 16},
      {u"<b>a</b >", "invalid tag closed", 0, 9},
      {u"<b>a</bold>", "invalid tag closed", 0, 11},
      {u"</>", "invalid tag closed", 0, 3},
      {u"<b>x</i>", "close tag mismatch", 0, 8},
      {u"x</text>", "close tag mismatch", 0, 8},
      {u"<b >", "invalid tag opened", 0, 4},
      {u"<TEXT>", "invalid tag opened", 0, 6},
      {u"<>", "invalid tag opened", 0, 2},
      {u"<text a>", "bad tag props", 0, 8},
      {u"<text a=\"x>", "bad tag props", 0, 11},
      {u"<text =1>", "bad tag props", 0, 9},
      {u"<text ml=65536>", "bad left margin", 0, 15},
      {u"<text mr=-1>", "bad right margin", 0, 12},
      {u"<text mt=x>", "bad top margin", 0, 11},
      {u"<img src=a mb=70000>", "unable to open IMG", 0, 20},
      {u"<text mb=99999>", "bad bottom margin", 0, 15},
      {u"<text w=65536>", "bad width", 0, 14},
      {u"<text h=0x10000>", "bad height", 0, 16},
      {u"<text br=2>", "bad break", 0, 11},
      {u"<text fg=0x100000000>", "bad FG color", 0, 21},
      {u"<text bg=-5>", "bad BG color", 0, 12},
      {u"<text a=x>", "bad align", 0, 10},
      {u"<text a=''>", "bad align", 0, 11},
      {u"<img w=3>", "no src prop", 0, 9},
      {u"<text ml=1 f=arial>", "bad font face name", 0, 19},
      {u"<text f=verdana>", "bad font face definition", 0, 16},
      {u"<text f=std,>", "bad font height def", 0, 13},
      {u"<text f=std,4096>", "bad font height", 0, 17},
      {u"<text f=std,12x>", "bad font definition", 0, 16},
      {u"<text f=std,12,>", "bad font width def", 0, 16},
      {u"<text f=std,12,4096>", "bad font width", 0, 20},
      {u"<text f=std,12,5b>", "bad font width definition", 0, 18},
      {u"<text>\n  word", "termination on opened tag", 1, 6},
      {u"<text>\n<link ref=x>", "termination on opened tag", 1, 12},
      // Positions count UTF-16 units and restart after each line feed,
      // also inside a tag.
      {u"a\nbc <text\nml=1>\u00e9\u00e9 </b>", "close tag mismatch", 2, 12},
      {u"a\nbc <b\n>", "invalid tag opened", 2, 1},
      // Limits of the compiled format.
      {longWord, "word too long", 0, 70000},
  };
  for (const ErrorCase& c : cases) {
    SCOPED_TRACE(twtest::Narrow(c.markup.substr(0, 40)));
    const MarkupResult r = CompileMarkup(c.markup);
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.message, c.message);
    EXPECT_EQ(r.line, c.line);
    EXPECT_EQ(r.column, c.column);
  }
}

TEST(Markup, MissingFaceIsABadFont) {
  // Natively the stand-in lacks "Malgun Gothic"; on Windows the face may or
  // may not be installed.
  const MarkupResult r = CompileMarkup(u"<text f=kor,13>x</text>");
  if (tw::FontFaceExists(u"Malgun Gothic")) {
    EXPECT_TRUE(r.ok) << r.message;
  } else {
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.message, "bad font");
  }
}

TEST(Markup, NestingIsLimited) {
  std::u16string ok, deep;
  for (int i = 0; i < sidoc::kMaxBoxNesting; ++i) ok += i % 2 ? u"<b>" : u"<text>";
  ok += u"x";
  for (int i = sidoc::kMaxBoxNesting - 1; i >= 0; --i) ok += i % 2 ? u"</b>" : u"</text>";
  cSiDocLoader loader;
  sDocCompileContext context;
  ASSERT_TRUE(CompileMarkup(ok, context).ok);
  EXPECT_TRUE(LoadContext(context, loader));
  for (int i = 0; i <= sidoc::kMaxBoxNesting; ++i) deep += u"<text>";
  const MarkupResult r = CompileMarkup(deep);
  EXPECT_FALSE(r.ok);
  EXPECT_EQ(r.message, "tags nested too deeply");
  EXPECT_EQ(r.column, 6 * (sidoc::kMaxBoxNesting + 1));
}

// ---- Markup output -------------------------------------------------------------

TEST(Markup, RecordsOfATextTag) {
  sDocCompileContext context;
  ASSERT_TRUE(CompileMarkup(u"<text>Hello world</text>", context).ok);
  _typebuf<char> body;
  ASSERT_TRUE(context.bodies.Find(0)->CopyToBuffer(body));
  const Bytes expected = Cat({Box(0, 0xFFFF, 0, Head{.brk = 1}), Text("Hello", 0xFFFF, 0), Text("world", 0xFFFF, 0),
                              kEnd, kEnd});
  EXPECT_EQ(Bytes(body.data, body.data + body.count), expected);
}

struct DumpCase {
  std::u16string markup;
  const char* dump;
};

TEST(Markup, TagsAndPropertiesBecomeBoxes) {
  const DumpCase cases[] = {
      {u"", "box a=0\n"},
      {u"<text w=65535 h=0 br=0 ml=1 mr=2 mt=3 mb=4 bg=0xFF fg=12>x</text>",
       "box a=0\n  box a=0 fg=C bg=FF m=1,2,3,4\n    text \"x\" fg=C\n"},
      {u"<text a=Center>x</text><text a=c></text><text a=R></text><text a=justify></text><text a=l></text>",
       "box a=0\n  box a=2 fg=0 br\n    text \"x\" fg=0\n  box a=2 fg=0 br\n  box a=1 fg=0 br\n  box a=3 fg=0 br\n"
       "  box a=0 fg=0 br\n"},
      {u"<text w=0 bg=0xFFFFFFFF>x</text>", "box a=0\n  box a=0 fg=0 br\n    text \"x\" fg=0\n"},
      {u"<text f=std,12>a <b>b</b></text>",
       "box a=0\n  box a=0 fg=0 font=0/5x12 br\n    text \"a\" fg=0\n    text \"b\" fg=0 font=0/6x12b\n"},
      {u"<text f=std,12,7,bU>a<i>b</i></text>",
       "box a=0\n  box a=0 fg=0 font=0/7x12bu br\n    text \"a\" fg=0 font=0/8x12bu\n"
       "    text \"b\" fg=0 font=0/8x12biu\n"},
      {u"plain <b>bold</b> <i>it <b>both</b></i>",
       "box a=0\n  text \"plain\" fg=0\n  text \"bold\" fg=0 font=0/6x13b\n  text \"it\" fg=0 font=0/5x13i\n"
       "  text \"both\" fg=0 font=0/6x13bi\n"},
      {u"a<br>b<lt>c", "box a=0\n  text \"a\" fg=0\n  text br\n  text \"b\" fg=0\n  text \"<\"\n  text \"c\" fg=0\n"},
      {u"<link ref='t 1'>go <lt> <b>x</b> <br></link> <link>y</link>",
       "box a=0\n  link \"go\" fg=FF0000 ->\"t 1\"\n  text \"<\"\n  link \"x\" fg=FF0000 font=0/6x13b ->\"t 1\"\n"
       "  text br\n  link \"y\" fg=FF0000 ->\"\"\n"},
      {u"<text fg=0x123>a <link ref=r>b</link> <text>c</text></text>",
       "box a=0\n  box a=0 fg=123 br\n    text \"a\" fg=123\n    link \"b\" fg=FF0000 ->\"r\"\n"
       "    box a=0 fg=123 br\n      text \"c\" fg=123\n"},
      {u"\u6587\u3002\u5b57\u3001x\u3002 y", "box a=0\n  text \"\u6587\u3002\" fg=0\n  text \"\u5b57\u3001\" fg=0\n"
                                              "  text \"x\u3002\" fg=0\n  text \"y\" fg=0\n"},
      {u"<text ML=1 ml = \"2\" BG=\"0x10\">x</text>", "box a=0\n  box a=0 fg=0 bg=10 br m=2,0,0,0\n    text \"x\" fg=0\n"},
  };
  for (const DumpCase& c : cases) {
    SCOPED_TRACE(twtest::Narrow(c.markup));
    EXPECT_EQ(DumpMarkup(c.markup), c.dump);
  }
}

TEST(Markup, FontDefinitions) {
  struct FontCase {
    const char16_t* f;
    const char16_t* face;  // the face the font needs
    const char* dump;      // the box's font when that face exists
  };
  const FontCase cases[] = {
      {u"verd,12", u"Verdana", " font=3/5x12"},
      {u"VERD,12,7,bu", u"Verdana", " font=3/7x12bu"},
      {u"fixed", u"Courier New", " font=1/5x13"},
      {u"twn,26,,", nullptr, nullptr},  // "bad font width def"
      {u"std,13,5,xyz", u"Tahoma", " font=0/5x13"},
      {u"chi,20", u"Microsoft YaHei", " font=5/8x20"},
  };
  for (const FontCase& c : cases) {
    SCOPED_TRACE(twtest::Narrow(c.f));
    const std::string dump = DumpMarkup(u"<text f=" + std::u16string(c.f) + u"></text>");
    if (c.face == nullptr) {
      EXPECT_EQ(dump, "error: bad font width def");
    } else if (c.face != std::u16string(u"Tahoma") && !tw::FontFaceExists(c.face)) {
      EXPECT_EQ(dump, "error: bad font");
    } else {
      EXPECT_EQ(dump, std::string("box a=0\n  box a=0 fg=0") + c.dump + " br\n");
    }
  }
}

TEST(Markup, FontsStringsAndLanguagesShareTables) {
  sDocCompileContext context;
  context.currentLanguage = 0;
  ASSERT_TRUE(CompileMarkup(u"<link ref=a>x</link><b>y</b><link ref=b>z</link><link ref=a>w</link>", context).ok);
  context.currentLanguage = 2;
  ASSERT_TRUE(CompileMarkup(u"<b>q</b><link ref=b>r</link>", context).ok);
  EXPECT_EQ(context.nextStringId, 2);
  EXPECT_EQ(context.fontTable.GetSize(), 8u);
  cSiDocLoader loader;
  ASSERT_TRUE(LoadContext(context, loader));
  const auto& en = loader.GetContainer(0)->children;
  const auto& de = loader.GetContainer(2)->children;
  auto target = [](const std::unique_ptr<cSiDocBox>& b) { return static_cast<cSiDocLink*>(b.get())->target; };
  EXPECT_EQ(target(en[0]), target(en[3]));
  EXPECT_NE(target(en[0]), target(en[2]));
  EXPECT_EQ(target(en[2]), target(de[1]));
  EXPECT_EQ(static_cast<cSiDocText*>(en[1].get())->fontId, static_cast<cSiDocText*>(de[0].get())->fontId);
  // Compiling a language again replaces its body.
  context.currentLanguage = 0;
  ASSERT_TRUE(CompileMarkup(u"only", context).ok);
  ASSERT_TRUE(LoadContext(context, loader));
  EXPECT_EQ(loader.GetContainer(0)->children.size(), 1u);
}

// ---- Index file and text files ---------------------------------------------------

TEST(Index, ErrorsWithTheirLines) {
  struct IndexCase {
    const char16_t* text;
    const char* message;  // null: parses
    int32_t line;
  };
  const IndexCase cases[] = {
      {u"eng = \"a\"\r\n\n \tDEU=\"\"  \r\n", nullptr, 0},
      {u"\n\nxyz = \"a\"", "invalid lang code", 2},
      {u"english = \"a\"", "invalid lang code", 0},
      {u"eng \"a\"", "expected EQ sign after lang code", 0},
      {u"eng\n= \"a\"", "expected EQ sign after lang code", 0},
      {u"eng = a", "expected openning QUOTE sign after EQ", 0},
      {u"eng = \"a\nb\"", "expected openning QUOTE sign after end of path", 0},
      {u"eng = \"a", "expected openning QUOTE sign after end of path", 0},
      {u"eng = \"a\" x", "not expected anything after file path", 0},
      {u"eng = \"a\"\nfra = \"b\"\nENG = \"c\"", "lang already defined", 2},
  };
  tLanguageCodeMap codes(kPackedKeyDepthLimit);
  FillLanguageCodeMap(codes);
  for (const IndexCase& c : cases) {
    SCOPED_TRACE(twtest::Narrow(c.text));
    tDocumentIndex index(512);
    cDocCompileError error;
    const bool ok = ParseDocumentIndex(c.text, WideLength(c.text), codes, index, &error);
    EXPECT_EQ(ok, c.message == nullptr);
    if (c.message != nullptr) {
      EXPECT_STREQ(error.message.text, c.message);
      EXPECT_EQ(error.line, c.line);
      EXPECT_EQ(error.column, 0);
    }
  }
  tDocumentIndex index(512);
  ASSERT_TRUE(ParseDocumentIndex(cases[0].text, WideLength(cases[0].text), codes, index, nullptr));
  EXPECT_EQ(std::u16string(index.Find(0)->text), u"a");
  ASSERT_NE(index.Find(2), nullptr);
  EXPECT_TRUE(index.Find(2)->IsEmpty());
}

TEST(Index, CodeMapHoldsTheThirteenCodes) {
  tLanguageCodeMap codes(kPackedKeyDepthLimit);
  FillLanguageCodeMap(codes);
  const std::pair<const char*, int32_t> expected[] = {{"ENG", 0}, {"INV", 1}, {"DEU", 2}, {"JPN", 3}, {"KOR", 4},
                                                      {"FRA", 5}, {"UKR", 6}, {"ESP", 7}, {"CHN", 8}, {"TWN", 9},
                                                      {"TUR", 10}, {"POR", 11}, {"POL", 12}};
  int32_t count = 0;
  for (auto* n = codes.First(); n != nullptr; n = tLanguageCodeMap::Next(n)) ++count;
  EXPECT_EQ(count, 13);
  for (const auto& [code, id] : expected) {
    cPackedKey key;
    key.FromText(code, -1);
    ASSERT_NE(codes.Find(key), nullptr) << code;
    EXPECT_EQ(*codes.Find(key), id) << code;
  }
}

TEST(TextFile, EncodingsAndLimits) {
  struct TextCase {
    Bytes bytes;
    bool ok;
    std::u16string text;
  };
  const TextCase cases[] = {
      {Bytes{0xFF, 0xFE, 'a', 0, 0x1A, 0x04, 'z'}, true, u"a\u041a"},  // odd last byte ignored
      {Bytes{0xEF, 0xBB, 0xBF, 0xC3, 0xA9, 'x'}, true, u"\u00e9x"},
      {Bytes{'a', 0xC3, 0xA9}, true, u"a\u00e9"},
      {Bytes{0xFE, 0xFF, 0, 'a'}, true, std::u16string(u"\u00fe\u00ff\0a", 4)},  // no mark: UTF-8, bytes kept
      {Bytes{'a', 'b'}, false, u""},
      {Bytes{}, false, u""},
  };
  for (const TextCase& c : cases) {
    cBufWrapperIO stream(c.bytes.data(), static_cast<uint32_t>(c.bytes.size()));
    _typebuf<char16_t> text;
    const bool ok = ReadWholeTextFile(&stream, text);
    EXPECT_EQ(ok, c.ok);
    if (ok) {
      EXPECT_EQ(std::u16string(text.data, text.data + text.count), c.text);
    }
  }
  Bytes big(kMaxTextFileSize, 'a');
  cBufWrapperIO exact(big.data(), static_cast<uint32_t>(big.size()));
  _typebuf<char16_t> text;
  ASSERT_TRUE(ReadWholeTextFile(&exact, text));
  EXPECT_EQ(text.count, static_cast<int32_t>(kMaxTextFileSize));
  big.push_back('a');
  cBufWrapperIO over(big.data(), static_cast<uint32_t>(big.size()));
  EXPECT_FALSE(ReadWholeTextFile(&over, text));
  EXPECT_FALSE(ReadWholeTextFile(nullptr, text));
}

// ---- The driver ---------------------------------------------------------------------

class Driver : public ::testing::Test {
protected:
  std::string P(const std::string& name) const { return dir.path() + "/" + name; }
  twtest::TempDir dir;
  ScopedTestPictures pictures;
};

TEST_F(Driver, RoundTripOfTwoLanguages) {
  std::filesystem::create_directories(std::filesystem::u8path(P("docs/pics")));
  WriteFile(P("docs/pics/one.px"), TestPictureFile(3, 2, 0x10));
  WriteFile(P("docs/two.px"), TestPictureFile(4, 1, 0x20));
  WriteFile(P("docs/index.txt"), "\xEF\xBB\xBF pol = \"./pl.txt\"\r\neng=\"./en.txt\"\n\nfra = \"\"\n");
  WriteFile(P("docs/en.txt"),
            "<text ml=4 mr=5 mt=6 mb=7 w=300 h=20 br=0 fg=0x112233 bg=0x445566 a=j f=std,14,6,i>\n"
            "  Hello <b>bold</b> <i>it</i><br>next<lt>x\n"
            "</text>\n"
            "<link ref=\"http://a/\">go <img src=\"./pics/one.px\" w=10 h=8 ml=1 mr=2 mt=3 mb=4 bg=0x10></link>\n"
            "<img src=" + P("docs/two.px") + " br=0>\n");
  // UTF-16 with its mark; the same picture by another spelling of the path.
  std::u16string pl = u"<text a=c>Za\u017c\u00f3\u0142\u0107 <link ref='http://a/'><img src=\".\\pics\\one.px\"></link>"
                      u"</text>";
  Bytes plBytes{0xFF, 0xFE};
  for (char16_t ch : pl) Put16(plBytes, ch);
  WriteFile(P("docs/pl.txt"), plBytes);

  const Compiled c = Compile(P("docs/index.txt"));
  ASSERT_TRUE(c.ok) << c.message << " " << c.path << ":" << c.line << ":" << c.column;
  // Language blocks in ascending id order: English (0), then Polish (12).
  ASSERT_GT(c.bytes.size(), 13u);
  EXPECT_EQ(c.bytes[8], 0);

  cSiDocLoader loader;
  eDocLoadError reason;
  ASSERT_TRUE(LoadCompiledDocument(c.bytes.data(), static_cast<uint32_t>(c.bytes.size()), &loader, &reason))
      << DocLoadErrorText(reason);
  EXPECT_EQ(loader.GetContainer(5), nullptr);
  ASSERT_NE(loader.GetContainer(0), nullptr);
  ASSERT_NE(loader.GetContainer(12), nullptr);
  EXPECT_EQ(Dump(*loader.GetContainer(0), &loader),
            "box a=0\n"
            "  box a=3 fg=112233 font=0/6x14i bg=445566 m=4,5,6,7 w=300 h=20\n"
            "    text \"Hello\" fg=112233 font=0/6x14i\n"
            "    text \"bold\" fg=112233 font=0/7x14bi\n"
            "    text \"it\" fg=112233 font=0/6x14i\n"
            "    text br\n"
            "    text \"next\" fg=112233 font=0/6x14i\n"
            "    text \"<\"\n"
            "    text \"x\" fg=112233 font=0/6x14i\n"
            "  link \"go\" fg=FF0000 ->\"http://a/\"\n"
            "  piclink pic=0:3x2 ->\"http://a/\" bg=10 br m=1,2,3,4 w=10 h=8\n"
            "  picture pic=1:4x1\n");
  EXPECT_EQ(Dump(*loader.GetContainer(12), &loader),
            "box a=0\n"
            "  box a=2 fg=0 br\n"
            "    text \"Za\u017c\u00f3\u0142\u0107\" fg=0\n"
            "    piclink pic=0:3x2 ->\"http://a/\" br\n");
  // Shared tables: one string, two pictures, two fonts.
  EXPECT_EQ(loader.strings.Find(1), nullptr);
  EXPECT_EQ(loader.pictures.Find(2), nullptr);
  EXPECT_NE(loader.fonts.Find(1), nullptr);
  EXPECT_EQ(loader.fonts.Find(2), nullptr);
  // The pixels came through the picture table unchanged (top row first in
  // the file, bottom row first in memory).
  const cPicture* one = loader.pictures.Find(0)->get();
  EXPECT_EQ(one->GetPixels()[0], 0x10u + 3);
  EXPECT_EQ(one->GetPixels()[5], 0x10u + 2);
}

TEST_F(Driver, ShortPartsCompress) {
  // A body of one byte and a string table of two: a buffer of twice the
  // input cannot hold their zlib streams.
  WriteFile(P("index.txt"), "eng = \"./a.txt\"\ndeu = \"./b.txt\"");
  WriteFile(P("a.txt"), "   ");
  WriteFile(P("b.txt"), "<link>x</link>");
  const Compiled c = Compile(P("index.txt"));
  ASSERT_TRUE(c.ok) << c.message;
  cSiDocLoader loader;
  ASSERT_TRUE(LoadCompiledDocument(c.bytes.data(), static_cast<uint32_t>(c.bytes.size()), &loader));
  EXPECT_TRUE(loader.GetContainer(0)->children.empty());
  EXPECT_EQ(Dump(*loader.GetContainer(2), &loader), "box a=0\n  link \"x\" fg=FF0000 ->\"\"\n");
}

TEST_F(Driver, OnlyEmptyPathsGiveADocumentTheLoaderRefuses) {
  WriteFile(P("index.txt"), "eng = \"\"\n");
  const Compiled c = Compile(P("index.txt"));
  ASSERT_TRUE(c.ok);
  cSiDocLoader loader;
  eDocLoadError reason;
  EXPECT_FALSE(LoadCompiledDocument(c.bytes.data(), static_cast<uint32_t>(c.bytes.size()), &loader, &reason));
  EXPECT_EQ(reason, eDocLoadError::kNoLanguage);
}

TEST_F(Driver, Errors) {
  WriteFile(P("short.txt"), "ab");
  WriteFile(P("bad.txt"), "one\ntwo <b>three</i>");
  WriteFile(P("img.txt"), "<img src=./missing.png>");
  WriteFile(P("notpic.txt"), "x\n <img src='./index1.txt'>");
  WriteFile(P("badpng.png"), std::string("\x89PNG\r\n\x1a\n") + std::string(30, '\0'));
  WriteFile(P("badpng.txt"), "<img src='./badpng.png'>");
  struct DriverCase {
    const char* index;  // text of index<n>.txt; null: no index file
    const char* message;
    const char* path;  // relative to the folder
    int32_t line, column;
  };
  const DriverCase cases[] = {
      {nullptr, "Unable to open index", "index0.txt", 0, 0},
      {"x", "Unable to read idex", "index1.txt", 0, 0},
      {"eng = \"./a.txt\"\nzzz = \"\"", "invalid lang code", "index2.txt", 1, 0},
      {"eng = \"./nothing.txt\"", "Unable to open source file", "nothing.txt", 0, 0},
      {"eng = \"./short.txt\"", "Unable to read source as text file", "short.txt", 0, 0},
      {"eng = \"./bad.txt\"", "close tag mismatch", "bad.txt", 1, 16},
      {"eng = \"./img.txt\"", "unable to open IMG", "img.txt", 0, 23},
      {"eng = \"./notpic.txt\"", "unable to recognize IMG", "notpic.txt", 1, 25},
      {"eng = \"./badpng.txt\"", "unable to recognize IMG", "badpng.txt", 0, 24},
  };
  for (size_t i = 0; i < std::size(cases); ++i) {
    const DriverCase& c = cases[i];
    SCOPED_TRACE(c.message);
    const std::string index = P("index" + std::to_string(i) + ".txt");
    if (c.index != nullptr) WriteFile(index, c.index);
    const Compiled r = Compile(index);
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.message, c.message);
    EXPECT_EQ(r.path, P(c.path));
    EXPECT_EQ(r.line, c.line);
    EXPECT_EQ(r.column, c.column);
  }
}

TEST_F(Driver, TargetFailures) {
  WriteFile(P("index.txt"), "eng = \"./a.txt\"");
  WriteFile(P("a.txt"), "some words here");
  cDocCompileError error;
  EXPECT_FALSE(CompileDocument(nullptr, U16(P("index.txt")).c_str(), nullptr, &error));
  EXPECT_STREQ(error.message.text, "bad target");
  // A target that takes only the magic, then one that ends inside the body:
  // every write is checked.
  for (uint32_t room : {4u, 8u, 20u}) {
    std::vector<char> buffer(room);
    cBufWrapperIO target(buffer.data(), room, true);
    EXPECT_FALSE(CompileDocument(nullptr, U16(P("index.txt")).c_str(), &target, &error)) << room;
    EXPECT_STREQ(error.message.text, "Unable to write target") << room;
    EXPECT_TRUE(error.path.IsEmpty());
  }
}

TEST_F(Driver, RelativePathsNeedAFolder) {
  WriteFile(P("index.txt"), "eng = \"./a.txt\"");
  WriteFile(P("a.txt"), "words");
  const std::filesystem::path before = std::filesystem::current_path();
  std::filesystem::current_path(std::filesystem::u8path(dir.path()));
  cMemIOTarget target;
  cDocCompileError error;
#ifdef _WIN32
  // A bare name would become a "\\?\" path on Windows; ".\" keeps it
  // relative and still holds no "/".
  const char16_t* index = u".\\index.txt";
#else
  const char16_t* index = u"index.txt";
#endif
  const bool ok = CompileDocument(nullptr, index, &target, &error);
  std::filesystem::current_path(before);
  EXPECT_FALSE(ok);
  EXPECT_STREQ(error.message.text, "Path is specified as relative with no current folder");
  EXPECT_EQ(std::u16string(error.path.text), index);
}

TEST(SeedCorpus, EverySeedLoads) {
  // The loader fuzz target's seeds are valid documents, their PNG picture
  // included.
  for (const char* name : {"plain.doc", "two_languages.doc", "boxes.doc", "links.doc", "nested.doc"}) {
    const std::string bytes = twtest::ReadFileText(twtest::SourcePath(std::string("fuzz/corpus/sidoc_loader/") + name));
    cSiDocLoader loader;
    eDocLoadError reason;
    EXPECT_TRUE(LoadCompiledDocument(bytes.data(), static_cast<uint32_t>(bytes.size()), &loader, &reason))
        << name << ": " << DocLoadErrorText(reason);
  }
}

}  // namespace
