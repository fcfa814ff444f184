// SHA-256 on the x86 SHA extensions (SHA256RNDS2, SHA256MSG1/2), built with
// per-function target attributes so the rest of the program keeps the
// baseline instruction set; crypto/sha256.cpp calls it only after cpuid
// has confirmed the extensions.
#include "crypto/sha_internal.h"

#if defined(__i386__) || defined(__x86_64__)
#include <cpuid.h>
#include <immintrin.h>
#define TW_SHA_TARGET __attribute__((target("sha,ssse3,sse4.1")))
#endif

namespace tw::crypto {

#if defined(__i386__) || defined(__x86_64__)

bool Sha256HardwareAvailable() {
  unsigned a = 0, b = 0, c = 0, d = 0;
  if (!__get_cpuid(1, &a, &b, &c, &d)) return false;
  const bool ssse3 = (c & (1u << 9)) != 0;
  const bool sse41 = (c & (1u << 19)) != 0;
  if (__get_cpuid_max(0, nullptr) < 7) return false;
  __cpuid_count(7, 0, a, b, c, d);
  const bool sha = (b & (1u << 29)) != 0;
  return ssse3 && sse41 && sha;
}

TW_SHA_TARGET void Sha256BlocksHardware(uint32_t state[8], const uint8_t* data, size_t blocks) {
  // The round instruction keeps the state as two vectors {A,B,E,F} and
  // {C,D,G,H} (highest lane first); the state array is A..H.
  const __m128i byteSwap = _mm_set_epi64x(0x0c0d0e0f08090a0bLL, 0x0405060700010203LL);
  __m128i dcba = _mm_loadu_si128(reinterpret_cast<const __m128i*>(state));
  __m128i hgfe = _mm_loadu_si128(reinterpret_cast<const __m128i*>(state + 4));
  __m128i cdab = _mm_shuffle_epi32(dcba, 0xB1);
  __m128i efgh = _mm_shuffle_epi32(hgfe, 0x1B);
  __m128i abef = _mm_alignr_epi8(cdab, efgh, 8);
  __m128i cdgh = _mm_blend_epi16(efgh, cdab, 0xF0);

  for (; blocks > 0; --blocks, data += 64) {
    const __m128i abefStart = abef;
    const __m128i cdghStart = cdgh;
    // m[i & 3] holds message words 4i..4i+3; from i = 4 on each group is
    // W[t-16] + s0(W[t-15]) (MSG1), + W[t-7] (the ALIGNR), + s1(W[t-2]) (MSG2).
    __m128i m[4];
    for (int i = 0; i < 4; ++i)
      m[i] = _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(data + 16 * i)), byteSwap);
#pragma GCC unroll 16
    for (int i = 0; i < 16; ++i) {
      if (i >= 4) {
        const __m128i partial = _mm_add_epi32(_mm_sha256msg1_epu32(m[i & 3], m[(i + 1) & 3]),
                                              _mm_alignr_epi8(m[(i + 3) & 3], m[(i + 2) & 3], 4));
        m[i & 3] = _mm_sha256msg2_epu32(partial, m[(i + 3) & 3]);
      }
      __m128i wk = _mm_add_epi32(m[i & 3], _mm_loadu_si128(reinterpret_cast<const __m128i*>(kSha256K + 4 * i)));
      cdgh = _mm_sha256rnds2_epu32(cdgh, abef, wk);  // rounds 4i, 4i+1
      wk = _mm_shuffle_epi32(wk, 0x0E);
      abef = _mm_sha256rnds2_epu32(abef, cdgh, wk);  // rounds 4i+2, 4i+3
    }
    abef = _mm_add_epi32(abef, abefStart);
    cdgh = _mm_add_epi32(cdgh, cdghStart);
  }

  const __m128i feba = _mm_shuffle_epi32(abef, 0x1B);
  const __m128i dchg = _mm_shuffle_epi32(cdgh, 0xB1);
  dcba = _mm_blend_epi16(feba, dchg, 0xF0);
  hgfe = _mm_alignr_epi8(dchg, feba, 8);
  _mm_storeu_si128(reinterpret_cast<__m128i*>(state), dcba);
  _mm_storeu_si128(reinterpret_cast<__m128i*>(state + 4), hgfe);
}

#else

bool Sha256HardwareAvailable() { return false; }

void Sha256BlocksHardware(uint32_t state[8], const uint8_t* data, size_t blocks) {
  Sha256BlocksPortable(state, data, blocks);
}

#endif

}  // namespace tw::crypto
