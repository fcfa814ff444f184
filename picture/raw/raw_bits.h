// cWordBitReader: the bit reader of the camera codings that store their
// bits in little-endian 32-bit words, each read most significant bit first
// (Samsung's row-offset and block codings, the 3FR scan). A 64-bit
// accumulator is refilled with one word whenever it holds fewer bits than
// asked; there is no byte stuffing and no marker detection.
//
// Rules:
//  a. The reader works on a borrowed byte range; it never reads outside it.
//  b. Past the end of the range the reader supplies zero bits and sets the
//     dry flag (sticky until Restart); a word cut by the end of the range
//     supplies its bytes that exist, the rest as zeros, and sets the flag.
//  c. Requests are 0 to 32 bits; 0 bits give 0.
//  d. BytesTaken counts the bytes moved into the accumulator since the last
//     Restart (whole words, also the zero-padded ones).
#pragma once

#include <cstddef>
#include <cstdint>

class cWordBitReader {
public:
  cWordBitReader() = default;
  cWordBitReader(const uint8_t* data, size_t size) : data_(data), size_(size) {}

  // A new range; the reader starts at its first byte.
  void Attach(const uint8_t* data, size_t size) {
    data_ = data;
    size_ = size;
    Restart(0);
  }
  // Empties the accumulator and continues at byte position of the range
  // (a position past the end makes the reader dry at once).
  void Restart(size_t position) {
    pos_ = position;
    taken_ = 0;
    buffer_ = 0;
    bits_ = 0;
    dry_ = false;
  }

  // The next n bits (0..32) without consuming them.
  uint32_t Peek(int32_t n) {
    if (n <= 0) return 0;
    if (n > 32) n = 32;
    if (bits_ < n) Fill();
    return static_cast<uint32_t>(buffer_ >> (bits_ - n)) & Mask(n);
  }
  // Consumes n bits (0..32) after a Peek that covered them.
  void Skip(int32_t n) {
    if (n <= 0) return;
    if (n > bits_) n = bits_;
    bits_ -= n;
  }
  uint32_t Get(int32_t n) {
    const uint32_t v = Peek(n);
    Skip(n < 32 ? n : 32);
    return v;
  }
  // The 7.204 refill: while at most 32 bits are held, one more word; false
  // (nothing added) when a whole word is not there.
  bool FillWord() {
    while (bits_ <= 32) {
      if (pos_ > size_ || size_ - pos_ < 4) {
        dry_ = true;
        return false;
      }
      AddWord();
    }
    return true;
  }

  bool Dry() const { return dry_; }
  size_t BytesTaken() const { return taken_; }
  size_t Position() const { return pos_; }
  int32_t BitsHeld() const { return bits_; }

private:
  static uint32_t Mask(int32_t n) { return n >= 32 ? 0xFFFFFFFFu : (1u << n) - 1; }
  void AddWord() {
    uint32_t word = 0;
    for (int32_t i = 0; i < 4; ++i) {
      const size_t p = pos_ + static_cast<size_t>(i);
      if (p < size_ && pos_ <= size_) {
        word |= static_cast<uint32_t>(data_[p]) << (8 * i);
      } else {
        dry_ = true;
      }
    }
    pos_ += 4;
    taken_ += 4;
    buffer_ = (buffer_ << 32) | word;
    bits_ += 32;
  }
  // One word whenever fewer than the asked bits are held: at most 31 held
  // before a refill, so the accumulator never loses bits.
  void Fill() {
    if (bits_ < 32) AddWord();
  }

  const uint8_t* data_ = nullptr;
  size_t size_ = 0;
  size_t pos_ = 0;
  size_t taken_ = 0;
  uint64_t buffer_ = 0;
  int32_t bits_ = 0;
  bool dry_ = false;
};
