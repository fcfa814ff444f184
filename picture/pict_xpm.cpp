// See pict_xpm.h.
#include "picture/pict_xpm.h"

#include <cstring>
#include <string>

#include "base/sorted_tree.h"
#include "picture/pict_read.h"

namespace {

constexpr int32_t kMaxLine = 4096;
constexpr uint32_t kProbeBytes = 255;

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }
// What "%d" skips before a number.
bool IsScanSpace(char c) { return IsSpace(c) || c == '\v' || c == '\f'; }

// Four numbers as "%d %d %d %d" reads them; a number that does not fit 32
// bits is refused rather than clamped.
bool ScanFour(const char* s, int32_t (&v)[4]) {
  for (int32_t& out : v) {
    while (IsScanSpace(*s)) ++s;
    bool negative = false;
    if (*s == '+' || *s == '-') negative = *s++ == '-';
    if (*s < '0' || *s > '9') return false;
    int64_t n = 0;
    while (*s >= '0' && *s <= '9') {
      n = n * 10 + (*s++ - '0');
      if (n > 0x80000000LL) return false;
    }
    if (negative) n = -n;
    if (n > 0x7FFFFFFF) return false;
    out = static_cast<int32_t>(n);
  }
  return true;
}

bool ValidValues(const int32_t (&v)[4]) { return v[0] >= 1 && v[1] >= 1 && v[2] >= 1 && v[3] >= 1 && v[3] <= 4; }

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

uint32_t PackKey(const char* s, int32_t cpp) {
  uint32_t key = 0;
  for (int32_t k = 0; k < cpp; ++k) key |= static_cast<uint32_t>(static_cast<uint8_t>(s[k])) << (8 * k);
  return key;
}

// One colour line: its key and colour; false when it is not of the dialect.
bool ParseColour(const std::string& s, int32_t cpp, uint32_t& key, uint32_t& colour) {
  const size_t n = s.size(), base = static_cast<size_t>(cpp);
  if (n < base + 7 || s[base + 1] != 'c') return false;
  key = PackKey(s.data(), cpp);
  const char* value = s.data() + base + 3;
  if (n == base + 7 && std::memcmp(value, "None", 4) == 0) {
    colour = 0;
    return true;
  }
  if (value[0] != '#' || (n != base + 10 && n != base + 16)) return false;
  const int32_t digits = n == base + 10 ? 2 : 4;
  colour = 0xFF000000u;
  for (int32_t ch = 0; ch < 3; ++ch) {
    uint32_t c = 0;
    for (int32_t d = 0; d < digits; ++d) {
      const int h = HexDigit(value[1 + ch * digits + d]);
      if (h < 0) return false;
      if (d < 2) c = c << 4 | static_cast<uint32_t>(h);
    }
    colour |= c << (8 * (2 - ch));
  }
  return true;
}

// The text as 8-bit lines.
class cLineReader {
public:
  explicit cLineReader(cFileIOTarget* stream) : in_(stream) {}
  // False at the end of the text or for a line longer than kMaxLine.
  bool Next(std::string& line) {
    line.clear();
    uint8_t b;
    bool any = false;
    for (;;) {
      if (pending_) {
        b = pendingByte_;
        pending_ = false;
      } else if (!in_.Next(b)) {
        return any;
      }
      any = true;
      if (b == '\r') {
        uint8_t next;
        if (in_.Next(next) && next != '\n') {
          pending_ = true;
          pendingByte_ = next;
        }
        return true;
      }
      if (b == '\n' || b == 0) return true;
      if (line.size() >= static_cast<size_t>(kMaxLine)) return false;
      line.push_back(static_cast<char>(b));
    }
  }

private:
  pict_read::cByteReader in_;
  bool pending_ = false;
  uint8_t pendingByte_ = 0;
};

}  // namespace

bool cPictXPM::ReadInfo(cFileIOTarget* stream, sPictInfo* info) {
  try {
    if (stream == nullptr) return false;
    char text[kProbeBytes + 1];
    uint32_t have = 0;
    while (have < kProbeBytes) {
      const uint32_t n = stream->Read(text + have, kProbeBytes - have);
      if (n == 0) break;
      have += n;
    }
    text[have] = 0;
    const char* p = text;
    while (*p != 0 && IsSpace(*p)) ++p;
    if (std::strncmp(p, "/* XPM", 6) != 0) return false;
    p = std::strstr(p, "static");
    if (p == nullptr || (p = std::strstr(p, "char")) == nullptr || (p = std::strchr(p, '{')) == nullptr)
      return false;
    // The values are the first string after the brace; comments before it
    // may hold quotes of their own, which the loader skips too.
    for (++p;;) {
      while (*p != 0 && IsSpace(*p)) ++p;
      if (p[0] != '/' || p[1] != '*') break;
      p = std::strstr(p + 2, "*/");
      if (p == nullptr) return false;
      p += 2;
    }
    if (*p != '"') return false;
    int32_t v[4];
    if (!ScanFour(p + 1, v) || !ValidValues(v)) return false;
    if (info != nullptr) {
      info->width = v[0];
      info->height = v[1];
      info->hasPreview = false;
    }
    return true;
  } catch (...) {
    return false;
  }
}

