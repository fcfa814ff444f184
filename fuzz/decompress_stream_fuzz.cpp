// Fuzz target for the decompressing stream: raw deflate data followed by six
// option bytes (window size, declared size offset, seed and count of random
// seeks and reads). Every byte the stream hands out must equal what a plain
// zlib inflate of the same data gives at that position; the stream may end
// early on damaged data but never invents bytes.
#include <zlib.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "base/decompress_stream.h"
#include "base/memio.h"

namespace {

constexpr size_t kOracleCap = 1 << 20;  // limits memory, not a property of the stream

std::vector<unsigned char> Oracle(const uint8_t* data, size_t size) {
  std::vector<unsigned char> out(kOracleCap);
  z_stream s{};
  if (inflateInit2(&s, -15) != Z_OK) return {};
  s.next_in = const_cast<uint8_t*>(data);
  s.avail_in = static_cast<uInt>(size);
  s.next_out = out.data();
  s.avail_out = static_cast<uInt>(out.size());
  inflate(&s, Z_FINISH);
  out.resize(s.total_out);
  inflateEnd(&s);
  return out;
}

void Check(bool ok) {
  if (!ok) std::abort();
}

void CheckRead(cFileIOTarget& z, uint64_t at, uint32_t want, uint64_t declared,
               const std::vector<unsigned char>& oracle) {
  std::vector<unsigned char> buf(want);
  const uint32_t got = z.Read(buf.data(), want);
  Check(at + got <= declared);
  for (uint32_t i = 0; i < got; ++i) Check(at + i < oracle.size() && buf[i] == oracle[at + i]);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 6 || size > (1 << 20)) return 0;
  const uint8_t* opt = data + size - 6;
  size -= 6;
  static const int32_t kWindows[] = {1, 7, 100, 4096, 32768, 65536, 3000, 65537};
  const int32_t window = kWindows[opt[0] % 8];
  const std::vector<unsigned char> oracle = Oracle(data, size);
  const int64_t offset = static_cast<int64_t>(opt[1] | (opt[2] << 8)) - 32768;
  const int64_t declaredSigned = std::min<int64_t>(static_cast<int64_t>(oracle.size()) + offset, kOracleCap);
  const uint64_t declared = declaredSigned < 0 ? 0 : static_cast<uint64_t>(declaredSigned);
  uint32_t seed = static_cast<uint32_t>(opt[3] | (opt[4] << 8));
  const int ops = opt[5] % 32;

  cBufWrapperIO source(data, static_cast<uint32_t>(size));
  cZStream z;
  const bool opened = z.OpenDeflate(&source, declared, window, false, 15);
  if (declared == 0) Check(!opened);
  if (!opened) return 0;
  Check(z.GetSize() == declared);
  // Tiny windows cost a hand-over per few bytes: keep their reads short.
  const uint32_t maxRead = window < 4096 ? 2000 : 70000;
  uint64_t at = 0;
  for (int i = 0; i < ops; ++i) {
    seed = seed * 1103515245u + 12345u;
    const uint32_t r = seed >> 8;
    switch (r % 5) {
      case 0:
      case 1: {
        const uint64_t p = declared == 0 ? 0 : (r >> 3) % (declared + 3);
        if (z.Seek(p)) at = std::min(p, declared);
        break;
      }
      case 2: {
        const uint64_t d = (r >> 3) % (declared + 3);
        if (z.SeekFromEnd(d)) at = d >= declared ? 0 : declared - d;
        break;
      }
      case 3: {
        std::unique_ptr<cFileIOTarget> copy = z.Clone(true);
        Check(copy != nullptr);
        if (copy->Seek(0)) CheckRead(*copy, 0, 1 + (r >> 3) % 5000, declared, oracle);
        break;
      }
      default: {
        const uint32_t want = 1 + (r >> 3) % maxRead;
        std::vector<unsigned char> buf(want);
        const uint64_t before = at;
        const uint32_t got = z.Read(buf.data(), want);
        Check(before + got <= declared);
        for (uint32_t k = 0; k < got; ++k) Check(before + k < oracle.size() && buf[k] == oracle[before + k]);
        at += got;
        break;
      }
    }
  }
  // A final sequential pass from the start sees a prefix of the oracle.
  Check(z.Seek(0));
  CheckRead(z, 0, static_cast<uint32_t>(std::min<uint64_t>(declared, maxRead * 3)), declared, oracle);
  return 0;
}
