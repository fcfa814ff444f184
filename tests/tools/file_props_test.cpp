// File property bags: a real program file made by the mingw tool chain and
// windres (version strings, icons of five sizes), program files built here
// byte by byte for the edge cases and for malformed resources (addresses
// outside the resource section, icons without size, version nodes that lie
// about their lengths), the version-string walk on its own, and picture
// files through the picture factory.
#include "tools/file_props.h"

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <functional>
#include <ostream>
#include <iterator>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "base/memio.h"
#include "tests/support/png_writer.h"
#include "tests/support/test_support.h"
#ifdef _WIN32
#include "tests/support/capture.h"
#endif

namespace {

using Bytes = std::vector<uint8_t>;

void Put16(Bytes& b, uint32_t v) {
  b.push_back(static_cast<uint8_t>(v));
  b.push_back(static_cast<uint8_t>(v >> 8));
}
void Put32(Bytes& b, uint32_t v) {
  Put16(b, v & 0xFFFF);
  Put16(b, v >> 16);
}
void Set32(Bytes& b, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) b[at + i] = static_cast<uint8_t>(v >> (8 * i));
}
void Pad4(Bytes& b) {
  while (b.size() % 4 != 0) b.push_back(0);
}
void PutText(Bytes& b, const std::u16string& s) {
  for (char16_t c : s) Put16(b, c);
  Put16(b, 0);
}

// ---- Version resources ----

// One node of a version resource: head, key, padding, value, padding,
// children. The node's own trailing padding is left to its parent.
struct Node {
  std::u16string key;
  Bytes value;            // raw value bytes
  uint16_t valueLength;   // as written in the head
  uint16_t type;
  std::vector<Node> children;
  bool padLastChild = true;  // the padding after the last child
};

Bytes Build(const Node& n) {
  Bytes b(6, 0);
  PutText(b, n.key);
  Pad4(b);
  b.insert(b.end(), n.value.begin(), n.value.end());
  if (!n.children.empty()) Pad4(b);
  for (size_t i = 0; i < n.children.size(); ++i) {
    const Bytes c = Build(n.children[i]);
    b.insert(b.end(), c.begin(), c.end());
    if (i + 1 < n.children.size() || n.padLastChild) Pad4(b);
  }
  // wLength does not count the node's trailing padding, except what the
  // children added.
  b[0] = static_cast<uint8_t>(b.size());
  b[1] = static_cast<uint8_t>(b.size() >> 8);
  b[2] = static_cast<uint8_t>(n.valueLength);
  b[3] = static_cast<uint8_t>(n.valueLength >> 8);
  b[4] = static_cast<uint8_t>(n.type);
  return b;
}

Node Str(const std::u16string& key, const std::u16string& text) {
  Node n{key, {}, static_cast<uint16_t>(text.size() + 1), 1, {}};
  PutText(n.value, text);
  return n;
}
Node Block(const std::u16string& key, std::vector<Node> children, bool padLast = true) {
  Node n{key, {}, 0, 1, std::move(children)};
  n.padLastChild = padLast;
  return n;
}

Bytes FixedInfo() {
  Bytes b;
  Put32(b, 0xFEEF04BD);
  Put32(b, 0x00010000);
  for (int i = 0; i < 11; ++i) Put32(b, 0);
  return b;  // 52 bytes
}

// A whole VS_VERSIONINFO with one string table.
Bytes VersionResource(std::vector<Node> strings, bool padLast = true) {
  Node translation{u"Translation", {0x09, 0x04, 0xB0, 0x04}, 4, 0, {}};
  Node root{u"VS_VERSION_INFO", FixedInfo(), 52, 0,
            {Block(u"StringFileInfo", {Block(u"040904B0", std::move(strings), padLast)}, padLast),
             Block(u"VarFileInfo", {translation})}};
  return Build(root);
}

// ---- Program files ----

struct Resource {
  uint32_t type, id, language;
  Bytes data;
};

struct sPe {
  Bytes bytes;
  std::vector<size_t> dataEntryAt;  // file offset of each resource's data entry, in input order
  uint32_t sectionVa = 0x1000;
  uint32_t rawPointer = 0x200;
};

constexpr uint32_t kPeAt = 0x80;

