// See base/codepages.h.
#include "base/codepages.h"

#include <mutex>

#include "base/buffers.h"
#include "base/codepage_tables.h"
#include "base/sorted_tree.h"
#include "base/utf8.h"

namespace {

using namespace tw::cp;

constexpr char16_t kQuestion = u'?';

// The Latin-1 table: unit = byte.
struct Latin1Table {
  char16_t units[256];
  constexpr Latin1Table() : units() {
    for (int i = 0; i < 256; ++i) units[i] = static_cast<char16_t>(i);
  }
};
constexpr Latin1Table kLatin1;

int32_t Resolve(int32_t codePage) { return codePage == 0 ? GetAnsiCodePage() : codePage; }

const DbcsTable* FindDbcs(int32_t codePage) {
  for (const auto& t : kDbcsTables)
    if (t.codePage == codePage) return &t;
  return nullptr;
}

// Output of the decoders: counts only when out is null.
struct Writer {
  char16_t* out;
  int32_t capacity;
  int32_t written = 0;
  bool Full() const { return out != nullptr && written >= capacity; }
  void Put(char16_t u) {
    if (out != nullptr) out[written] = u;
    ++written;
  }
};

int64_t TextLength(const char* text, int32_t n) {
  if (n >= 0) return n;
  int64_t len = 0;
  while (text[len] != 0) ++len;
  return len + 1;  // the terminator is converted too
}

// ---- EUC and ISO-2022 ---------------------------------------------------------

bool InRange(uint8_t b, uint8_t lo, uint8_t hi) { return b >= lo && b <= hi; }

// The unit of a 94 x 94 set for row and column bytes 0x21..0x7E, or
// kUnassigned.
char16_t SetUnit(const char16_t* set, uint8_t row, uint8_t col) {
  if (!InRange(row, 0x21, 0x7E) || !InRange(col, 0x21, 0x7E)) return kUnassigned;
  return set[(row - 0x21) * 94 + (col - 0x21)];
}

// Reads input bytes; `avail` is the count left (counted form) or -1 (up to
// the terminator, which is never a valid byte of a sequence, so a sequence
// reading it fails before reading further).
class Bytes {
public:
  Bytes(const char* text, int32_t n) : p_(reinterpret_cast<const uint8_t*>(text)), n_(n) {}
  bool More() const { return n_ < 0 || pos_ < n_; }
  // Byte k ahead of the position, or -1 when it lies beyond the input.
  int At(int k) const {
    if (n_ >= 0 && pos_ + k >= n_) return -1;
    for (int i = 0; i < k; ++i)  // a terminator inside the sequence ends it
      if (n_ < 0 && p_[pos_ + i] == 0) return -1;
    return p_[pos_ + k];
  }
  void Skip(int k) { pos_ += k; }

private:
  const uint8_t* p_;
  int32_t n_;
  int64_t pos_ = 0;
};

int32_t Euc(const char* text, int32_t n, Writer& w, int32_t codePage) {
  Bytes in(text, n);
  const char16_t* set = codePage == 51949 ? kKsc5601 : kGb2312;
  while (in.More() && !w.Full()) {
    const int b = in.At(0);
    if (b == 0) {
      w.Put(0);
      break;
    }
    if (b < 0x80) {
      w.Put(static_cast<char16_t>(b));
      in.Skip(1);
      continue;
    }
    const int t = in.At(1);
    char16_t u = kUnassigned;
    int used = 2;
    if (codePage == 51932) {
      if (InRange(static_cast<uint8_t>(b), 0xA1, 0xFE) && t >= 0xA1 && t <= 0xFE) {
        if (b <= 0xF4)
          u = SetUnit(kJis0208, static_cast<uint8_t>(b - 0x80), static_cast<uint8_t>(t - 0x80));
        else  // user-defined rows
          u = static_cast<char16_t>(0xE000 + 94 * (b - 0xF5) + (t - 0xA1));
      } else if (b == 0x8E && t >= 0xA1 && t <= 0xDF) {
        u = static_cast<char16_t>(0xFF61 + (t - 0xA1));
      } else if (b == 0x8F && t >= 0xA1 && t <= 0xFE) {
        const int t2 = in.At(2);
        used = 3;
        if (t2 >= 0xA1 && t2 <= 0xFE) {
          if (t >= 0xF5)
            u = static_cast<char16_t>(0xE3AC + 94 * (t - 0xF5) + (t2 - 0xA1));
          else
            u = SetUnit(kJis0212, static_cast<uint8_t>(t - 0x80), static_cast<uint8_t>(t2 - 0x80));
        }
      }
    } else if (InRange(static_cast<uint8_t>(b), 0xA1, 0xFE) && t >= 0xA1 && t <= 0xFE) {
      u = SetUnit(set, static_cast<uint8_t>(b - 0x80), static_cast<uint8_t>(t - 0x80));
    }
    if (u == kUnassigned) break;
    w.Put(u);
    in.Skip(used);
  }
  return w.written;
}

// ISO-2022-JP with JIS X 0201 katakana (50221).
int32_t Iso2022Jp(const char* text, int32_t n, Writer& w) {
  enum { kAscii, kRoman, kKatakana, kJis0208Set, kJis0212Set } state = kAscii;
  Bytes in(text, n);
  while (in.More() && !w.Full()) {
    const int b = in.At(0);
    if (b == 0) {
      w.Put(0);
      break;
    }
    if (b >= 0x80) break;
    if (b == 0x1B) {
      const int b1 = in.At(1), b2 = in.At(2);
      if (b1 == '(' && b2 == 'B') {
        state = kAscii;
      } else if (b1 == '(' && b2 == 'J') {
        state = kRoman;
      } else if (b1 == '(' && b2 == 'I') {
        state = kKatakana;
      } else if (b1 == '$' && (b2 == '@' || b2 == 'B')) {
        state = kJis0208Set;
      } else if (b1 == '$' && b2 == '(' && in.At(3) == 'D') {
        state = kJis0212Set;
        in.Skip(1);
      } else {
        break;
      }
      in.Skip(3);
      continue;
    }
    if (state == kAscii) {
      w.Put(static_cast<char16_t>(b));
      in.Skip(1);
      continue;
    }
    char16_t u = kUnassigned;
    int used = 1;
    if (state == kRoman) {
      u = b == 0x5C ? char16_t{0x00A5} : (b == 0x7E ? char16_t{0x203E} : static_cast<char16_t>(b));
    } else if (state == kKatakana) {
      if (b >= 0x21 && b <= 0x5F) u = static_cast<char16_t>(0xFF61 + (b - 0x21));
    } else {
      const int t = in.At(1);
      used = 2;
      if (t >= 0)
        u = SetUnit(state == kJis0208Set ? kJis0208 : kJis0212, static_cast<uint8_t>(b),
                    static_cast<uint8_t>(t));
    }
    if (u == kUnassigned) break;
    w.Put(u);
    in.Skip(used);
  }
  return w.written;
}

// ISO-2022-CN (50227).
int32_t Iso2022Cn(const char* text, int32_t n, Writer& w) {
  const char16_t* shiftSet = nullptr;  // designated by ESC $ ) A or G
  bool plane2 = false;                 // designated by ESC $ * H
  bool shifted = false;
  Bytes in(text, n);
  while (in.More() && !w.Full()) {
    const int b = in.At(0);
    if (b == 0) {
      w.Put(0);
      break;
    }
    if (b >= 0x80) break;
    if (b == 0x1B) {
      const int b1 = in.At(1);
      if (b1 == 'N') {  // single shift 2: one character of plane 2
        if (!plane2) break;
        const int r = in.At(2), c = in.At(3);
        if (r < 0 || c < 0) break;
        const char16_t u = SetUnit(kCns11643Plane2, static_cast<uint8_t>(r), static_cast<uint8_t>(c));
        if (u == kUnassigned) break;
        w.Put(u);
        in.Skip(4);
        continue;
      }
      const int b2 = in.At(2), b3 = in.At(3);
      if (b1 == '$' && b2 == ')' && b3 == 'A')
        shiftSet = kGb2312;
      else if (b1 == '$' && b2 == ')' && b3 == 'G')
        shiftSet = kCns11643Plane1;
      else if (b1 == '$' && b2 == '*' && b3 == 'H')
        plane2 = true;
      else
        break;
      in.Skip(4);
      continue;
    }
    if (b == 0x0E) {
      if (shiftSet == nullptr) break;
      shifted = true;
      in.Skip(1);
      continue;
    }
    if (b == 0x0F) {
      shifted = false;
      in.Skip(1);
      continue;
    }
    if (!shifted) {
      w.Put(static_cast<char16_t>(b));
      in.Skip(1);
      continue;
    }
    const int t = in.At(1);
    if (t < 0) break;
    const char16_t u = SetUnit(shiftSet, static_cast<uint8_t>(b), static_cast<uint8_t>(t));
    if (u == kUnassigned) break;
    w.Put(u);
    in.Skip(2);
  }
  return w.written;
}

int32_t EucFamily(const char* text, int32_t n, Writer& w, int32_t codePage) {
  if (text == nullptr || n == 0) return 0;
  switch (codePage) {
    case 50221:
      return Iso2022Jp(text, n, w);
    case 50227:
      return Iso2022Cn(text, n, w);
    case 51932:
    case 51936:
    case 51949:
      return Euc(text, n, w, codePage);
    default:
      return 0;
  }
}

// ---- Double-byte pages --------------------------------------------------------

int32_t Dbcs(const char* text, int32_t n, Writer& w, const DbcsTable& t) {
  if (text == nullptr || n == 0) return 0;
  Bytes in(text, n);
  while (in.More() && !w.Full()) {
    const int b = in.At(0);
    const char16_t v = t.lead[b];
    if (v != kLeadMark) {
      w.Put(v);
      if (b == 0) break;
      in.Skip(1);
      continue;
    }
    const int trail = in.At(1);
    if (trail < 0) break;  // the input ends after the lead byte
    if (trail == 0) {      // the terminator: it ends the text
      w.Put(0);
      break;
    }
    if (trail < 0x40) {  // no trail byte: '?' for the lead, the byte on its own
      w.Put(kQuestion);
      in.Skip(1);
      continue;
    }
    const char16_t* row = t.trails[b];
    w.Put(row != nullptr ? row[trail - 0x40] : kQuestion);
    in.Skip(2);
  }
  return w.written;
}

// ---- Reverse maps ---------------------------------------------------------------

using cUnitToByte = cSortedTree<char16_t, uint8_t>;

// Code page -> unit -> byte. The outer map and the building of an entry are
// guarded by the lock; a finished inner map is never changed again, so it
// is read without the lock.
class cReverseMaps {
public:
  const cUnitToByte& For(int32_t codePage) {
    std::lock_guard<std::mutex> hold(lock_);
    tOwned<cUnitToByte>* slot = maps_.FindOrInsert(codePage);
    if (*slot == nullptr) {
      auto fresh = std::make_unique<cUnitToByte>(kInnerLimit);
      const char16_t* table = GetSingleByteTable(codePage);
      for (int b = 0; b < 256; ++b) *fresh->FindOrInsert(table[b]) = static_cast<uint8_t>(b);
      *slot = std::move(fresh);
    }
    return **slot;
  }

private:
  static constexpr uint32_t kOuterLimit = 512;
  static constexpr uint32_t kInnerLimit = 256;
  std::mutex lock_;
  cSortedTree<int32_t, tOwned<cUnitToByte>> maps_{kOuterLimit};
};

cReverseMaps& ReverseMaps() {
  static cReverseMaps maps;
  return maps;
}

}  // namespace

