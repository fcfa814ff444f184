#include "package/pe_image.h"

#include <cstdio>
#include <cstring>
#include <utility>

#include "package/cmd_block.h"

namespace {

uint16_t U16At(const uint8_t* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }
uint32_t U32At(const uint8_t* p) {
  return p[0] | p[1] << 8 | p[2] << 16 | static_cast<uint32_t>(p[3]) << 24;
}

// A directory's numeric entries: where they start and how many; false when
// the header or the entries (named ones included) leave the section.
bool DirectoryEntries(const uint8_t* data, uint32_t size, uint32_t offset, uint32_t& first, uint32_t& count) {
  if (static_cast<uint64_t>(offset) + 16 > size) return false;
  const uint32_t named = U16At(data + offset + 12);
  count = U16At(data + offset + 14);
  if (static_cast<uint64_t>(offset) + 16 + 8ull * (named + count) > size) return false;
  first = offset + 16 + 8 * named;
  return true;
}

constexpr uint32_t kSubdirectory = 0x80000000u;

class cBlockWriter {
public:
  explicit cBlockWriter(std::vector<uint8_t>& out) : out(out) {}
  void U16(uint32_t v) {
    out.push_back(static_cast<uint8_t>(v));
    out.push_back(static_cast<uint8_t>(v >> 8));
  }
  void U32(uint32_t v) {
    U16(v & 0xFFFF);
    U16(v >> 16);
  }
  // The text with its terminator.
  void Text(const char16_t* s) {
    for (; *s; ++s) U16(*s);
    U16(0);
  }
  void Text(const char* s) {
    for (; *s; ++s) U16(static_cast<uint8_t>(*s));
    U16(0);
  }
  void Zeros(size_t n) { out.insert(out.end(), n, 0); }

private:
  std::vector<uint8_t>& out;
};

size_t Length(const char16_t* s) {
  size_t n = 0;
  while (s[n]) ++n;
  return n;
}

// One string entry: length, n, 1, the key padded to keyBytes, the value,
// two zero bytes when n is odd.
void PutString(std::vector<uint8_t>& out, const char* key, uint32_t keyBytes, const char16_t* value) {
  if (value == nullptr || *value == 0) return;
  cBlockWriter w(out);
  const size_t n = Length(value) + 1;
  const size_t start = out.size();
  w.U16(static_cast<uint32_t>(2 * n + 6 + keyBytes));
  w.U16(static_cast<uint32_t>(n));
  w.U16(1);
  w.Text(key);
  out.resize(start + 6 + keyBytes, 0);
  w.Text(value);
  if (n % 2) w.Zeros(2);
}

void VersionText(char16_t* out, uint32_t a, uint32_t b, uint32_t c, uint32_t d) {
  char narrow[48];
  std::snprintf(narrow, sizeof narrow, "%u.%u.%u.%u", a, b, c, d);
  size_t i = 0;
  for (; narrow[i]; ++i) out[i] = static_cast<char16_t>(narrow[i]);
  out[i] = 0;
}

}  // namespace

bool WalkResourceDirectory(const uint8_t* data, uint32_t size, tResourceTypes& types) {
  if (data == nullptr) return false;
  uint32_t first = 0, count = 0;
  if (!DirectoryEntries(data, size, 0, first, count)) return false;
  for (uint32_t t = 0; t < count; ++t) {
    const uint8_t* e = data + first + 8 * t;
    const uint32_t typeId = U32At(e), typeTo = U32At(e + 4);
    if (!(typeTo & kSubdirectory)) return false;
    tResourceNames& names = types[typeId];
    uint32_t nFirst = 0, nCount = 0;
    if (!DirectoryEntries(data, size, typeTo & ~kSubdirectory, nFirst, nCount)) return false;
    for (uint32_t n = 0; n < nCount; ++n) {
      const uint8_t* ne = data + nFirst + 8 * n;
      const uint32_t nameId = U32At(ne), nameTo = U32At(ne + 4);
      if (!(nameTo & kSubdirectory)) return false;
      std::vector<sResourceData>& langs = names[nameId];
      uint32_t lFirst = 0, lCount = 0;
      if (!DirectoryEntries(data, size, nameTo & ~kSubdirectory, lFirst, lCount)) return false;
      for (uint32_t l = 0; l < lCount; ++l) {
        const uint8_t* le = data + lFirst + 8 * l;
        const uint32_t to = U32At(le + 4);
        if ((to & kSubdirectory) || static_cast<uint64_t>(to) + 16 > size) return false;
        langs.push_back({U32At(data + to), U32At(data + to + 4), U32At(le)});
      }
    }
  }
  return true;
}

