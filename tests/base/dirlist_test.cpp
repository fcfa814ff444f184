#include "base/dirlist.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "base/dirlist_internal.h"
#include "base/paths.h"
#include "base/strings.h"
#include "tests/support/test_support.h"

namespace {

using twtest::Narrow;
using twtest::U16;

std::u16string Str(const char16_t* s) { return s != nullptr ? s : u""; }

// Files are made through std::filesystem paths so that non-ASCII names reach
// the file system intact on both targets.
void MakeFile(const std::u16string& path, size_t size) {
  std::ofstream f(std::filesystem::path(path), std::ios::binary);
  f << std::string(size, 'x');
  ASSERT_TRUE(f.good()) << Narrow(path);
}

// One line per entry in id order: name, kind, size, H when hidden.
std::string Describe(const cDirListing& listing) {
  std::string out;
  for (int32_t id = 0; id < listing.NextId(); ++id) {
    const sDirEntry* e = listing.Find(id);
    if (e == nullptr) return out + "missing id " + std::to_string(id);
    out += Narrow(Str(e->path.text)) + " " + std::to_string(e->kind) + " " + std::to_string(e->size) +
           (e->hidden ? " H" : "") + "\n";
  }
  return out;
}

// The same tree lists in the same order on both targets: the order of
// Windows and Wine, names compared upper-cased unit by unit.
TEST(DirListing, TreeListsInTheOrderOfWindows) {
  twtest::TempDir tmp;
  const std::u16string root = U16(tmp.path());
  const std::u16string names[] = {u"b",  u"A",    u"a_", u"_x",     u"Z",      u"zz",    u"[",
                                  u"~",  u"B1",   u".hid", u"\u00E4", u"\u00C9", u"e",   u"f10",
                                  u"f9", u"Ab",   u"x y"};
  size_t size = 1;
  for (const auto& n : names) MakeFile(root + u"/" + n, size++);
  ASSERT_TRUE(CreateDirectoryLong((root + u"/sub").c_str()));

  cDirListing listing;
  ASSERT_TRUE(listing.ReadDirectory(root.c_str(), true));
  EXPECT_EQ(Describe(listing),
            ".hid 1 10 H\n"
            "A 1 2\n"
            "Ab 1 16\n"
            "a_ 1 3\n"
            "b 1 1\n"
            "B1 1 9\n"
            "e 1 13\n"
            "f10 1 14\n"
            "f9 1 15\n"
            "sub 2 0\n"
            "x y 1 17\n"
            "Z 1 5\n"
            "zz 1 6\n"
            "[ 1 7\n"
            "_x 1 4\n"
            "~ 1 8\n"
            "\xC3\xA4 1 11\n"
            "\xC3\x89 1 12\n");
  EXPECT_EQ(listing.NextId(), 18);

  // The write time of each entry is the local write time of the file.
  for (int32_t id = 0; id < listing.NextId(); ++id) {
    const sDirEntry* e = listing.Find(id);
    _guardchar<char16_t> path;
    ASSERT_TRUE(listing.GetEntryPath(id, path));
    sFileInfo info;
    ASSERT_TRUE(GetFileInfo(path.text, info)) << Narrow(path.text);
    EXPECT_EQ(DateTimeToUnixTime(e->writeTime), DateTimeToUnixTime(info.lastWriteTime)) << Narrow(path.text);
    EXPECT_TRUE(e->displayText.IsEmpty());
  }
}

TEST(DirListing, EmptyMissingAndNonFolders) {
  twtest::TempDir tmp;
  const std::u16string root = U16(tmp.path());
  cDirListing listing;
  ASSERT_TRUE(listing.ReadDirectory(root.c_str(), false));
  EXPECT_EQ(listing.NextId(), 0);  // "." and ".." are never listed
  EXPECT_EQ(listing.Find(0), nullptr);

  MakeFile(root + u"/f", 1);
  ASSERT_TRUE(listing.ReadDirectory(root.c_str(), false));
  EXPECT_EQ(listing.NextId(), 1);
  // A failed read leaves the listing empty.
  EXPECT_FALSE(listing.ReadDirectory((root + u"/missing").c_str(), false));
  EXPECT_EQ(listing.NextId(), 0);
  ASSERT_TRUE(listing.ReadDirectory(root.c_str(), false));
  EXPECT_FALSE(listing.ReadDirectory((root + u"/f").c_str(), false));
  EXPECT_EQ(listing.NextId(), 0);
  EXPECT_FALSE(listing.ReadDirectory(u"", false));
  EXPECT_FALSE(listing.ReadDirectory(nullptr, false));
  EXPECT_TRUE(listing.Clear());
}

TEST(DirListing, EntryPathsAndFolder) {
  twtest::TempDir tmp;
  const std::u16string root = U16(tmp.path());
  for (const char16_t* n : {u"a", u"b", u"c", u"d", u"e"}) MakeFile(root + u"/" + n, 0);
  cDirListing listing;
  struct Case {
    std::u16string folder;  // as passed
    std::u16string shown;   // GetFolder
    std::u16string entry3;  // GetEntryPath(3)
  } cases[] = {
      {root, root, root + u"/d"},
      {root + u"/", root + u"/", root + u"/d"},         // no second separator
      {root + u"\\", root + u"/", root + u"/d"},      // kept with '/' separators
  };
  for (const auto& c : cases) {
    ASSERT_TRUE(listing.ReadDirectory(c.folder.c_str(), false)) << Narrow(c.folder);
    EXPECT_EQ(Str(listing.GetFolder()), c.shown);
    EXPECT_EQ(listing.NextId(), 5);
    _guardchar<char16_t> path;
    ASSERT_TRUE(listing.GetEntryPath(3, path));
    EXPECT_EQ(Str(path.text), c.entry3);
  }
  _guardchar<char16_t> unchanged(u"keep");
  EXPECT_FALSE(listing.GetEntryPath(5, unchanged));
  EXPECT_FALSE(listing.GetEntryPath(-1, unchanged));
  EXPECT_EQ(Str(unchanged.text), u"keep");
}

TEST(Places, HomeFirstThenDrives) {
  cDirListing places;
  ASSERT_TRUE(places.ReadPlaces());
  EXPECT_EQ(Str(places.GetFolder()), u"");
  _guardchar<char16_t> home;
  ASSERT_TRUE(GetHomeFolder(home));
  const sDirEntry* first = places.Find(0);
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(first->kind, sDirEntry::kHome);
  EXPECT_EQ(Str(first->path.text), Str(home.text));
  EXPECT_EQ(Str(first->displayText.text), u"Home folder");
  ASSERT_GE(places.NextId(), 2);
  for (int32_t id = 0; id < places.NextId(); ++id) {
    const sDirEntry* e = places.Find(id);
    ASSERT_NE(e, nullptr);
    _guardchar<char16_t> path;
    ASSERT_TRUE(places.GetEntryPath(id, path));
    EXPECT_EQ(Str(path.text), Str(e->path.text));  // no folder in front
    EXPECT_FALSE(e->displayText.IsEmpty());
    EXPECT_EQ(e->size, 0u);
    EXPECT_EQ(e->writeTime.year, 0);
    if (id > 0) {
      EXPECT_TRUE(e->kind == sDirEntry::kDrive || e->kind == sDirEntry::kOfflineNetworkDrive) << id;
    }
  }
}

// The size shown is (bytes / 10737418) x 0.01 printed with "%.02f"; the
// runtime's printf is the oracle for our digits.
TEST(Places, GigabyteTextMatchesPrintf) {
  std::vector<uint64_t> sizes = {0, 10737417, 10737418, 1073741824, 500107862016ull, 0xFFFFFFFFFFFFFFFFull};
  for (uint64_t v = 1; v < 0x0100000000000000ull; v = v * 3 + 12345) sizes.push_back(v);
  for (uint64_t bytes : sizes) {
    char expect[64];
    std::snprintf(expect, sizeof expect, "%.02f", static_cast<double>(bytes / 10737418u) * 0.01);
    EXPECT_EQ(Narrow(tw::GigabyteText(bytes)), expect) << bytes;
  }
}

TEST(Places, DriveTexts) {
  const uint64_t gb = 107374182400ull;  // 100.00 GB as shown
  struct Case {
    uint32_t type;
    std::u16string label;
    std::u16string expect;
  } local[] = {
      {tw::kDriveFixed, u"System", u"System (C:, 100.00GB fixed drive)"},
      {tw::kDriveFixed, u"", u"Fixed disk C: (100.00GB)"},
      {tw::kDriveRemote, u"Share", u"Share (C:, 100.00GB network drive)"},
      {tw::kDriveRemote, u"", u"Network disk C: (100.00GB)"},
      {tw::kDriveCdRom, u"Disc", u"CD/DVD drive C:"},
      {tw::kDriveRamDisk, u"", u"RAM drive C:"},
      {tw::kDriveRemovable, u"Stick", u"Disk C:"},
  };
  for (const auto& c : local) EXPECT_EQ(tw::LocalDriveText(c.type, c.label, u'C', gb), c.expect) << c.type;

  struct NetCase {
    bool connected;
    std::u16string label;
    std::u16string expect;
  } network[] = {
      {true, u"Data", u"Data (N:, 100.00GB on \\\\srv\\share)"},
      {true, u"", u"N: (100.00GB on \\\\srv\\share)"},
      {false, u"Data", u"Data (N: on \\\\srv\\share - Offline)"},
      {false, u"", u"N: (\\\\srv\\share - Offline)"},
  };
  for (const auto& c : network)
    EXPECT_EQ(tw::NetworkDriveText(c.connected, c.label, u"N:", gb, u"\\\\srv\\share"), c.expect);
}

TEST(DirListing, CompareListingNames) {
  struct Case {
    const char16_t* a;
    const char16_t* b;
    int sign;
  } cases[] = {
      {u"a", u"B", -1},   {u"Z", u"[", -1},  {u"_x", u"a", 1},     {u"abc", u"ABD", -1},
      {u"ab", u"abc", -1}, {u"A", u"a", -1}, {u"same", u"same", 0}, {u"\u00E4", u"\u00C9", -1},
      {u"\u00FF", u"z", 1},  // U+00FF upper-cases to U+0178
  };
  for (const auto& c : cases) {
    const int r = tw::CompareListingNames(c.a, c.b);
    EXPECT_EQ((r > 0) - (r < 0), c.sign) << Narrow(c.a) << " vs " << Narrow(c.b);
  }
}

TEST(AccessRights, RightsMask) {
  struct Case {
    uint32_t rights, mask;
  } cases[] = {{0, 0},        {7, 0x1F01FF}, {5, 0x1200A9}, {4, 0x120089},
               {2, 0x50016},  {1, 0x20},     {6, 0x17009F}, {3, 0x50036}};
  for (const auto& c : cases) EXPECT_EQ(GetRightsMask(c.rights), c.mask) << c.rights;
}

TEST(AccessRights, MissingAndExistingPaths) {
  twtest::TempDir tmp;
  const std::u16string root = U16(tmp.path());
  const std::u16string missing = root + u"/missing";
  EXPECT_EQ(GetAccessRights(missing.c_str()), tw::kRightsMissingPath);
  EXPECT_FALSE(IsPathWritable(missing.c_str()));
  EXPECT_FALSE(GrantAccess(missing.c_str(), 7, 7, 5));

  const std::u16string file = root + u"/f";
  MakeFile(file, 3);
  // Our own fresh file: readable and writable.
  const uint32_t rights = GetAccessRights(file.c_str());
  EXPECT_EQ(rights & (tw::kRightRead | tw::kRightWrite), tw::kRightRead | tw::kRightWrite);
  EXPECT_TRUE(IsPathWritable(file.c_str()));
  EXPECT_TRUE(GrantAccess(file.c_str(), 7, 5, 5));
  EXPECT_TRUE(GrantAccess(root.c_str(), 7, 7, 5));  // folders too
  uint64_t freeBytes = 0, total = 0;
  ASSERT_TRUE(GetDiskSpace(root.c_str(), freeBytes, total));
  EXPECT_GT(total, 0u);
  EXPECT_LE(freeBytes, total);
}

}  // namespace