bool IsSingleByteCodePage(int32_t cp) {
  if (cp == 0 || cp == 28591) return true;
  for (const auto& t : kSingleByteTables)
    if (t.codePage == cp) return true;
  return false;
}

bool IsDbcsCodePage(int32_t cp) { return FindDbcs(cp) != nullptr; }

bool IsEucCodePage(int32_t cp) {
  return cp == 50221 || cp == 50227 || cp == 51932 || cp == 51936 || cp == 51949;
}

const char16_t* GetSingleByteTable(int32_t codePage) {
  codePage = Resolve(codePage);
  for (const auto& t : kSingleByteTables)
    if (t.codePage == codePage) return t.units;
  return kLatin1.units;
}

int32_t SingleByteDecode(const char* text, int32_t n, char16_t* output, int32_t capacity, int32_t codePage) {
  if (text == nullptr || n == 0) return 0;
  const char16_t* table = GetSingleByteTable(codePage);
  const auto* p = reinterpret_cast<const uint8_t*>(text);
  Writer w{output, capacity};
  for (int64_t i = 0; (n < 0 || i < n) && !w.Full(); ++i) {
    w.Put(table[p[i]]);
    if (p[i] == 0) break;
  }
  return w.written;
}

int32_t DbcsDecode(const char* text, int32_t n, char16_t* output, int32_t capacity, int32_t codePage) {
  const DbcsTable* t = FindDbcs(Resolve(codePage));
  if (t == nullptr || (output != nullptr && capacity <= 0)) return 0;
  Writer w{output, capacity};
  return Dbcs(text, n, w, *t);
}

