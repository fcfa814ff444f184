// Compressed fixtures made on the fly with zlib, for the decoder tests.
#pragma once

#include <vector>

namespace twtest {

// Compresses in with zlib at the given level: windowBits 8..15 gives a zlib
// stream, -8..-15 raw deflate. A zlib failure fails the calling test.
std::vector<unsigned char> Deflate(const std::vector<unsigned char>& in, int windowBits, int level = 9);

}  // namespace twtest
