// Fuzz target for the stepwise inflate (cZDecompress::InflateStep): the input
// is zlib or raw deflate data followed by four option bytes (stream kind,
// seeds for the sizes of the input pieces and of the output rooms).
// The data is fed in pieces of random size and drained through output rooms
// of random size, each allocated to its exact size so that a write past the
// room is caught. Properties:
//  - the counts a step reports stay within what it was given;
//  - the bytes produced, however cut, are what zlib's one-shot inflate of
//    the whole data gives, and a run that used all its input without a
//    failed step produced all of it, with EndReached as zlib's stream end.
#include <zlib.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "base/decompress.h"

namespace {

constexpr size_t kOutputCap = 1 << 20;  // limits memory, not a property of the decoder

// A failed property names its line before the abort.
[[noreturn]] void Fail(int line, const char* what) {
  std::fprintf(stderr, "%s:%d: property failed: %s\n", __FILE__, line, what);
  std::abort();
}
#define Check(ok) ((ok) ? void() : Fail(__LINE__, #ok))

struct sOracle {
  const unsigned char* data = nullptr;
  size_t size = 0;
  int result = Z_OK;
};

// Made once: zeroing a megabyte per input would cost most of the run.
sOracle Inflate(const uint8_t* data, size_t size, int windowBits) {
  static std::vector<unsigned char> buffer(kOutputCap + 1);
  sOracle o;
  o.data = buffer.data();
  z_stream s{};
  if (inflateInit2(&s, windowBits) != Z_OK) return o;
  s.next_in = const_cast<uint8_t*>(data);
  s.avail_in = static_cast<uInt>(size);
  s.next_out = buffer.data();
  s.avail_out = static_cast<uInt>(buffer.size());
  o.result = inflate(&s, Z_FINISH);
  o.size = s.total_out;
  inflateEnd(&s);
  return o;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 4 || size > (1 << 18)) return 0;
  const uint8_t* opt = data + size - 4;
  size -= 4;
  const int windowBits = (opt[0] & 1) ? cZDecompress::kRawWindowBits : cZDecompress::kZlibWindowBits;
  uint32_t seed = static_cast<uint32_t>(opt[1] | (opt[2] << 8) | (opt[3] << 16));
  auto next = [&seed](uint32_t range) {
    seed = seed * 1103515245u + 12345u;
    return 1 + (seed >> 8) % range;
  };
  const uint32_t inRange = 1 + (opt[0] >> 1) % 64 * 16;   // pieces of 1 to 1009 bytes
  const uint32_t outRange = 1 + (opt[0] >> 4) * 300;      // rooms of 1 to 4501 bytes

  const sOracle oracle = Inflate(data, size, windowBits);
  // The stream's input is not copied by the decoder: each piece lives in an
  // exact-size copy until the next piece replaces it.
  cZDecompress z(windowBits);
  std::vector<unsigned char> produced;
  bool failed = false;
  size_t fed = 0;
  std::unique_ptr<uint8_t[]> piece;
  while (fed < size && !failed && produced.size() <= kOutputCap) {
    const int32_t pieceSize = static_cast<int32_t>(std::min<size_t>(next(inRange), size - fed));
    piece.reset(new uint8_t[static_cast<size_t>(pieceSize)]);
    std::memcpy(piece.get(), data + fed, static_cast<size_t>(pieceSize));
    fed += static_cast<size_t>(pieceSize);
    int32_t consumed = 0;
    // The first step takes the piece; later ones continue with what it left
    // (null data). Once the piece is used up, a step with data of length 0
    // drains what zlib still holds back (a match cut by a full room): a
    // null step answers 0 and 0 then without calling zlib.
    bool first = true;
    for (int32_t left = pieceSize;;) {
      const int32_t room = static_cast<int32_t>(next(outRange));
      std::unique_ptr<unsigned char[]> out(new unsigned char[static_cast<size_t>(room)]);
      const void* in = first ? piece.get() : (left > 0 ? nullptr : piece.get());
      int32_t outCount = room, inCount = first ? left : 0;
      first = false;
      const bool ok = z.InflateStep(outCount, in, inCount, out.get());
      Check(outCount >= 0 && outCount <= room);
      Check(inCount >= 0 && inCount <= left);
      produced.insert(produced.end(), out.get(), out.get() + outCount);
      consumed += inCount;
      left -= inCount;
      if (!ok) {
        failed = true;
        break;
      }
      // Nothing moved: the piece is used up or the decoder waits for more.
      if (outCount == 0 && inCount == 0) break;
      if (produced.size() > kOutputCap) break;
    }
    Check(consumed <= pieceSize);
  }

  const size_t compared = std::min(produced.size(), oracle.size);
  Check(compared == 0 || std::memcmp(produced.data(), oracle.data, compared) == 0);
  if (!failed && produced.size() <= kOutputCap && oracle.size <= kOutputCap) {
    Check(produced.size() == oracle.size);
    Check(z.EndReached() == (oracle.result == Z_STREAM_END));
  } else {
    Check(produced.size() <= oracle.size || produced.size() > kOutputCap);
  }
  return 0;
}