int32_t DbcsUnitCount(const char* text, int32_t n, int32_t codePage) {
  return DbcsDecode(text, n, nullptr, 0, codePage);
}

int32_t EucDecode(const char* text, int32_t n, char16_t* output, int32_t capacity, int32_t codePage) {
  if (output != nullptr && capacity <= 0) return 0;
  Writer w{output, capacity};
  return EucFamily(text, n, w, Resolve(codePage));
}

int32_t EucUnitCount(const char* text, int32_t n, int32_t codePage) {
  return EucDecode(text, n, nullptr, 0, codePage);
}

int32_t MultiByteLength(const char* text, int32_t n, int32_t codePage) {
  if (text == nullptr || n == 0) return 0;
  codePage = Resolve(codePage);
  if (codePage == kCodePageUtf8) return Utf8UnitCount(text, n);
  if (IsSingleByteCodePage(codePage)) {
    const int64_t len = TextLength(text, n);
    return len > INT32_MAX ? INT32_MAX : static_cast<int32_t>(len);
  }
  if (IsDbcsCodePage(codePage)) return DbcsUnitCount(text, n, codePage);
  if (IsEucCodePage(codePage)) return EucUnitCount(text, n, codePage);
  return 0;
}

int32_t MultiByteToWide(const char* text, int32_t n, char16_t* output, int32_t capacity, int32_t codePage) {
  if (text == nullptr || n == 0) return 0;
  if (output == nullptr) return MultiByteLength(text, n, codePage);
  if (capacity <= 0) return 0;
  codePage = Resolve(codePage);
  if (codePage == kCodePageUtf8) return Utf8Decode(text, n, output, capacity);
  if (IsSingleByteCodePage(codePage)) return SingleByteDecode(text, n, output, capacity, codePage);
  if (IsDbcsCodePage(codePage)) return DbcsDecode(text, n, output, capacity, codePage);
  if (IsEucCodePage(codePage)) return EucDecode(text, n, output, capacity, codePage);
  return 0;
}

