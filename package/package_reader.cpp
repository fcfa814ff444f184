// The package reader; the format is in package_format.h.
#include <zlib.h>

#include <cstring>
#include <new>

#include "base/memio.h"
#include "base/strings.h"
#include "package/package_format.h"
#include "package/package_internal.h"

using tw::pkg::cPkgInput;

namespace tw::pkg {
bool ReadPayloadRecords(cPayloadList& list, cPkgInput& in);
}

namespace {

constexpr uint8_t kRecordEnd = 0x00;
constexpr uint8_t kRecordNext = 0x01;
constexpr uint8_t kListEnd = 0xFF;
constexpr uint32_t kFirstInflateRoom = 1u << 20;

bool ReadString(cPkgInput& in, _guardchar<char16_t>& out) {
  uint16_t n = 0;
  if (!in.U16(n)) return false;
  if (n == 0) {
    out.Clear();
    return true;
  }
  if (!in.Fits(n)) return false;
  _typebuf<char> bytes(n);
  if (!in.Bytes(bytes.data, n)) return false;
  Utf8ToWide(bytes.data, n, out);
  return true;
}

bool ReadTable(cPkgInput& in, tPkgStringTable& table) {
  _typebuf<char> key(65536);
  for (;;) {
    uint8_t marker = 0;
    if (!in.U8(marker)) return false;
    if (marker == kRecordEnd) return true;
    if (marker != kRecordNext) return false;
    uint16_t k = 0;
    if (!in.U16(k) || k == 0) return false;
    if (!in.Bytes(key.data, k)) return false;
    key.data[k] = 0;
    const int32_t textLength = static_cast<int32_t>(std::strlen(key.data));
    // Only padding: an empty key, which no lookup could reach.
    if (textLength == 0) return false;
    cPackedKey packed;
    packed.FromText(key.data, textLength);
    if (table.Find(packed) != nullptr) return false;
    _guardchar<char16_t>* value = table.FindOrInsert(std::move(packed));
    if (value == nullptr || !ReadString(in, *value)) return false;
  }
}

// Reads the marker before a record: true with more = true for 0x01, true with
// more = false for 0x00, false for anything else.
bool NextRecord(cPkgInput& in, bool& more) {
  uint8_t marker = 0;
  if (!in.U8(marker)) return false;
  if (marker == kRecordEnd) {
    more = false;
    return true;
  }
  more = true;
  return marker == kRecordNext;
}

bool ReadDocument(cPkgInput& in, sPkgDocument& document) {
  uint32_t length = 0;
  if (!in.U32(length) || length == 0) return false;
  if (length > kMaxPackageBytes || !in.Fits(length)) return false;
  document.bytes.Reallocate(static_cast<int32_t>(length));
  if (!in.Bytes(document.bytes.data, length)) return false;
  // A document that does not load fails the package, as the installer could
  // not show it.
  return LoadCompiledDocument(document.bytes.data, length, &document.loader);
}

// Inflates the zlib stream into exactly unpacked bytes. The output grows as
// bytes arrive rather than being allocated whole from the header's claim.
bool InflatePackage(const _typebuf<char>& packed, uint32_t unpacked, _typebuf<char>& out) {
  z_stream z{};
  if (inflateInit2(&z, 15) != Z_OK) return false;
  struct sEnd {
    z_stream* z;
    ~sEnd() { inflateEnd(z); }
  } end{&z};
  uint32_t room = unpacked < kFirstInflateRoom ? unpacked : kFirstInflateRoom;
  out.Reallocate(static_cast<int32_t>(room));
  z.next_in = reinterpret_cast<Bytef*>(packed.data);
  z.avail_in = static_cast<uInt>(packed.count);
  uint32_t filled = 0;
  for (;;) {
    z.next_out = reinterpret_cast<Bytef*>(out.data + filled);
    z.avail_out = room - filled;
    const int rc = inflate(&z, Z_FINISH);
    filled = room - z.avail_out;
    if (rc == Z_STREAM_END) return filled == unpacked;
    if (rc != Z_BUF_ERROR && rc != Z_OK) return false;
    if (z.avail_out != 0) return false;  // input ran out before the end
    if (room == unpacked) return false;  // more output than the header says
    room = unpacked - room < room ? unpacked : room * 2;
    out.Resize(static_cast<int32_t>(room));
  }
}

bool ReadMenuList(cSOPKGDescription& d, cPkgInput& in) {
  bool more = false;
  while (NextRecord(in, more)) {
    if (!more) return true;
    sMenuItem* m = d.AddMenuEntry();
    if (m == nullptr || !ReadString(in, m->nameKey) || !ReadString(in, m->targetFolderKey) ||
        !ReadString(in, m->targetPath) || !ReadString(in, m->argumentsKey) || !ReadString(in, m->iconFolderKey) ||
        !ReadString(in, m->iconPath) || !ReadString(in, m->descriptionKey) || !in.U8(m->flags))
      return false;
  }
  return false;
}

bool ReadInstallList(cSOPKGDescription& d, cPkgInput& in) {
  bool more = false;
  while (NextRecord(in, more)) {
    if (!more) return true;
    sInstallEntry* e = d.AddInstallEntry();
    uint32_t attributes = 0;
    if (e == nullptr || !in.U32(e->payloadIndex) || !in.U32(attributes)) return false;
    e->accessEveryone = static_cast<uint8_t>(attributes);
    e->accessAdmins = static_cast<uint8_t>(attributes >> 8);
    e->accessUser = static_cast<uint8_t>(attributes >> 16);
    if (e->accessEveryone > 8 || e->accessAdmins > 8 || e->accessUser > 8) return false;
    e->flag32 = (attributes & kAttrFlag32) != 0 ? 1 : 0;
    e->flag64 = (attributes & kAttrFlag64) != 0 ? 1 : 0;
    if (!ReadString(in, e->folderKey) || !ReadString(in, e->relativePath)) return false;
    for (;;) {
      uint8_t language = 0;
      if (!in.U8(language)) return false;
      if (language == kListEnd) break;
      if (language > kMaxPackageLanguage) return false;
      e->languages.Append(language);
    }
  }
  return false;
}

bool ReadRunList(cSOPKGDescription& d, cPkgInput& in) {
  bool more = false;
  while (NextRecord(in, more)) {
    if (!more) return true;
    sRunItem* r = d.AddRunEntry();
    if (r == nullptr || !in.U8(r->flag) || !ReadString(in, r->captionKey) || !ReadString(in, r->folderKey) ||
        !ReadString(in, r->relativePath) || !ReadString(in, r->argumentsKey))
      return false;
  }
  return false;
}

bool ReadSettings(cSOPKGDescription& d, cPkgInput& in) {
  bool more = false;
  while (NextRecord(in, more)) {
    if (!more) return true;
    sSettingItem* s = d.AddSetting();
    uint16_t nameLength = 0, valueLength = 0;
    if (s == nullptr || !in.U16(nameLength) || nameLength == 0) return false;
    if (!in.Fits(nameLength)) return false;
    _typebuf<char> name(nameLength);
    if (!in.Bytes(name.data, nameLength)) return false;
    s->name.AssignN(name.data, nameLength);
    // The name ends at its first zero byte: one that starts there is empty.
    if (s->name.IsEmpty()) return false;
    // A value may be empty (a text setting with an empty text).
    if (!in.U16(valueLength) || !in.Fits(valueLength)) return false;
    s->value.Reallocate(valueLength);
    if (!in.Bytes(s->value.data, valueLength)) return false;
  }
  return false;
}

bool ReadDeprecated(cSOPKGDescription& d, cPkgInput& in) {
  bool more = false;
  while (NextRecord(in, more)) {
    if (!more) return true;
    sDeprecateItem* p = d.AddDeprecate();
    if (p == nullptr || !ReadString(in, p->codename) || !in.U16(p->version)) return false;
  }
  return false;
}

bool ReadLanguageTables(cSOPKGDescription& d, cPkgInput& in) {
  for (;;) {
    uint8_t language = 0;
    if (!in.U8(language)) return false;
    if (language == kListEnd) return true;
    if (language > kMaxPackageLanguage || d.languageTables.Find(language) != nullptr) return false;
    tPkgStringTable* table = d.LanguageTable(language);
    if (table == nullptr || !ReadTable(in, *table)) return false;
  }
}

// The checks at the end of the package (package_format.h).
bool CheckEnd(const cSOPKGDescription& d, bool hasIcon) {
  int32_t missing = 0;
  const auto ok = [&](const _guardchar<char16_t>& key) { return d.CheckStringKey(key.text, missing); };
  // A package without an icon section has no icon key to check: scenarios
  // without an icon build such packages, and they must read.
  if (hasIcon && !ok(d.iconFolderKey)) return false;
  for (auto* n = d.menuList.head; n != nullptr; n = n->next)
    if (!ok(n->value.nameKey) || !ok(n->value.targetFolderKey) || !ok(n->value.iconFolderKey)) return false;
  for (auto* n = d.installList.head; n != nullptr; n = n->next) {
    if (!ok(n->value.folderKey)) return false;
    // An entry naming no payload could never be installed.
    if (n->value.payloadIndex >= d.payloads.count) return false;
  }
  for (auto* n = d.runList.head; n != nullptr; n = n->next)
    if (!ok(n->value.captionKey) || !ok(n->value.folderKey)) return false;
  // Files only inside the program folder: a package may come from anywhere.
  return d.CheckInstallPaths();
}

bool ReadSections(cSOPKGDescription& d, cPkgInput& in) {
  bool hasIcon = false;
  for (;;) {
    uint8_t tag = 0;
    if (!in.U8(tag)) return false;
    switch (tag) {
      case kTagEnd:
        return CheckEnd(d, hasIcon);
      case kTagSoftware:
        for (uint32_t& part : d.version)
          if (!in.U32(part)) return false;
        if (!ReadString(in, d.support_URL) || !ReadString(in, d.publish_URL) || !ReadString(in, d.updates_URL) ||
            !ReadString(in, d.manual_URL))
          return false;
        break;
      case kTagIcon:
        if (!ReadString(in, d.iconFolderKey) || !ReadString(in, d.iconPath)) return false;
        hasIcon = true;
        break;
      case kTagMenu:
        if (!ReadMenuList(d, in)) return false;
        break;
      case kTagInstall:
        if (!ReadInstallList(d, in)) return false;
        break;
      case kTagRun:
        if (!ReadRunList(d, in)) return false;
        break;
      case kTagCommonTable:
        if (!ReadTable(in, d.commonTable)) return false;
        break;
      case kTagLanguageTables:
        if (!ReadLanguageTables(d, in)) return false;
        break;
      case kTagSettings:
        if (!ReadSettings(d, in)) return false;
        break;
      case kTagWelcome:
        if (!ReadDocument(in, d.welcome)) return false;
        break;
      case kTagReadme:
        if (!in.U8(d.readmeConfirm) || !ReadDocument(in, d.readme)) return false;
        break;
      case kTagEula:
        if (!ReadDocument(in, d.eula)) return false;
        break;
      case kTagDeprecated:
        if (!ReadDeprecated(d, in)) return false;
        break;
      case kTagPayloads:
        if (!tw::pkg::ReadPayloadRecords(d.payloads, in)) return false;
        break;
      default:
        return false;
    }
  }
}

}  // namespace