// DOS header, PE header at 0x80 (stamp as given), an optional header of
// 0xE0 zero bytes, one section named name with the resources' tree at file
// offset 0x200 and virtual address 0x1000.
sPe MakePe(const std::vector<Resource>& resources, uint32_t stamp = 0x5F5E1000, const char* name = ".rsrc") {
  sPe pe;
  Bytes& b = pe.bytes;
  b.assign(0x200, 0);
  b[0] = 'M', b[1] = 'Z';
  Set32(b, 60, kPeAt);
  Set32(b, kPeAt, 0x00004550);
  b[kPeAt + 4] = 0x4C, b[kPeAt + 5] = 0x01;  // i386
  b[kPeAt + 6] = 1;                          // one section
  Set32(b, kPeAt + 8, stamp);
  b[kPeAt + 20] = 0xE0;  // optional header size
  const size_t sec = kPeAt + 24 + 0xE0;
  std::memcpy(&b[sec], name, std::strlen(name));

  // The tree: types -> ids -> languages, in ascending order as windres
  // writes it.
  std::map<uint32_t, std::map<uint32_t, std::map<uint32_t, size_t>>> tree;
  for (size_t i = 0; i < resources.size(); ++i)
    tree[resources[i].type][resources[i].id][resources[i].language] = i;
  Bytes r;
  auto dir = [&](size_t count) {
    const size_t at = r.size();
    r.resize(at + 16 + 8 * count, 0);
    r[at + 14] = static_cast<uint8_t>(count);
    return at;
  };
  std::vector<size_t> dataEntries(resources.size());
  const size_t root = dir(tree.size());
  size_t ti = 0;
  for (auto& [type, ids] : tree) {
    const size_t names = dir(ids.size());
    Set32(r, root + 16 + 8 * ti, type);
    Set32(r, root + 20 + 8 * ti, 0x80000000u | static_cast<uint32_t>(names));
    ++ti;
    size_t ni = 0;
    for (auto& [id, languages] : ids) {
      const size_t langs = dir(languages.size());
      Set32(r, names + 16 + 8 * ni, id);
      Set32(r, names + 20 + 8 * ni, 0x80000000u | static_cast<uint32_t>(langs));
      ++ni;
      size_t li = 0;
      for (auto& [language, index] : languages) {
        const size_t entry = r.size();
        r.resize(entry + 16, 0);
        Set32(r, langs + 16 + 8 * li, language);
        Set32(r, langs + 20 + 8 * li, static_cast<uint32_t>(entry));
        dataEntries[index] = entry;
        ++li;
      }
    }
  }
  for (size_t i = 0; i < resources.size(); ++i) {
    Pad4(r);
    Set32(r, dataEntries[i], pe.sectionVa + static_cast<uint32_t>(r.size()));
    Set32(r, dataEntries[i] + 4, static_cast<uint32_t>(resources[i].data.size()));
    r.insert(r.end(), resources[i].data.begin(), resources[i].data.end());
    pe.dataEntryAt.push_back(pe.rawPointer + dataEntries[i]);
  }
  Pad4(r);
  Set32(b, sec + 8, static_cast<uint32_t>(r.size()));
  Set32(b, sec + 12, pe.sectionVa);
  Set32(b, sec + 16, static_cast<uint32_t>(r.size()));
  Set32(b, sec + 20, pe.rawPointer);
  b.insert(b.end(), r.begin(), r.end());
  return pe;
}

// An icon image as RT_ICON stores it: a 40-byte header of the doubled
// height, 32-bit colour rows of one colour, then the AND mask.
Bytes DibIcon(int32_t w, int32_t h, uint32_t colour) {
  Bytes b;
  Put32(b, 40);
  Put32(b, static_cast<uint32_t>(w));
  Put32(b, static_cast<uint32_t>(2 * h));
  Put16(b, 1);
  Put16(b, 32);
  for (int i = 0; i < 6; ++i) Put32(b, 0);
  for (int i = 0; i < w * h; ++i) Put32(b, colour);
  const int maskRow = ((w + 31) / 32) * 4;
  b.resize(b.size() + static_cast<size_t>(maskRow) * (h > 0 ? h : 0), 0);
  return b;
}

Bytes PngIcon(uint32_t side) {
  return twtest::EncodePng(twtest::MakeTestImage(side, side, 6, 8, 7));
}

