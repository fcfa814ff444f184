// Document markup: whatever the text, the compiler ends without a fault, and
// anything it accepts must load back: its body, tables and ids are checked
// by the loader. The input is UTF-8 markup compiled as language 0; when its
// first byte is odd, the same markup is compiled again as language 2 into
// the same tables, which must then share their fonts, strings and pictures.
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "base/memio.h"
#include "base/utf8.h"
#include "sidoc/compiler.h"
#include "sidoc/format.h"
#include "sidoc/loader.h"
#include "sidoc/markup.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > (1u << 16)) return 0;
  const char* bytes = reinterpret_cast<const char*>(data);
  const int32_t n = static_cast<int32_t>(size);
  std::vector<char16_t> text(static_cast<size_t>(Utf8UnitCount(bytes, n)) + 1);
  const int32_t units = Utf8Decode(bytes, n, text.data(), static_cast<int32_t>(text.size()));

  sDocCompileContext context;
  context.currentLanguage = 0;
  if (!CompileLanguageMarkup(context, text.data(), units)) {
    if (context.errorMessage == nullptr) std::abort();  // a failure always says why
    return 0;
  }
  const uint64_t strings = context.stringTable.GetSize(), fonts = context.fontTable.GetSize();
  if (size > 0 && (data[0] & 1) != 0) {
    context.currentLanguage = 2;
    if (!CompileLanguageMarkup(context, text.data(), units)) std::abort();
    if (context.stringTable.GetSize() != strings || context.fontTable.GetSize() != fonts) std::abort();
  }
  cMemIOTarget target;
  cDocCompileError error;
  if (!target.WriteExact(sidoc::kMagic, sidoc::kMagicSize) || !WriteDocumentParts(context, &target, &error))
    std::abort();
  _typebuf<char> document;
  if (!target.CopyToBuffer(document)) std::abort();
  cSiDocLoader loader;
  if (!LoadCompiledDocument(document.data, static_cast<uint32_t>(document.count), &loader)) std::abort();
  if (loader.GetContainer(0) == nullptr) std::abort();
  return 0;
}
