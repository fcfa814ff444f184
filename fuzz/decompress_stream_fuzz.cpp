// Fuzz target for the decompressing stream: raw deflate data followed by six
// option bytes (window size, declared size offset, seed and count of random
// seeks, reads and clones).
// Properties:
//  - a sequential pass gives at most the declared size; for data that zlib's
//    inflate finds no error in, it is inflate's output up to that size,
//    also when the data is cut short;
//  - afterwards every seek, read and clone agrees exactly with that pass:
//    positions inside it read its bytes, positions past it read nothing.
// (On damaged data inflateBack may decode differently from inflate before it
// notices the damage, so there the pass itself is the reference.)
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

// Limits memory and time (every backward seek decodes again from the
// start), not a property of the stream.
constexpr size_t kOracleCap = 1 << 18;

// inflate's output: the first size bytes of a buffer made once (zeroing a
// megabyte per input would cost most of the run).
struct sOracle {
  const unsigned char* data = nullptr;
  size_t size = 0;
  int result = Z_OK;
};

sOracle Inflate(const uint8_t* data, size_t size) {
  static std::vector<unsigned char> buffer(kOracleCap);
  sOracle o;
  o.data = buffer.data();
  z_stream s{};
  if (inflateInit2(&s, -15) != Z_OK) return {};
  s.next_in = const_cast<uint8_t*>(data);
  s.avail_in = static_cast<uInt>(size);
  s.next_out = buffer.data();
  s.avail_out = static_cast<uInt>(buffer.size());
  o.result = inflate(&s, Z_FINISH);
  o.size = s.total_out;
  inflateEnd(&s);
  return o;
}

void Check(bool ok) {
  if (!ok) std::abort();
}

// Reads want bytes at the stream's position at, which must give exactly
// what the reference holds there.
void CheckRead(cFileIOTarget& z, uint64_t at, uint32_t want, const std::vector<unsigned char>& ref) {
  // Exactly want bytes, left unset: a read past them is caught.
  std::unique_ptr<unsigned char[]> buf(new unsigned char[want]);
  const uint32_t got = z.Read(buf.get(), want);
  const uint64_t avail = at < ref.size() ? ref.size() - at : 0;
  Check(got == std::min<uint64_t>(want, avail));
  Check(got == 0 || std::memcmp(buf.get(), ref.data() + at, got) == 0);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 6 || size > (1 << 20)) return 0;
  const uint8_t* opt = data + size - 6;
  size -= 6;
  static const int32_t kWindows[] = {1, 7, 100, 4096, 32768, 65536, 3000, 65537};
  const int32_t window = kWindows[opt[0] % 8];
  const sOracle oracle = Inflate(data, size);
  const int64_t offset = static_cast<int64_t>(opt[1] | (opt[2] << 8)) - 32768;
  const int64_t declaredSigned =
      std::min<int64_t>(static_cast<int64_t>(oracle.size) + offset, kOracleCap);
  const uint64_t declared = declaredSigned < 0 ? 0 : static_cast<uint64_t>(declaredSigned);
  uint32_t seed = static_cast<uint32_t>(opt[3] | (opt[4] << 8));
  const int ops = opt[5] % 16;

  cBufWrapperIO source(data, static_cast<uint32_t>(size));
  cZStream z;
  const bool opened = z.OpenDeflate(&source, declared, window, false, 15);
  if (declared == 0) Check(!opened);
  if (!opened) return 0;
  Check(z.GetSize() == declared);

  static std::vector<unsigned char> buf(65536);
  std::vector<unsigned char> ref;
  for (uint32_t n; (n = z.Read(buf.data(), 65536)) > 0;) ref.insert(ref.end(), buf.begin(), buf.begin() + n);
  Check(!ref.empty() && ref.size() <= declared);
  if (oracle.result != Z_DATA_ERROR) {
    Check(ref.size() <= oracle.size && std::equal(ref.begin(), ref.end(), oracle.data));
    // Complete or cut short, the stream gives every byte that inflate does
    // (up to the declared size).
    Check(ref.size() == std::min<uint64_t>(declared, oracle.size));
  }

  // Tiny windows cost a hand-over per few bytes: keep their reads short.
  const uint32_t maxRead = window < 4096 ? 2000 : 70000;
  uint64_t at = declared;  // after the pass
  for (int i = 0; i < ops; ++i) {
    seed = seed * 1103515245u + 12345u;
    const uint32_t r = seed >> 8;
    switch (r % 5) {
      case 0:
      case 1: {
        const uint64_t p = (r >> 3) % (declared + 3);
        const bool ok = z.Seek(p);
        Check(ok == (p < ref.size() || p >= declared));
        if (ok) at = std::min(p, declared);
        break;
      }
      case 2: {
        const uint64_t d = (r >> 3) % (declared + 3);
        const uint64_t p = d >= declared ? 0 : declared - d;
        const bool ok = z.SeekFromEnd(d);
        Check(ok == (p < ref.size() || p >= declared));
        if (ok) at = p;
        break;
      }
      case 3: {
        std::unique_ptr<cFileIOTarget> copy = z.Clone(true);
        Check(copy != nullptr && copy->GetSize() == declared);
        const uint64_t p = (r >> 3) % ref.size();
        Check(copy->Seek(p));
        CheckRead(*copy, p, 1 + (r >> 5) % maxRead, ref);
        break;
      }
      default: {
        const uint32_t want = 1 + (r >> 3) % maxRead;
        CheckRead(z, at, want, ref);
        at = std::min<uint64_t>(at + want, std::max<uint64_t>(at, ref.size()));
        break;
      }
    }
  }
  return 0;
}
