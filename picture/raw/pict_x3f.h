// cPictX3F: Sigma/Foveon X3F raw files. A section directory at the end of
// the file lists image sections: the raw image (data formats 5 and 30 are
// decoded into three full colour planes, developed with the shared levels
// and tone curve) and JPEG previews, which stand in for a raw image of any
// other format. The preview list persists from one call to the next; only
// Reset empties it.
#pragma once

#include <cstdint>

#include "base/sorted_tree.h"
#include "picture/pict_base.h"

struct sX3fPreview {
  uint32_t offset = 0, length = 0, columns = 0, rows = 0;
};

class cPictX3F : public cPictBase {
public:
  cPictX3F() : previews_(1024) {}

  static bool Detect(cFileIOTarget* stream, sPictInfo* info);

  int32_t GetFormat() const override { return kPictFormatX3F; }
  bool ReadInfo(cFileIOTarget* stream, sPictInfo* info) override;
  bool Load(cFileIOTarget* stream) override;
  bool LoadPreview(cFileIOTarget* stream, cPictBase* destination, int32_t& width, int32_t& height) override;
  virtual void Reset();

  // Read by tests.
  int32_t PreviewCount() const;
  uint32_t RawFormat() const { return rawFormat_; }

private:
  bool ReadDirectory(cFileIOTarget* stream);
  const sX3fPreview* LargestPreview() const;
  bool LoadJpeg(cFileIOTarget* stream, const sX3fPreview& p, cPictBase* into);

  cSortedTree<uint64_t, sX3fPreview> previews_;
  uint32_t rawOffset_ = 0, rawLength_ = 0;
  uint32_t rawFormat_ = 0;
  int32_t rawWidth_ = 0, rawHeight_ = 0;
};
