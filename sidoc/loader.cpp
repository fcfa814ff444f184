// See sidoc/loader.h. The byte format is described in sidoc/format.h.
#include "sidoc/loader.h"

#include <cstring>
#include <limits>
#include <utility>

#include "base/decompress.h"
#include "base/strings.h"
#include "gui/font.h"
#include "sidoc/format.h"
#include "sidoc/picture_hook.h"

namespace {

using sidoc::kNoId;

uint16_t Get16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
uint32_t Get32(const uint8_t* p) {
  return uint32_t{p[0]} | (uint32_t{p[1]} << 8) | (uint32_t{p[2]} << 16) | (uint32_t{p[3]} << 24);
}

// A read position over bytes that the caller has checked exist.
struct sCursor {
  const uint8_t* data = nullptr;
  uint32_t position = 0;
  uint32_t size = 0;
  uint32_t Left() const { return size - position; }
  const uint8_t* Here() const { return data + position; }
};

class cBodyParser {
public:
  explicit cBodyParser(cSiDocLoader& loader) : loader_(loader) {}
  eDocLoadError Parse(cSiDocContainer& container, sCursor& cursor, int32_t depth);

private:
  void ApplyHead(cSiDocBox& box, const uint8_t* head);
  void ApplyFont(cSiDocFontProvider*& provider, int32_t& fontId, uint16_t id);
  bool FindString(uint16_t id, const char16_t*& text) const;

