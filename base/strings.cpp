// See base/strings.h.
#include "base/strings.h"

#include <cstring>

#include "base/format.h"
#include "base/sorted_tree.h"
#include "base/utf8.h"

namespace {

#include "base/case_tables.inc"

// A process-wide case map. Built by the first caller inside a function-local
// static, whose initialisation the compiler makes thread-safe: a concurrent
// first caller waits until the build is complete, and a build that throws
// (allocation failure) is retried by the next call.
class cCaseMap {
public:
  template <size_t N>
  explicit cCaseMap(const char16_t (&pairs)[N][2]) : tree_(kDepthLimit) {
    for (const auto& p : pairs) {
      char16_t* value = tree_.FindOrInsert(p[0]);
      if (value != nullptr) *value = p[1];
    }
  }

  char16_t Map(char16_t unit) const {
    const char16_t* v = tree_.Find(unit);
    return v != nullptr ? *v : unit;
  }

private:
  static constexpr uint32_t kDepthLimit = 256;
  cSortedTree<char16_t, char16_t> tree_;
};

const cCaseMap& LowerMap() {
  static const cCaseMap map(kLowerCasePairs);
  return map;
}

const cCaseMap& UpperMap() {
  static const cCaseMap map(kUpperCasePairs);
  return map;
}

// The fold of an 8-bit byte: sign-extended to 16 bits, lower-cased, low byte.
uint8_t FoldByte(char c) {
  const auto wide = static_cast<char16_t>(static_cast<int16_t>(static_cast<signed char>(c)));
  return static_cast<uint8_t>(ToLowerW(wide) & 0xFF);
}

int Sign(int d) { return d < 0 ? -1 : (d > 0 ? 1 : 0); }

// Folded comparison of at most limit units (limit < 0: no limit).
int CompareFolded(const char16_t* a, const char16_t* b, int32_t limit) {
  const cCaseMap& lower = LowerMap();
  for (int32_t i = 0; limit < 0 || i < limit; ++i) {
    const char16_t x = lower.Map(a[i]), y = lower.Map(b[i]);
    if (x != y) return x < y ? -1 : 1;
    if (x == 0) return 0;
  }
  return 0;
}

constexpr char16_t kUpdateMark[] = u"  Last update: ";
constexpr int32_t kUpdateMarkLength = 15;
static_assert(sizeof(kUpdateMark) / sizeof(char16_t) == kUpdateMarkLength + 1);

// Units of source before its terminator, but at most limit.
int32_t BoundedLength(const char16_t* source, int32_t limit) {
  int32_t n = 0;
  while (n < limit && source[n] != 0) ++n;
  return n;
}

int32_t LengthOrAll(const char16_t* text, int32_t n) { return n < 0 ? WideLength(text) : n; }

}  // namespace

char16_t ToLowerW(char16_t unit) { return LowerMap().Map(unit); }

char16_t ToUpperW(char16_t unit) { return UpperMap().Map(unit); }

char ToLowerA(char byte) { return static_cast<char>(FoldByte(byte)); }

bool AssignLowerCase(_guardchar<char16_t>& destination, const _guardchar<char16_t>& source) {
  destination.Assign(source.text);
  if (destination.text != nullptr) {
    const cCaseMap& lower = LowerMap();
    for (char16_t* p = destination.text; *p != 0; ++p) *p = lower.Map(*p);
  }
  return true;
}

bool IsSpaceW(char16_t u) { return u == 9 || u == 10 || u == 13 || u == 32; }

bool IsSpaceA(char c) { return c == 9 || c == 10 || c == 13 || c == 32; }

int CompareWide(const char16_t* first, const char16_t* second) {
  if (first == nullptr || second == nullptr) return 1;
  for (size_t i = 0;; ++i) {
    const char16_t x = first[i], y = second[i];
    if (x != y) return x < y ? -1 : 1;
    if (x == 0) return 0;
  }
}

int CompareNoCaseW(const char16_t* first, const char16_t* second) {
  if (first == nullptr || second == nullptr) return -1;
  return CompareFolded(first, second, -1);
}

int CompareNoCaseW5(const char16_t* first, const char16_t* second) {
  if (first == nullptr || second == nullptr) return -1;
  return CompareFolded(first, second, 5);
}