bool cPictXPM::Detect(cFileIOTarget* stream, sPictInfo* info) {
  cPictXPM probe;
  return probe.ReadInfo(stream, info);
}

bool cPictXPM::Load(cFileIOTarget* stream) {
  bool streaming = false, ok = false;
  try {
    ok = stream != nullptr && LoadInner(stream, streaming);
  } catch (...) {
    ok = false;
  }
  if (GetAttachedCanvas() != nullptr) {
    if (streaming)
      EndCanvasOutput();
    else
      DetachCanvas();
  }
  return ok;
}

bool cPictXPM::LoadInner(cFileIOTarget* stream, bool& streaming) {
  uint8_t mark[3];
  const uint64_t start = stream->Seek(0) && stream->ReadExact(mark, 3) && mark[0] == 0xEF && mark[1] == 0xBB &&
                                 mark[2] == 0xBF
                             ? 3
                             : 0;
  if (!stream->Seek(start)) return false;

  // What the grammar waits for next.
  enum class eState {
    kMagic,   // the "/* XPM" comment
    kStatic,  // "static ... {" on one line
    kString,  // a quoted string
    kComma,   // the ',' between strings
  } state = eState::kMagic;
  bool inComment = false;
  bool valuesRead = false;
  int32_t v[4] = {};
  int32_t coloursRead = 0, rowsRead = 0;
  cSortedTree<uint32_t, uint32_t> colours(64);

  cLineReader reader(stream);
  std::string line;
  while (reader.Next(line)) {
    size_t i = 0;
    const size_t n = line.size();
    for (;;) {
      if (inComment) {
        const size_t end = line.find("*/", i);
        if (end == std::string::npos) break;
        i = end + 2;
        inComment = false;
        continue;
      }
      while (i < n && IsSpace(line[i])) ++i;
      if (i >= n) break;
      if (line.compare(i, 2, "/*") == 0) {
        if (state == eState::kMagic && line.compare(i, 6, "/* XPM") != 0) return false;
        if (state == eState::kMagic) state = eState::kStatic;
        inComment = true;
        i += 2;
        continue;
      }
      switch (state) {
        case eState::kMagic: return false;
        case eState::kStatic: {
          if (n - i < 6 || line.compare(i, 6, "static") != 0) return false;
          const size_t brace = line.find('{', i + 6);
          if (brace == std::string::npos) return false;
          i = brace + 1;
          state = eState::kString;
          continue;
        }
        case eState::kComma:
          if (line[i] != ',') return false;
          ++i;
          state = eState::kString;
          continue;
        case eState::kString: break;
      }
      if (line[i] != '"') return false;
      const size_t close = line.find('"', i + 1);
      if (close == std::string::npos) return false;
      const std::string s = line.substr(i + 1, close - i - 1);
      i = close + 1;
      state = eState::kComma;
      if (!valuesRead) {
        if (!ScanFour(s.c_str(), v) || !ValidValues(v)) return false;
        valuesRead = true;
        continue;
      }
      const int32_t width = v[0], height = v[1], cpp = v[3];
      if (coloursRead < v[2]) {
        uint32_t key, colour;
        if (!ParseColour(s, cpp, key, colour)) return false;
        if (colours.Find(key) != nullptr) return false;
        uint32_t* slot = colours.FindOrInsert(key);
        if (slot == nullptr) return false;
        *slot = colour;
        ++coloursRead;
        continue;
      }
      if (s.size() != static_cast<size_t>(width) * static_cast<size_t>(cpp)) return false;
      if (rowsRead == 0) {
        SetSize(width, height);
        streaming = BeginCanvasOutput();
        // Rows the text never reaches stay transparent black.
        if (!streaming && !CreateBlank(width, height)) return false;
      }
      const int32_t y = height - 1 - rowsRead;
      for (int32_t x = 0; x < width; ++x) {
        const uint32_t* colour = colours.Find(PackKey(s.data() + static_cast<size_t>(x) * cpp, cpp));
        if (colour == nullptr) return false;
        if (streaming)
          PutCanvasPixel(x, y, *colour);
        else
          Pixels32().data[static_cast<size_t>(y) * width + x] = *colour;
      }
      if (++rowsRead == height) return true;
    }
  }
  // The text ended early: the rows read so far make the picture.
  return rowsRead > 0;
}
