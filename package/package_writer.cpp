// The package writer; the format is in package_format.h. The section stream
// is built in memory first, because the header carries its size and digest,
// then compressed as a whole.
#include <zlib.h>

#include <cstring>
#include <new>

#include "base/decompress.h"
#include "base/memio.h"
#include "base/strings.h"
#include "base/utf8.h"
#include "package/package_format.h"
#include "package/package_internal.h"

using tw::pkg::WriteU16;
using tw::pkg::WriteU32;
using tw::pkg::WriteU8;

namespace {

constexpr uint32_t kMaxField = 65535;

bool WriteString(cFileIOTarget* s, const _guardchar<char16_t>& text) { return WritePkgString(text.text, s); }

bool WriteDocument(cFileIOTarget* s, uint8_t tag, const sPkgDocument& document, const uint8_t* flag) {
  if (document.bytes.count == 0) return true;
  if (document.bytes.data == nullptr || document.bytes.count < 0) return false;
  if (!WriteU8(s, tag) || (flag != nullptr && !WriteU8(s, *flag))) return false;
  return WriteU32(s, static_cast<uint32_t>(document.bytes.count)) &&
         s->WriteExact(document.bytes.data, static_cast<uint32_t>(document.bytes.count));
}

bool WriteSections(const cSOPKGDescription& d, cFileIOTarget* s) {
  if (!WriteU8(s, kTagSoftware)) return false;
  for (uint32_t part : d.version)
    if (!WriteU32(s, part)) return false;
  if (!WriteString(s, d.support_URL) || !WriteString(s, d.publish_URL) || !WriteString(s, d.updates_URL) ||
      !WriteString(s, d.manual_URL))
    return false;

  if (!d.commonTable.IsEmpty() && (!WriteU8(s, kTagCommonTable) || !WriteStringTable(s, d.commonTable))) return false;

  if (!d.languageTables.IsEmpty()) {
    if (!WriteU8(s, kTagLanguageTables)) return false;
    for (auto* n = d.languageTables.First(); n != nullptr; n = tPkgLanguageTables::Next(n))
      if (!WriteU8(s, static_cast<uint8_t>(n->key)) || !WriteStringTable(s, *n->value)) return false;
    if (!WriteU8(s, 0xFF)) return false;
  }

  if (!d.iconFolderKey.IsEmpty() &&
      (!WriteU8(s, kTagIcon) || !WriteString(s, d.iconFolderKey) || !WriteString(s, d.iconPath)))
    return false;

  if (d.menuList.head != nullptr) {
    if (!WriteU8(s, kTagMenu)) return false;
    for (auto* n = d.menuList.head; n != nullptr; n = n->next) {
      const sMenuItem& m = n->value;
      if (!WriteU8(s, 1) || !WriteString(s, m.nameKey) || !WriteString(s, m.targetFolderKey) ||
          !WriteString(s, m.targetPath) || !WriteString(s, m.argumentsKey) || !WriteString(s, m.iconFolderKey) ||
          !WriteString(s, m.iconPath) || !WriteString(s, m.descriptionKey) || !WriteU8(s, m.flags))
        return false;
    }
    if (!WriteU8(s, 0)) return false;
  }

  if (d.installList.head != nullptr) {
    if (!WriteU8(s, kTagInstall)) return false;
    for (auto* n = d.installList.head; n != nullptr; n = n->next) {
      const sInstallEntry& e = n->value;
      const uint32_t attributes = uint32_t{e.accessEveryone} | (uint32_t{e.accessAdmins} << 8) |
                                  (uint32_t{e.accessUser} << 16) | (e.flag32 != 0 ? kAttrFlag32 : 0) |
                                  (e.flag64 != 0 ? kAttrFlag64 : 0);
      if (!WriteU8(s, 1) || !WriteU32(s, e.payloadIndex) || !WriteU32(s, attributes) ||
          !WriteString(s, e.folderKey) || !WriteString(s, e.relativePath))
        return false;
      for (auto* l = e.languages.head; l != nullptr; l = l->next)
        if (!WriteU8(s, static_cast<uint8_t>(l->value))) return false;
      if (!WriteU8(s, 0xFF)) return false;
    }
    if (!WriteU8(s, 0)) return false;
  }

  if (d.runList.head != nullptr) {
    if (!WriteU8(s, kTagRun)) return false;
    for (auto* n = d.runList.head; n != nullptr; n = n->next) {
      const sRunItem& r = n->value;
      if (!WriteU8(s, 1) || !WriteU8(s, r.flag) || !WriteString(s, r.captionKey) || !WriteString(s, r.folderKey) ||
          !WriteString(s, r.relativePath) || !WriteString(s, r.argumentsKey))
        return false;
    }
    if (!WriteU8(s, 0)) return false;
  }

  if (d.settings.head != nullptr) {
    if (!WriteU8(s, kTagSettings)) return false;
    for (auto* n = d.settings.head; n != nullptr; n = n->next) {
      const sSettingItem& item = n->value;
      const size_t nameLength = item.name.IsEmpty() ? 0 : std::strlen(item.name.text);
      if (nameLength == 0 || nameLength > kMaxField || item.value.count < 0 ||
          static_cast<uint32_t>(item.value.count) > kMaxField)
        return false;
      if (!WriteU8(s, 1) || !WriteU16(s, static_cast<uint16_t>(nameLength)) ||
          !s->WriteExact(item.name.text, static_cast<uint32_t>(nameLength)) ||
          !WriteU16(s, static_cast<uint16_t>(item.value.count)) ||
          !s->WriteExact(item.value.data, static_cast<uint32_t>(item.value.count)))
        return false;
    }
    if (!WriteU8(s, 0)) return false;
  }

  if (d.deprecatedList.head != nullptr) {
    if (!WriteU8(s, kTagDeprecated)) return false;
    for (auto* n = d.deprecatedList.head; n != nullptr; n = n->next) {
      if (n->value.codename.IsEmpty()) return false;
      if (!WriteU8(s, 1) || !WriteString(s, n->value.codename) || !WriteU16(s, n->value.version)) return false;
    }
    if (!WriteU8(s, 0)) return false;
  }

  if (!WriteDocument(s, kTagWelcome, d.welcome, nullptr) || !WriteDocument(s, kTagReadme, d.readme, &d.readmeConfirm) ||
      !WriteDocument(s, kTagEula, d.eula, nullptr))
    return false;

  if (d.payloads.count != 0 && (!WriteU8(s, kTagPayloads) || !WritePayloadList(d.payloads, s))) return false;
  return WriteU8(s, kTagEnd);
}

}  // namespace