  cSiDocLoader& loader_;
};

void cBodyParser::ApplyHead(cSiDocBox& box, const uint8_t* head) {
  using namespace sidoc;
  box.background = static_cast<int32_t>(Get32(head + kOffBackground));
  box.lineBreak = head[kOffBreak] != 0 ? 1 : 0;
  box.marginLeft = Get16(head + kOffMarginLeft);
  box.marginRight = Get16(head + kOffMarginRight);
  box.marginTop = Get16(head + kOffMarginTop);
  box.marginBottom = Get16(head + kOffMarginBottom);
  const uint16_t w = Get16(head + kOffWidth), h = Get16(head + kOffHeight);
  box.width = (w == 0 || w == kSizeFromContent) ? -1 : w;
  box.height = (h == 0 || h == kSizeFromContent) ? -1 : h;
}

void cBodyParser::ApplyFont(cSiDocFontProvider*& provider, int32_t& fontId, uint16_t id) {
  if (id == kNoId) return;
  provider = &loader_;
  fontId = id;
}

bool cBodyParser::FindString(uint16_t id, const char16_t*& text) const {
  const _guardchar<char16_t>* s = loader_.strings.Find(id);
  if (s == nullptr) return false;
  text = s->text;
  return true;
}

eDocLoadError cBodyParser::Parse(cSiDocContainer& container, sCursor& cursor, int32_t depth) {
  using namespace sidoc;
  while (cursor.Left() > 0) {
    const uint8_t* r = cursor.Here();
    const uint8_t type = r[kOffType];
    if (type == kEndMark) {
      ++cursor.position;
      return eDocLoadError::kNone;
    }
    switch (type) {
      case kRecordText:
      case kRecordLinkText: {
        const bool link = type == kRecordLinkText;
        const uint32_t fixed = link ? kLinkRecordSize : kTextRecordSize;
        if (cursor.Left() < fixed) return eDocLoadError::kBadRecord;
        cSiDocText* box = link ? new cSiDocLink : new cSiDocText;
        container.Append(std::unique_ptr<cSiDocBox>(box));
        ApplyHead(*box, r);
        box->foreground = static_cast<int32_t>(Get32(r + 18));
        ApplyFont(box->fontProvider, box->fontId, Get16(r + 22));
        const uint16_t n = Get16(r + 24);
        if (link) {
          const uint16_t target = Get16(r + 26);
          if (target != kNoId && !FindString(target, static_cast<cSiDocLink*>(box)->target))
            return eDocLoadError::kMissingId;
        }
        cursor.position += fixed;
        if (n != 0) {
          if (n > cursor.Left()) return eDocLoadError::kBadRecord;
          Utf8ToWide(reinterpret_cast<const char*>(cursor.Here()), n, box->text);
          cursor.position += n;
        }
        break;
      }
      case kRecordPicture:
      case kRecordPictureLink: {
        const bool link = type == kRecordPictureLink;
        if (cursor.Left() < kPictureRecordSize) return eDocLoadError::kBadRecord;
        cSiDocImage* box = link ? new cSiDocImageLink : new cSiDocImage;
        container.Append(std::unique_ptr<cSiDocBox>(box));
        ApplyHead(*box, r);
        const uint16_t id = Get16(r + 18);
        if (id != kNoId) {
          const std::unique_ptr<cPicture>* picture = loader_.pictures.Find(id);
          if (picture == nullptr) return eDocLoadError::kMissingId;
          box->picture = picture->get();
        }
        cursor.position += kPictureRecordSize;
        if (link) {
          if (cursor.Left() < kPictureLinkRecordSize - kPictureRecordSize) return eDocLoadError::kBadRecord;
          // A picture link always names its target: 0xFFFF is no exemption.
          if (!FindString(Get16(cursor.Here()), static_cast<cSiDocImageLink*>(box)->target))
            return eDocLoadError::kMissingId;
          cursor.position += kPictureLinkRecordSize - kPictureRecordSize;
        }
        break;
      }
      case kRecordBox: {
        if (cursor.Left() < kBoxRecordSize) return eDocLoadError::kBadRecord;
        auto* box = new cSiDocContainer;
        container.Append(std::unique_ptr<cSiDocBox>(box));
        ApplyHead(*box, r);
        box->foreground = static_cast<int32_t>(Get32(r + 18));
        ApplyFont(box->fontProvider, box->fontId, Get16(r + 22));
        box->alignment = r[24];
        cursor.position += kBoxRecordSize;
        if (depth + 1 > kMaxBoxNesting) return eDocLoadError::kTooDeep;
        const eDocLoadError e = Parse(*box, cursor, depth + 1);
        if (e != eDocLoadError::kNone) return e;
        break;
      }
      default:
        return eDocLoadError::kBadRecord;
    }
  }
  return eDocLoadError::kUnclosedBody;
}

// Inflates a table of n bytes. False when the output passes the cap; damage
// is not a failure: whatever came out is parsed.
bool InflateTable(const uint8_t* data, uint32_t n, _typebuf<char>& out) {
  if (n > static_cast<uint32_t>(std::numeric_limits<int32_t>::max())) return false;
  cZDecompress z;
  const bool ok = z.InflateWhole(data, static_cast<int32_t>(n), out, sidoc::kMaxInflatedSize);
  return ok || out.count < sidoc::kMaxInflatedSize;
}

bool ParseFontTable(const _typebuf<char>& table, cSiDocLoader& loader) {
  if (table.count % sidoc::kFontRecordSize != 0) return false;
  const auto* p = reinterpret_cast<const uint8_t*>(table.data);
  for (int32_t i = 0; i < table.count / static_cast<int32_t>(sidoc::kFontRecordSize); ++i, p += 8) {
    sSiDocFontRecord* f = loader.fonts.FindOrInsert(i);
    if (f == nullptr) return false;
    f->face = Get16(p);
    f->width = Get16(p + 2);
    f->height = Get16(p + 4);
    f->bold = (p[6] & sidoc::kStyleBold) != 0;
    f->italic = (p[6] & sidoc::kStyleItalic) != 0;
    f->underline = (p[6] & sidoc::kStyleUnderline) != 0;
  }
  return true;
}

bool ParseStringTable(const _typebuf<char>& table, cSiDocLoader& loader) {
  sCursor c{reinterpret_cast<const uint8_t*>(table.data), 0, static_cast<uint32_t>(table.count)};
  for (int32_t id = 0; c.Left() > 0; ++id) {
    if (c.Left() < 2) return false;
    const uint16_t n = Get16(c.Here());
    c.position += 2;
    if (n > c.Left()) return false;
    _guardchar<char16_t>* s = loader.strings.FindOrInsert(id);
    if (s == nullptr) return false;
    Utf8ToWide(reinterpret_cast<const char*>(c.Here()), n, *s);
    c.position += n;
  }
  return true;
}

eDocLoadError ParsePictureTable(sCursor c, cSiDocLoader& loader) {
  int32_t id = 0;
  while (c.Left() > 0) {
    if (c.Left() < 4) return eDocLoadError::kBadPicture;
    const uint32_t n = Get32(c.Here());
    c.position += 4;
    if (n == 0) continue;  // takes no id
    if (n > c.Left()) return eDocLoadError::kBadPicture;
    std::unique_ptr<cPicture> picture;
    const eDocPictureResult r = DecodeDocumentPicture(c.Here(), n, &picture);
    if (r == eDocPictureResult::kUnrecognised || r == eDocPictureResult::kFailed) return eDocLoadError::kBadPicture;
    // kNoDecoder keeps an empty slot: the picture box becomes an empty box of
    // its stated size (sidoc/picture_hook.h).
    std::unique_ptr<cPicture>* slot = loader.pictures.FindOrInsert(id++);
    if (slot == nullptr) return eDocLoadError::kBadPicture;
    *slot = std::move(picture);
    c.position += n;
  }
  return eDocLoadError::kNone;
}

eDocLoadError Load(const uint8_t* data, uint32_t size, cSiDocLoader& loader) {
  using namespace sidoc;
  if (data == nullptr) return eDocLoadError::kNoData;
  if (size < kMinDocumentSize) return eDocLoadError::kTooShort;
  if (std::memcmp(data, kMagic, kMagicSize) != 0) return eDocLoadError::kBadMagic;

  struct sBody {
    uint32_t offset = 0;
    uint32_t length = 0;  // 0: language absent
  };
  sBody bodies[255];
  int32_t languages = 0;
  sCursor c{data, kMagicSize, size};
  for (;;) {
    if (c.Left() < 1) return eDocLoadError::kTruncated;
    const uint8_t id = data[c.position++];
    if (id == kEndMark) break;
    if (c.Left() < 4) return eDocLoadError::kTruncated;
    const uint32_t length = Get32(c.Here());
    c.position += 4;
    if (length == 0 || length > c.Left()) return eDocLoadError::kBadBodyLength;
    if (bodies[id].length != 0) return eDocLoadError::kRepeatedLanguage;
    bodies[id] = {c.position, length};
    ++languages;
    c.position += length;
  }
  if (languages == 0) return eDocLoadError::kNoLanguage;

  // Font and string tables: zlib streams.
  for (int table = 0; table < 2; ++table) {
    if (c.Left() < 4) return eDocLoadError::kTruncated;
    const uint32_t n = Get32(c.Here());
    c.position += 4;
    if (n == 0) continue;
    if (n > c.Left()) return eDocLoadError::kBadTableLength;
    _typebuf<char> inflated;
    const bool ok = InflateTable(c.Here(), n, inflated) &&
                    (table == 0 ? ParseFontTable(inflated, loader) : ParseStringTable(inflated, loader));
    if (!ok) return table == 0 ? eDocLoadError::kBadFontTable : eDocLoadError::kBadStringTable;
    c.position += n;
  }

  // Picture table: raw entries.
  if (c.Left() < 4) return eDocLoadError::kTruncated;
  const uint32_t pictureBytes = Get32(c.Here());
  c.position += 4;
  if (pictureBytes != 0) {
    if (pictureBytes > c.Left()) return eDocLoadError::kBadTableLength;
    const eDocLoadError e = ParsePictureTable(sCursor{c.Here(), 0, pictureBytes}, loader);
    if (e != eDocLoadError::kNone) return e;
  }

  // Bodies in ascending language order.
  cBodyParser parser(loader);
  for (int32_t id = 0; id < 255; ++id) {
    if (bodies[id].length == 0) continue;
    _typebuf<char> input(static_cast<int32_t>(bodies[id].length));
    std::memcpy(input.data, data + bodies[id].offset, bodies[id].length);
    _typebuf<char> body;
    cZDecompress z;
    if (!z.Decompress(input, body, kMaxInflatedSize)) return eDocLoadError::kBodyTooLarge;
    if (body.count == 0) return eDocLoadError::kEmptyBody;
    std::unique_ptr<cSiDocContainer>* root = loader.containers.FindOrInsert(id);
    if (root == nullptr) return eDocLoadError::kNoData;
    *root = std::make_unique<cSiDocContainer>();
    sCursor bc{reinterpret_cast<const uint8_t*>(body.data), 0, static_cast<uint32_t>(body.count)};
    const eDocLoadError e = parser.Parse(**root, bc, 0);
    if (e != eDocLoadError::kNone) return e;
  }
  return eDocLoadError::kNone;
}

}  // namespace

