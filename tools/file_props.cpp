// See tools/file_props.h.
#include "tools/file_props.h"

#include <cstring>
#include <new>

#include "picture/pict_dib.h"
#include "picture/pict_factory.h"
#include "picture/pict_png.h"

namespace {

uint16_t Le16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
uint32_t Le32(const uint8_t* p) {
  return uint32_t{p[0]} | (uint32_t{p[1]} << 8) | (uint32_t{p[2]} << 16) | (uint32_t{p[3]} << 24);
}

bool ReadAt(cFileIOTarget* stream, uint64_t position, void* out, uint32_t count) {
  return stream->Seek(position) && stream->ReadExact(out, count);
}

// Resource types the bags read.
constexpr uint32_t kTypeIcon = 3;
constexpr uint32_t kTypeVersion = 16;
// A directory header and one of its entries, as the PE format lays them out.
constexpr uint64_t kDirHeader = 16;
constexpr uint64_t kDirEntry = 8;
constexpr uint64_t kDataEntry = 16;
constexpr uint32_t kSubdirectory = 0x80000000u;

// VS_VERSIONINFO: the 6-byte node head, the key "VS_VERSION_INFO" with its
// terminator and padding (40 bytes in all), then the 52-byte fixed file
// information whose first field is its signature.
constexpr uint32_t kVersionHead = 92;
constexpr uint32_t kFixedInfoAt = 40;
constexpr uint32_t kFixedInfoSignature = 0xFEEF04BDu;

}  // namespace

// ---- The bag ----------------------------------------------------------------------------

void cFileObjectProps::Clear() {
  wantedWidth = wantedHeight = -1;
  ints.Clear();
  doubles.Clear();
  strings.Clear();
  pictures.Clear();
}

bool cFileObjectProps::SetIntProp(int32_t id, int32_t value) {
  switch (id) {
    case 0: case 1: case 2: case 4: case 5: case 16: case 20: case 21: break;
    default: return false;
  }
  int32_t* slot = ints.FindOrInsert(id);
  if (slot == nullptr) return false;
  *slot = value;
  return true;
}

bool cFileObjectProps::SetTimestampProp(int32_t id, const sDateTime& time) {
  if (id != kPropTimeLinked) return false;
  sDateTime* slot = timestamps.FindOrInsert(id);
  if (slot == nullptr) return false;
  *slot = time;
  return true;
}

bool cFileObjectProps::SetPictureProp(cPictBase* picture) {
  if (picture == nullptr || !picture->HasPixels()) return false;
  std::unique_ptr<cPictDummy>* slot = pictures.FindOrInsert(kPropPicture);
  if (slot == nullptr) return false;
  if (*slot == nullptr) {
    slot->reset(new (std::nothrow) cPictDummy());
    if (*slot == nullptr) return false;
  }
  (*slot)->TakePixels(picture);
  return true;
}

cPictDummy* FindPictureKey3(cFileObjectProps* bag) {
  if (bag == nullptr) return nullptr;
  std::unique_ptr<cPictDummy>* slot = bag->pictures.Find(kPropPicture);
  return slot != nullptr ? slot->get() : nullptr;
}

// ---- Pictures ---------------------------------------------------------------------------

int32_t FileTypeOfPictFormat(int32_t format) {
  switch (format) {
    case kPictFormatBMP: return 1;
    case kPictFormatDICOM: case kPictFormatDICOMLegacy: return 2;
    case kPictFormatGIF: return 3;
    case kPictFormatICNS: return 4;
    case kPictFormatICO: return 5;
    case kPictFormatJ2K: return 6;
    case kPictFormatJP2: return 7;
    case kPictFormatJPEG: return 8;
    case kPictFormatPCX: return 9;
    case kPictFormatPNG: return 10;
    case kPictFormatPPM: return 11;
    case kPictFormatTGA: return 12;
    case kPictFormatTIFF: return 13;
    case kPictFormatARW: return 15;
    case kPictFormatCR2: return 16;
    case kPictFormatCRW: return 17;
    case kPictFormatDNG: return 18;
    case kPictFormat3FR: return 19;
    case kPictFormatIIQ: return 20;
    case kPictFormatMOS: return 21;
    case kPictFormatMRW: return 22;
    case kPictFormatNEF: return 23;
    case kPictFormatORF: return 24;
    case kPictFormatPEF: return 25;
    case kPictFormatRAF: return 26;
    case kPictFormatRWL: return 27;
    case kPictFormatSRW: return 28;
    case kPictFormatTIFF_EP: return 29;
    case kPictFormatX3F: return 30;
    default: return kFileTypeOtherPicture;
  }
}

