// Fuzzes the text reader over arbitrary bytes. The last input byte chooses
// how the encoding is set (kept from Attach, or SetEncoding 0..4).
// Properties: every successful ReadLine consumes at least one byte, no line
// exceeds the limit, and a rewind reads the same first line again.
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "base/memio.h"
#include "base/text_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > (1u << 20)) return 0;
  int encoding = -1;
  if (size > 0) {
    encoding = data[size - 1] % 6 - 1;  // -1: UTF-8 as attached
    --size;
  }
  cBufWrapperIO stream(static_cast<const void*>(data), static_cast<uint32_t>(size));
  cTextFileReader reader;
  reader.Attach(&stream);
  if (encoding >= 0) {
    stream.Seek(0);
    reader.SetEncoding(encoding);
  }
  _typebuf<char16_t> line;
  std::vector<char16_t> first;
  size_t lines = 0;
  while (reader.ReadLine(line)) {
    if (line.count < 0 || line.count > cTextFileReader::kMaxLineUnits) std::abort();
    if (lines == 0 && line.count > 0) first.assign(line.data, line.data + line.count);
    if (++lines > size) std::abort();  // no progress: the reader would hang
  }
  if (lines > 0 && reader.Rewind() && reader.ReadLine(line)) {
    if (static_cast<size_t>(line.count) != first.size()) std::abort();
    for (int32_t i = 0; i < line.count; ++i)
      if (line.data[i] != first[static_cast<size_t>(i)]) std::abort();
  }
  return 0;
}
