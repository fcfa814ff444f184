// See pict_jbig2.h.
#include "picture/pict_jbig2.h"

#include <cstring>
#include <vector>

#include "base/memio.h"
#include "picture/jbig2_generic.h"

namespace {

constexpr uint8_t kFileId[8] = {0x97, 0x4A, 0x42, 0x32, 0x0D, 0x0A, 0x1A, 0x0A};

constexpr uint32_t kTypeSymbolDictionary = 0;
constexpr uint32_t kTypePatternDictionary = 16;
constexpr uint32_t kTypeImmediateGeneric = 38;
constexpr uint32_t kTypeImmediateLosslessGeneric = 39;
constexpr uint32_t kTypePageInformation = 48;
constexpr uint32_t kTypeEndOfFile = 51;
constexpr uint32_t kTypeProfiles = 52;
constexpr uint32_t kTypeTables = 53;
constexpr uint32_t kTypeExtension = 62;

constexpr uint64_t kPageInfoLength = 19;
constexpr uint64_t kMinRegionLength = 26;
constexpr uint32_t kRegionInfoLength = 18;  // region information and flags
// The decisions a page's regions may cost together: this many per page
// pixel, plus a slack for small pages.
constexpr uint64_t kRegionWorkFactor = 2;
constexpr uint64_t kRegionWorkSlack = uint64_t{1} << 16;

inline uint32_t Be32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) << 24 | static_cast<uint32_t>(p[1]) << 16 | static_cast<uint32_t>(p[2]) << 8 |
         p[3];
}

// Segments that T.88 lets stand outside every page (association 0).
bool MayBeGlobal(uint32_t type) {
  return type == kTypeSymbolDictionary || type == kTypePatternDictionary || type == kTypeProfiles ||
         type == kTypeTables || type == kTypeExtension;
}

// One parsed segment header.
struct sSegmentHeader {
  uint32_t number = 0;
  uint32_t type = 0;
  uint32_t page = 0;
  uint32_t dataLength = 0;
  uint64_t end = 0;  // offset just past the header
};

enum eHeaderResult { kHeaderOk, kHeaderEnd, kHeaderBad };

// Reads the segment header at offset (T.88 7.2). kHeaderEnd on a short read.
eHeaderResult ReadSegmentHeader(cFileIOTarget* stream, uint64_t offset, sSegmentHeader& h) {
  uint8_t b[9];
  if (!stream->Seek(offset) || !stream->ReadExact(b, 6)) return kHeaderEnd;
  h.number = Be32(b);
  h.type = b[4] & 0x3F;
  const bool longPage = (b[4] & 0x40) != 0;
  uint64_t pos = offset + 6;
  uint64_t refCount = b[5] >> 5;
  if (refCount == 7) {
    // Long form: a 29-bit count, then one retain bit for this segment and
    // each referred-to one.
    if (!stream->ReadExact(b + 6, 3)) return kHeaderEnd;
    refCount = Be32(b + 5) & 0x1FFFFFFFu;
    pos += 3 + (refCount + 8) / 8;
  } else if (refCount > 4) {
    return kHeaderBad;
  }
  const uint64_t refSize = h.number <= 256 ? 1 : (h.number <= 65536 ? 2 : 4);
  pos += refCount * refSize;
  const uint32_t pageSize = longPage ? 4 : 1;
  if (!stream->Seek(pos) || !stream->ReadExact(b, pageSize + 4)) return kHeaderEnd;
  h.page = longPage ? Be32(b) : b[0];
  h.dataLength = Be32(b + pageSize);
  h.end = pos + pageSize + 4;
  return kHeaderOk;
}

// Copies count bits from src (from bit 0) into dst starting at bit x.
void CopyBits(uint8_t* dst, uint32_t x, const uint8_t* src, uint32_t count) {
  const uint32_t shift = x & 7;
  uint8_t* d = dst + (x >> 3);
  for (uint32_t done = 0; done < count; done += 8) {
    const uint32_t n = count - done < 8 ? count - done : 8;
    const uint32_t mask = (0xFF00u >> n) & 0xFFu;
    const uint32_t v = src[done >> 3] & mask;
    d[0] = static_cast<uint8_t>((d[0] & ~(mask >> shift)) | (v >> shift));
    if (shift != 0 && (mask << (8 - shift) & 0xFFu) != 0)
      d[1] = static_cast<uint8_t>((d[1] & ~(mask << (8 - shift))) | ((v << (8 - shift)) & 0xFFu));
    ++d;
  }
}

}  // namespace