int CompareNoCaseA(const char* first, const char* second) {
  if (first == nullptr || second == nullptr) return -1;
  for (size_t i = 0;; ++i) {
    const auto x = static_cast<int8_t>(FoldByte(first[i]));
    const auto y = static_cast<int8_t>(FoldByte(second[i]));
    if (x != y) return x < y ? -1 : 1;
    if (x == 0) return 0;
  }
}

int CompareNoCaseAN(const char* first, const char* second, int32_t n) {
  if (first == nullptr || second == nullptr) return -1;
  for (int32_t i = 0; i < n; ++i) {
    const uint8_t x = FoldByte(first[i]), y = FoldByte(second[i]);
    if (x != y) return x < y ? -1 : 1;
    if (x == 0) return 0;
  }
  return 0;
}

int CompareNoCaseA4(const char* first, const char* second) {
  if (first == nullptr || second == nullptr) return 1;
  for (int i = 0; i < 4; ++i) {
    const auto x = static_cast<int8_t>(FoldByte(first[i]));
    const auto y = static_cast<int8_t>(FoldByte(second[i]));
    if (x != y) return Sign(x - y);
  }
  return 0;
}

const char16_t* FindCharW(const char16_t* text, char16_t unit) {
  for (; *text != 0; ++text)
    if (*text == unit) return text;
  return nullptr;
}

const char16_t* FindLastCharW(const char16_t* text, char16_t unit) {
  if (text == nullptr) return nullptr;
  const char16_t* p = text + WideLength(text);
  for (;; --p) {
    if (*p == unit) return p;
    if (p == text) return nullptr;
  }
}

const char16_t* FindLastUpdateMark(const char16_t* text) {
  if (text == nullptr) return nullptr;
  const int32_t len = WideLength(text);
  for (int32_t start = 0; start + kUpdateMarkLength <= len; ++start) {
    int32_t k = 0;
    while (k < kUpdateMarkLength && text[start + k] == kUpdateMark[k]) ++k;
    if (k == kUpdateMarkLength) return text + start;
  }
  return nullptr;
}

int32_t WideLength(const char16_t* text) {
  return static_cast<int32_t>(_guardchar<char16_t>::Length(text));
}

int32_t CopyWideN(char16_t* destination, int32_t capacity, const char16_t* source) {
  if (destination == nullptr || source == nullptr || capacity <= 0) return 0;
  for (int32_t i = 0; i < capacity; ++i) {
    destination[i] = source[i];
    if (source[i] == 0) return 0;
  }
  destination[capacity - 1] = 0;
  return 0;
}

int32_t CopyWideMax260(const char16_t* source, char16_t* destination, int32_t n) {
  constexpr int32_t kUnits = 260;
  if (source == nullptr || destination == nullptr) return 0;
  const int32_t limit = (n < 0 || n > kUnits) ? kUnits : n;
  for (int32_t i = 0; i < limit; ++i) {
    destination[i] = source[i];
    if (source[i] == 0) break;
  }
  destination[(n >= 0 && n < kUnits) ? n : kUnits - 1] = 0;
  return 0;
}

int32_t CopyWideBoundedRaw(const char16_t* source, int32_t n, void* destination, int32_t capacity) {
  if (destination == nullptr || capacity <= 0) return 0;
  auto* out = static_cast<unsigned char*>(destination);
  int32_t count = 0;
  if (source != nullptr) {
    const int32_t limit = (n < 0 || n > capacity - 1) ? capacity - 1 : n;
    count = BoundedLength(source, limit);
    std::memcpy(out, source, static_cast<size_t>(count) * sizeof(char16_t));
  }
  const char16_t zero = 0;
  std::memcpy(out + static_cast<size_t>(count) * sizeof(char16_t), &zero, sizeof zero);
  return count;
}

int32_t CopyWideBounded(const char16_t* source, int32_t n, char16_t* destination, int32_t capacity) {
  return CopyWideBoundedRaw(source, n, destination, capacity);
}

int32_t AssignWide(const char16_t* text, int32_t n, _guardchar<char16_t>& string) {
  if (text == nullptr) {
    string.Clear();
    return 0;
  }
  string.AssignN(text, static_cast<uint32_t>(LengthOrAll(text, n)));
  return 0;
}

int32_t AssignWideText(const char16_t* text, int32_t n, _guardchar<char16_t>& string) {
  return AssignWide(text, n, string);
}