cSimpleImageProps::cSimpleImageProps(std::unique_ptr<cPictBase> decoder) : decoder_(std::move(decoder)) {
  type_ = decoder_ != nullptr ? FileTypeOfPictFormat(decoder_->GetFormat()) : kFileTypeOtherPicture;
}

bool cSimpleImageProps::Load(cFileIOTarget* stream, void*, bool wantPicture) {
  if (decoder_ == nullptr || stream == nullptr) return false;
  try {
    sPictInfo info;
    if (!stream->Seek(0) || !decoder_->ReadInfo(stream, &info)) return false;
    SetIntProp(kPropIntWidth, info.width);
    SetIntProp(kPropIntHeight, info.height);
    if (decoder_->IsMultiImage() && stream->Seek(0)) SetIntProp(kPropIntImageCount, decoder_->GetImageCount(stream));
    if ((info.hasPreview || wantPicture) && wantedWidth != 0 && wantedHeight != 0 && stream->Seek(0)) {
      cPictDummy picture;
      const int32_t w = wantedWidth < 0 ? 2147483647 : wantedWidth;
      const int32_t h = wantedHeight < 0 ? 2147483647 : wantedHeight;
      if (LoadPictureFitted(stream, &picture, w, h) == kFitDone && picture.HasPixels()) SetPictureProp(&picture);
    }
  } catch (...) {
    return false;
  }
  return true;
}

// ---- Program files: headers and resource directory --------------------------------------

bool ReadPeResourceSection(cFileIOTarget* stream, sPeResourceSection* section) {
  if (stream == nullptr) return false;
  uint8_t dos[64];
  if (!ReadAt(stream, 0, dos, sizeof dos) || Le16(dos) != 0x5A4D) return false;
  // The PE header cannot start inside the 64-byte DOS header.
  const uint32_t pe = Le32(dos + 60);
  if (pe < 64) return false;
  uint8_t head[24];
  if (!ReadAt(stream, pe, head, sizeof head) || Le32(head) != 0x00004550u) return false;
  const uint8_t* file = head + 4;
  const uint16_t sections = Le16(file + 2), optional = Le16(file + 16);
  if (sections == 0 || optional == 0) return false;
  const uint64_t table = uint64_t{pe} + 24 + optional;
  for (uint32_t i = 0; i < sections; ++i) {
    uint8_t s[40];
    if (!ReadAt(stream, table + uint64_t{i} * 40, s, sizeof s)) return false;
    if (std::memcmp(s, ".rsrc\0\0\0", 8) != 0) continue;
    const uint32_t rawSize = Le32(s + 16), rawPointer = Le32(s + 20);
    if (rawSize == 0 || rawPointer == 0) return false;
    if (section != nullptr) {
      section->virtualAddress = Le32(s + 12);
      section->rawSize = rawSize;
      section->rawPointer = rawPointer;
      section->timeDateStamp = Le32(file + 4);
    }
    return true;
  }
  return false;
}

namespace {

// One directory of the resource tree at place (from the section's start):
// its named and id entry counts, checked to fit the section.
struct sDirectory {
  uint16_t named = 0;
  uint16_t ids = 0;
};

bool ReadDirectory(cFileIOTarget* rsrc, uint64_t size, uint64_t place, sDirectory* dir) {
  uint8_t h[kDirHeader];
  if (place + kDirHeader > size || !ReadAt(rsrc, place, h, sizeof h)) return false;
  dir->named = Le16(h + 12);
  dir->ids = Le16(h + 14);
  return place + kDirHeader + kDirEntry * (uint64_t{dir->named} + dir->ids) <= size;
}

bool ReadEntry(cFileIOTarget* rsrc, uint64_t place, uint32_t index, uint32_t* name, uint32_t* offset) {
  uint8_t e[kDirEntry];
  if (!ReadAt(rsrc, place + kDirHeader + kDirEntry * index, e, sizeof e)) return false;
  *name = Le32(e);
  *offset = Le32(e + 4);
  return true;
}

bool ReadResourceLanguages(cFileIOTarget* rsrc, uint64_t size, uint64_t place, std::vector<sResourceEntry>* list) {
  sDirectory dir;
  if (!ReadDirectory(rsrc, size, place, &dir)) return false;
  // Named entries come first; only the numbered ones (languages) are read.
  for (uint32_t i = dir.named; i < uint32_t{dir.named} + dir.ids; ++i) {
    uint32_t language = 0, offset = 0;
    if (!ReadEntry(rsrc, place, i, &language, &offset)) return false;
    if ((offset & kSubdirectory) != 0 || offset + kDataEntry > size) return false;
    uint8_t d[kDataEntry];
    if (!ReadAt(rsrc, offset, d, sizeof d)) continue;
    list->push_back(sResourceEntry{Le32(d), Le32(d + 4), language});
  }
  return true;
}

bool ReadResourceNames(cFileIOTarget* rsrc, uint64_t size, uint64_t place,
                       std::map<uint32_t, std::vector<sResourceEntry>>* names) {
  sDirectory dir;
  if (!ReadDirectory(rsrc, size, place, &dir)) return false;
  for (uint32_t i = dir.named; i < uint32_t{dir.named} + dir.ids; ++i) {
    uint32_t id = 0, offset = 0;
    if (!ReadEntry(rsrc, place, i, &id, &offset)) return false;
    if ((offset & kSubdirectory) == 0) return false;
    if (!ReadResourceLanguages(rsrc, size, offset & ~kSubdirectory, &(*names)[id])) return false;
  }
  return true;
}

}  // namespace

