// Linux-only behaviour of base/dirlist.h: devices, the places stand-in and the
// rights mapped onto permission bits.
#include <sys/stat.h>

#include <gtest/gtest.h>

#include <fstream>
#include <string>

#include "base/dirlist.h"
#include "base/dirlist_internal.h"
#include "base/strings.h"
#include "tests/support/test_support.h"

namespace {

using twtest::U16;

int KindOf(const cDirListing& listing, const std::u16string& name) {
  for (int32_t id = 0; id < listing.NextId(); ++id) {
    const sDirEntry* e = listing.Find(id);
    if (e != nullptr && name == e->path.text) return e->kind;
  }
  return -1;
}

TEST(NativeListing, DevicesAreListedUnlessSkipped) {
  cDirListing listing;
  ASSERT_TRUE(listing.ReadDirectory(u"/dev", false));
  EXPECT_EQ(KindOf(listing, u"null"), sDirEntry::kDevice);
  ASSERT_TRUE(listing.ReadDirectory(u"/dev", true));
  EXPECT_EQ(KindOf(listing, u"null"), -1);
  for (int32_t id = 0; id < listing.NextId(); ++id) EXPECT_NE(listing.Find(id)->kind, sDirEntry::kDevice);
}

TEST(NativeListing, NamesEqualButForCaseKeepOrdinalOrder) {
  twtest::TempDir tmp;
  for (const char* n : {"b", "B", "a", "A"}) std::ofstream(tmp.path() + "/" + n) << n;
  cDirListing listing;
  ASSERT_TRUE(listing.ReadDirectory(U16(tmp.path()).c_str(), false));
  ASSERT_EQ(listing.NextId(), 4);
  const char16_t* expect[] = {u"A", u"a", u"B", u"b"};
  for (int32_t id = 0; id < 4; ++id) EXPECT_EQ(std::u16string(listing.Find(id)->path.text), expect[id]);
}

TEST(NativePlaces, HomeAndRoot) {
  cDirListing places;
  ASSERT_TRUE(places.ReadPlaces());
  ASSERT_EQ(places.NextId(), 2);
  const sDirEntry* root = places.Find(1);
  EXPECT_EQ(std::u16string(root->path.text), u"/");
  EXPECT_EQ(root->kind, sDirEntry::kDrive);
  uint64_t freeBytes = 0, total = 0;
  ASSERT_TRUE(GetDiskSpace(u"/", freeBytes, total));
  EXPECT_EQ(std::u16string(root->displayText.text), u"Fixed disk / (" + tw::GigabyteText(total) + u"GB)");
}

TEST(NativeRights, GrantSetsThePermissionDigits) {
  twtest::TempDir tmp;
  const std::string file = tmp.path() + "/f";
  std::ofstream(file) << "x";
  struct Case {
    uint32_t user, administrators, everyone;
    mode_t mode;
    uint32_t rights;  // what the owner then has
  } cases[] = {{7, 5, 5, 0755, 7}, {7, 7, 5, 0775, 7}, {6, 4, 0, 0640, 6}, {6, 0, 4, 0604, 6}};
  for (const auto& c : cases) {
    ASSERT_TRUE(GrantAccess(U16(file).c_str(), c.user, c.administrators, c.everyone));
    struct stat st;
    ASSERT_EQ(stat(file.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, c.mode);
    EXPECT_EQ(GetAccessRights(U16(file).c_str()), c.rights);
  }
  EXPECT_FALSE(GrantAccess(u"/dev/null", 7, 7, 7));  // a device
  EXPECT_FALSE(LoadNetworkFunctions());
}

}  // namespace
