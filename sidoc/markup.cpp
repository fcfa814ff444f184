// See sidoc/markup.h. Records and tables are laid out as sidoc/format.h says.
//
// Messages (8-bit, fixed): "unexpected termination", "tag is not properly
// closed", "invalid tag closed", "close tag mismatch", "invalid tag opened",
// "bad tag props", "bad left margin", "bad right margin", "bad top margin",
// "bad bottom margin", "bad width", "bad height", "bad break", "bad FG color",
// "bad BG color", "bad align", "no src prop", "unable to open IMG", "unable
// to recognize IMG", "unable to load IMG", "unable to read IMG", "termination
// on opened tag", "bad font face name", "bad font face definition", "bad font
// height def", "bad font height", "bad font definition", "bad font width
// def", "bad font width", "bad font width definition", "bad font", and, for
// documents the loader could not read back: "tags nested too deeply", "word
// too long", "too many fonts", "too many links", "too many pictures",
// "document too large".
#include "sidoc/markup.h"

#include <cstring>
#include <new>
#include <string>
#include <utility>
#include <vector>

#include "base/fileio.h"
#include "base/paths.h"
#include "base/strings.h"
#include "base/utf8.h"
#include "gui/font.h"
#include "sidoc/format.h"
#include "sidoc/picture_hook.h"

namespace {

using sidoc::kNoId;

enum class eTag { kNone, kText, kLink, kImg, kBr, kLt, kB, kI };

struct sTagName {
  const char16_t* name;
  int32_t length;
  eTag tag;
  bool takesProperties;
};
constexpr sTagName kTags[] = {
    {u"text", 4, eTag::kText, true}, {u"link", 4, eTag::kLink, true}, {u"img", 3, eTag::kImg, true},
    {u"br", 2, eTag::kBr, false},    {u"lt", 2, eTag::kLt, false},    {u"b", 1, eTag::kB, false},
    {u"i", 1, eTag::kI, false},
};

// The font state of one nesting level.
struct sDocFontState {
  int32_t face = 0;
  int32_t height = 13;
  int32_t width = 5;
  bool bold = false;
  bool italic = false;
  bool underline = false;
  int32_t linkTarget = -1;  // string id, -1 none
};

bool IsBlank(char16_t c) { return c == u'\t' || c == u'\n' || c == u'\r' || c == u' '; }

char16_t Lower(char16_t c) { return ToLowerW(c); }

bool SameText(const char16_t* a, int32_t n, const char16_t* b, int32_t m) {
  return n == m && std::memcmp(a, b, static_cast<size_t>(n) * sizeof(char16_t)) == 0;
}

int32_t Round(double v) { return static_cast<int32_t>(v + 0.5); }

void Put16(std::vector<uint8_t>& b, uint32_t v) {
  b.push_back(static_cast<uint8_t>(v));
  b.push_back(static_cast<uint8_t>(v >> 8));
}
void Put32(std::vector<uint8_t>& b, uint32_t v) {
  Put16(b, v & 0xFFFF);
  Put16(b, v >> 16);
}

// The common 18-byte head with the markup's defaults: no background, no
// margins, size from the content.
struct sHead {
  uint8_t type = 0;
  uint32_t background = 0xFFFFFFFF;
  uint8_t lineBreak = 0;
  uint32_t margins[4] = {0, 0, 0, 0};  // left, right, top, bottom
  uint32_t width = sidoc::kSizeFromContent;
  uint32_t height = sidoc::kSizeFromContent;
};
void PutHead(std::vector<uint8_t>& b, const sHead& h) {
  b.push_back(h.type);
  Put32(b, h.background);
  b.push_back(h.lineBreak);
  for (uint32_t m : h.margins) Put16(b, m);
  Put16(b, h.width);
  Put16(b, h.height);
}

// The properties of one tag, names lower-cased, the last value of a name kept.
class cProps {
public:
  // Parses n units; false when they do not form "name = value" pairs.
  bool Parse(const char16_t* p, int32_t n);
  const std::u16string* Find(const char16_t* name) const {
    for (auto it = items_.rbegin(); it != items_.rend(); ++it)
      if (it->first == name) return &it->second;
    return nullptr;
  }

private:
  std::vector<std::pair<std::u16string, std::u16string>> items_;
};

bool cProps::Parse(const char16_t* p, int32_t n) {
  int32_t i = 0;
  for (;;) {
    while (i < n && IsBlank(p[i])) ++i;
    if (i >= n) return true;
    std::u16string name;
    while (i < n && !IsBlank(p[i]) && p[i] != u'=') name += Lower(p[i++]);
    while (i < n && IsBlank(p[i])) ++i;
    if (name.empty() || i >= n || p[i] != u'=') return false;
    ++i;
    while (i < n && IsBlank(p[i])) ++i;
    std::u16string value;
    if (i < n && (p[i] == u'"' || p[i] == u'\'')) {
      const char16_t quote = p[i++];
      const int32_t from = i;
      while (i < n && p[i] != quote) ++i;
      if (i >= n) return false;
      value.assign(p + from, p + i);
      ++i;
    } else {
      const int32_t from = i;
      while (i < n && !IsBlank(p[i])) ++i;
      value.assign(p + from, p + i);
    }
    items_.emplace_back(std::move(name), std::move(value));
  }
}

class cMarkupCompiler {
public:
  cMarkupCompiler(sDocCompileContext& context, cMemIOTarget& body, const char16_t* text, int32_t length)
      : context_(context), body_(body) {
    cursor_.text = text;
    cursor_.length = length;
  }
  bool Run() { return Compile(sDocFontState{}, eTag::kNone, 0, 0); }

private:
  bool Compile(const sDocFontState& state, eTag enclosing, uint32_t colour, int32_t depth);
  bool Word(const sDocFontState& state, const sDocMarkupToken& token, uint32_t colour);
  bool OpenText(const sDocFontState& state, const cProps& props, uint32_t colour, int32_t depth);
  bool Image(const sDocFontState& state, const cProps& props);
  bool Fail(const char* message) {
    context_.errorMessage = message;
    context_.errorLine = cursor_.line;
    context_.errorColumn = cursor_.column;
    return false;
  }
  bool Write(const std::vector<uint8_t>& bytes) {
    if (body_.GetSize() + bytes.size() > static_cast<uint64_t>(sidoc::kMaxInflatedSize) ||
        !body_.WriteExact(bytes.data(), static_cast<uint32_t>(bytes.size())))
      return Fail("document too large");
    return true;
  }
  // Reads a number property into out when present: 0..max accepted.
  bool Number(const cProps& props, const char16_t* name, int64_t max, uint32_t& out, const char* message);
  bool ParseFontDefinition(sDocFontState& state, const std::u16string& value, uint16_t& id);
  bool GetStyleFontId(const sDocFontState& state, uint16_t& id);
  bool RegisterFont(int32_t face, int32_t width, int32_t height, uint8_t styles, uint16_t& id);
  bool RegisterString(const std::u16string& text, uint16_t& id);
  bool RegisterPicture(const std::u16string& source, uint16_t& id);

