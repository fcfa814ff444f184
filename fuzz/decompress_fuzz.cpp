// Fuzz target for the whole-buffer decompressors: the input is compressed
// data followed by two option bytes (LZW width and bit order, output cap).
// LZW: the output never exceeds the cap, and decoding the same buffer twice
// gives the same result. zlib (zlib and raw streams): the output equals what
// zlib's own inflate gives up to the cap, and EndReached agrees with it.
#include <zlib.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "base/decompress.h"

namespace {

void Check(bool ok) {
  if (!ok) std::abort();
}

_typebuf<char> Buf(const uint8_t* data, size_t size) {
  _typebuf<char> t(static_cast<int32_t>(size));
  if (size > 0) std::memcpy(t.data, data, size);
  return t;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2 || size > (1 << 20)) return 0;
  const uint8_t mode = data[size - 2];
  const int32_t cap = static_cast<int32_t>(data[size - 1]) << 12;  // up to about 1 MiB
  size -= 2;
  const _typebuf<char> input = Buf(data, size);

  const int32_t width = 1 + (mode & 15);  // 10..16 count as 9
  const bool msb = (mode & 16) != 0;
  const bool early = (mode & 32) != 0;
  cLZWDecompress lzw(width, msb, early);
  _typebuf<char> a, b;
  const bool ra = lzw.Decompress(input, a, cap);
  Check(a.count <= cap);
  if (size == 0) Check(!ra);
  const bool rb = lzw.Decompress(input, b, cap);
  Check(ra == rb && a.count == b.count && (a.count == 0 || std::memcmp(a.data, b.data, a.count) == 0));

  const int32_t windowBits = (mode & 64) ? -15 : 15;
  cZDecompress z(windowBits);
  _typebuf<char> out;
  z.Decompress(input, out, cap);
  Check(out.count <= cap);
  // The peer: inflate with one byte of room beyond the cap, into a buffer
  // made once (zeroing a megabyte per input would cost most of the run);
  // only the bytes inflate reports are compared.
  static std::vector<unsigned char> peer((255 << 12) + 1);
  z_stream s{};
  Check(inflateInit2(&s, windowBits) == Z_OK);
  s.next_in = const_cast<uint8_t*>(data);
  s.avail_in = static_cast<uInt>(size);
  s.next_out = peer.data();
  s.avail_out = static_cast<uInt>(cap) + 1;
  const int ret = size == 0 ? Z_BUF_ERROR : inflate(&s, Z_FINISH);
  const size_t produced = std::min<size_t>(s.total_out, static_cast<size_t>(cap));
  inflateEnd(&s);
  Check(static_cast<size_t>(out.count) == produced);
  Check(produced == 0 || std::memcmp(out.data, peer.data(), produced) == 0);
  Check(z.EndReached() == (ret == Z_STREAM_END && s.total_out <= static_cast<uLong>(cap)));
  return 0;
}
