// tarnwick.exe's resources read back by the system's own loader: the
// manifest asks for administrator rights, and the icon group holds five
// sizes, the small ones loadable as icons and the largest stored as PNG.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "base/win_text.h"
#include "tests/support/capture.h"
#include "tests/support/test_support.h"

namespace {

#pragma pack(push, 2)
struct sGroupEntry {  // GRPICONDIRENTRY
  BYTE width, height, colours, reserved;
  WORD planes, bits;
  DWORD bytes;
  WORD id;
};
#pragma pack(pop)

class TarnwickResources : public ::testing::Test {
protected:
  void SetUp() override {
    const std::u16string path = twtest::U16(twtest::BinaryPath("tarnwick.exe"));
    module_ = LoadLibraryExW(tw::ToWin(path.c_str()), nullptr,
                             LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    ASSERT_NE(module_, nullptr) << "tarnwick.exe in the build folder";
  }
  void TearDown() override {
    if (module_ != nullptr) FreeLibrary(module_);
  }
  std::string Resource(LPCWSTR type, LPCWSTR name) {
    HRSRC found = FindResourceW(module_, name, type);
    if (found == nullptr) return {};
    HGLOBAL loaded = LoadResource(module_, found);
    const void* data = loaded != nullptr ? LockResource(loaded) : nullptr;
    return data != nullptr ? std::string(static_cast<const char*>(data), SizeofResource(module_, found)) : std::string();
  }
  HMODULE module_ = nullptr;
};

TEST_F(TarnwickResources, ManifestAsksForAdministratorRights) {
  const std::string manifest = Resource(RT_MANIFEST, MAKEINTRESOURCEW(1));
  ASSERT_FALSE(manifest.empty());
  EXPECT_NE(manifest.find("<requestedExecutionLevel level=\"requireAdministrator\""), std::string::npos);
}

TEST_F(TarnwickResources, IconGroupHoldsFiveSizes) {
  const std::string group = Resource(RT_GROUP_ICON, MAKEINTRESOURCEW(101));
  ASSERT_GE(group.size(), 6u);
  WORD count = 0;
  std::memcpy(&count, group.data() + 4, 2);
  ASSERT_EQ(count, 5);
  ASSERT_EQ(group.size(), 6u + count * sizeof(sGroupEntry));
  const int sizes[] = {16, 24, 32, 48, 0};  // 0: 256
  for (int i = 0; i < count; ++i) {
    sGroupEntry e;
    std::memcpy(&e, group.data() + 6 + i * sizeof(sGroupEntry), sizeof e);
    EXPECT_EQ(e.width, sizes[i]);
    EXPECT_EQ(e.height, sizes[i]);
    EXPECT_EQ(e.bits, 32);
    const std::string image = Resource(RT_ICON, MAKEINTRESOURCEW(e.id));
    ASSERT_EQ(image.size(), e.bytes) << i;
    if (sizes[i] == 0) {
      EXPECT_EQ(image.substr(0, 8), std::string("\x89PNG\r\n\x1a\n", 8));
    } else {
      uint32_t header = 0;
      std::memcpy(&header, image.data(), 4);
      EXPECT_EQ(header, 40u) << "a BITMAPINFOHEADER";
    }
  }
  // The system loads the small ones as icons of their own size.
  for (int size : {16, 32, 48}) {
    HICON icon = static_cast<HICON>(LoadImageW(module_, MAKEINTRESOURCEW(101), IMAGE_ICON, size, size, 0));
    ASSERT_NE(icon, nullptr) << size;
    ICONINFO info{};
    ASSERT_TRUE(GetIconInfo(icon, &info));
    BITMAP bitmap{};
    ASSERT_NE(GetObjectW(info.hbmColor, sizeof bitmap, &bitmap), 0);
    EXPECT_EQ(bitmap.bmWidth, size);
    DeleteObject(info.hbmColor);
    DeleteObject(info.hbmMask);
    DestroyIcon(icon);
  }
}

}  // namespace