int32_t ReadPeLayout(const uint8_t* image, uint32_t size, sPeLayout& layout, const char*& errorLine) {
  errorLine = nullptr;
  if (image == nullptr || size < 64) return errorLine = "(e) Unable to read header(1)!\n", 2;
  const uint32_t pe = U32At(image + 60);
  if (image[0] != 'M' || image[1] != 'Z' || pe < 64) return errorLine = "(e) Bad header(1)!\n", 2;
  if (static_cast<uint64_t>(pe) + 4 > size) return errorLine = "(e) Unable to read header(2)m!\n", 2;
  if (std::memcmp(image + pe, "PE\0\0", 4) != 0) return errorLine = "(e) Bad header(2)!\n", 2;
  if (static_cast<uint64_t>(pe) + 24 > size) return errorLine = "(e) Unable to read header(2)!\n", 2;
  const uint32_t sections = U16At(image + pe + 6);
  const uint32_t optSize = U16At(image + pe + 20);
  if (optSize == 0) return errorLine = "(e) No opt header!\n", 2;
  if (sections == 0) return errorLine = "(e) No sections defined!\n", 2;
  layout.optHeaderOffset = pe + 24;
  layout.optHeaderSize = optSize;
  const uint64_t tableAt = static_cast<uint64_t>(pe) + 24 + optSize;
  // The optional header is patched and saved whole, so it must lie in the
  // file; so must the section table.
  if (tableAt + 40ull * sections > size || optSize < 2) return errorLine = "(e) Unable to read sections!\n", 2;
  layout.magic = U16At(image + layout.optHeaderOffset);
  const uint8_t* rsrc = nullptr;
  uint32_t rsrcVa = 0;
  for (uint32_t s = 0; s < sections; ++s) {
    const uint8_t* h = image + tableAt + 40 * s;
    if (std::memcmp(h, ".rsrc\0\0\0", 8) != 0) continue;
    rsrc = h;
    break;
  }
  if (rsrc == nullptr) return errorLine = "(e) No resource section!\n", 2;
  rsrcVa = U32At(rsrc + 12);
  layout.rsrcSize = U32At(rsrc + 16);
  layout.rsrcRaw = U32At(rsrc + 20);
  if (layout.rsrcRaw == 0 || layout.rsrcSize == 0) return errorLine = "(e) No resource section!\n", 2;
  if (static_cast<uint64_t>(layout.rsrcRaw) + layout.rsrcSize > size) {
    return errorLine = "(e) Unable to read resources!\n", 2;
  }
  tResourceTypes types;
  if (!WalkResourceDirectory(image + layout.rsrcRaw, layout.rsrcSize, types)) {
    return errorLine = "(e) Unable to parse resources!\n", 2;
  }
  auto type = types.find(16);
  if (type == types.end()) return errorLine = "(e) No resource version section!\n", 2;
  auto name = type->second.find(1);
  if (name == type->second.end()) return errorLine = "(e) No version ID section!\n", 2;
  if (name->second.empty()) return errorLine = "(e) No version lang section!\n", 2;
  const sResourceData& d = name->second.front();
  // The resource must lie inside the resource section's raw data, and must
  // not reach the headers it is saved beside.
  if (d.rva < rsrcVa || d.rva - rsrcVa > layout.rsrcSize || d.size > layout.rsrcSize - (d.rva - rsrcVa)) {
    return errorLine = "(e) Unable to parse resources!\n", 2;
  }
  layout.versionRva = d.rva;
  layout.versionSize = d.size;
  layout.versionLanguage = d.language;
  layout.versionOffset = layout.rsrcRaw + (d.rva - rsrcVa);
  if (layout.versionOffset < tableAt) return errorLine = "(e) Unable to parse resources!\n", 2;
  return 0;
}

bool ClearChecksumAndCertificate(uint8_t* image, uint32_t size, const sPeLayout& layout) {
  uint32_t cert = 0;
  if (layout.magic == 0x10B) {
    cert = 128;
  } else if (layout.magic == 0x20B) {
    cert = 144;
  } else {
    return false;
  }
  if (layout.optHeaderSize < cert + 8 || static_cast<uint64_t>(layout.optHeaderOffset) + cert + 8 > size) {
    return false;
  }
  uint8_t* h = image + layout.optHeaderOffset;
  std::memset(h + 64, 0, 4);
  std::memset(h + cert, 0, 8);
  return true;
}

uint32_t BuildDayNumber(uint64_t unixTime) {
  return (static_cast<uint32_t>(unixTime) - 1103627298u) / 86400u;
}