bool WritePkgString(const char16_t* text, cFileIOTarget* stream) {
  if (stream == nullptr) return false;
  if (text == nullptr || text[0] == 0) return WriteU16(stream, 0);
  _typebuf<char> bytes;
  WideToUtf8Buffer(bytes, -1, text);
  if (bytes.count <= 0 || static_cast<uint32_t>(bytes.count) > kMaxField) return false;
  return WriteU16(stream, static_cast<uint16_t>(bytes.count)) &&
         stream->WriteExact(bytes.data, static_cast<uint32_t>(bytes.count));
}

bool WriteStringTable(cFileIOTarget* stream, const tPkgStringTable& table) {
  if (stream == nullptr) return false;
  for (auto* n = table.First(); n != nullptr; n = tPkgStringTable::Next(n)) {
    // The key's words as bytes: the text and its zero padding.
    _typebuf<char> key;
    n->key.ToBytes(key);
    if (key.count <= 0 || static_cast<uint32_t>(key.count) > kMaxField) return false;
    if (!WriteU8(stream, 1) || !WriteU16(stream, static_cast<uint16_t>(key.count)) ||
        !stream->WriteExact(key.data, static_cast<uint32_t>(key.count)) || !WritePkgString(n->value.text, stream))
      return false;
  }
  return WriteU8(stream, 0);
}

bool cSOPKGDescription::Write(cFileIOTarget* target) const {
  // A package that the reader would refuse is not written at all.
  if (target == nullptr || !CheckInstallPaths()) return false;
  if (!target->WriteExact(kPackageMagic, sizeof kPackageMagic)) return false;
  try {
    _typebuf<char> sections;
    {
      cMemIOTarget memory;
      if (!WriteSections(*this, &memory)) return false;
      if (!memory.CopyToBuffer(sections) || sections.count <= 0) return false;
    }
    const uint32_t unpacked = static_cast<uint32_t>(sections.count);
    uint8_t header[kPackageHeaderSize - sizeof kPackageMagic];
    header[0] = kPackageFormat;
    tw::pkg::PutU32(header + 1, unpacked);
    Sha256(header + 9, sections.data, unpacked);
    // One and a half times the input always holds the zlib stream (deflate
    // expands by a few bytes per 16 KiB at worst, the header and trailer
    // take 6), so one call with Z_FINISH completes it.
    const uint64_t room = uint64_t{unpacked} * 3 / 2;
    if (room == 0 || room > kMaxPackageBytes) return false;
    _typebuf<char> packed(static_cast<int32_t>(room));
    z_stream z{};
    if (!ZDeflateStart(&z, 9)) return false;
    z.next_in = reinterpret_cast<Bytef*>(sections.data);
    z.avail_in = unpacked;
    z.next_out = reinterpret_cast<Bytef*>(packed.data);
    z.avail_out = static_cast<uInt>(room);
    const bool ended = deflate(&z, Z_FINISH) == Z_STREAM_END;
    const uint32_t packedSize = static_cast<uint32_t>(z.total_out);
    ZDeflateStop(&z);
    if (!ended) return false;
    tw::pkg::PutU32(header + 5, packedSize);
    return target->WriteExact(header, sizeof header) && target->WriteExact(packed.data, packedSize);
  } catch (const std::bad_alloc&) {
    return false;
  }
}