  sDocCompileContext& context_;
  cMemIOTarget& body_;
  sDocMarkupCursor cursor_;
};

bool cMarkupCompiler::Number(const cProps& props, const char16_t* name, int64_t max, uint32_t& out,
                             const char* message) {
  const std::u16string* v = props.Find(name);
  if (v == nullptr) return true;
  const int64_t n = ParseInt64W(v->c_str());
  if (n < 0 || n > max) return Fail(message);
  out = static_cast<uint32_t>(n);
  return true;
}

bool cMarkupCompiler::RegisterFont(int32_t face, int32_t width, int32_t height, uint8_t styles, uint16_t& id) {
  uint8_t record[sidoc::kFontRecordSize] = {static_cast<uint8_t>(face),   static_cast<uint8_t>(face >> 8),
                                            static_cast<uint8_t>(width),  static_cast<uint8_t>(width >> 8),
                                            static_cast<uint8_t>(height), static_cast<uint8_t>(height >> 8),
                                            styles,                       0};
  sPairKey key;
  std::memcpy(&key.first, record, 4);
  std::memcpy(&key.second, record + 4, 4);
  if (const sDocTableEntry* known = context_.fontIndex.Find(key)) {
    id = static_cast<uint16_t>(known->id);
    return true;
  }
  const uint32_t offset = static_cast<uint32_t>(context_.fontTable.GetSize());
  const int32_t next = static_cast<int32_t>(offset / sidoc::kFontRecordSize);
  if (next >= kNoId) return Fail("too many fonts");
  context_.fontTable.Seek(offset);
  if (!context_.fontTable.WriteExact(record, sizeof record)) return Fail("document too large");
  sDocTableEntry* entry = context_.fontIndex.FindOrInsert(key);
  if (entry == nullptr) throw std::bad_alloc();
  *entry = {offset, next};
  id = static_cast<uint16_t>(next);
  return true;
}

bool cMarkupCompiler::RegisterString(const std::u16string& text, uint16_t& id) {
  cPackedKey key;
  key.FromWide(text.c_str(), static_cast<int32_t>(text.size()));
  if (const sDocTableEntry* known = context_.stringIndex.Find(key)) {
    id = static_cast<uint16_t>(known->id);
    return true;
  }
  if (context_.nextStringId >= kNoId) return Fail("too many links");
  _typebuf<char> utf8;
  WideToUtf8Buffer(utf8, static_cast<int32_t>(text.size()), text.c_str());
  const uint32_t n = utf8.count > 65535 ? 65535 : static_cast<uint32_t>(utf8.count);
  const uint32_t offset = static_cast<uint32_t>(context_.stringTable.GetSize());
  if (offset + 2 + n > static_cast<uint64_t>(sidoc::kMaxInflatedSize)) return Fail("document too large");
  const uint8_t length[2] = {static_cast<uint8_t>(n), static_cast<uint8_t>(n >> 8)};
  context_.stringTable.Seek(offset);
  if (!context_.stringTable.WriteExact(length, 2) || (n != 0 && !context_.stringTable.WriteExact(utf8.data, n)))
    return Fail("document too large");
  sDocTableEntry* entry = context_.stringIndex.FindOrInsert(std::move(key));
  if (entry == nullptr) throw std::bad_alloc();
  *entry = {offset, context_.nextStringId++};
  id = static_cast<uint16_t>(entry->id);
  return true;
}

bool cMarkupCompiler::RegisterPicture(const std::u16string& source, uint16_t& id) {
  std::u16string path = source;
  NormalizePath(path.data());
  path.resize(std::char_traits<char16_t>::length(path.c_str()));
  if (path.size() >= 2 && path[0] == u'.' && path[1] == u'/') {
    // Relative to the markup file; with no folder to join it to, there is
    // nothing to open.
    if (context_.currentFolder.IsEmpty()) return Fail("unable to open IMG");
    path = std::u16string(context_.currentFolder.text) + path.substr(2);
  }
  cPackedKey key;
  key.FromWide(path.c_str(), static_cast<int32_t>(path.size()));
  if (const sDocTableEntry* known = context_.pictureIndex.Find(key)) {
    id = static_cast<uint16_t>(known->id);
    return true;
  }
  if (context_.nextPictureId >= kNoId) return Fail("too many pictures");
  cFileIO file;
  if (path.empty() || !file.Open(path.c_str(), kFileRead)) return Fail("unable to open IMG");
  const uint64_t size = file.GetSize();
  const uint64_t offset = context_.pictureTable.GetSize();
  // The table's 32-bit length must hold it, and the memory stream too.
  if (size == 0 || offset + 4 + size > cMemIOTarget::kMaxSize) {
    if (size == 0) return Fail("unable to recognize IMG");
    return Fail("unable to load IMG");
  }
  _typebuf<char> bytes;
  try {
    bytes.Reallocate(static_cast<int32_t>(size));
  } catch (const std::bad_alloc&) {
    return Fail("unable to load IMG");
  }
  if (!file.Seek(0) || !file.ReadExact(bytes.data, static_cast<uint32_t>(size))) return Fail("unable to read IMG");
  // kFailed: it looks like a form the factory decodes, but the factory does
  // not accept it; the loader would refuse the document.
  const eDocPictureResult recognised = DecodeDocumentPicture(bytes.data, static_cast<uint32_t>(size), nullptr);
  if (recognised == eDocPictureResult::kUnrecognised || recognised == eDocPictureResult::kFailed)
    return Fail("unable to recognize IMG");
  const uint8_t length[4] = {static_cast<uint8_t>(size), static_cast<uint8_t>(size >> 8),
                             static_cast<uint8_t>(size >> 16), static_cast<uint8_t>(size >> 24)};
  context_.pictureTable.Seek(offset);
  if (!context_.pictureTable.WriteExact(length, 4) ||
      !context_.pictureTable.WriteExact(bytes.data, static_cast<uint32_t>(size)))
    return Fail("document too large");
  sDocTableEntry* entry = context_.pictureIndex.FindOrInsert(std::move(key));
  if (entry == nullptr) throw std::bad_alloc();
  *entry = {static_cast<uint32_t>(offset), context_.nextPictureId++};
  id = static_cast<uint16_t>(entry->id);
  return true;
}

bool cMarkupCompiler::ParseFontDefinition(sDocFontState& state, const std::u16string& value, uint16_t& id) {
  struct sFace {
    const char16_t* keyword;
    int32_t code;
  };
  static constexpr sFace kFaces[] = {{u"std", 0},  {u"fixed", 1}, {u"kor", 2}, {u"verd", 3},
                                     {u"luci", 4}, {u"chi", 5},   {u"twn", 6}};
  const char16_t* p = value.c_str();
  size_t i = 0;
  bool matched = false;
  for (const sFace& f : kFaces) {
    const size_t n = std::char_traits<char16_t>::length(f.keyword);
    size_t k = 0;
    while (k < n && k < value.size() && Lower(p[k]) == f.keyword[k]) ++k;
    if (k == n) {
      state.face = f.code;
      i = n;
      matched = true;
      break;
    }
  }
  if (!matched) return Fail("bad font face name");
  // Reads decimal digits at i; false when there are none. Values are capped
  // on the way so that long digit runs cannot overflow.
  auto digits = [&](int32_t& out) {
    const size_t from = i;
    int64_t v = 0;
    while (i < value.size() && p[i] >= u'0' && p[i] <= u'9') {
      if (v < 100000) v = v * 10 + (p[i] - u'0');
      ++i;
    }
    out = static_cast<int32_t>(v);
    return i > from;
  };
  if (i < value.size()) {
    if (p[i] != u',') return Fail("bad font face definition");
    ++i;
    int32_t height = 0;
    if (!digits(height)) return Fail("bad font height def");
    if (height >= 4096) return Fail("bad font height");
    state.height = height;
    if (i >= value.size()) {
      state.width = Round(height * 5.0 / 13.0);
    } else {
      if (p[i] != u',') return Fail("bad font definition");
      ++i;
      int32_t width = 0;
      if (!digits(width)) return Fail("bad font width def");
      if (width >= 4096) return Fail("bad font width");
      state.width = width;
      if (i < value.size()) {
        if (p[i] != u',') return Fail("bad font width definition");
        for (++i; i < value.size(); ++i) {
          const char16_t c = Lower(p[i]);
          if (c == u'b') state.bold = true;
          if (c == u'i') state.italic = true;
          if (c == u'u') state.underline = true;
        }
      }
    }
  }
  if (GetCachedFont(state.width, state.height, sidoc::FaceName(state.face), state.bold, state.underline,
                    state.italic) == nullptr)
    return Fail("bad font");
  const uint8_t styles = (state.bold ? sidoc::kStyleBold : 0) | (state.italic ? sidoc::kStyleItalic : 0) |
                         (state.underline ? sidoc::kStyleUnderline : 0);
  return RegisterFont(state.face, state.width, state.height, styles, id);
}

bool cMarkupCompiler::GetStyleFontId(const sDocFontState& state, uint16_t& id) {
  id = kNoId;
  if (!state.bold && !state.italic && !state.underline) return true;
  const uint8_t styles = (state.bold ? sidoc::kStyleBold : 0) | (state.italic ? sidoc::kStyleItalic : 0) |
                         (state.underline ? sidoc::kStyleUnderline : 0);
  return RegisterFont(state.face, state.bold ? Round(state.width * 1.1) : state.width, state.height, styles, id);
}

bool cMarkupCompiler::Word(const sDocFontState& state, const sDocMarkupToken& token, uint32_t colour) {
  const int32_t n = Utf8ByteCount(token.start, token.length);
  // The record's length field has 16 bits; a cut length would corrupt the
  // body, so such a word is refused.
  if (n > 65535) return Fail("word too long");
  uint16_t font = kNoId;
  if (!GetStyleFontId(state, font)) return false;
  const bool link = state.linkTarget >= 0;
  std::vector<uint8_t> b;
  sHead h;
  h.type = link ? sidoc::kRecordLinkText : sidoc::kRecordText;
  PutHead(b, h);
  Put32(b, colour);
  Put16(b, font);
  Put16(b, static_cast<uint32_t>(n));
  if (link) Put16(b, static_cast<uint32_t>(state.linkTarget));
  const size_t at = b.size();
  b.resize(at + static_cast<size_t>(n));
  Utf8Encode(token.start, token.length, reinterpret_cast<char*>(b.data() + at), n);
  return Write(b);
}

bool cMarkupCompiler::OpenText(const sDocFontState& state, const cProps& props, uint32_t colour, int32_t depth) {
  sHead h;
  h.type = sidoc::kRecordBox;
  h.lineBreak = 1;
  uint32_t fg = colour, bg = 0xFFFFFFFF, lineBreak = 1;
  static const char* const kMarginMessages[] = {"bad left margin", "bad right margin", "bad top margin",
                                                "bad bottom margin"};
  static const char16_t* const kMarginNames[] = {u"ml", u"mr", u"mt", u"mb"};
  for (int k = 0; k < 4; ++k)
    if (!Number(props, kMarginNames[k], 65535, h.margins[k], kMarginMessages[k])) return false;
  if (!Number(props, u"w", 65535, h.width, "bad width") || !Number(props, u"h", 65535, h.height, "bad height") ||
      !Number(props, u"br", 1, lineBreak, "bad break") || !Number(props, u"fg", 0xFFFFFFFF, fg, "bad FG color") ||
      !Number(props, u"bg", 0xFFFFFFFF, bg, "bad BG color"))
    return false;
  h.lineBreak = static_cast<uint8_t>(lineBreak);
  h.background = bg;
  uint8_t alignment = sidoc::kAlignLeft;
  if (const std::u16string* a = props.Find(u"a")) {
    switch (a->empty() ? 0 : Lower((*a)[0])) {
      case u'l': alignment = sidoc::kAlignLeft; break;
      case u'r': alignment = sidoc::kAlignRight; break;
      case u'c': alignment = sidoc::kAlignCentre; break;
      case u'j': alignment = sidoc::kAlignJustify; break;
      default: return Fail("bad align");
    }
  }
  sDocFontState inner = state;
  uint16_t font = kNoId;
  if (const std::u16string* f = props.Find(u"f"))
    if (!ParseFontDefinition(inner, *f, font)) return false;
  std::vector<uint8_t> b;
  PutHead(b, h);
  Put32(b, fg);
  Put16(b, font);
  b.push_back(alignment);
  if (!Write(b)) return false;
  return Compile(inner, eTag::kText, fg, depth + 1);
}

bool cMarkupCompiler::Image(const sDocFontState& state, const cProps& props) {
  const bool link = state.linkTarget >= 0;
  sHead h;
  h.type = link ? sidoc::kRecordPictureLink : sidoc::kRecordPicture;
  const std::u16string* src = props.Find(u"src");
  if (src == nullptr) return Fail("no src prop");
  uint16_t id = kNoId;
  if (!RegisterPicture(*src, id)) return false;
  static const char* const kMarginMessages[] = {"bad left margin", "bad right margin", "bad top margin",
                                                "bad bottom margin"};
  static const char16_t* const kMarginNames[] = {u"ml", u"mr", u"mt", u"mb"};
  for (int k = 0; k < 4; ++k)
    if (!Number(props, kMarginNames[k], 65535, h.margins[k], kMarginMessages[k])) return false;
  uint32_t lineBreak = 1, bg = 0xFFFFFFFF;
  if (!Number(props, u"w", 65535, h.width, "bad width") || !Number(props, u"h", 65535, h.height, "bad height") ||
      !Number(props, u"br", 1, lineBreak, "bad break") || !Number(props, u"bg", 0xFFFFFFFF, bg, "bad BG color"))
    return false;
  h.lineBreak = static_cast<uint8_t>(lineBreak);
  h.background = bg;
  std::vector<uint8_t> b;
  PutHead(b, h);
  Put16(b, id);
  if (link) Put16(b, static_cast<uint32_t>(state.linkTarget));
  return Write(b);
}

bool cMarkupCompiler::Compile(const sDocFontState& state, eTag enclosing, uint32_t colour, int32_t depth) {
  sDocMarkupToken token;
  while (NextMarkupToken(cursor_, token)) {
    if (!token.isTag) {
      if (!Word(state, token, colour)) return false;
      continue;
    }
    const char16_t* inner = token.start + 1;
    const int32_t n = token.length - 2;

    if (n >= 1 && inner[0] == u'/') {
      const char16_t* name = inner + 1;
      const int32_t m = n - 1;
      eTag closed = eTag::kNone;
      for (const sTagName& t : kTags) {
        if (t.takesProperties && m > t.length && std::memcmp(name, t.name, t.length * sizeof(char16_t)) == 0 &&
            IsBlank(name[t.length]))
          return Fail("tag is not properly closed");
        if (SameText(name, m, t.name, t.length)) closed = t.tag;
      }
      if (closed == eTag::kNone) return Fail("invalid tag closed");
      if (closed != enclosing) return Fail("close tag mismatch");
      if (closed == eTag::kText) {
        const std::vector<uint8_t> end{sidoc::kEndMark};
        if (!Write(end)) return false;
      }
      return true;
    }

    eTag opened = eTag::kNone;
    int32_t propsAt = n;
    for (const sTagName& t : kTags) {
      if (SameText(inner, n, t.name, t.length)) {
        opened = t.tag;
        break;
      }
      if (t.takesProperties && n > t.length && std::memcmp(inner, t.name, t.length * sizeof(char16_t)) == 0 &&
          IsBlank(inner[t.length])) {
        opened = t.tag;
        propsAt = t.length;
        break;
      }
    }
    if (opened == eTag::kNone) return Fail("invalid tag opened");
    cProps props;
    if (!props.Parse(inner + propsAt, n - propsAt)) return Fail("bad tag props");
    const bool nests = opened == eTag::kText || opened == eTag::kLink || opened == eTag::kB || opened == eTag::kI;
    if (nests && depth >= sidoc::kMaxBoxNesting) return Fail("tags nested too deeply");

    switch (opened) {
      case eTag::kText:
        if (!OpenText(state, props, colour, depth)) return false;
        break;
      case eTag::kLink: {
        const std::u16string* ref = props.Find(u"ref");
        uint16_t id = kNoId;
        if (!RegisterString(ref != nullptr ? *ref : std::u16string(), id)) return false;
        sDocFontState inner = state;
        inner.linkTarget = id;
        if (!Compile(inner, eTag::kLink, 0xFF0000, depth + 1)) return false;
        break;
      }
      case eTag::kImg:
        if (!Image(state, props)) return false;
        break;
      case eTag::kBr:
      case eTag::kLt: {
        std::vector<uint8_t> b;
        sHead h;
        h.type = sidoc::kRecordText;
        h.lineBreak = opened == eTag::kBr ? 1 : 0;
        PutHead(b, h);
        Put32(b, 0xFFFFFFFF);
        Put16(b, kNoId);
        if (opened == eTag::kBr) {
          Put16(b, 0);
        } else {
          Put16(b, 1);
          b.push_back('<');
        }
        if (!Write(b)) return false;
        break;
      }
      case eTag::kB:
      case eTag::kI: {
        sDocFontState inner = state;
        (opened == eTag::kB ? inner.bold : inner.italic) = true;
        if (!Compile(inner, opened, colour, depth + 1)) return false;
        break;
      }
      case eTag::kNone:
        break;
    }
  }
  if (cursor_.position < cursor_.length) return Fail("unexpected termination");
  if (enclosing != eTag::kNone) return Fail("termination on opened tag");
  const std::vector<uint8_t> end{sidoc::kEndMark};
  return Write(end);
}

}  // namespace