bool ReadResourceDirectory(cFileIOTarget* stream, const sPeResourceSection& section, tResourceMap* map) {
  if (stream == nullptr || map == nullptr) return false;
  cFileIOSubRange rsrc(stream, section.rawPointer, section.rawSize);
  // The window is cut to the file: a section claiming more than the file
  // holds is walked as far as the file goes.
  const uint64_t size = rsrc.GetSize();
  if (size < kDirHeader) return false;
  uint8_t h[kDirHeader];
  if (!ReadAt(&rsrc, 0, h, sizeof h)) return false;
  // No numbered types: nothing this bag reads.
  if (Le16(h + 14) == 0) return true;
  sDirectory dir;
  if (!ReadDirectory(&rsrc, size, 0, &dir)) return false;
  for (uint32_t i = 0; i < uint32_t{dir.named} + dir.ids; ++i) {
    uint32_t type = 0, offset = 0;
    if (!ReadEntry(&rsrc, 0, i, &type, &offset)) return false;
    if ((offset & kSubdirectory) == 0) return false;
    if (type != kTypeIcon && type != kTypeVersion) continue;
    if (!ReadResourceNames(&rsrc, size, offset & ~kSubdirectory, &(*map)[type])) return false;
  }
  return true;
}

bool OpenResourceData(cFileIOTarget* stream, const sPeResourceSection& section, const sResourceEntry& entry,
                      cFileIOSubRange* window) {
  if (stream == nullptr || window == nullptr || entry.size == 0) return false;
  // The data must lie inside the section's raw data: an address below the
  // section or running past its end names bytes that are not resources.
  if (entry.rva < section.virtualAddress) return false;
  const uint64_t inSection = uint64_t{entry.rva} - section.virtualAddress;
  if (inSection + entry.size > section.rawSize) return false;
  // ... and inside the file (the window clamps to the file's size).
  window->Attach(stream, uint64_t{section.rawPointer} + inSection, entry.size);
  return window->GetSize() == entry.size;
}

// ---- Version strings --------------------------------------------------------------------