cPictJBIG2::sPage::~sPage() {
  while (first != nullptr) {
    sRegionBlock* next = first->next;
    delete first;
    first = next;
  }
}

cPictJBIG2::~cPictJBIG2() { pages_.Clear(); }

bool cPictJBIG2::HandleSegment(cFileIOTarget* stream, uint32_t type, uint32_t page, uint64_t dataOffset,
                               uint64_t dataLength) {
  if (type == kTypeImmediateGeneric || type == kTypeImmediateLosslessGeneric) {
    if (dataLength < kMinRegionLength) return false;
    sPage* p = pages_.FindOrInsert(static_cast<int32_t>(page));
    if (p == nullptr) return false;
    auto* block = new sRegionBlock;
    block->dataOffset = dataOffset;
    block->dataLength = dataLength;
    block->type = static_cast<uint8_t>(kTypeImmediateGeneric);
    if (p->last != nullptr)
      p->last->next = block;
    else
      p->first = block;
    p->last = block;
    return true;
  }
  if (type == kTypePageInformation) {
    if (dataLength != kPageInfoLength) return false;
    uint8_t b[kPageInfoLength];
    if (!stream->Seek(dataOffset) || !stream->ReadExact(b, kPageInfoLength)) return false;
    sPage* p = pages_.FindOrInsert(static_cast<int32_t>(page));
    if (p == nullptr) return false;
    const uint32_t w = Be32(b), h = Be32(b + 4);
    if (w == 0 || h == 0) return false;
    p->width = w;
    p->height = h;
  }
  return true;
}

bool cPictJBIG2::ReadStructure(cFileIOTarget* stream) {
  // A failed walk leaves no pages behind for the next call to take as read.
  if (Walk(stream)) return true;
  pages_.Clear();
  pageCount_ = 0;
  return false;
}

bool cPictJBIG2::Walk(cFileIOTarget* stream) {
  pages_.Clear();
  pageCount_ = 0;
  if (stream == nullptr || !stream->Seek(0)) return false;
  uint8_t h[13];
  const uint32_t got = stream->Read(h, sizeof h);
  uint64_t offset = 0;
  bool sequential = true, countKnown = true;
  if (got >= 9 && std::memcmp(h, kFileId, 8) == 0) {
    sequential = (h[8] & 1) != 0;
    if ((h[8] & 2) != 0) {
      countKnown = false;
      offset = 9;
    } else {
      if (got < 13) return false;
      pageCount_ = Be32(h + 9);
      if (pageCount_ == 0) return false;
      offset = 13;
    }
  } else {
    pageCount_ = 1;
  }

  // Random access keeps the headers until their data position is known.
  struct sPending {
    uint32_t type, page, length;
  };
  std::vector<sPending> pending;
  uint32_t expected = 0, highest = 0;
  for (;;) {
    sSegmentHeader s;
    const eHeaderResult r = ReadSegmentHeader(stream, offset, s);
    if (r == kHeaderBad) return false;
    if (r == kHeaderEnd || s.number != expected) break;
    if (countKnown && s.page > pageCount_) return false;
    if (!countKnown && s.page > 0x7FFFFFFFu) return false;
    if (s.type == kTypeEndOfFile) {
      if (!sequential) offset = s.end;
      break;
    }
    if (s.page == 0 && !MayBeGlobal(s.type)) return false;
    if (s.page > highest) highest = s.page;
    if (sequential) {
      if (!HandleSegment(stream, s.type, s.page, s.end, s.dataLength)) return false;
      offset = s.end + s.dataLength;
    } else {
      pending.push_back({s.type, s.page, s.dataLength});
      offset = s.end;
    }
    if (s.number == 0xFFFFFFFFu) break;
    expected = s.number + 1;
  }
  // Random access: the data of the segments follow their headers, in order.
  for (const sPending& p : pending) {
    if (!HandleSegment(stream, p.type, p.page, offset, p.length)) return false;
    offset += p.length;
  }
  if (!countKnown) pageCount_ = highest;
  return HasAllPages();
}

