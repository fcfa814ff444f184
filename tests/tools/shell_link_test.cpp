// Shortcut files: the bytes of the Shell Link format, read back field by
// field here and, natively, by an independent reader (liblnk's lnkinfo).
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "tests/support/test_support.h"
#include "tools/shell_link.h"

using twtest::Narrow;
using twtest::U16;

namespace {

struct sReader {
  const std::vector<uint8_t>& b;
  size_t at = 0;
  uint32_t U8() { return b.at(at++); }
  uint32_t U16() {
    uint32_t v = b.at(at) | b.at(at + 1) << 8;
    at += 2;
    return v;
  }
  uint32_t U32() {
    uint32_t lo = U16();
    return lo | U16() << 16;
  }
  uint64_t U64() {
    uint64_t lo = U32();
    return lo | static_cast<uint64_t>(U32()) << 32;
  }
  std::u16string Units(size_t n) {
    std::u16string s;
    for (size_t i = 0; i < n; ++i) s += static_cast<char16_t>(U16());
    return s;
  }
};

struct sItem {
  uint32_t type;
  std::string name;      // the 8-bit name
  std::u16string longName;  // the extension block's
  uint32_t size;
  uint32_t attributes;
};

// Parses a link file as the format describes it, checking every fixed
// field and every length on the way.
struct sParsed {
  uint32_t flags = 0, attributes = 0, fileSize = 0;
  uint64_t time = 0;
  std::vector<sItem> items;
  char drive = 0;
  std::string localPath;
  std::vector<std::u16string> strings;
};

sParsed Parse(const std::vector<uint8_t>& bytes) {
  sParsed p;
  sReader r{bytes};
  EXPECT_EQ(r.U32(), 0x4Cu);
  const uint8_t cls[16] = {1, 0x14, 2, 0, 0, 0, 0, 0, 0xC0, 0, 0, 0, 0, 0, 0, 0x46};
  EXPECT_EQ(std::memcmp(bytes.data() + 4, cls, 16), 0);
  r.at = 20;
  p.flags = r.U32();
  p.attributes = r.U32();
  p.time = r.U64();
  EXPECT_EQ(r.U64(), p.time);
  EXPECT_EQ(r.U64(), p.time);
  p.fileSize = r.U32();
  EXPECT_EQ(r.U32(), 0u);  // icon index
  EXPECT_EQ(r.U32(), 1u);  // show normal
  r.at = 76;
  const size_t listSize = r.U16();
  const size_t listEnd = r.at + listSize;
  // Computer and drive.
  EXPECT_EQ(r.U16(), 20u);
  EXPECT_EQ(r.U8(), 0x1Fu);
  r.at += 17;
  EXPECT_EQ(r.U16(), 0x19u);
  EXPECT_EQ(r.U8(), 0x2Fu);
  p.drive = static_cast<char>(r.U8());
  EXPECT_EQ(r.U8(), static_cast<uint32_t>(':'));
  EXPECT_EQ(r.U8(), static_cast<uint32_t>('\\'));
  r.at += 19;
  for (;;) {
    const size_t start = r.at;
    const uint32_t size = r.U16();
    if (size == 0) break;
    sItem item;
    item.type = r.U8();
    r.U8();
    item.size = r.U32();
    r.U32();
    item.attributes = r.U16();
    while (bytes.at(r.at) != 0) item.name += static_cast<char>(r.U8());
    r.U8();
    const size_t s = r.at - start + ((r.at - start) & 1);
    r.at = start + s;
    const uint32_t blockSize = r.U16();
    EXPECT_EQ(r.U16(), 8u);
    EXPECT_EQ(r.U32(), 0xBEEF0004u);
    r.at += 8;
    EXPECT_EQ(r.U16(), 42u);
    r.at += 24;
    while (uint32_t u = r.U16()) item.longName += static_cast<char16_t>(u);
    EXPECT_EQ(r.U16(), s) << item.name;
    EXPECT_EQ(blockSize, 2 * item.longName.size() + 46) << item.name;
    EXPECT_EQ(r.at - start, size) << item.name;
    p.items.push_back(item);
  }
  EXPECT_EQ(r.at, listEnd);
  const size_t infoStart = r.at;
  const uint32_t infoSize = r.U32();
  EXPECT_EQ(r.U32(), 28u);
  EXPECT_EQ(r.U32(), 1u);
  EXPECT_EQ(r.U32(), 28u);
  EXPECT_EQ(r.U32(), 45u);
  EXPECT_EQ(r.U32(), 0u);
  const uint32_t suffixAt = r.U32();
  EXPECT_EQ(r.U32(), 17u);
  EXPECT_EQ(r.U32(), 3u);
  r.at = infoStart + 45;
  while (bytes.at(r.at) != 0) p.localPath += static_cast<char>(r.U8());
  EXPECT_EQ(suffixAt, 46 + p.localPath.size());
  EXPECT_EQ(infoSize, 47 + p.localPath.size());
  r.at = infoStart + infoSize;
  while (r.at < bytes.size()) p.strings.push_back(r.Units(r.U16()));
  return p;
}

TEST(ShellLink, AFileTargetWithEveryString) {
  sShellLinkInfo info;
  info.targetPath = u"c:/Program Files/App//app.exe";
  info.workingFolder = u"C:/Program Files/App/";
  info.description = u"Start the app";
  info.arguments = u"-x \"y\"";
  info.iconPath = u"C:/Program Files/App/app.ico";
  info.runAsAdministrator = true;
  info.targetSize = 0x12345;
  info.fileTime = 0x01D0000012345678ull;
  std::vector<uint8_t> bytes;
  ASSERT_TRUE(BuildShellLink(info, bytes));
  const sParsed p = Parse(bytes);
  EXPECT_EQ(p.flags, 0x00080083u | 0x2000 | 0x04 | 0x10 | 0x20 | 0x40);
  EXPECT_EQ(p.attributes, 0x20u);
  EXPECT_EQ(p.time, info.fileTime);
  EXPECT_EQ(p.fileSize, 0x12345u);
  EXPECT_EQ(p.drive, 'C');  // upper-cased
  ASSERT_EQ(p.items.size(), 3u);
  const struct {
    uint32_t type;
    const char* name;
    uint32_t size, attributes;
  } items[] = {{0x31, "Program Files", 0, 0x10}, {0x31, "App", 0, 0x10}, {0x32, "app.exe", 0x12345, 0x20}};
  for (size_t i = 0; i < 3; ++i) {
    EXPECT_EQ(p.items[i].type, items[i].type) << i;
    EXPECT_EQ(p.items[i].name, items[i].name) << i;
    EXPECT_EQ(Narrow(p.items[i].longName), items[i].name) << i;
    EXPECT_EQ(p.items[i].size, items[i].size) << i;
    EXPECT_EQ(p.items[i].attributes, items[i].attributes) << i;
  }
  EXPECT_EQ(p.localPath, "c:\\Program Files\\App\\\\app.exe");
  EXPECT_EQ(p.strings, (std::vector<std::u16string>{u"Start the app", u"C:\\Program Files\\App\\",
                                                    u"-x \"y\"", u"C:\\Program Files\\App\\app.ico"}));
}

TEST(ShellLink, PaddingNonAsciiNamesAndFolders) {
  // "abc": 15 + 3 = 18, even, no padding; "ab": 17, one byte; "Ünï" is 5
  // UTF-8 bytes (20, no padding) and 3 UTF-16 units.
  sShellLinkInfo info;
  info.targetPath = u"D:\\abc\\ab\\\u00dcn\u00ef";
  info.targetIsFolder = true;
  info.targetSize = 77;  // ignored for a folder
  std::vector<uint8_t> bytes;
  ASSERT_TRUE(BuildShellLink(info, bytes));
  const sParsed p = Parse(bytes);
  EXPECT_EQ(p.flags, 0x00080083u);
  EXPECT_EQ(p.attributes, 0x10u);
  EXPECT_EQ(p.fileSize, 0u);
  ASSERT_EQ(p.items.size(), 3u);
  for (const sItem& item : p.items) {
    EXPECT_EQ(item.type, 0x31u);
    EXPECT_EQ(item.size, 0u);
  }
  EXPECT_EQ(p.items[2].name, "\xC3\x9Cn\xC3\xAF");
  EXPECT_EQ(p.items[2].longName, u"\u00dcn\u00ef");
  EXPECT_EQ(p.localPath, "D:\\abc\\ab\\\xC3\x9Cn\xC3\xAF");
  EXPECT_TRUE(p.strings.empty());
  // Item sizes: 18 + 2*3 + 46, 18 (17 padded) + 2*2 + 46.
  sReader r{bytes};
  r.at = 78 + 20 + 25;
  EXPECT_EQ(r.U16(), 18u + 6 + 46);
  r.at = 78 + 20 + 25 + 18 + 6 + 46;
  EXPECT_EQ(r.U16(), 18u + 4 + 46);
}

TEST(ShellLink, TargetsWithoutADriveLetterAreRefused) {
  std::vector<uint8_t> bytes;
  for (const char16_t* target : {u"//server/share/app.exe", u"app.exe", u"1:/x", u""}) {
    sShellLinkInfo info;
    info.targetPath = target;
    EXPECT_FALSE(BuildShellLink(info, bytes)) << Narrow(target);
  }
  sShellLinkInfo info;
  EXPECT_FALSE(BuildShellLink(info, bytes));
  EXPECT_FALSE(WriteShellLinkFile(nullptr, nullptr, u"C:/x.lnk", nullptr, nullptr, false, nullptr));
}

#ifndef _WIN32
// lnkinfo's report of a file, or "" when it cannot run.
std::string LnkInfo(const std::string& path) {
  std::string out;
  if (FILE* f = popen(("lnkinfo '" + path + "' 2>&1").c_str(), "r")) {
    char buffer[4096];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, f)) > 0) out.append(buffer, n);
    if (pclose(f) != 0) out = "lnkinfo failed:\n" + out;
  }
  return out;
}

