// Free space of a folder's volume: known for an existing folder, refused for
// a missing one and for no path at all (the output then left alone).
#include <gtest/gtest.h>

#include <string>

#include "base/disk_space.h"
#include "tests/support/test_support.h"

namespace {

TEST(DiskSpace, KnownForAnExistingFolderOnly) {
  twtest::TempDir tmp;
  uint64_t available = 0;
  ASSERT_TRUE(GetAvailableDiskSpace(twtest::U16(tmp.path()).c_str(), &available));
  EXPECT_GT(available, 0u);

  const uint64_t marker = 12345;
  for (const std::u16string& path : {twtest::U16(tmp.path() + "/missing/below"), std::u16string()}) {
    uint64_t untouched = marker;
    EXPECT_FALSE(GetAvailableDiskSpace(path.c_str(), &untouched)) << twtest::Narrow(path);
    EXPECT_EQ(untouched, marker);
  }
  EXPECT_FALSE(GetAvailableDiskSpace(nullptr, &available));
  EXPECT_FALSE(GetAvailableDiskSpace(twtest::U16(tmp.path()).c_str(), nullptr));
}

}  // namespace