namespace {

bool WalkVersionNodes(cFileIOTarget* stream, std::map<std::u16string, std::u16string>* map, int32_t depth) {
  if (depth > kMaxVersionNesting) return false;
  uint64_t n = stream->GetSize();
  uint64_t position = 0;
  std::vector<uint8_t> rest;
  while (n != 0) {
    uint8_t head[6];
    if (!ReadAt(stream, position, head, sizeof head)) return false;
    const uint16_t length = Le16(head), valueLength = Le16(head + 2), type = Le16(head + 4);
    if (length < 4 || length > n) return false;
    // Nodes are 4-byte aligned; the padding after the last node of an area
    // may be missing, and then it is not there to be skipped.
    const uint32_t pad = (length % 4 == 2 && n >= uint64_t{length} + 2) ? 2 : 0;
    if (length > 6) {
      rest.resize(length - 6u);
      if (!stream->ReadExact(rest.data(), static_cast<uint32_t>(rest.size()))) return false;
      // The key: a terminated UTF-16 text at the start of the rest.
      size_t units = 0;
      const size_t restUnits = rest.size() / 2;
      while (units < restUnits && Le16(&rest[units * 2]) != 0) ++units;
      if (units == restUnits) return false;
      const size_t keyEnd = 6 + 2 * (units + 1);
      const size_t contentAt = ((keyEnd + 3) & ~size_t{3}) - 6;
      if (contentAt >= rest.size()) return false;
      std::u16string key;
      for (size_t i = 0; i < units; ++i) key.push_back(static_cast<char16_t>(Le16(&rest[i * 2])));
      const uint8_t* content = rest.data() + contentAt;
      const size_t contentBytes = rest.size() - contentAt;
      if (valueLength == 0) {
        // A block: its children, walked in place (rest belongs to this
        // frame and outlives the inner walk).
        cBufWrapperIO inner(content, static_cast<uint32_t>(contentBytes));
        if (!WalkVersionNodes(&inner, map, depth + 1)) return false;
      } else if (type != 0) {
        std::u16string value;
        for (size_t i = 0; i + 1 < contentBytes; i += 2) value.push_back(static_cast<char16_t>(Le16(content + i)));
        if (!value.empty()) value.pop_back();
        while (value.size() > 1 && (value.back() == u' ' || value.back() == 0)) value.pop_back();
        (*map)[key] = std::move(value);
      }
    }
    n -= uint64_t{length} + pad;
    position += uint64_t{length} + pad;
  }
  return true;
}

}  // namespace

bool ParseVersionStrings(cFileIOTarget* stream, std::map<std::u16string, std::u16string>* map) {
  if (stream == nullptr || map == nullptr) return false;
  try {
    return WalkVersionNodes(stream, map, 0);
  } catch (const std::bad_alloc&) {
    return false;
  }
}

// ---- Program files: the bag -------------------------------------------------------------