const char* DocLoadErrorText(eDocLoadError reason) {
  switch (reason) {
    case eDocLoadError::kNone: return "no error";
    case eDocLoadError::kNoData: return "no data";
    case eDocLoadError::kTooShort: return "shorter than a document";
    case eDocLoadError::kBadMagic: return "not a compiled document";
    case eDocLoadError::kTruncated: return "truncated";
    case eDocLoadError::kBadBodyLength: return "bad body length";
    case eDocLoadError::kRepeatedLanguage: return "language given twice";
    case eDocLoadError::kNoLanguage: return "no language";
    case eDocLoadError::kBadTableLength: return "table longer than the data";
    case eDocLoadError::kBadFontTable: return "bad font table";
    case eDocLoadError::kBadStringTable: return "bad string table";
    case eDocLoadError::kBadPicture: return "bad picture";
    case eDocLoadError::kEmptyBody: return "empty body";
    case eDocLoadError::kBodyTooLarge: return "body too large";
    case eDocLoadError::kBadRecord: return "bad record";
    case eDocLoadError::kMissingId: return "unknown picture or string id";
    case eDocLoadError::kUnclosedBody: return "body not closed";
    case eDocLoadError::kTooDeep: return "boxes nested too deeply";
  }
  return "unknown";
}

cSiDocLoader::cSiDocLoader() = default;

cSiDocLoader::~cSiDocLoader() { Clear(); }

void cSiDocLoader::Clear() {
  containers.Clear();
  fonts.Clear();
  strings.Clear();
  pictures.Clear();
}

cSiDocContainer* cSiDocLoader::GetContainer(int32_t languageId) const {
  const std::unique_ptr<cSiDocContainer>* root = containers.Find(languageId);
  return root != nullptr ? root->get() : nullptr;
}

cFontObject* cSiDocLoader::GetFont(int32_t fontId) {
  const sSiDocFontRecord* f = fonts.Find(fontId);
  if (f == nullptr) return nullptr;
  const char16_t* face = sidoc::FaceName(f->face);
  if (face == nullptr) return nullptr;
  return GetCachedFont(f->width, f->height, face, f->bold != 0, f->underline != 0, f->italic != 0);
}

bool LoadCompiledDocument(const void* data, uint32_t size, cSiDocLoader* loader, eDocLoadError* reason) {
  eDocLoadError e = eDocLoadError::kNoData;
  if (loader != nullptr) {
    loader->Clear();
    e = Load(static_cast<const uint8_t*>(data), size, *loader);
  }
  if (reason != nullptr) *reason = e;
  return e == eDocLoadError::kNone;
}
