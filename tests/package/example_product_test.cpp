// The example product (examples/demo) that `make demo` and the end-to-end
// build package: its documents compile and load in both languages, with
// their pictures and links.
#include <gtest/gtest.h>

#include <string>

#include "base/memio.h"
#include "sidoc/compiler.h"
#include "sidoc/loader.h"
#include "tests/support/test_support.h"

namespace {

TEST(ExampleProduct, DocumentsCompileAndLoadInBothLanguages) {
  for (const char* index : {"welcome.idx", "readme.idx", "licence.idx"}) {
    SCOPED_TRACE(index);
    const std::u16string path = twtest::U16(twtest::SourcePath(std::string("examples/demo/docs/") + index));
    tLanguageCodeMap codes(kPackedKeyDepthLimit);
    cMemIOTarget out;
    cDocCompileError error;
    ASSERT_TRUE(CompileDocument(&codes, path.c_str(), &out, &error))
        << (error.message.text ? error.message.text : "") << " in " << twtest::Narrow(error.path.text ? error.path.text : u"")
        << " line " << error.line << " column " << error.column;
    _typebuf<char> bytes;
    ASSERT_TRUE(out.CopyToBuffer(bytes));
    cSiDocLoader loader;
    eDocLoadError reason = eDocLoadError::kNone;
    ASSERT_TRUE(LoadCompiledDocument(bytes.data, static_cast<uint32_t>(bytes.count), &loader, &reason));
    // English (0) and German (2), nothing else.
    EXPECT_NE(loader.GetContainer(0), nullptr);
    EXPECT_NE(loader.GetContainer(2), nullptr);
    EXPECT_EQ(loader.GetContainer(1), nullptr);
    // Each links to the product's pages; welcome and readme show the logo.
    bool linksHome = false;
    for (auto* n = loader.strings.First(); n != nullptr; n = loader.strings.Next(n)) {
      const std::string s = twtest::Narrow(n->value.text ? n->value.text : u"");
      if (s.rfind("https://example.org/hello/", 0) == 0) linksHome = true;
    }
    EXPECT_TRUE(linksHome);
    if (std::string(index) != "licence.idx") {
      ASSERT_FALSE(loader.pictures.IsEmpty());
      const auto* picture = loader.pictures.First();
      EXPECT_NE(picture->value.get(), nullptr);  // decoded, not an empty slot
    }
  }
}

}  // namespace
