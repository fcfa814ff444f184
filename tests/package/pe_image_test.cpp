// The program image walk and the version resource the builder writes.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "base/memio.h"
#include "package/cmd_block.h"
#include "package/pe_image.h"

namespace {

void Put16(std::vector<uint8_t>& b, size_t at, uint32_t v) {
  b[at] = static_cast<uint8_t>(v);
  b[at + 1] = static_cast<uint8_t>(v >> 8);
}
void Put32(std::vector<uint8_t>& b, size_t at, uint32_t v) {
  Put16(b, at, v & 0xFFFF);
  Put16(b, at + 2, v >> 16);
}
uint16_t Get16(const std::vector<uint8_t>& b, size_t at) { return static_cast<uint16_t>(b[at] | b[at + 1] << 8); }
uint32_t Get32(const std::vector<uint8_t>& b, size_t at) { return Get16(b, at) | static_cast<uint32_t>(Get16(b, at + 2)) << 16; }

// A resource section: type 16 -> name 1 -> language 0x409, with one named
// entry in front of each directory when named is set, data at 0x100 of
// 0x200 bytes.
constexpr uint32_t kRsrcVa = 0x3000;
std::vector<uint8_t> ResourceSection(bool named) {
  std::vector<uint8_t> r(0x400, 0);
  const uint32_t step = named ? 24 : 16;
  uint32_t dir = 0;
  for (int level = 0; level < 3; ++level) {
    const uint32_t next = dir + 16 + (named ? 16 : 8);
    Put16(r, dir + 12, named ? 1 : 0);
    Put16(r, dir + 14, 1);
    const uint32_t e = dir + 16 + (named ? 8 : 0);
    if (named) {
      Put32(r, dir + 16, 0x80000000u | 0x3F0);  // a name string, never read as an id
      Put32(r, dir + 20, 0x80000000u | 0);      // would loop to the root if followed
    }
    Put32(r, e, level == 0 ? 16 : level == 1 ? 1 : 0x409);
    Put32(r, e + 4, level < 2 ? (0x80000000u | next) : 0xC0);
    dir = next;
  }
  (void)step;
  Put32(r, 0xC0, kRsrcVa + 0x100);
  Put32(r, 0xC4, 0x200);
  return r;
}

// A program image: DOS header, PE header at 0x80, an optional header of
// the given magic, two sections (.text, .rsrc at raw 0x400).
std::vector<uint8_t> Image(uint16_t magic, bool named = false) {
  const uint32_t optSize = magic == 0x20B ? 240 : 224;
  std::vector<uint8_t> b(0x800, 0);
  b[0] = 'M';
  b[1] = 'Z';
  Put32(b, 60, 0x80);
  std::memcpy(b.data() + 0x80, "PE\0\0", 4);
  Put16(b, 0x80 + 6, 2);
  Put16(b, 0x80 + 20, optSize);
  const size_t opt = 0x80 + 24;
  Put16(b, opt, magic);
  Put32(b, opt + 64, 0x12345678);  // checksum
  const size_t cert = magic == 0x20B ? 144 : 128;
  Put32(b, opt + cert, 0x700);
  Put32(b, opt + cert + 4, 0x40);
  const size_t sec = opt + optSize;
  std::memcpy(b.data() + sec, ".text\0\0\0", 8);
  std::memcpy(b.data() + sec + 40, ".rsrc\0\0\0", 8);
  Put32(b, sec + 40 + 12, kRsrcVa);
  Put32(b, sec + 40 + 16, 0x400);
  Put32(b, sec + 40 + 20, 0x400);
  std::vector<uint8_t> r = ResourceSection(named);
  std::memcpy(b.data() + 0x400, r.data(), r.size());
  return b;
}

TEST(PeImage, FindsTheVersionResourceInBothImageKinds) {
  for (uint16_t magic : {uint16_t{0x10B}, uint16_t{0x20B}}) {
    for (bool named : {false, true}) {
      std::vector<uint8_t> b = Image(magic, named);
      sPeLayout l;
      const char* err = nullptr;
      ASSERT_EQ(ReadPeLayout(b.data(), static_cast<uint32_t>(b.size()), l, err), 0) << (err ? err : "");
      EXPECT_EQ(l.optHeaderOffset, 0x98u);
      EXPECT_EQ(l.magic, magic);
      EXPECT_EQ(l.versionOffset, 0x500u);
      EXPECT_EQ(l.versionSize, 0x200u);
      EXPECT_EQ(l.versionLanguage, 0x409u);
      ASSERT_TRUE(ClearChecksumAndCertificate(b.data(), static_cast<uint32_t>(b.size()), l));
      const size_t cert = magic == 0x20B ? 144 : 128;
      EXPECT_EQ(Get32(b, 0x98 + 64), 0u);
      EXPECT_EQ(Get32(b, 0x98 + cert), 0u);
      EXPECT_EQ(Get32(b, 0x98 + cert + 4), 0u);
    }
  }
  std::vector<uint8_t> b = Image(0x10C);
  sPeLayout l;
  const char* err = nullptr;
  ASSERT_EQ(ReadPeLayout(b.data(), static_cast<uint32_t>(b.size()), l, err), 0);
  EXPECT_FALSE(ClearChecksumAndCertificate(b.data(), static_cast<uint32_t>(b.size()), l));
}

// Each damage names its own log line; none reads outside the image.
TEST(PeImage, DamagedImagesFailWithTheirLine) {
  struct Case {
    const char* line;
    void (*damage)(std::vector<uint8_t>&);
  } cases[] = {
      {"(e) Unable to read header(1)!\n", [](std::vector<uint8_t>& b) { b.resize(40); }},
      {"(e) Bad header(1)!\n", [](std::vector<uint8_t>& b) { b[1] = 'Y'; }},
      {"(e) Bad header(1)!\n", [](std::vector<uint8_t>& b) { Put32(b, 60, 63); }},
      {"(e) Unable to read header(2)m!\n", [](std::vector<uint8_t>& b) { Put32(b, 60, 0xFFFFFFFEu); }},
      {"(e) Bad header(2)!\n", [](std::vector<uint8_t>& b) { b[0x83] = 1; }},
      {"(e) No opt header!\n", [](std::vector<uint8_t>& b) { Put16(b, 0x80 + 20, 0); }},
      {"(e) No sections defined!\n", [](std::vector<uint8_t>& b) { Put16(b, 0x80 + 6, 0); }},
      {"(e) Unable to read sections!\n", [](std::vector<uint8_t>& b) { Put16(b, 0x80 + 6, 0xFFFF); }},
      {"(e) No resource section!\n", [](std::vector<uint8_t>& b) { b[0x98 + 224 + 40 + 1] = 'x'; }},
      {"(e) No resource section!\n", [](std::vector<uint8_t>& b) { Put32(b, 0x98 + 224 + 40 + 16, 0); }},
      {"(e) Unable to read resources!\n", [](std::vector<uint8_t>& b) { Put32(b, 0x98 + 224 + 40 + 16, 0xFFFFFF00u); }},
      {"(e) Unable to parse resources!\n", [](std::vector<uint8_t>& b) { Put16(b, 0x400 + 14, 0x7FFF); }},
      {"(e) Unable to parse resources!\n", [](std::vector<uint8_t>& b) { Put32(b, 0x400 + 20, 0x10); }},
      {"(e) No resource version section!\n", [](std::vector<uint8_t>& b) { Put32(b, 0x400 + 16, 3); }},
      {"(e) No version ID section!\n", [](std::vector<uint8_t>& b) { Put32(b, 0x400 + 40, 2); }},
      {"(e) No version lang section!\n", [](std::vector<uint8_t>& b) { Put16(b, 0x400 + 48 + 14, 0); }},
      // Data that reaches past the section, or lies before it.
      {"(e) Unable to parse resources!\n", [](std::vector<uint8_t>& b) { Put32(b, 0x400 + 0xC4, 0x301); }},
      {"(e) Unable to parse resources!\n", [](std::vector<uint8_t>& b) { Put32(b, 0x400 + 0xC0, 0x100); }},
  };
  for (const Case& c : cases) {
    std::vector<uint8_t> b = Image(0x10B);
    c.damage(b);
    sPeLayout l;
    const char* err = nullptr;
    EXPECT_EQ(ReadPeLayout(b.data(), static_cast<uint32_t>(b.size()), l, err), 2) << c.line;
    EXPECT_STREQ(err, c.line);
  }
}

std::u16string Utf16At(const std::vector<uint8_t>& b, size_t at) {
  std::u16string s;
  while (Get16(b, at)) {
    s += static_cast<char16_t>(Get16(b, at));
    at += 2;
  }
  return s;
}

TEST(VersionResource, LayoutAndEntries) {
  const uint32_t version[4] = {3, 1, 0, 0};
  sVersionTexts t;
  t.company = u"ACME";
  t.description = u"Demo";
  t.product = u"Demo";
  t.copyright = u"";  // left out
  std::vector<uint8_t> s = BuildVersionStrings(t, version, 7000);
  ASSERT_EQ(s.size() % 4, 0u);
  std::vector<uint8_t> block;
  uint32_t needed = 0;
  ASSERT_TRUE(BuildVersionResource(s, version, 7000, 0x200, block, needed));
  ASSERT_EQ(block.size(), 0x200u);
  const uint32_t L = static_cast<uint32_t>(s.size());
  EXPECT_EQ(Get16(block, 0), L + 220);
  EXPECT_EQ(Utf16At(block, 6), u"VS_VERSION_INFO");
  EXPECT_EQ(Get32(block, 40), 0xFEEF04BDu);
  EXPECT_EQ(Get32(block, 48), (3u << 16) + 1);
  EXPECT_EQ(Get32(block, 52), 7000u);
  EXPECT_EQ(Get32(block, 60), 0u);
  EXPECT_EQ(Utf16At(block, 98), u"StringFileInfo");
  EXPECT_EQ(Utf16At(block, 134), u"000004b0");
  EXPECT_EQ(Utf16At(block, 152 + L + 6), u"VarFileInfo");
  EXPECT_EQ(Get16(block, 152 + L + 64 + 2), 0x04B0);
  for (size_t i = 220 + L; i < block.size(); ++i) ASSERT_EQ(block[i], 0) << i;
  // Walk the entries: keys, values and the 4-byte alignment.
  std::vector<std::pair<std::u16string, std::u16string>> got;
  for (size_t at = 152; at < 152 + L;) {
    const uint16_t len = Get16(block, at), n = Get16(block, at + 2);
    const std::u16string key = Utf16At(block, at + 6);
    const size_t value = at + len - 2 * n;
    got.emplace_back(key, Utf16At(block, value));
    EXPECT_EQ(value % 4, 0u) << "value of " << std::string(key.begin(), key.end());
    at += len + (n % 2 ? 2 : 0);
    EXPECT_EQ(at % 4, 0u);
  }
  const std::vector<std::pair<std::u16string, std::u16string>> want = {
      {u"CompanyName", u"ACME"}, {u"FileDescription", u"Demo"}, {u"FileVersion", u"3.1.0.7000"},
      {u"ProductName", u"Demo"}, {u"ProductVersion", u"3.1.0.0"}};
  EXPECT_EQ(got, want);
}

TEST(VersionResource, FitsExactlyOrNotAtAll) {
  const uint32_t version[4] = {1, 2, 3, 4};
  std::vector<uint8_t> s = BuildVersionStrings(sVersionTexts{}, version, 1);
  std::vector<uint8_t> block;
  uint32_t needed = 0;
  const uint32_t exact = static_cast<uint32_t>(s.size()) + 220;
  EXPECT_TRUE(BuildVersionResource(s, version, 1, exact, block, needed));
  EXPECT_EQ(block.size(), exact);
  EXPECT_FALSE(BuildVersionResource(s, version, 1, exact - 1, block, needed));
  EXPECT_EQ(needed, s.size() + 168);
}

TEST(VersionResource, BuildDayCountsFromTheEpochOfTheFormat) {
  EXPECT_EQ(BuildDayNumber(1103627298u), 0u);
  EXPECT_EQ(BuildDayNumber(1103627298u + 86399u), 0u);
  EXPECT_EQ(BuildDayNumber(1103627298u + 86400u), 1u);
}

// The patched image: filled block, new resource, cleared checksum, and a
// clean copy that gives back the program exactly.
TEST(PatchProgramImage, CleanCopyRestoresTheProgram) {
  for (uint16_t magic : {uint16_t{0x10B}, uint16_t{0x20B}}) {
    std::vector<uint8_t> clean = Image(magic);
    const uint32_t h = static_cast<uint32_t>(clean.size());
    clean.insert(clean.end(), CmdBlockTemplate(), CmdBlockTemplate() + tw::kCmdBlockSize);
    clean.insert(clean.end(), 300, 0x7E);
    sPeLayout l;
    const char* err = nullptr;
    ASSERT_EQ(ReadPeLayout(clean.data(), static_cast<uint32_t>(clean.size()), l, err), 0);
    const uint32_t version[4] = {2, 0, 0, 0};
    std::vector<uint8_t> strings = BuildVersionStrings(sVersionTexts{}, version, 5), resource;
    uint32_t needed = 0;
    ASSERT_TRUE(BuildVersionResource(strings, version, 5, l.versionSize, resource, needed));
    std::vector<uint8_t> setup = clean;
    ASSERT_EQ(PatchProgramImage(setup, h, l, resource, err), 0);
    EXPECT_EQ(setup[h], 1);
    EXPECT_EQ(Get32(setup, h + 256), clean.size());
    EXPECT_EQ(Get32(setup, h + 264), clean.size());
    EXPECT_EQ(Get32(setup, 0x98 + 64), 0u);
    EXPECT_TRUE(std::equal(resource.begin(), resource.end(), setup.begin() + l.versionOffset));
    setup.insert(setup.end(), 1000, 0x42);  // the package
    cBufWrapperIO in(setup.data(), static_cast<uint32_t>(setup.size()));
    cMemIOTarget out;
    ASSERT_TRUE(CopyCleanFromBlock(setup.data() + h, &in, &out));
    _typebuf<char> bytes;
    ASSERT_TRUE(out.CopyToBuffer(bytes));
    ASSERT_EQ(out.GetSize(), clean.size());
    EXPECT_EQ(std::memcmp(bytes.data, clean.data(), clean.size()), 0);
  }
}

TEST(PatchProgramImage, RefusesWhatTheBlockCannotUndo) {
  std::vector<uint8_t> clean = Image(0x10B);
  const uint32_t h = static_cast<uint32_t>(clean.size());
  clean.insert(clean.end(), CmdBlockTemplate(), CmdBlockTemplate() + tw::kCmdBlockSize);
  sPeLayout l;
  const char* err = nullptr;
  ASSERT_EQ(ReadPeLayout(clean.data(), static_cast<uint32_t>(clean.size()), l, err), 0);
  std::vector<uint8_t> resource(l.versionSize, 0);
  std::vector<uint8_t> image = clean;
  EXPECT_EQ(PatchProgramImage(image, 0x500, l, resource, err), 2);  // block over the resource
  sPeLayout big = l;
  big.versionOffset = h;  // a resource inside the block
  image = clean;
  EXPECT_EQ(PatchProgramImage(image, h, big, resource, err), 2);
  big = l;
  big.magic = 0x10C;
  image = clean;
  EXPECT_EQ(PatchProgramImage(image, h, big, resource, err), 3);
  EXPECT_STREQ(err, "(e) Bad optional header magic!\n");
}

}  // namespace
