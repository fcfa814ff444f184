// Test kit: builds TIFF and BigTIFF files in memory, in either byte order,
// with inline or out-of-line values, sub-IFD pointers, next-IFD chains and
// data blocks (strips, tiles, thumbnails), plus the broken variants that
// readers must survive: counts beyond the file, refused types, cycles and
// values cut off by the end of the file.
//
// Layout of a built file: the header, then the blocks in the order they were
// added, then each IFD (count, entries, next offset) followed by its
// out-of-line values. Every item starts at an even offset.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

class cTiffBuilder {
public:
  cTiffBuilder(bool bigEndian, bool bigTiff) : be_(bigEndian), big_(bigTiff) {}

  bool BigEndian() const { return be_; }
  bool BigTiff() const { return big_; }

  // A new empty IFD; its index. The first one added is the first IFD of the
  // header unless SetFirst says otherwise.
  int AddIfd();
  void SetFirst(int ifd) { first_ = ifd; }
  // next < 0: no next IFD (offset 0).
  void SetNext(int ifd, int next) { ifds_[ifd].next = next; }
  // A raw next-IFD offset (for offsets that point nowhere).
  void SetNextRaw(int ifd, uint64_t offset) {
    ifds_[ifd].next = -2;
    ifds_[ifd].nextRaw = offset;
  }
  // A raw first-IFD offset in the header.
  void SetFirstRaw(uint64_t offset) {
    first_ = -2;
    firstRaw_ = offset;
  }

  // A data block placed after the header; its index.
  int AddBlock(std::vector<uint8_t> bytes);

  // Entries. Values are given in host order and written in the file's.
  void AddRaw(int ifd, uint16_t tag, uint16_t type, uint64_t count, std::vector<uint8_t> fileOrderBytes);
  void AddBytes(int ifd, uint16_t tag, uint16_t type, const std::vector<uint8_t>& v);
  void AddAscii(int ifd, uint16_t tag, const std::string& text);  // NUL added
  void AddShorts(int ifd, uint16_t tag, const std::vector<uint16_t>& v);
  void AddShort(int ifd, uint16_t tag, uint16_t v) { AddShorts(ifd, tag, {v}); }
  void AddLongs(int ifd, uint16_t tag, const std::vector<uint32_t>& v, uint16_t type = 4);
  void AddLong(int ifd, uint16_t tag, uint32_t v) { AddLongs(ifd, tag, {v}); }
  void AddLong8s(int ifd, uint16_t tag, const std::vector<uint64_t>& v);
  void AddRationals(int ifd, uint16_t tag, const std::vector<std::pair<uint32_t, uint32_t>>& v,
                    uint16_t type = 5);
  // An entry whose value is the offset of IFD target (type LONG, IFD or
  // LONG8).
  void AddIfdPointer(int ifd, uint16_t tag, int target, uint16_t type = 4);
  // An entry holding the offsets of blocks (type LONG, SHORT or LONG8), and
  // one holding their sizes.
  void AddBlockOffsets(int ifd, uint16_t tag, const std::vector<int>& blocks, uint16_t type = 4);
  void AddBlockSizes(int ifd, uint16_t tag, const std::vector<int>& blocks, uint16_t type = 4);

  // Broken variants for the entry added last: the count written differs
  // from the value's; the value field is written as given (an offset of
  // your choosing).
  void OverrideLastCount(int ifd, uint64_t count) { ifds_[ifd].entries.back().countOverride = count; }
  void OverrideLastValueField(int ifd, uint64_t field) {
    ifds_[ifd].entries.back().fieldOverride = field;
    ifds_[ifd].entries.back().hasFieldOverride = true;
  }

  // Keeps entries in the order added (default: sorted by tag when built).
  void KeepOrder(bool on) { keepOrder_ = on; }

  std::vector<uint8_t> Build() const;
  // Where block i and IFD i lie in the file Build gives.
  uint64_t BlockOffset(int block) const;
  uint64_t IfdOffset(int ifd) const;

  // Host value to file-order bytes.
  void Put16(std::vector<uint8_t>& out, uint32_t v) const;
  void Put32(std::vector<uint8_t>& out, uint32_t v) const;
  void Put64(std::vector<uint8_t>& out, uint64_t v) const;

private:
  struct sPatch {
    size_t at;   // byte position in the value
    int kind;    // 0 IFD offset, 1 block offset, 2 block size
    int index;
    int width;   // 2, 4 or 8
  };
  struct sEntry {
    uint16_t tag;
    uint16_t type;
    uint64_t count;
    std::vector<uint8_t> value;
    std::vector<sPatch> patches;
    uint64_t countOverride = ~uint64_t{0};
    uint64_t fieldOverride = 0;
    bool hasFieldOverride = false;
  };
  struct sIfd {
    std::vector<sEntry> entries;
    int next = -1;
    uint64_t nextRaw = 0;
  };
  struct sLayout {
    std::vector<uint64_t> blocks, ifds;
    uint64_t end = 0;
  };
  sLayout Layout() const;
  uint64_t IfdTableSize(const sIfd& d) const;
  uint64_t OutOfLineSize(const sIfd& d) const;
  std::vector<sEntry> Ordered(const sIfd& d) const;
  void PutN(std::vector<uint8_t>& out, uint64_t v, int width) const;

  bool be_, big_;
  bool keepOrder_ = false;
  int first_ = 0;
  uint64_t firstRaw_ = 0;
  std::vector<std::vector<uint8_t>> blocks_;
  std::vector<sIfd> ifds_;
};

// A plain image for decoder tests: width x height, samples and bits as
// given, the pixel data as one or more strips (rows per strip from the
// first strip's size unless rowsPerStrip is set).
struct sTiffImage {
  int32_t width = 1;
  int32_t height = 1;
  uint16_t samples = 1;
  uint16_t bits = 8;
  uint16_t photometric = 1;
  uint16_t compression = 1;
  uint16_t planar = 1;
  uint32_t rowsPerStrip = 0;  // 0: not written
  std::vector<std::vector<uint8_t>> strips;
  std::vector<uint16_t> colorMap;
  uint16_t predictor = 0;  // 0: not written
  uint16_t sampleFormat = 0;
  bool writeByteCounts = true;
};

// Adds the image's tags and strips to IFD ifd of b.
void AddTiffImage(cTiffBuilder& b, int ifd, const sTiffImage& image);
// A one-page file of the image.
std::vector<uint8_t> MakeTiff(const sTiffImage& image, bool bigEndian = false, bool bigTiff = false);
