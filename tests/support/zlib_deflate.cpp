#include "tests/support/zlib_deflate.h"

#include <gtest/gtest.h>
#include <zlib.h>

namespace twtest {

std::vector<unsigned char> Deflate(const std::vector<unsigned char>& in, int windowBits, int level) {
  z_stream s{};
  EXPECT_EQ(deflateInit2(&s, level, Z_DEFLATED, windowBits, 8, Z_DEFAULT_STRATEGY), Z_OK);
  std::vector<unsigned char> out(deflateBound(&s, in.size()) + 16);
  s.next_in = const_cast<Bytef*>(in.data());
  s.avail_in = static_cast<uInt>(in.size());
  s.next_out = out.data();
  s.avail_out = static_cast<uInt>(out.size());
  EXPECT_EQ(deflate(&s, Z_FINISH), Z_STREAM_END);
  out.resize(s.total_out);
  deflateEnd(&s);
  return out;
}

}  // namespace twtest