int32_t WideToMultiByteLength(int32_t codePage, int32_t n, const char16_t* text) {
  if (text == nullptr || n == 0) return 0;
  codePage = Resolve(codePage);
  if (codePage == kCodePageUtf8) return Utf8ByteCount(text, n);
  if (IsSingleByteCodePage(codePage)) {
    if (n >= 0) return n;
    int32_t len = 0;
    while (text[len] != 0) ++len;
    return len + 1;
  }
  return 0;
}

int32_t WideToMultiByte(const char16_t* text, char* output, int32_t n, int32_t capacity) {
  if (output == nullptr) return Utf8ByteCount(text, n);
  return Utf8Encode(text, n, output, capacity);
}

uint8_t GetSingleByteForUnit(int32_t codePage, char16_t unit) {
  const uint8_t* b = ReverseMaps().For(Resolve(codePage)).Find(unit);
  return b != nullptr ? *b : 0;
}

int32_t WideToSingleByte(const char16_t* text, int32_t n, char* output, int32_t capacity, int32_t codePage) {
  if (text == nullptr || output == nullptr || capacity <= 0 || n == 0) return 0;
  const cUnitToByte& map = ReverseMaps().For(Resolve(codePage));
  int32_t w = 0;
  for (int64_t i = 0; (n < 0 || i < n) && w < capacity; ++i) {
    if (text[i] == 0) {
      output[w++] = 0;
      break;
    }
    const uint8_t* b = map.Find(text[i]);
    output[w++] = static_cast<char>(b != nullptr ? *b : '?');
  }
  return w;
}