bool ReadPkgString(cFileIOTarget* stream, _guardchar<char16_t>& out) {
  if (stream == nullptr) return false;
  cPkgInput in(stream);
  return ReadString(in, out);
}

bool ReadStringTable(cFileIOTarget* stream, tPkgStringTable& table) {
  if (stream == nullptr) return false;
  cPkgInput in(stream);
  try {
    return ReadTable(in, table);
  } catch (const std::bad_alloc&) {
    return false;
  }
}

bool cSOPKGDescription::Read(cFileIOTarget* source) {
  Clear();
  if (source == nullptr) return false;
  try {
    uint8_t header[kPackageHeaderSize];
    if (!source->ReadExact(header, kPackageHeaderSize)) return false;
    if (std::memcmp(header, kPackageMagic, sizeof kPackageMagic) != 0 || header[8] > kPackageFormat) return false;
    const uint32_t unpacked = tw::pkg::GetU32(header + 9);
    const uint32_t packed = tw::pkg::GetU32(header + 13);
    if (unpacked == 0 || packed == 0 || unpacked > kMaxPackageBytes || packed > kMaxPackageBytes) return false;
    // Both claims are tested before anything is allocated for them: the
    // packed bytes must be in the source, and the unpacked size must be one
    // that many packed bytes can give.
    if (packed > source->GetSize() || uint64_t{unpacked} > uint64_t{packed} * kMaxInflateRatio) return false;
    _typebuf<char> sections;
    {
      _typebuf<char> packedBytes(static_cast<int32_t>(packed));
      if (!source->ReadExact(packedBytes.data, packed)) return false;
      if (!InflatePackage(packedBytes, unpacked, sections)) return false;
    }
    uint8_t digest[kSha256Size];
    Sha256(digest, sections.data, unpacked);
    if (std::memcmp(digest, header + 17, kSha256Size) != 0) return false;
    cBufWrapperIO stream(sections.data, unpacked);
    cPkgInput in(&stream);
    return ReadSections(*this, in);
  } catch (const std::bad_alloc&) {
    return false;
  }
}