namespace {

void TakeVersionStrings(cFileObjectProps& bag, const std::map<std::u16string, std::u16string>& found) {
  auto put = [&](int32_t id, const char16_t* key) {
    auto it = found.find(key);
    if (it == found.end()) return false;
    if (_guardchar<char16_t>* slot = bag.strings.FindOrInsert(id)) slot->Assign(it->second.c_str());
    return true;
  };
  if (found.count(u"ProductName") != 0) {
    put(kPropStringName, u"ProductName");
    put(kPropStringDescription, u"FileDescription");
  } else {
    put(kPropStringName, u"FileDescription");
  }
  put(kPropStringCompany, u"CompanyName");
  put(kPropStringCopyright, u"LegalCopyright");
  if (!put(kPropStringVersion, u"ProductVersion")) put(kPropStringVersion, u"FileVersion");
}

void ReadVersion(cFileObjectProps& bag, cFileIOTarget* stream, const sPeResourceSection& section,
                 const tResourceMap& map) {
  auto type = map.find(kTypeVersion);
  if (type == map.end()) return;
  auto resource = type->second.find(1);
  if (resource == type->second.end()) return;
  for (const sResourceEntry& entry : resource->second) {
    cFileIOSubRange data;
    if (!OpenResourceData(stream, section, entry, &data)) continue;
    uint8_t head[kVersionHead];
    if (!ReadAt(&data, 0, head, sizeof head) || Le32(head + kFixedInfoAt) != kFixedInfoSignature) continue;
    const uint32_t length = Le16(head), valueLength = Le16(head + 2);
    // The children follow the fixed information and end with the node: an
    // area that would start after its end, or end past the resource, is
    // not a version resource.
    if (kFixedInfoAt + valueLength > length || length > entry.size) continue;
    cFileIOSubRange children(&data, kFixedInfoAt + valueLength, length - valueLength - kFixedInfoAt);
    std::map<std::u16string, std::u16string> found;
    if (!ParseVersionStrings(&children, &found)) continue;
    TakeVersionStrings(bag, found);
    return;
  }
}

// One icon image that might be taken.
struct sIconCandidate {
  sResourceEntry entry;
  int32_t width = 0;
  int32_t height = 0;
  bool png = false;
  int64_t Area() const { return int64_t{width} * height; }
};

bool ProbeIcon(cFileIOSubRange& data, sIconCandidate* icon) {
  sPictInfo info;
  if (data.Seek(0) && cPictPNG::Detect(&data, &info)) {
    icon->png = true;
  } else {
    cPictDIB dib;
    info = sPictInfo{};
    if (!data.Seek(0) || !dib.ReadDIBHeader(&data, &info, true)) return false;
    icon->png = false;
  }
  icon->width = info.width;
  icon->height = info.height;
  // A picture without width or height has nothing to show, and its sides
  // would divide the wanted size below.
  return info.width > 0 && info.height > 0;
}

void ReadIcon(cFileObjectProps& bag, cFileIOTarget* stream, const sPeResourceSection& section,
              const tResourceMap& map) {
  auto type = map.find(kTypeIcon);
  if (type == map.end()) return;
  const int32_t ww = bag.wantedWidth, wh = bag.wantedHeight;
  bool haveLargest = false, haveFit = false;
  sIconCandidate largest, fit;
  for (const auto& [id, entries] : type->second) {
    if (entries.empty()) continue;
    cFileIOSubRange data;
    sIconCandidate icon;
    icon.entry = entries.front();
    if (!OpenResourceData(stream, section, icon.entry, &data) || !ProbeIcon(data, &icon)) continue;
    if (!haveLargest || icon.Area() > largest.Area()) largest = icon, haveLargest = true;
    const bool fits = (ww < 0 || icon.width / 2 < ww) && (wh < 0 || icon.height / 2 < wh);
    if (fits && (!haveFit || icon.Area() > fit.Area())) fit = icon, haveFit = true;
  }
  if (!haveLargest) return;
  const sIconCandidate& chosen = haveFit ? fit : largest;
  // Only ever shrunk, aspect kept.
  int32_t tw = chosen.width, th = chosen.height;
  if (ww > 0 || wh > 0) {
    double scale = 1.0;
    if (ww > 0 && static_cast<double>(ww) / chosen.width < scale) scale = static_cast<double>(ww) / chosen.width;
    if (wh > 0 && static_cast<double>(wh) / chosen.height < scale) scale = static_cast<double>(wh) / chosen.height;
    tw = static_cast<int32_t>(chosen.width * scale + 0.5);
    th = static_cast<int32_t>(chosen.height * scale + 0.5);
    if (tw < 1) tw = 1;
    if (th < 1) th = 1;
  }
  cFileIOSubRange data;
  if (!OpenResourceData(stream, section, chosen.entry, &data) || !data.Seek(0)) return;
  std::unique_ptr<cPictBase> decoder;
  if (chosen.png) {
    auto png = std::make_unique<cPictPNG>();
    png->SetHeaderOnly(false);
    decoder = std::move(png);
  } else {
    auto dib = std::make_unique<cPictDIB>();
    dib->SetIconImage(true);
    dib->SetPaletteAfterHeader(true);
    decoder = std::move(dib);
  }
  cPictDummy blank;
  if (!blank.CreateBlank(tw, th)) return;
  if (tw == chosen.width && th == chosen.height) {
    if (!decoder->Load(&data) || !decoder->HasPixels()) return;
    if (decoder->GetWidth() != tw || decoder->GetHeight() != th) return;
    blank.TakePixels(decoder.get());
  } else {
    sPictCanvas canvas;
    sPictCanvas::FromPicture(canvas, &blank);
    canvas.background = 0xFFFFFFFFu;
    if (!decoder->AttachCanvas(&canvas)) return;
    const bool ok = decoder->Load(&data);
    decoder->DetachCanvas();
    if (!ok) return;
  }
  bag.SetPictureProp(&blank);
}

}  // namespace

bool cWinExeProps::Load(cFileIOTarget* stream, void*, bool) {
  if (stream == nullptr) return false;
  try {
    sPeResourceSection section;
    tResourceMap map;
    if (!ReadPeResourceSection(stream, &section) || !ReadResourceDirectory(stream, section, &map)) return false;
    ReadVersion(*this, stream, section, map);
    if (section.timeDateStamp != 0) {
      sDateTime linked;
      UnixTimeToDateTime(linked, section.timeDateStamp & 0x7FFFFFFFu);
      SetTimestampProp(kPropTimeLinked, linked);
    }
    if (wantedWidth != 0 && wantedHeight != 0) ReadIcon(*this, stream, section, map);
  } catch (...) {
    return false;
  }
  return true;
}

std::unique_ptr<cFileObjectProps> CreateFileObjectProps(cFileIOTarget* stream) {
  if (stream == nullptr) return nullptr;
  try {
    sPictInfo info;
    if (cPictBase* decoder = CreatePicture(stream, &info))
      return std::make_unique<cSimpleImageProps>(std::unique_ptr<cPictBase>(decoder));
    if (stream->Seek(0) && IsPeWithResources(stream)) return std::make_unique<cWinExeProps>();
  } catch (...) {
  }
  return nullptr;
}
