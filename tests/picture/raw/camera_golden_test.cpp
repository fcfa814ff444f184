// The camera decoders through the picture factory on the synthetic files
// kept as fuzz seeds: each is recognised as its format and develops to the
// same pixels on every target (the hashes were taken natively; the Windows
// build must agree, SuperCCD rotation and X-Trans included).
#include <gtest/gtest.h>

#include <cinttypes>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "base/memio.h"
#include "picture/pict_factory.h"
#include "tests/support/test_support.h"

namespace {

uint64_t Fnv(const cPictBase& p) {
  uint64_t h = 0xcbf29ce484222325ull;
  auto add = [&](uint8_t b) { h = (h ^ b) * 0x100000001b3ull; };
  const int64_t n = static_cast<int64_t>(p.GetWidth()) * p.GetHeight();
  for (int64_t i = 0; i < n; ++i) {
    const uint64_t v = p.Pixels64().data[i];
    for (int k = 0; k < 8; ++k) add(static_cast<uint8_t>(v >> (8 * k)));
  }
  return h;
}

TEST(CameraGolden, FactoryDecodesEverySeedAlike) {
  struct {
    const char* file;
    int32_t format, width, height;
    uint64_t hash;
  } cases[] = {
#include "tests/picture/raw/camera_golden.inc"
  };
  for (const auto& c : cases) {
    const std::string text = twtest::ReadFileText(twtest::SourcePath(std::string("fuzz/corpus/") + c.file));
    ASSERT_GT(text.size(), 1u) << c.file;
    std::vector<uint8_t> bytes(text.begin(), text.end() - 1);  // the fuzz option byte
    cBufWrapperIO io(bytes.data(), static_cast<uint32_t>(bytes.size()));
    std::unique_ptr<cPictBase> p(CreatePicture(&io, nullptr));
    ASSERT_NE(p, nullptr) << c.file;
    EXPECT_EQ(p->GetFormat(), c.format) << c.file;
    EXPECT_EQ(p->GetWidth(), c.width) << c.file;
    EXPECT_EQ(p->GetHeight(), c.height) << c.file;
    ASSERT_TRUE(p->IsHighDepth()) << c.file;
    const uint64_t h = Fnv(*p);
    EXPECT_EQ(h, c.hash) << c.file << ": {\"" << c.file << "\", " << p->GetFormat() << ", " << p->GetWidth()
                         << ", " << p->GetHeight() << ", 0x" << std::hex << h << "ull},";
  }
}

}  // namespace
