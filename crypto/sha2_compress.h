// Internal to crypto/: the FIPS 180-4 compression shared by SHA-256 (32-bit
// words, 64 rounds) and SHA-512/384 (64-bit words, 80 rounds). Each caller
// supplies a parameter struct with the word type, the round count, the
// constants, the four sigma functions and the big-endian load.
#pragma once

#include <cstddef>
#include <cstdint>
#include <utility>

namespace tw::crypto {

template <class P>
struct sSha2Rounds {
  using W = typename P::tWord;
  static_assert(P::kRounds % 8 == 0, "rounds go in groups of eight");

  [[gnu::always_inline]] static W Ch(W x, W y, W z) { return (x & y) ^ (~x & z); }
  [[gnu::always_inline]] static W Maj(W x, W y, W z) { return (x & y) ^ (x & z) ^ (y & z); }

  // The message schedule lives in a 16-word window; word i of the block
  // comes straight from the caller's bytes, later words replace the oldest.
  template <int I>
  [[gnu::always_inline]] static W Word(W* w, const uint8_t* block) {
    if constexpr (I < 16)
      return w[I] = P::Load(block + sizeof(W) * I);
    else
      return w[I & 15] += P::Ssig1(w[(I - 2) & 15]) + w[(I - 7) & 15] + P::Ssig0(w[(I - 15) & 15]);
  }

  // One round; the caller rotates the variables instead of the values.
  template <int I>
  [[gnu::always_inline]] static void Round(W a, W b, W c, W& d, W e, W f, W g, W& h, W* w,
                                           const uint8_t* block) {
    const W t1 = h + P::Bsig1(e) + Ch(e, f, g) + P::kK[I] + Word<I>(w, block);
    const W t2 = P::Bsig0(a) + Maj(a, b, c);
    d += t1;
    h = t1 + t2;
  }

  template <int I>
  [[gnu::always_inline]] static void Eight(W& a, W& b, W& c, W& d, W& e, W& f, W& g, W& h, W* w,
                                           const uint8_t* block) {
    Round<I + 0>(a, b, c, d, e, f, g, h, w, block);
    Round<I + 1>(h, a, b, c, d, e, f, g, w, block);
    Round<I + 2>(g, h, a, b, c, d, e, f, w, block);
    Round<I + 3>(f, g, h, a, b, c, d, e, w, block);
    Round<I + 4>(e, f, g, h, a, b, c, d, w, block);
    Round<I + 5>(d, e, f, g, h, a, b, c, w, block);
    Round<I + 6>(c, d, e, f, g, h, a, b, w, block);
    Round<I + 7>(b, c, d, e, f, g, h, a, w, block);
  }

  // Compresses one block into state. Every round is spelt out at compile
  // time: with the rounds in a loop the portable path lost about a quarter
  // of its speed.
  static void Block(W state[8], const uint8_t* block) {
    Unrolled(state, block, std::make_integer_sequence<int, P::kRounds / 8>{});
  }

  template <int... E>
  [[gnu::always_inline]] static void Unrolled(W state[8], const uint8_t* block,
                                              std::integer_sequence<int, E...>) {
    W w[16];
    W a = state[0], b = state[1], c = state[2], d = state[3];
    W e = state[4], f = state[5], g = state[6], h = state[7];
    (Eight<8 * E>(a, b, c, d, e, f, g, h, w, block), ...);
    state[0] += a;
    state[1] += b;
    state[2] += c;
    state[3] += d;
    state[4] += e;
    state[5] += f;
    state[6] += g;
    state[7] += h;
  }
};

}  // namespace tw::crypto