TEST(ShellLink, AnIndependentReaderAgrees) {
  if (std::system("command -v lnkinfo >/dev/null 2>&1") != 0) GTEST_SKIP() << "lnkinfo is not installed";
  twtest::TempDir tmp;
  sShellLinkInfo info;
  info.targetPath = u"C:/Program Files/App/app.exe";
  info.workingFolder = u"C:/Program Files/App/";
  info.description = u"Start the app";
  info.arguments = u"--fast";
  info.iconPath = u"C:/Program Files/App/app.ico";
  info.targetSize = 4096;
  info.fileTime = 0x01DA000000000000ull;
  std::vector<uint8_t> bytes;
  ASSERT_TRUE(BuildShellLink(info, bytes));
  const std::string path = tmp.path() + "/app.lnk";
  std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), bytes.size());
  const std::string report = LnkInfo(path);
  for (const char* expected : {"C:\\Program Files\\App\\app.exe", "Start the app",
                               "C:\\Program Files\\App\\", "--fast",
                               "C:\\Program Files\\App\\app.ico", "4096"}) {
    EXPECT_NE(report.find(expected), std::string::npos) << expected << "\n" << report;
  }
  EXPECT_EQ(report.find("lnkinfo failed"), std::string::npos) << report;
}
#endif

}  // namespace
