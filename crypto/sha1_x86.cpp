// SHA-1 on the x86 SHA extensions (SHA1RNDS4, SHA1NEXTE, SHA1MSG1/2), built
// with per-function target attributes like crypto/sha256_x86.cpp;
// crypto/sha1.cpp calls it only after cpuid has confirmed the extensions.
#include "crypto/sha_internal.h"

#if defined(__i386__) || defined(__x86_64__)
#include <immintrin.h>

#include <utility>
#if defined(__i386__)
// 32-bit Windows promises only 4-byte stack alignment on entry.
#define TW_SHA1_ENTRY __attribute__((target("sha,ssse3,sse4.1"), force_align_arg_pointer))
#else
#define TW_SHA1_ENTRY __attribute__((target("sha,ssse3,sse4.1")))
#endif
#define TW_SHA1_INLINE static inline __attribute__((target("sha,ssse3,sse4.1"), always_inline))
#endif

namespace tw::crypto {

// The instructions are the same SHA extension that SHA-256 uses.
bool Sha1HardwareAvailable() { return Sha256HardwareAvailable(); }

#if defined(__i386__) || defined(__x86_64__)

namespace {

// The state while a block runs: {A,B,C,D} with A in the top lane, E's
// addend for the next four rounds, the ABCD before the last four rounds
// (SHA1NEXTE derives the next E from its A) and the last four groups of
// message words, W[4i..4i+3] with the first word in the top lane.
struct sRounds {
  __m128i abcd, e, previous;
  __m128i m[4];
};

// Rounds 4I .. 4I+3. From group 4 on, the message words are W[t-16] ^
// W[t-14] (MSG1), ^ W[t-8] (the XOR), then ^ W[t-3] and the rotation (MSG2).
template <int I>
TW_SHA1_INLINE void Four(sRounds& s) {
  __m128i& w = s.m[I & 3];
  if constexpr (I >= 4)
    w = _mm_sha1msg2_epu32(_mm_xor_si128(_mm_sha1msg1_epu32(w, s.m[(I + 1) & 3]), s.m[(I + 2) & 3]),
                           s.m[(I + 3) & 3]);
  __m128i e;
  if constexpr (I == 0)
    e = _mm_add_epi32(s.e, w);
  else
    e = _mm_sha1nexte_epu32(s.previous, w);
  s.previous = s.abcd;
  s.abcd = _mm_sha1rnds4_epu32(s.abcd, e, I / 5);  // the function and constant of rounds 20k .. 20k+19
}

template <size_t... I>
TW_SHA1_INLINE void Eighty(sRounds& s, std::index_sequence<I...>) {
  (Four<int(I)>(s), ...);
}

}  // namespace

TW_SHA1_ENTRY void Sha1BlocksHardware(uint32_t state[5], const uint8_t* data, size_t blocks) {
  const __m128i byteSwap = _mm_set_epi8(0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15);
  sRounds s;
  s.abcd = _mm_shuffle_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(state)), 0x1B);
  s.e = _mm_set_epi32(int32_t(state[4]), 0, 0, 0);
  for (; blocks > 0; --blocks, data += 64) {
    const __m128i abcdStart = s.abcd, eStart = s.e;
    for (int i = 0; i < 4; ++i)
      s.m[i] = _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(data + 16 * i)), byteSwap);
    Eighty(s, std::make_index_sequence<20>());
    // E after the 80 rounds is the A of four rounds back, rotated; adding
    // the starting E completes the block's addition for it.
    s.e = _mm_sha1nexte_epu32(s.previous, eStart);
    s.abcd = _mm_add_epi32(s.abcd, abcdStart);
  }
  _mm_storeu_si128(reinterpret_cast<__m128i*>(state), _mm_shuffle_epi32(s.abcd, 0x1B));
  state[4] = uint32_t(_mm_extract_epi32(s.e, 3));
}

#else

void Sha1BlocksHardware(uint32_t state[5], const uint8_t* data, size_t blocks) {
  Sha1BlocksPortable(state, data, blocks);
}

#endif

}  // namespace tw::crypto