sDocCompileContext::sDocCompileContext() = default;

bool NextMarkupToken(sDocMarkupCursor& c, sDocMarkupToken& token) {
  while (c.position < c.length && IsBlank(c.text[c.position])) {
    if (c.text[c.position] == u'\n') {
      ++c.line;
      c.column = 0;
    } else {
      ++c.column;
    }
    ++c.position;
  }
  if (c.position >= c.length) return false;
  const char16_t* start = c.text + c.position;
  if (*start == u'<') {
    int32_t end = c.position + 1;
    while (end < c.length && c.text[end] != u'>') ++end;
    if (end >= c.length) return false;  // cursor stays at the "<"
    for (int32_t k = c.position; k <= end; ++k) {
      if (c.text[k] == u'\n') {
        ++c.line;
        c.column = 0;
      } else {
        ++c.column;
      }
    }
    token = {start, end + 1 - c.position, true};
    c.position = end + 1;
    return true;
  }
  int32_t end = c.position;
  while (end < c.length) {
    const char16_t ch = c.text[end];
    if (IsBlank(ch) || ch == u'<') break;
    ++end;
    // Chinese, Japanese and Korean punctuation ends a word after itself.
    if (ch == u'\u3001' || ch == u'\u3002') break;
  }
  token = {start, end - c.position, false};
  c.column += end - c.position;
  c.position = end;
  return true;
}

bool CompileLanguageMarkup(sDocCompileContext& context, const char16_t* text, int32_t length) {
  context.errorMessage = nullptr;
  context.errorLine = context.errorColumn = 0;
  cMemIOTarget* body = context.bodies.FindOrInsert(context.currentLanguage);
  if (body == nullptr) throw std::bad_alloc();
  body->Close();
  if (text == nullptr) length = 0;
  return cMarkupCompiler(context, *body, text, length).Run();
}