struct sPicSize {
  int32_t width, height;
  bool operator==(const sPicSize&) const = default;
};
std::ostream& operator<<(std::ostream& o, const sPicSize& s) { return o << s.width << "x" << s.height; }

// A bag made and loaded from bytes with the wanted size.
struct sLoaded {
  Bytes bytes;
  std::unique_ptr<cBufWrapperIO> io;
  std::unique_ptr<cFileObjectProps> bag;
  bool loaded = false;

  sLoaded(Bytes b, int32_t w, int32_t h, bool wantPicture = true) : bytes(std::move(b)) {
    io = std::make_unique<cBufWrapperIO>(bytes.data(), static_cast<uint32_t>(bytes.size()));
    bag = CreateFileObjectProps(io.get());
    if (bag == nullptr) return;
    bag->wantedWidth = w;
    bag->wantedHeight = h;
    loaded = bag->Load(io.get(), nullptr, wantPicture);
  }
  std::string Str(int32_t id) const {
    const _guardchar<char16_t>* s = bag != nullptr ? bag->strings.Find(id) : nullptr;
    return s == nullptr ? "<none>" : twtest::Narrow(s->text != nullptr ? s->text : u"");
  }
  sPicSize Picture() const {
    cPictDummy* p = FindPictureKey3(bag.get());
    return p == nullptr ? sPicSize{-1, -1} : sPicSize{p->GetWidth(), p->GetHeight()};
  }
  // Top-left pixel of picture 3 (rows are stored bottom-up).
  uint32_t TopLeft() const {
    cPictDummy* p = FindPictureKey3(bag.get());
    return p->Pixels32().data[static_cast<size_t>(p->GetHeight() - 1) * p->GetWidth()];
  }
};