std::vector<uint8_t> BuildVersionStrings(const sVersionTexts& texts, const uint32_t version[4], uint32_t day) {
  std::vector<uint8_t> out;
  char16_t fileVersion[48], productVersion[48];
  VersionText(fileVersion, version[0], version[1], version[2], day);
  VersionText(productVersion, version[0], version[1], version[2], version[3]);
  PutString(out, "CompanyName", 26, texts.company);
  PutString(out, "FileDescription", 34, texts.description);
  PutString(out, "FileVersion", 26, fileVersion);
  PutString(out, "LegalCopyright", 30, texts.copyright);
  PutString(out, "ProductName", 26, texts.product);
  PutString(out, "ProductVersion", 30, productVersion);
  return out;
}

bool BuildVersionResource(const std::vector<uint8_t>& strings, const uint32_t version[4], uint32_t day,
                          uint32_t oldSize, std::vector<uint8_t>& block, uint32_t& needed) {
  const uint64_t total = strings.size() + 220ull;
  needed = static_cast<uint32_t>(strings.size() + 168);
  // The block's own length fields are 16 bits wide.
  if (total > oldSize || total > 0xFFFF) return false;
  const uint32_t L = static_cast<uint32_t>(strings.size());
  block.clear();
  cBlockWriter w(block);
  w.U16(L + 220);
  w.U16(52);
  w.U16(0);
  w.Text("VS_VERSION_INFO");
  w.Zeros(2);
  w.U32(0xFEEF04BDu);
  w.U32(0x00010000u);
  w.U32((version[0] << 16) + version[1]);
  w.U32((version[2] << 16) + day);
  w.U32((version[0] << 16) + version[1]);
  w.U32((version[2] << 16) + version[3]);
  w.U32(0x3F);
  w.U32(0);
  w.U32(0x00040004u);
  w.U32(1);
  w.U32(0);
  w.U32(0);
  w.U32(0);
  w.U16(L + 60);
  w.U16(0);
  w.U16(1);
  w.Text("StringFileInfo");
  w.U16(L + 24);
  w.U16(0);
  w.U16(1);
  w.Text("000004b0");
  block.insert(block.end(), strings.begin(), strings.end());
  w.U16(68);
  w.U16(0);
  w.U16(1);
  w.Text("VarFileInfo");
  w.Zeros(2);
  w.U16(36);
  w.U16(4);
  w.U16(0);
  w.Text("Translation");
  w.Zeros(2);
  w.U16(0);
  w.U16(0x04B0);
  block.resize(oldSize, 0);
  return true;
}

int32_t PatchProgramImage(std::vector<uint8_t>& image, uint32_t blockOffset, const sPeLayout& layout,
                          const std::vector<uint8_t>& newResource, const char*& errorLine) {
  errorLine = nullptr;
  const uint64_t size = image.size();
  if (size > 0xFFFFFFFFu || static_cast<uint64_t>(blockOffset) + tw::kCmdBlockSize > size ||
      newResource.size() != layout.versionSize ||
      static_cast<uint64_t>(layout.versionOffset) + layout.versionSize > size ||
      static_cast<uint64_t>(layout.optHeaderOffset) + layout.optHeaderSize > size ||
      layout.optHeaderSize > 0xFFFF || layout.versionSize > 0xFFFF) {
    return errorLine = "(e) Unable to parse resources!\n", 2;
  }
  if (layout.magic != 0x10B && layout.magic != 0x20B) return errorLine = "(e) Bad optional header magic!\n", 3;
  // The clean copy replays the records in ascending order, whatever order
  // the pieces have in the file.
  sCmdPatch patches[2] = {
      {layout.optHeaderOffset, image.data() + layout.optHeaderOffset, static_cast<uint16_t>(layout.optHeaderSize)},
      {layout.versionOffset, image.data() + layout.versionOffset, static_cast<uint16_t>(layout.versionSize)}};
  if (patches[1].offset < patches[0].offset) std::swap(patches[0], patches[1]);
  std::vector<uint8_t> block(tw::kCmdBlockSize);
  if (!WriteCmdBlock(block.data(), blockOffset, static_cast<uint32_t>(size), patches, 2)) {
    return errorLine = "(e) Patch records do not fit the iCmd block!\n", 2;
  }
  std::memcpy(image.data() + blockOffset, block.data(), block.size());
  std::memcpy(image.data() + layout.versionOffset, newResource.data(), newResource.size());
  ClearChecksumAndCertificate(image.data(), static_cast<uint32_t>(size), layout);
  return 0;
}
