// The compiled-document loader over byte-level fixtures: every failure it
// must report, and how records become boxes.
#include "sidoc/loader.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "gui/font.h"
#include "sidoc/format.h"
#include "tests/sidoc/doc_bytes.h"
#include "tests/support/test_support.h"

namespace {

using namespace doctest;

eDocLoadError LoadReason(const Bytes& bytes, cSiDocLoader& loader) {
  eDocLoadError reason = eDocLoadError::kNone;
  const bool ok = LoadCompiledDocument(bytes.data(), static_cast<uint32_t>(bytes.size()), &loader, &reason);
  EXPECT_EQ(ok, reason == eDocLoadError::kNone);
  return reason;
}

Doc OneBody(const Bytes& records) {
  Doc d;
  d.bodies = {{0, records}};
  return d;
}

Bytes WithoutLast(Bytes b, size_t n = 1) {
  b.resize(b.size() - n);
  return b;
}

struct FailureCase {
  const char* what;
  Bytes bytes;
  eDocLoadError expected;
};

std::vector<FailureCase> FailureCases() {
  const Bytes good = OneBody(Cat({Text("hi"), kEnd})).Build();
  std::vector<FailureCase> cases;
  cases.push_back({"12 bytes", Bytes(good.begin(), good.begin() + 12), eDocLoadError::kTooShort});
  {
    Bytes b = good;
    b[7] = 'G';
    cases.push_back({"wrong magic", b, eDocLoadError::kBadMagic});
  }
  cases.push_back({"first language id 0xFF", Doc{}.Build(), eDocLoadError::kNoLanguage});
  {
    Doc d;
    d.bodies = {{3, Cat({Text("a"), kEnd})}, {3, Cat({Text("b"), kEnd})}};
    cases.push_back({"language named twice", d.Build(), eDocLoadError::kRepeatedLanguage});
  }
  {
    // magic, language 0, body length 0, then a valid rest
    Bytes b = Str("QXVHDOCF");
    b.push_back(0);
    Put32(b, 0);
    b.push_back(0xFF);
    for (int i = 0; i < 3; ++i) Put32(b, 0);
    cases.push_back({"body length 0", b, eDocLoadError::kBadBodyLength});
  }
  {
    Bytes b = Str("QXVHDOCF");
    b.push_back(0);
    Put32(b, 1000);
    b.insert(b.end(), 20, 0);
    cases.push_back({"body length beyond the data", b, eDocLoadError::kBadBodyLength});
  }
  {
    // the language list never ends
    Bytes b = Str("QXVHDOCF");
    const Bytes z = Zlib(Cat({Text("a"), kEnd}));
    b.push_back(0);
    Put32(b, static_cast<uint32_t>(z.size()));
    b.insert(b.end(), z.begin(), z.end());
    cases.push_back({"no end of languages", b, eDocLoadError::kTruncated});
    b.push_back(0xFF);
    b.push_back(0);
    b.push_back(0);
    cases.push_back({"font table length cut", b, eDocLoadError::kTruncated});
  }
  cases.push_back({"picture table length cut", WithoutLast(good), eDocLoadError::kTruncated});
  {
    Doc d = OneBody(Cat({Text("a"), kEnd}));
    d.fonts = Bytes(12, 0);
    cases.push_back({"font table of 12 bytes", d.Build(), eDocLoadError::kBadFontTable});
  }
  {
    Bytes b = OneBody(Cat({Text("a"), kEnd})).Build();
    // the font table's length (just after the 0xFF) made larger than the rest
    const size_t at = b.size() - 12;
    b[at] = 0xF0;
    cases.push_back({"font table longer than the data", b, eDocLoadError::kBadTableLength});
  }
  {
    Doc d = OneBody(Cat({Text("a"), kEnd}));
    d.strings = Cat({StringEntry("x"), Bytes{0x41}});
    cases.push_back({"string table with a stray byte", d.Build(), eDocLoadError::kBadStringTable});
    d.strings = Bytes{5, 0, 'a', 'b'};
    cases.push_back({"string longer than the table", d.Build(), eDocLoadError::kBadStringTable});
  }
  {
    Bytes b = good;
    b[b.size() - 4] = 9;  // picture table of 9 bytes, none there
    cases.push_back({"picture table longer than the data", b, eDocLoadError::kBadTableLength});
  }
  {
    Doc d = OneBody(Cat({Text("a"), kEnd}));
    d.pictures = PictureEntry(Str("not a picture"));
    cases.push_back({"unrecognised picture", d.Build(), eDocLoadError::kBadPicture});
    d.pictures = PictureEntry(Str("TWBAD"));
    cases.push_back({"picture that does not decode", d.Build(), eDocLoadError::kBadPicture});
    d.pictures = PictureEntry(TestPictureFile(0, 0, 0));
    cases.push_back({"picture without pixels", d.Build(), eDocLoadError::kBadPicture});
    d.pictures = Cat({PictureEntry(TestPictureFile(1, 1, 0)), Bytes{1, 0}});
    cases.push_back({"picture entry length cut", d.Build(), eDocLoadError::kBadPicture});
    d.pictures = Bytes{200, 0, 0, 0, 'x'};
    cases.push_back({"picture entry longer than the table", d.Build(), eDocLoadError::kBadPicture});
  }
  {
    Doc d;
    d.precompressed = true;
    d.bodies = {{0, Str("not zlib at all")}};
    cases.push_back({"body that inflates to nothing", d.Build(), eDocLoadError::kEmptyBody});
  }
  cases.push_back({"record type 5", OneBody(Bytes{5, 0xFF}).Build(), eDocLoadError::kBadRecord});
  cases.push_back({"text record cut", OneBody(WithoutLast(Text(""))).Build(),
                   eDocLoadError::kBadRecord});
  cases.push_back({"text running past the body", OneBody(WithoutLast(Text("abc"), 1)).Build(),
                   eDocLoadError::kBadRecord});
  cases.push_back({"box record cut", OneBody(WithoutLast(Box(), 1)).Build(), eDocLoadError::kBadRecord});
  cases.push_back({"picture link without its target", OneBody(WithoutLast(PictureLink(0xFFFF, 0), 2)).Build(),
                   eDocLoadError::kBadRecord});
  cases.push_back({"link to a missing string", OneBody(Cat({Link("a", 0), kEnd})).Build(),
                   eDocLoadError::kMissingId});
  {
    Doc d = OneBody(Cat({PictureLink(0xFFFF, 0xFFFF), kEnd}));
    d.strings = StringEntry("t");
    cases.push_back({"picture link with target 0xFFFF", d.Build(), eDocLoadError::kMissingId});
  }
  cases.push_back({"missing picture id", OneBody(Cat({Picture(0), kEnd})).Build(), eDocLoadError::kMissingId});
  cases.push_back({"body without its 0xFF", OneBody(Text("a")).Build(), eDocLoadError::kUnclosedBody});
  cases.push_back({"box without its 0xFF", OneBody(Cat({Box(), Text("a"), kEnd})).Build(),
                   eDocLoadError::kUnclosedBody});
  {
    Bytes deep;
    for (int i = 0; i <= sidoc::kMaxBoxNesting; ++i) deep = Cat({deep, Box()});
    for (int i = 0; i <= sidoc::kMaxBoxNesting + 1; ++i) deep = Cat({deep, kEnd});
    cases.push_back({"boxes nested one too deep", OneBody(deep).Build(), eDocLoadError::kTooDeep});
  }
  return cases;
}

TEST(Loader, EveryFailureIsReportedWithItsReason) {
  ScopedTestPictures pictures;
  for (const FailureCase& c : FailureCases()) {
    SCOPED_TRACE(c.what);
    cSiDocLoader loader;
    EXPECT_EQ(LoadReason(c.bytes, loader), c.expected) << DocLoadErrorText(LoadReason(c.bytes, loader));
  }
  cSiDocLoader loader;
  eDocLoadError reason = eDocLoadError::kNone;
  EXPECT_FALSE(LoadCompiledDocument(nullptr, 100, &loader, &reason));
  EXPECT_EQ(reason, eDocLoadError::kNoData);
  const Bytes good = OneBody(Cat({Text("hi"), kEnd})).Build();
  EXPECT_FALSE(LoadCompiledDocument(good.data(), static_cast<uint32_t>(good.size()), nullptr));
}

// Every prefix of a valid document fails cleanly, whatever byte it stops at.
TEST(Loader, EveryTruncationFails) {
  ScopedTestPictures pictures;
  Doc d;
  d.bodies = {{0, Cat({Box(3), Text("a"), Link("b", 0), Picture(0), kEnd, kEnd})}, {7, Cat({Text("c"), kEnd})}};
  d.fonts = FontRecord(1, 5, 13, 1);
  d.strings = StringEntry("target");
  d.pictures = PictureEntry(TestPictureFile(2, 2, 7));
  const Bytes whole = d.Build();
  cSiDocLoader loader;
  ASSERT_EQ(LoadReason(whole, loader), eDocLoadError::kNone);
  for (size_t n = 0; n < whole.size(); ++n) {
    const Bytes cut(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(n));
    EXPECT_NE(LoadReason(cut, loader), eDocLoadError::kNone) << "prefix of " << n << " bytes";
  }
}

TEST(Loader, DeepestAllowedNestingLoads) {
  Bytes deep;
  for (int i = 0; i < sidoc::kMaxBoxNesting; ++i) deep = Cat({deep, Box()});
  deep = Cat({deep, Text("x")});
  for (int i = 0; i <= sidoc::kMaxBoxNesting; ++i) deep = Cat({deep, kEnd});
  cSiDocLoader loader;
  ASSERT_EQ(LoadReason(OneBody(deep).Build(), loader), eDocLoadError::kNone);
  const cSiDocBox* box = loader.GetContainer(0);
  int depth = 0;
  while (box->Kind() == eSiDocBoxKind::kContainer) {
    box = static_cast<const cSiDocContainer*>(box)->children.at(0).get();
    ++depth;
  }
  EXPECT_EQ(depth, sidoc::kMaxBoxNesting + 1);  // the root and its nested boxes
}

TEST(Loader, BodyInflationIsCapped) {
  Bytes huge(static_cast<size_t>(sidoc::kMaxInflatedSize) + 1, 0xFF);
  Doc d;
  d.precompressed = true;
  d.bodies = {{0, twtest::Deflate(huge, 15, 9)}};
  huge = Bytes();
  cSiDocLoader loader;
  EXPECT_EQ(LoadReason(d.Build(), loader), eDocLoadError::kBodyTooLarge);
}

TEST(Loader, TablesAndOptionalParts) {
  ScopedTestPictures pictures;
  Doc d;
  d.bodies = {{2, Cat({Link("x", 0xFFFF), Text(""), Picture(1), kEnd, Str("ignored")})}};
  d.compressEmptyTables = true;  // a font table that inflates to 0 bytes
  d.strings = Cat({StringEntry(""), StringEntry("zwei")});
  // an empty entry takes no id: the second picture gets id 1
  d.pictures = Cat({PictureEntry(TestPictureFile(1, 1, 5)), Bytes{0, 0, 0, 0}, PictureEntry(TestPictureFile(3, 2, 9))});
  Bytes bytes = d.Build();
  bytes.insert(bytes.end(), {1, 2, 3});  // after the picture table: ignored
  cSiDocLoader loader;
  ASSERT_EQ(LoadReason(bytes, loader), eDocLoadError::kNone);
  EXPECT_TRUE(loader.fonts.IsEmpty());
  ASSERT_NE(loader.strings.Find(0), nullptr);
  EXPECT_TRUE(loader.strings.Find(0)->IsEmpty());
  EXPECT_EQ(std::u16string(loader.strings.Find(1)->text), u"zwei");
  ASSERT_NE(loader.pictures.Find(1), nullptr);
  EXPECT_EQ(loader.pictures.Find(1)->get()->GetWidth(), 3);
  EXPECT_EQ(loader.pictures.Find(2), nullptr);
  EXPECT_EQ(loader.GetContainer(0), nullptr);

  const cSiDocContainer* root = loader.GetContainer(2);
  ASSERT_NE(root, nullptr);
  ASSERT_EQ(root->children.size(), 3u);
  const auto* link = static_cast<const cSiDocLink*>(root->children[0].get());
  EXPECT_EQ(link->Kind(), eSiDocBoxKind::kLink);
  EXPECT_EQ(link->target, nullptr);
  const auto* empty = static_cast<const cSiDocText*>(root->children[1].get());
  EXPECT_EQ(empty->Kind(), eSiDocBoxKind::kText);
  EXPECT_TRUE(empty->text.IsEmpty());
  EXPECT_FALSE(empty->IsWord());
  const auto* image = static_cast<const cSiDocImage*>(root->children[2].get());
  EXPECT_EQ(image->picture, loader.pictures.Find(1)->get());
}

TEST(Loader, RecordFieldsBecomeBoxFields) {
  Doc d;
  Head h;
  h.background = 0x00123456;
  h.brk = 7;
  h.ml = 1, h.mr = 2, h.mt = 3, h.mb = 65535;
  h.w = 300, h.h = 0;
  Head picture;
  picture.w = 0xFFFF, picture.h = 40;
  d.bodies = {{0, Cat({Box(3, 0, 0x00ABCDEF, h), Link("wörd", 1, 0, 0x00FF0000), PictureLink(0xFFFF, 0, picture),
                       kEnd, Box(9), kEnd, kEnd})}};
  d.fonts = FontRecord(0, 7, 15, sidoc::kStyleBold | sidoc::kStyleUnderline);
  d.strings = Cat({StringEntry("a"), StringEntry("http://x/")});
  cSiDocLoader loader;
  ASSERT_EQ(LoadReason(d.Build(), loader), eDocLoadError::kNone);

  const cSiDocContainer* root = loader.GetContainer(0);
  ASSERT_EQ(root->children.size(), 2u);
  const auto* box = static_cast<const cSiDocContainer*>(root->children[0].get());
  EXPECT_EQ(box->background, 0x00123456);
  EXPECT_EQ(box->lineBreak, 1);
  EXPECT_EQ(box->marginLeft, 1);
  EXPECT_EQ(box->marginRight, 2);
  EXPECT_EQ(box->marginTop, 3);
  EXPECT_EQ(box->marginBottom, 65535);
  EXPECT_EQ(box->width, 300);
  EXPECT_EQ(box->height, -1);
  EXPECT_EQ(box->foreground, 0x00ABCDEF);
  EXPECT_EQ(box->fontProvider, &loader);
  EXPECT_EQ(box->fontId, 0);
  EXPECT_EQ(box->alignment, 3);
  ASSERT_EQ(box->children.size(), 2u);
  const auto* link = static_cast<const cSiDocLink*>(box->children[0].get());
  EXPECT_EQ(std::u16string(link->text.text), u"wörd");
  EXPECT_EQ(link->target, loader.strings.Find(1)->text);
  EXPECT_EQ(link->foreground, 0x00FF0000);
  EXPECT_EQ(link->background, -1);
  EXPECT_EQ(link->width, -1);
  const auto* plink = static_cast<const cSiDocImageLink*>(box->children[1].get());
  EXPECT_EQ(plink->Kind(), eSiDocBoxKind::kImageLink);
  EXPECT_EQ(plink->picture, nullptr);
  EXPECT_EQ(plink->target, loader.strings.Find(0)->text);
  EXPECT_EQ(plink->width, -1);
  EXPECT_EQ(plink->height, 40);
  // An alignment outside 0..3 is stored as read (layout refuses it).
  const auto* odd = static_cast<const cSiDocContainer*>(root->children[1].get());
  EXPECT_EQ(odd->alignment, 9);
  EXPECT_EQ(odd->fontProvider, nullptr);
  EXPECT_TRUE(odd->children.empty());

  cFontObject* font = loader.GetFont(0);
  ASSERT_NE(font, nullptr);
  EXPECT_EQ(std::u16string(font->face.text), std::u16string(GetUIFaceName()));
  EXPECT_EQ(font->width, 7);
  EXPECT_EQ(font->height, 15);
  EXPECT_EQ(font->bold, 1);
  EXPECT_EQ(font->underline, 1);
  EXPECT_EQ(font->italic, 0);
  EXPECT_EQ(loader.GetFont(1), nullptr);
}

TEST(Loader, FontFacesAndUnknownFaceCodes) {
  Doc d = OneBody(Cat({Text("a"), kEnd}));
  d.fonts = Cat({FontRecord(0, 5, 13, sidoc::kStyleItalic), FontRecord(7, 5, 13, 0)});
  cSiDocLoader loader;
  ASSERT_EQ(LoadReason(d.Build(), loader), eDocLoadError::kNone);
  cFontObject* ui = loader.GetFont(0);
  ASSERT_NE(ui, nullptr);
  EXPECT_EQ(std::u16string(ui->face.text), std::u16string(GetUIFaceName()));
  EXPECT_EQ(ui->italic, 1);
  EXPECT_EQ(loader.GetFont(1), nullptr);  // face code 7
}

TEST(Loader, FaceCodesNameTheirFaces) {
  const char16_t* expected[] = {GetUIFaceName(), u"Courier New", u"Malgun Gothic", u"Verdana",
                                u"Lucida Sans", u"Microsoft YaHei", u"PMingLiU"};
  for (int32_t code = 0; code <= sidoc::kMaxFaceCode; ++code)
    EXPECT_EQ(std::u16string(sidoc::FaceName(code)), std::u16string(expected[code])) << code;
  EXPECT_EQ(sidoc::FaceName(7), nullptr);
  EXPECT_EQ(sidoc::FaceName(-1), nullptr);
}

TEST(Loader, ASecondLoadLeavesNothingOfTheFirst) {
  ScopedTestPictures pictures;
  Doc first;
  first.bodies = {{0, Cat({Text("one"), kEnd})}, {5, Cat({Text("un"), kEnd})}};
  first.fonts = FontRecord(1, 5, 13, 0);
  first.strings = StringEntry("s");
  first.pictures = PictureEntry(TestPictureFile(1, 1, 1));
  Doc second;
  second.bodies = {{6, Cat({Text("two"), kEnd})}};
  cSiDocLoader loader;
  ASSERT_EQ(LoadReason(first.Build(), loader), eDocLoadError::kNone);
  ASSERT_EQ(LoadReason(second.Build(), loader), eDocLoadError::kNone);
  EXPECT_EQ(loader.GetContainer(0), nullptr);
  EXPECT_EQ(loader.GetContainer(5), nullptr);
  ASSERT_NE(loader.GetContainer(6), nullptr);
  EXPECT_TRUE(loader.fonts.IsEmpty());
  EXPECT_TRUE(loader.strings.IsEmpty());
  EXPECT_TRUE(loader.pictures.IsEmpty());
  // A failed load empties too.
  EXPECT_NE(LoadReason(Bytes(5, 0), loader), eDocLoadError::kNone);
  EXPECT_TRUE(loader.containers.IsEmpty());
}

TEST(Loader, LanguageIdsUpTo254) {
  Doc d;
  d.bodies = {{254, Cat({Text("x"), kEnd})}, {12, Cat({Text("y"), kEnd})}};
  cSiDocLoader loader;
  ASSERT_EQ(LoadReason(d.Build(), loader), eDocLoadError::kNone);
  EXPECT_NE(loader.GetContainer(254), nullptr);
  EXPECT_NE(loader.GetContainer(12), nullptr);
}

}  // namespace