Bytes ReadFixture() {
#ifdef _WIN32
  const std::string path = twtest::BinaryPath(TW_PROPS_FIXTURE);
#else
  const std::string path = TW_PROPS_FIXTURE;
#endif
  std::ifstream in(path, std::ios::binary);
  return Bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

std::vector<Node> FullStrings() {
  return {Str(u"CompanyName", u"Acme"), Str(u"FileDescription", u"Acme tool"), Str(u"FileVersion", u"1.2.3.4"),
          Str(u"LegalCopyright", u"(c) Acme"), Str(u"ProductName", u"Acme Suite"),
          Str(u"ProductVersion", u"1.2")};
}

// ---- The real program file ----

TEST(FileProps, ProgramFileFromTheToolChain) {
  const Bytes exe = ReadFixture();
  ASSERT_GT(exe.size(), 1024u) << "the fixture program " << TW_PROPS_FIXTURE;
  sLoaded b(exe, 48, 48);
  ASSERT_NE(b.bag, nullptr);
  EXPECT_EQ(b.bag->GetType(), kFileTypeExecutable);
  ASSERT_TRUE(b.loaded);
  EXPECT_EQ(b.Str(kPropStringName), "Props Fixture");
  EXPECT_EQ(b.Str(kPropStringDescription), "Property bag fixture");
  EXPECT_EQ(b.Str(kPropStringCompany), "Tarnwick Test Works");
  EXPECT_EQ(b.Str(kPropStringCopyright), "(c) 2026 Tarnwick Test Works");
  EXPECT_EQ(b.Str(kPropStringVersion), "2.5");
  EXPECT_NE(b.bag->timestamps.Find(kPropTimeLinked), nullptr) << "the linker stamps the file";
  // Icons of 16, 24, 32, 48 and 256 (PNG) pixels.
  struct Case {
    int32_t w, h;
    sPicSize expected;
  } cases[] = {
      {16, 16, {16, 16}},    // the 24-pixel icon (half of it below 16), shrunk
      {48, 48, {48, 48}},    // 48 unscaled
      {-1, -1, {256, 256}},  // no limit: the largest
      {20, -1, {20, 20}},    // 32 fits (16 < 20), shrunk to 20
      {0, 0, {-1, -1}},      // no picture wanted
      {0, 48, {-1, -1}},
  };
  for (const Case& c : cases) {
    sLoaded l(exe, c.w, c.h);
    EXPECT_TRUE(l.loaded);
    EXPECT_EQ(l.Picture(), c.expected) << c.w << " x " << c.h;
  }
  // Clear and load again, as the manager takes two sizes from one file.
  b.bag->Clear();
  EXPECT_EQ(b.bag->wantedWidth, -1);
  EXPECT_TRUE(b.bag->strings.IsEmpty());
  EXPECT_EQ(FindPictureKey3(b.bag.get()), nullptr);
  EXPECT_NE(b.bag->timestamps.Find(kPropTimeLinked), nullptr) << "timestamps stay";
  b.bag->wantedWidth = b.bag->wantedHeight = 16;
  ASSERT_TRUE(b.bag->Load(b.io.get(), nullptr, true));
  EXPECT_EQ(b.Picture(), (sPicSize{16, 16}));
}

// ---- Headers ----

TEST(FileProps, HeadersDecideWhetherThereIsABag) {
  const Resource version{16, 1, 0x409, VersionResource(FullStrings())};
  struct Case {
    const char* what;
    Bytes bytes;
    bool bag;
  };
  std::vector<Case> cases;
  cases.push_back({"good", MakePe({version}).bytes, true});
  {
    Bytes b = MakePe({version}).bytes;
    Set32(b, 60, 60);
    cases.push_back({"PE header offset 60", b, false});
  }
  cases.push_back({"no .rsrc section", MakePe({version}, 1, ".data").bytes, false});
  {
    Bytes b = MakePe({version}).bytes;
    Set32(b, kPeAt + 24 + 0xE0 + 16, 0);
    cases.push_back({".rsrc raw size 0", b, false});
  }
  {
    Bytes b = MakePe({version}).bytes;
    b[kPeAt + 1] = 'X';
    cases.push_back({"no PE signature", b, false});
  }
  {
    Bytes b = MakePe({version}).bytes;
    b[kPeAt + 6] = 0;
    cases.push_back({"no sections", b, false});
  }
  {
    Bytes b = MakePe({version}, 1, ".data").bytes;
    b[kPeAt + 6] = 0xFF, b[kPeAt + 7] = 0xFF;
    cases.push_back({"section table past the end", b, false});
  }
  cases.push_back({"MZ alone", Bytes{'M', 'Z'}, false});
  cases.push_back({"nothing", Bytes{}, false});
  for (const Case& c : cases) {
    sLoaded l(c.bytes, 16, 16);
    EXPECT_EQ(l.bag != nullptr, c.bag) << c.what;
    if (l.bag != nullptr) EXPECT_TRUE(l.loaded) << c.what;
  }
  EXPECT_EQ(CreateFileObjectProps(nullptr), nullptr);
}

// ---- Version strings through the bag ----

TEST(FileProps, VersionStringsChooseNameAndVersion) {
  struct Case {
    const char* what;
    std::vector<Node> strings;
    const char *name, *description, *version;
  } cases[] = {
      {"all", FullStrings(), "Acme Suite", "Acme tool", "1.2"},
      {"no product name", {Str(u"FileDescription", u"Acme tool"), Str(u"FileVersion", u"1.2.3.4")}, "Acme tool",
       "<none>", "1.2.3.4"},
      {"padded", {Str(u"ProductName", u"Acme   "), Str(u"ProductVersion", std::u16string(u"3.0\0\0", 5))}, "Acme",
       "<none>", "3.0"},
      {"one character keeps nothing", {Node{u"ProductName", {'X', 0}, 1, 1, {}}}, "", "<none>", "<none>"},
      {"binary values are skipped", {Node{u"ProductName", {'X', 0, 'Y', 0, 0, 0}, 3, 0, {}}}, "<none>", "<none>",
       "<none>"},
  };
  for (const Case& c : cases) {
    sLoaded l(MakePe({{16, 1, 0x409, VersionResource(c.strings)}}).bytes, 0, 0);
    ASSERT_TRUE(l.loaded) << c.what;
    EXPECT_EQ(l.Str(kPropStringName), c.name) << c.what;
    EXPECT_EQ(l.Str(kPropStringDescription), c.description) << c.what;
    EXPECT_EQ(l.Str(kPropStringVersion), c.version) << c.what;
    EXPECT_EQ(l.Picture(), (sPicSize{-1, -1})) << c.what;
  }
}

TEST(FileProps, LinkTimeDropsTheTopBit) {
  sLoaded l(MakePe({}, 0x80000000u | 86400u).bytes, 0, 0);
  ASSERT_TRUE(l.loaded);
  const sDateTime* t = l.bag->timestamps.Find(kPropTimeLinked);
  ASSERT_NE(t, nullptr);
  EXPECT_EQ(t->year, 1970);
  EXPECT_EQ(t->month, 1);
  EXPECT_EQ(t->day, 2);
  sLoaded none(MakePe({}, 0).bytes, 0, 0);
  ASSERT_TRUE(none.loaded);
  EXPECT_EQ(none.bag->timestamps.Find(kPropTimeLinked), nullptr);
}

// The last node of an area without its padding: the walk reads the node and
// stops, not past the area.
TEST(FileProps, LastVersionNodeWithoutPaddingIsRead) {
  // "ProductName" and "Acme": a String of 6 + 24 + 2 + 10 = 42 bytes
  // (42 % 4 = 2), the last of its table, which is the last of its block.
  std::vector<Node> strings = {Str(u"ProductVersion", u"7.1"), Str(u"ProductName", u"Acme")};
  const Bytes res = VersionResource(strings, false);
  ASSERT_EQ(Build(strings[1]).size() % 4, 2u);
  sLoaded l(MakePe({{16, 1, 0x409, res}}).bytes, 0, 0);
  ASSERT_TRUE(l.loaded);
  EXPECT_EQ(l.Str(kPropStringName), "Acme");
  EXPECT_EQ(l.Str(kPropStringVersion), "7.1");
}

// Version resources whose head lies about the lengths are skipped; the next
// language entry is tried.
TEST(FileProps, VersionEntriesWithBadLengthsAreSkipped) {
  const Bytes good = VersionResource({Str(u"ProductName", u"Good")});
  struct Case {
    const char* what;
    std::function<void(Bytes&)> spoil;
  } cases[] = {
      {"value length past the node", [](Bytes& b) { b[2] = 0xFF, b[3] = 0xFF; }},
      {"node longer than the resource", [](Bytes& b) { b[0] = 0xFF, b[1] = 0x7F; }},
      {"node shorter than its head", [](Bytes& b) { b[0] = 20, b[1] = 0; }},
      {"no fixed information", [](Bytes& b) { b[40] = 0; }},
      {"children that overrun", [](Bytes& b) { b[92] = 0xFF, b[93] = 0x7F; }},
  };
  for (const Case& c : cases) {
    Bytes bad = VersionResource({Str(u"ProductName", u"Bad")});
    c.spoil(bad);
    // Language 0x407 comes before 0x409 in the directory.
    sLoaded l(MakePe({{16, 1, 0x407, bad}, {16, 1, 0x409, good}}).bytes, 0, 0);
    ASSERT_TRUE(l.loaded) << c.what;
    EXPECT_EQ(l.Str(kPropStringName), "Good") << c.what;
    sLoaded alone(MakePe({{16, 1, 0x409, bad}}).bytes, 0, 0);
    ASSERT_TRUE(alone.loaded) << c.what;
    EXPECT_EQ(alone.Str(kPropStringName), "<none>") << c.what;
  }
}

// ---- Resource addresses ----

TEST(FileProps, ResourcesOutsideTheSectionAreNotRead) {
  struct Case {
    const char* what;
    uint32_t rva, size;  // data entry of the first resource; 0: keep
  };
  const Case cases[] = {
      {"address below the section", 0x10, 0},
      {"address past the section", 0x7FFFFFF0, 0},
      {"size past the section", 0, 0x100000},
      {"size wrapping the address", 0, 0xFFFFFFF0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    // A 48-pixel icon that cannot be read beside a good 16-pixel one, and a
    // version resource that cannot be read.
    sPe pe = MakePe({{3, 1, 0, DibIcon(48, 48, 0xFF0000FF)}, {3, 2, 0, DibIcon(16, 16, 0xFF00FF00)},
                     {16, 1, 0x409, VersionResource({Str(u"ProductName", u"Hidden")})}});
    for (size_t i : {size_t{0}, size_t{2}}) {
      if (c.rva != 0) Set32(pe.bytes, pe.dataEntryAt[i], c.rva);
      if (c.size != 0) Set32(pe.bytes, pe.dataEntryAt[i] + 4, c.size);
    }
    sLoaded l(pe.bytes, -1, -1);
    ASSERT_TRUE(l.loaded);
    EXPECT_EQ(l.Picture(), (sPicSize{16, 16}));
    EXPECT_EQ(l.TopLeft() & 0xFFFFFF, 0x00FF00u);
    EXPECT_EQ(l.Str(kPropStringName), "<none>");
  }
}

TEST(FileProps, IconsWithoutSizeAreSkipped) {
  for (sPicSize zero : {sPicSize{0, 16}, sPicSize{16, 0}}) {
    Bytes empty = DibIcon(16, 16, 0xFF0000FF);
    Set32(empty, 4, static_cast<uint32_t>(zero.width));
    Set32(empty, 8, static_cast<uint32_t>(2 * zero.height));
    sLoaded l(MakePe({{3, 1, 0, empty}, {3, 2, 0, DibIcon(8, 8, 0xFF00FF00)}}).bytes, 16, 16);
    ASSERT_TRUE(l.loaded) << zero;
    EXPECT_EQ(l.Picture(), (sPicSize{8, 8})) << zero;
  }
  sLoaded only(MakePe({{3, 1, 0, Bytes(40, 0)}}).bytes, 16, 16);
  ASSERT_TRUE(only.loaded);
  EXPECT_EQ(only.Picture(), (sPicSize{-1, -1}));
}

// ---- Icon choice ----

TEST(FileProps, IconChoiceAndShrinking) {
  // The only icon is a 256-pixel PNG: with nothing fitting 16 x 16 the
  // largest is shrunk.
  sLoaded png(MakePe({{3, 1, 0, PngIcon(256)}}).bytes, 16, 16);
  ASSERT_TRUE(png.loaded);
  EXPECT_EQ(png.Picture(), (sPicSize{16, 16}));
  // DIB icons of 16, 32 and 48: the best fit under each request.
  const std::vector<Resource> icons = {{3, 1, 0, DibIcon(16, 16, 0xFF000010)},
                                       {3, 2, 0, DibIcon(32, 32, 0xFF000020)},
                                       {3, 3, 0, DibIcon(48, 48, 0xFF000030)}};
  struct Case {
    int32_t w, h;
    sPicSize size;
    uint32_t colour;
  } cases[] = {
      {16, 16, {16, 16}, 0x10},   // 32 / 2 < 16 fails: the 16
      {20, 20, {20, 20}, 0x20},   // 32 / 2 < 20: the 32 shrunk
      {8, 8, {8, 8}, 0x10},       // 16 / 2 < 8 fails: none fits, the largest (48) shrunk
      {32, 32, {32, 32}, 0x30},   // 48 / 2 < 32
      {-1, 20, {20, 20}, 0x20},   // width without limit
      {-1, -1, {48, 48}, 0x30},
  };
  for (const Case& c : cases) {
    sLoaded l(MakePe(icons).bytes, c.w, c.h);
    ASSERT_TRUE(l.loaded);
    EXPECT_EQ(l.Picture(), c.size) << c.w << " x " << c.h;
    if (c.w == 8) EXPECT_EQ(l.TopLeft() & 0xFF, 0x30u) << "the largest";
    else EXPECT_EQ(l.TopLeft() & 0xFF, c.colour) << c.w << " x " << c.h;
  }
}

// ---- The bag's own rules ----

TEST(FileProps, SettersAcceptOnlyTheirIds) {
  cWinExeProps bag;
  for (int32_t id = -1; id < 24; ++id) {
    const bool allowed = id == 0 || id == 1 || id == 2 || id == 4 || id == 5 || id == 16 || id == 20 || id == 21;
    EXPECT_EQ(bag.SetIntProp(id, 7), allowed) << id;
    EXPECT_EQ(bag.ints.Find(id) != nullptr, allowed) << id;
  }
  EXPECT_FALSE(bag.SetTimestampProp(12, sDateTime{}));
  EXPECT_TRUE(bag.SetTimestampProp(13, sDateTime{}));
  EXPECT_FALSE(bag.SetPictureProp(nullptr));
  cPictDummy empty;
  EXPECT_FALSE(bag.SetPictureProp(&empty));
}

// ---- The version walk on its own ----

TEST(VersionStrings, MalformedAreasFail) {
  struct Case {
    const char* what;
    Bytes area;
    bool ok;
  };
  std::vector<Case> cases;
  cases.push_back({"empty area", {}, true});
  cases.push_back({"one string", Build(Str(u"A", u"b")), true});
  {
    Bytes b = Build(Str(u"A", u"b"));
    b[0] = 3;
    cases.push_back({"length below 4", b, false});
  }
  {
    Bytes b = Build(Str(u"A", u"b"));
    b[0] = static_cast<uint8_t>(b.size() + 4);
    cases.push_back({"length past the area", b, false});
  }
  {
    Bytes b(6, 0);
    b[0] = 12;
    b[4] = 1;
    for (int i = 0; i < 6; ++i) b.push_back('K');  // no terminator
    cases.push_back({"key without terminator", b, false});
  }
  {
    Bytes b(6, 0);
    PutText(b, u"Key");  // 6 + 8 = 14, content would start at 16
    b[0] = 14;
    b[2] = 1;
    b[4] = 1;
    cases.push_back({"nothing after the key", b, false});
  }
  {
    Node n = Str(u"Deep", u"x");
    for (int i = 0; i < kMaxVersionNesting + 1; ++i) n = Block(u"B", {n});
    cases.push_back({"nested too deep", Build(n), false});
    Node fine = Str(u"Deep", u"x");
    for (int i = 0; i < 3; ++i) fine = Block(u"B", {fine});
    cases.push_back({"nested three deep", Build(fine), true});
  }
  for (const Case& c : cases) {
    cBufWrapperIO io(c.area.data(), static_cast<uint32_t>(c.area.size()));
    std::map<std::u16string, std::u16string> found;
    EXPECT_EQ(ParseVersionStrings(&io, &found), c.ok) << c.what;
  }
}

TEST(VersionStrings, LaterTablesWinAndPaddingIsOptional) {
  // Two tables; the second's value replaces the first's.
  Node first = Block(u"040704B0", {Str(u"ProductName", u"Erste"), Str(u"CompanyName", u"Firma")});
  Node second = Block(u"040904B0", {Str(u"ProductName", u"Second")});
  const Bytes area = Build(Block(u"StringFileInfo", {first, second}));
  // Every cut that ends on a node boundary parses; the full area with and
  // without its final padding gives the same strings.
  for (bool padded : {false, true}) {
    Bytes a = area;
    if (padded) Pad4(a);
    cBufWrapperIO io(a.data(), static_cast<uint32_t>(a.size()));
    std::map<std::u16string, std::u16string> found;
    ASSERT_TRUE(ParseVersionStrings(&io, &found)) << padded;
    EXPECT_EQ(twtest::Narrow(found[u"ProductName"]), "Second");
    EXPECT_EQ(twtest::Narrow(found[u"CompanyName"]), "Firma");
  }
}

// ---- Pictures ----

TEST(FileProps, PictureFilesGoThroughTheFactory) {
  const Bytes png = twtest::EncodePng(twtest::MakeTestImage(40, 20, 2, 8, 3));
  struct Case {
    int32_t w, h;
    bool want;
    sPicSize picture;
  } cases[] = {
      {10, 10, true, {10, 5}},
      {-1, -1, true, {40, 20}},
      {0, 0, true, {-1, -1}},
      {10, 10, false, {-1, -1}},  // no preview and not wanted
  };
  for (const Case& c : cases) {
    sLoaded l(png, c.w, c.h, c.want);
    ASSERT_NE(l.bag, nullptr);
    EXPECT_EQ(l.bag->GetType(), 10);
    ASSERT_TRUE(l.loaded);
    ASSERT_NE(l.bag->ints.Find(kPropIntWidth), nullptr);
    EXPECT_EQ(*l.bag->ints.Find(kPropIntWidth), 40);
    EXPECT_EQ(*l.bag->ints.Find(kPropIntHeight), 20);
    EXPECT_EQ(l.Picture(), c.picture) << c.w << " x " << c.h << " want " << c.want;
  }
  EXPECT_EQ(FileTypeOfPictFormat(kPictFormatDICOMLegacy), 2);
  EXPECT_EQ(FileTypeOfPictFormat(kPictFormatX3F), 30);
  EXPECT_EQ(FileTypeOfPictFormat(kPictFormatDIB), kFileTypeOtherPicture);
  EXPECT_EQ(FileTypeOfPictFormat(kPictFormatCR3), kFileTypeOtherPicture);
}

}  // namespace