void WideToUtf8(const char16_t* text, _guardchar<char>& string, int32_t n) {
  const int32_t units = text == nullptr ? 0 : LengthOrAll(text, n);
  const int32_t bytes = Utf8ByteCount(text, units);
  string.AllocateZeroed(static_cast<uint32_t>(bytes) + 1);
  Utf8Encode(text, units, string.text, bytes);
  string.text[bytes] = 0;
}

int32_t Utf8ToWide(int32_t n, const char* text, _guardchar<char16_t>& string) {
  if (text == nullptr) n = 0;
  if (n < 0) n = static_cast<int32_t>(std::strlen(text));
  const int32_t units = Utf8UnitCount(text, n);
  string.AllocateZeroed(static_cast<uint32_t>(units) + 1);
  Utf8Decode(text, n, string.text, units);
  string.text[units] = 0;
  return units;
}

int32_t Utf8ToWide(const char* text, int32_t n, _guardchar<char16_t>& string) {
  Utf8ToWide(n, text, string);
  return 0;
}

void CopyWideToWordBuffer(const char16_t* text, int32_t n, _typebuf<char16_t>& buffer) {
  if (text == nullptr) return;
  n = LengthOrAll(text, n);
  buffer.Reallocate(n);
  if (n > 0) std::memcpy(buffer.data, text, static_cast<size_t>(n) * sizeof(char16_t));
}

void CopyWideToWordBuffer(int32_t n, const char16_t* text, _typebuf<char16_t>& buffer) {
  CopyWideToWordBuffer(text, n, buffer);
}

void WideToUtf8Buffer(_typebuf<char>& buffer, int32_t n, const char16_t* text) {
  if (text == nullptr) return;
  n = LengthOrAll(text, n);
  const int32_t bytes = Utf8ByteCount(text, n);
  buffer.Reallocate(bytes);
  Utf8Encode(text, n, buffer.data, bytes);
}

void Utf8ToWordBuffer(int32_t n, _typebuf<char16_t>& buffer, const char* text) {
  if (text == nullptr) return;
  if (n < 0) n = static_cast<int32_t>(std::strlen(text));
  const int32_t units = Utf8UnitCount(text, n);
  buffer.Reallocate(units);
  Utf8Decode(text, n, buffer.data, units);
}

int64_t ParseInt64A(const char* text) {
  if (text == nullptr) return 0;
  while (IsSpaceA(*text)) ++text;
  if (*text == 0) return 0;
  long long v = 0;
  const bool hex = text[0] == '0' && ToLowerA(text[1]) == 'x';
  const int32_t stored = hex ? ScanA(text + 2, "%llx", &v) : ScanA(text, "%lld", &v);
  return stored == 1 ? static_cast<int64_t>(v) : -1;
}

int64_t ParseInt64W(const char16_t* text) {
  if (text == nullptr) return 0;
  while (IsSpaceW(*text)) ++text;
  if (*text == 0) return 0;
  long long v = 0;
  const bool hex = text[0] == u'0' && ToLowerW(text[1]) == u'x';
  const int32_t stored = hex ? ScanW(text + 2, u"%llx", &v) : ScanW(text, u"%lld", &v);
  return stored == 1 ? static_cast<int64_t>(v) : -1;
}

int32_t ParseHexByteW(const char16_t* text) {
  if (text == nullptr) return -1;
  auto digit = [](char16_t u) -> int32_t {
    if (u >= u'0' && u <= u'9') return u - u'0';
    if (u >= u'a' && u <= u'f') return u - u'a' + 10;
    if (u >= u'A' && u <= u'F') return u - u'A' + 10;
    return -1;
  };
  const int32_t hi = digit(text[0]);
  if (hi < 0) return -1;
  const int32_t lo = digit(text[1]);
  if (lo < 0) return -1;
  return hi * 16 + lo;
}

bool IsAllZero(const void* block, int32_t n) {
  if (block == nullptr) return false;
  const auto* p = static_cast<const unsigned char*>(block);
  int32_t i = 0;
  for (; i + 4 <= n; i += 4) {
    uint32_t w;
    std::memcpy(&w, p + i, 4);
    if (w != 0) return false;
  }
  for (; i < n; ++i)
    if (p[i] != 0) return false;
  return true;
}

int32_t CountBits64(uint64_t value) {
  int32_t n = 0;
  for (; value != 0; value &= value - 1) ++n;
  return n;
}