bool cPictJBIG2::HasAllPages() const {
  if (pageCount_ == 0) return false;
  for (uint64_t n = 1; n <= pageCount_; ++n) {
    if (n > 0x7FFFFFFF) return false;
    const sPage* p = pages_.Find(static_cast<int32_t>(n));
    if (p == nullptr || p->width == 0 || p->height == 0 || p->first == nullptr) return false;
  }
  return true;
}

bool cPictJBIG2::EnsureStructure(cFileIOTarget* stream) {
  if (stream == nullptr) return false;
  return HasAllPages() || ReadStructure(stream);
}

bool cPictJBIG2::ReadInfo(cFileIOTarget* stream, sPictInfo* info) {
  try {
    if (!ReadStructure(stream)) return false;
    const auto* node = pages_.First();
    if (node == nullptr) return false;
    const sPage& p = node->value;
    if (p.width > 0x7FFFFFFFu || p.height > 0x7FFFFFFFu) return false;
    if (info != nullptr) {
      info->width = static_cast<int32_t>(p.width);
      info->height = static_cast<int32_t>(p.height);
      info->hasPreview = false;
    }
    return true;
  } catch (...) {
    return false;
  }
}

bool cPictJBIG2::Detect(cFileIOTarget* stream, sPictInfo* info) {
  cPictJBIG2 probe;
  return probe.ReadInfo(stream, info);
}

bool cPictJBIG2::Load(cFileIOTarget* stream) { return LoadImage(stream, 0); }

int32_t cPictJBIG2::GetImageCount(cFileIOTarget* stream) {
  try {
    if (!EnsureStructure(stream)) return 0;
    return pageCount_ > 0x7FFFFFFFu ? 0 : static_cast<int32_t>(pageCount_);
  } catch (...) {
    return 0;
  }
}

bool cPictJBIG2::GetImageInfo(cFileIOTarget* stream, int32_t index, int32_t& width, int32_t& height) {
  try {
    if (index < 0 || !EnsureStructure(stream)) return false;
    const sPage* p = index == 0x7FFFFFFF ? nullptr : pages_.Find(index + 1);
    if (p == nullptr || p->width > 0x7FFFFFFFu || p->height > 0x7FFFFFFFu) return false;
    width = static_cast<int32_t>(p->width);
    height = static_cast<int32_t>(p->height);
    return true;
  } catch (...) {
    return false;
  }
}

bool cPictJBIG2::LoadImage(cFileIOTarget* stream, int32_t index) {
  bool ok = false;
  streaming_ = false;
  try {
    ok = LoadPage(stream, index);
  } catch (...) {
    ok = false;
  }
  if (GetAttachedCanvas() != nullptr) {
    if (streaming_)
      EndCanvasOutput();
    else
      DetachCanvas();
  }
  streaming_ = false;
  return ok;
}

bool cPictJBIG2::LoadPage(cFileIOTarget* stream, int32_t index) {
  if (index < 0 || index == 0x7FFFFFFF || !EnsureStructure(stream)) return false;
  const sPage* page = pages_.Find(index + 1);
  if (page == nullptr) return false;
  const uint32_t pw = page->width, ph = page->height;
  if (pw > 0x7FFFFFFFu || ph > 0x7FFFFFFFu ||
      static_cast<int64_t>(pw) * static_cast<int64_t>(ph) >= kMaxPixelCount)
    return false;
  const int32_t w = static_cast<int32_t>(pw), h = static_cast<int32_t>(ph);
  SetSize(w, h);
  SetHighDepth(false);
  streaming_ = BeginCanvasOutput();
  if (!streaming_ && !AllocatePixels32(w, h)) return false;

  // The page as one bit per pixel, 1 black, top row first.
  const int32_t stride = (w + 7) / 8;
  _typebuf<uint8_t> bits(stride * h);
  std::memset(bits.data, 0, static_cast<size_t>(bits.count));
  // Every pixel of a region costs a decision, those off the page included;
  // a page whose regions would cost far more than the page has pixels is a
  // damaged or hostile file, and its excess regions are left out.
  uint64_t budget = kRegionWorkFactor * static_cast<uint64_t>(pw) * ph + kRegionWorkSlack;
  for (const sRegionBlock* b = page->first; b != nullptr; b = b->next)
    DecodeGenericRegion(stream, *b, bits, pw, ph, budget);

  for (int32_t y = 0; y < h; ++y) {
    const uint8_t* src = bits.data + static_cast<int64_t>(y) * stride;
    const int32_t row = h - 1 - y;
    uint32_t* dst = streaming_ ? nullptr : Pixels32().data + static_cast<int64_t>(row) * w;
    for (int32_t x = 0; x < w; ++x) {
      const uint32_t pixel = (src[x >> 3] >> (7 - (x & 7)) & 1) ? 0xFF000000u : 0xFFFFFFFFu;
      if (streaming_)
        PutCanvasPixel(x, row, pixel);
      else
        dst[x] = pixel;
    }
  }
  return true;
}

