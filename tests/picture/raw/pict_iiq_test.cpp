// cPictIIQ over synthetic IIQ files: a TIFF whose first page is the preview
// and a Phase One block (marker at 8, or behind a stored ZIP entry) with its
// 16-byte directory, coded rows from the test kit's encoder, black tables,
// margins (through the shared border check) and the refusals.
#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "base/memio.h"
#include "picture/raw/pict_iiq.h"
#include "picture/raw/raw_develop.h"
#include "tests/support/raw_fixture_dump.h"
#include "tests/support/iiq_builder.h"
#include "tests/support/iiq_encoder.h"
#include "tests/support/tiff_builder.h"

namespace {

using namespace iiq_builder;

struct sSeen {
  std::vector<uint16_t> raw;
};
void Hook(const uint16_t* raw, int32_t w, int32_t h, void* user) {
  static_cast<sSeen*>(user)->raw.assign(raw, raw + static_cast<size_t>(w) * h);
}
struct cHookScope {
  explicit cHookScope(sSeen* s) { SetRawFrameHook(&Hook, s); }
  ~cHookScope() { SetRawFrameHook(nullptr, nullptr); }
};

TEST(Iiq, LoadsCodedRows) {
  struct {
    const char* name;
    sIiq f;
  } cases[] = {
      {"format 4", {}},
      {"format 5 curve", [] { sIiq f; f.format = 5; f.black = 0; return f; }()},
      {"black tables", [] { sIiq f; f.tables = true; return f; }()},
      {"zip wrapped", [] { sIiq f; f.zip = true; return f; }()},
      {"width not whole groups", [] { sIiq f; f.width = 37; f.imageWidth = 30; return f; }()},
  };
  for (const auto& c : cases) {
    const auto built = Build(c.f);
    twtest::DumpRawFixture("iiq", c.name, built.bytes);
    cBufWrapperIO io(built.bytes.data(), static_cast<uint32_t>(built.bytes.size()));
    cPictIIQ d;
    sPictInfo info;
    ASSERT_TRUE(cPictIIQ::Detect(&io, &info)) << c.name;
    EXPECT_EQ(info.width, c.f.imageWidth) << c.name;
    EXPECT_EQ(info.height, c.f.imageHeight) << c.name;
    EXPECT_TRUE(info.hasPreview) << c.name;
    sSeen seen;
    cHookScope hook(&seen);
    ASSERT_TRUE(d.Load(&io)) << c.name;
    EXPECT_EQ(seen.raw, built.frame) << c.name;
    EXPECT_EQ(d.GetWidth(), c.f.imageWidth) << c.name;
    EXPECT_DOUBLE_EQ(d.Level(0), 2.0);
    cPictDummy preview;
    int32_t w = 0, h = 0;
    ASSERT_TRUE(d.LoadPreview(&io, &preview, w, h)) << c.name;
    EXPECT_EQ(preview.GetWidth(), 16);
  }
}

TEST(Iiq, MarginsAndRefusals) {
  struct {
    const char* name;
    sIiq f;
    bool reads, loads;
    int32_t right, bottom;
  } cases[] = {
      {"image as wide as the rest", [] { sIiq f; f.imageWidth = 38; f.imageHeight = 11; return f; }(), true, true, 0, 0},
      {"formats 1 and 2 do not load", [] { sIiq f; f.format = 2; return f; }(), true, false, 4, 1},
      {"compressed zip entry", [] { sIiq f; f.zip = true; f.zipMethod = 8; return f; }(), false, false, 0, 0},
      {"margins that leave nothing", [] { sIiq f; f.left = 40; f.imageWidth = 0; return f; }(), true, false, 0, 1},
  };
  for (const auto& c : cases) {
    const auto built = Build(c.f);
    cBufWrapperIO io(built.bytes.data(), static_cast<uint32_t>(built.bytes.size()));
    cPictIIQ d;
    EXPECT_EQ(d.ReadInfo(&io, nullptr), c.reads) << c.name;
    if (c.reads) {
      EXPECT_EQ(d.Margins().right, c.right) << c.name;
      EXPECT_EQ(d.Margins().bottom, c.bottom) << c.name;
    }
    EXPECT_EQ(d.Load(&io), c.loads) << c.name;
  }
  // No marker at either place.
  std::vector<uint8_t> tiff = Build(sIiq{}).bytes;
  tiff[12] = 'X';
  cBufWrapperIO io(tiff.data(), static_cast<uint32_t>(tiff.size()));
  cPictIIQ d;
  EXPECT_FALSE(d.ReadInfo(&io, nullptr));
}

// Margins from the file are any 32-bit values: the reported size is what the
// frame check would leave, never a wrapped difference, and such a file does
// not load.
TEST(Iiq, HostileMarginsReportNothing) {
  struct {
    const char* name;
    sIiq f;
    int32_t width, height;
  } cases[] = {
      {"left margin near INT32_MIN", [] { sIiq f; f.left = INT32_MIN + 2; return f; }(), 0, 10},
      {"top margin INT32_MIN", [] { sIiq f; f.top = INT32_MIN; return f; }(), 34, 0},
      {"left margin past the width", [] { sIiq f; f.left = 50; return f; }(), 0, 10},
      {"top margin INT32_MAX", [] { sIiq f; f.top = INT32_MAX; return f; }(), 34, 0},
  };
  for (const auto& c : cases) {
    const auto built = Build(c.f);
    cBufWrapperIO io(built.bytes.data(), static_cast<uint32_t>(built.bytes.size()));
    sPictInfo info;
    ASSERT_TRUE(cPictIIQ::Detect(&io, &info)) << c.name;
    EXPECT_EQ(info.width, c.width) << c.name;
    EXPECT_EQ(info.height, c.height) << c.name;
    cPictIIQ d;
    EXPECT_FALSE(d.Load(&io)) << c.name;
  }
}

}  // namespace