bool cPictJBIG2::DecodeGenericRegion(cFileIOTarget* stream, const sRegionBlock& block, _typebuf<uint8_t>& page,
                                     uint32_t pageWidth, uint32_t pageHeight, uint64_t& budget) {
  uint8_t h[kRegionInfoLength + 8];
  if (!stream->Seek(block.dataOffset) || !stream->ReadExact(h, kRegionInfoLength)) return false;
  sJbig2RegionInfo info;
  info.width = Be32(h);
  info.height = Be32(h + 4);
  info.x = Be32(h + 8);
  info.y = Be32(h + 12);
  info.combinationOperator = h[16];
  info.flags = h[17];
  const uint32_t atBytes = ((info.flags >> 1) & 3) == 0 ? 8 : 2;
  if (!stream->ReadExact(h + kRegionInfoLength, atBytes)) return false;
  for (uint32_t i = 0; i < atBytes; ++i) info.at[i] = static_cast<int8_t>(h[kRegionInfoLength + i]);
  if (info.width == 0 || info.height == 0 || info.x >= pageWidth || info.y >= pageHeight) return false;
  const uint64_t headerLength = kRegionInfoLength + atBytes;
  if (block.dataLength < headerLength) return false;
  // Rows under the page are never decoded: they are never drawn.
  const uint32_t rowLimit = pageHeight - info.y;
  const uint64_t rows = info.height < rowLimit ? info.height : rowLimit;
  const uint64_t work = static_cast<uint64_t>(info.width) * rows;
  if (work > budget) return false;
  budget -= work;

  cFileIOSubRange coded(stream, block.dataOffset + headerLength, block.dataLength - headerLength);
  sJbig2GenericDecoder decoder;
  if (!Jbig2ArithDecoderInit(decoder, &coded)) return false;
  _typebuf<uint8_t> bitmap;
  const bool ok = Jbig2DecodeGenericRegion(info, decoder, bitmap, rowLimit);
  if (bitmap.count == 0) return false;

  const uint32_t stride = static_cast<uint32_t>(decoder.stride);
  const uint32_t columns = info.width < pageWidth - info.x ? info.width : pageWidth - info.x;
  const int64_t pageStride = (static_cast<int64_t>(pageWidth) + 7) / 8;
  for (uint64_t r = 0; r < rows; ++r)
    CopyBits(page.data + static_cast<int64_t>(info.y + r) * pageStride, info.x, bitmap.data + r * stride, columns);
  return ok;
}

bool cPictJBIG2::LoadImageFitted(cFileIOTarget* stream, cPictBase* destination, int32_t maxWidth, int32_t maxHeight,
                                 int32_t index, bool, uint32_t background) {
  if (destination == nullptr) return false;
  try {
    if (index < 0 || index == 0x7FFFFFFF || !EnsureStructure(stream)) return false;
    const sPage* page = pages_.Find(index + 1);
    if (page == nullptr) return false;
    const double w = page->width, h = page->height;
    if (w <= maxWidth && h <= maxHeight) {
      if (!LoadImage(stream, index)) return false;
      destination->TakePixels(this);
      return true;
    }
    double s = static_cast<double>(maxHeight) / h;
    const double sx = static_cast<double>(maxWidth) / w;
    if (sx < s) s = sx;
    int32_t fw = static_cast<int32_t>(w * s + 0.5), fh = static_cast<int32_t>(h * s + 0.5);
    if (fw < 1) fw = 1;
    if (fh < 1) fh = 1;
    if (!destination->CreateBlank(fw, fh)) return false;
    sPictCanvas canvas;
    sPictCanvas::FromPicture(canvas, destination);
    canvas.background = background;
    if (canvas.pixels != nullptr && canvas.width > 0 && canvas.height > 0) AttachCanvas(&canvas);
    const bool ok = LoadImage(stream, index);
    DetachCanvas();
    return ok;
  } catch (...) {
    DetachCanvas();
    return false;
  }
}
