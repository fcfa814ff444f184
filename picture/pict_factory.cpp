// See pict_factory.h.
#include "picture/pict_factory.h"

#include <memory>
#include <new>

#include "picture/pict_dib.h"
#include "picture/pict_dicom.h"
#include "picture/pict_gif.h"
#include "picture/pict_icns.h"
#include "picture/pict_ico.h"
#include "picture/pict_jbig2.h"
#include "picture/pict_jp2.h"
#include "picture/pict_jpeg.h"
#include "picture/pict_pcx.h"
#include "picture/pict_png.h"
#include "picture/pict_ppm.h"
#include "picture/pict_tga.h"
#include "picture/pict_tiff.h"
#include "picture/pict_xpm.h"
#include "picture/raw/pict_arw.h"
#include "picture/raw/pict_cr2.h"
#include "picture/raw/pict_cr3.h"
#include "picture/raw/pict_crw.h"
#include "picture/raw/pict_dng.h"
#include "picture/raw/pict_iiq.h"
#include "picture/raw/pict_mos.h"
#include "picture/raw/pict_mrw.h"
#include "picture/raw/pict_nef.h"
#include "picture/raw/pict_orf.h"
#include "picture/raw/pict_pef.h"
#include "picture/raw/pict_raf.h"
#include "picture/raw/pict_rw2.h"
#include "picture/raw/pict_srw.h"
#include "picture/raw/pict_tiff_ep.h"
#include "picture/raw/pict_x3f.h"

namespace {

template <class T>
cPictBase* Make() {
  return new T();
}

bool DetectBmp(cFileIOTarget* stream, sPictInfo* info) {
  return CheckBmpFileHeader(stream) && cPictDIB::Detect(stream, info);
}

// The probe order is part of the format recognition: a stream that several
// detections accept goes to the first. Entries without a detection belong to
// decoders that are not built and answer "not mine".
constexpr sPictProbe kProbes[] = {
    {kPictFormatJPEG, &cPictJPEG::Detect, &Make<cPictJPEG>},
    {kPictFormatPNG, &cPictPNG::Detect, &Make<cPictPNG>},
    {kPictFormatGIF, &cPictGIF::Detect, &Make<cPictGIF>},
    {kPictFormatBMP, &DetectBmp, &Make<cPictBMP>},
    {kPictFormatDIB, &cPictDIB::Detect, &Make<cPictDIB>},
    {kPictFormatICO, &cPictICO::Detect, &Make<cPictICO>},
    {kPictFormatJP2, &cPictJP2::Detect, &Make<cPictJP2>},
    {kPictFormatJ2K, &cPictJ2K::Detect, &Make<cPictJ2K>},
    {kPictFormatICNS, &cPictICNS::Detect, &Make<cPictICNS>},
    {kPictFormatTGA, &cPictTGA::Detect, &Make<cPictTGA>},
    {kPictFormatMRW, &cPictMRW::Detect, &Make<cPictMRW>},
    {kPictFormatRWL, &cPictRWL::Detect, &Make<cPictRWL>},
    {kPictFormatORF, &cPictORF::Detect, &Make<cPictORF>},
    {kPictFormatX3F, &cPictX3F::Detect, &Make<cPictX3F>},
    {kPictFormatPEF, &cPictPEF::Detect, &Make<cPictPEF>},
    {kPictFormatARW, &cPictARW::Detect, &Make<cPictARW>},
    {kPictFormatSRW, &cPictSRW::Detect, &Make<cPictSRW>},
    {kPictFormatIIQ, &cPictIIQ::Detect, &Make<cPictIIQ>},
    {kPictFormatRAF, &cPictRAF::Detect, &Make<cPictRAF>},
    {kPictFormatCRW, &cPictCRW::Detect, &Make<cPictCRW>},
    {kPictFormatMOS, &cPictMOS::Detect, &Make<cPictMOS>},
    {kPictFormatCR2, &cPictCR2::Detect, &Make<cPictCR2>},
    {kPictFormatCR3, &cPictCR3::Detect, &Make<cPictCR3>},
    {kPictFormatNEF, &cPictNEF::Detect, &Make<cPictNEF>},
    {kPictFormat3FR, &cPict3FR::Detect, &Make<cPict3FR>},
    {kPictFormatDNG, &cPictDNG::Detect, &Make<cPictDNG>},
    {kPictFormatTIFF_EP, &cPictTIFF_EP::Detect, &Make<cPictTIFF_EP>},
    {kPictFormatTIFF, &cPictTIFF::Detect, &Make<cPictTIFF>},
    {kPictFormatPPM, &cPictPPM::Detect, &Make<cPictPPM>},
    {kPictFormatPCX, &cPictPCX::Detect, &Make<cPictPCX>},
    {kPictFormatDICOM, &cPictDICOM::Detect, &Make<cPictDICOM>},
    {kPictFormatDICOMLegacy, &cPictDICOMLegacy::Detect, &Make<cPictDICOMLegacy>},
    {kPictFormatJBIG2, &cPictJBIG2::Detect, &Make<cPictJBIG2>},
    {kPictFormatXPM, &cPictXPM::Detect, &Make<cPictXPM>},
};
static_assert(sizeof(kProbes) / sizeof(kProbes[0]) == 34);

int32_t FitResultOf(const std::exception_ptr& e) {
  try {
    std::rethrow_exception(e);
  } catch (const std::bad_alloc&) {
    return kFitAllocation;
  } catch (...) {
    return kFitDecodeFailed;
  }
}

inline int32_t Trunc(double v) { return static_cast<int32_t>(v); }

int32_t LoadFittedInner(const sPictInfo& info, cPictBase* decoder, cFileIOTarget* stream, cPictBase* destination,
                        int32_t maxWidth, int32_t maxHeight, bool allowFullDecode, uint32_t background) {
  if (decoder == nullptr || stream == nullptr || destination == nullptr) return kFitBadArguments;
  if (info.width < 1 || info.height < 1) return kFitBadArguments;
  double s = static_cast<double>(maxWidth) / info.width;
  const double sy = static_cast<double>(maxHeight) / info.height;
  if (sy < s) s = sy;
  if (s > 1.0) s = 1.0;
  int32_t fw = Trunc(info.width * s + 0.5), fh = Trunc(info.height * s + 0.5);
  if (fw == 0 || fh == 0) return kFitBadArguments;
  if (info.hasPreview) {
    cPictDummy preview;
    if (decoder->LoadPreview(stream, &preview, fw, fh)) {
      const int32_t pw = preview.GetWidth(), ph = preview.GetHeight();
      if (pw <= maxWidth && ph <= maxHeight) {
        destination->TakePixels(&preview);
        return kFitDone;
      }
      if (pw < 1 || ph < 1) return kFitBadArguments;
      double s2 = static_cast<double>(maxWidth) / pw;
      const double sy2 = static_cast<double>(maxHeight) / ph;
      if (sy2 < s2) s2 = sy2;
      if (s2 > 1.0) s2 = 1.0;
      const int32_t w2 = Trunc(pw * s2 + 0.5), h2 = Trunc(ph * s2 + 0.5);
      if (w2 == 0 || h2 == 0) return kFitBadArguments;
      if (!destination->CreateBlank(w2, h2)) return kFitAllocation;
      sPictCanvas canvas;
      sPictCanvas::FromPicture(canvas, destination);
      canvas.background = background;
      return RenderPictureToCanvas(&canvas, &preview) ? kFitDone : kFitAllocation;
    }
  }
  if (!allowFullDecode) return kFitNoPreview;
  if (!destination->CreateBlank(fw, fh)) return kFitAllocation;
  sPictCanvas canvas;
  sPictCanvas::FromPicture(canvas, destination);
  canvas.background = background;
  stream->Seek(0);
  if (decoder->CanStreamToCanvas()) {
    decoder->AttachCanvas(&canvas);
    const bool ok = decoder->Load(stream);
    // The canvas lives on this stack: a decoder that failed before it began
    // its output must not keep it.
    if (decoder->GetAttachedCanvas() == &canvas) decoder->DetachCanvas();
    return ok ? kFitDone : kFitDecodeFailed;
  }
  if (!decoder->Load(stream)) return kFitDecodeFailed;
  return RenderPictureToCanvas(&canvas, decoder) ? kFitDone : kFitAllocation;
}

}  // namespace

const sPictProbe* PictProbes(int32_t& count) {
  count = static_cast<int32_t>(sizeof(kProbes) / sizeof(kProbes[0]));
  return kProbes;
}

bool CheckBmpFileHeader(cFileIOTarget* stream) {
  uint8_t h[14];
  if (stream == nullptr || !stream->ReadExact(h, 14)) return false;
  auto le32 = [&](int i) {
    return static_cast<uint32_t>(h[i]) | static_cast<uint32_t>(h[i + 1]) << 8 |
           static_cast<uint32_t>(h[i + 2]) << 16 | static_cast<uint32_t>(h[i + 3]) << 24;
  };
  if (h[0] != 'B' || h[1] != 'M') return false;
  if (le32(6) != 0) return false;
  const uint32_t dataOffset = le32(10), fileSize = le32(2);
  return dataOffset >= 54 && fileSize >= dataOffset;
}

cPictBase* CreatePicture(cFileIOTarget* stream, sPictInfo* info) {
  if (stream == nullptr) return nullptr;
  for (const sPictProbe& probe : kProbes) {
    if (probe.detect == nullptr || probe.create == nullptr) continue;
    std::unique_ptr<cPictBase> decoder;
    try {
      if (!stream->Seek(0) || !probe.detect(stream, info)) continue;
      decoder.reset(probe.create());
      if (info != nullptr) return decoder.release();
      if (stream->Seek(0) && decoder->Load(stream)) return decoder.release();
    } catch (...) {
      // A decoder that throws fails like one that answers false.
    }
  }
  return nullptr;
}

void DeletePicture(cPictBase** holder) {
  if (holder != nullptr && *holder != nullptr) delete *holder;
}

int32_t cPictBase::LoadFitted(const sPictInfo& info, cPictBase* decoder, cFileIOTarget* stream,
                              cPictBase* destination, int32_t maxWidth, int32_t maxHeight, bool allowFullDecode,
                              uint32_t background) {
  try {
    return LoadFittedInner(info, decoder, stream, destination, maxWidth, maxHeight, allowFullDecode, background);
  } catch (...) {
    return FitResultOf(std::current_exception());
  }
}

int32_t LoadPictureFitted(cFileIOTarget* stream, cPictBase* destination, int32_t maxWidth, int32_t maxHeight) {
  if (maxWidth == 0 || maxHeight == 0) return kFitBadArguments;
  sPictInfo info;
  std::unique_ptr<cPictBase> decoder;
  try {
    decoder.reset(CreatePicture(stream, &info));
  } catch (...) {
    return FitResultOf(std::current_exception());
  }
  if (decoder == nullptr) return kFitUnknownFormat;
  if (info.width < 1 || info.height < 1) return kFitBadArguments;
  stream->Seek(0);
  return cPictBase::LoadFitted(info, decoder.get(), stream, destination, maxWidth, maxHeight, true, 0xFFFFFF);
}

bool FitPictureToBox(cPictBase* destination, cPictBase* source, int32_t maxWidth, int32_t maxHeight,
                     uint32_t background) {
  if (destination == nullptr || source == nullptr) return false;
  const int32_t w = source->GetWidth(), h = source->GetHeight();
  if (w == 0 || h == 0 || source->IsHighDepth() || !source->HasPixels()) return false;
  try {
    if (maxWidth >= w && maxHeight >= h) {
      destination->TakePixels(source);
      return true;
    }
    double s = static_cast<double>(maxHeight) / h;
    const double sx = static_cast<double>(maxWidth) / w;
    if (sx < s) s = sx;
    if (s > 1.0) s = 1.0;
    const int32_t fw = Trunc(w * s + 0.5), fh = Trunc(h * s + 0.5);
    if (fw == 0 || fh == 0 || !destination->CreateBlank(fw, fh)) return false;
    sPictCanvas canvas;
    sPictCanvas::FromPicture(canvas, destination);
    canvas.background = background;
    if (!RenderPictureToCanvas(&canvas, source)) return false;
    source->ReleasePixels();
    return true;
  } catch (...) {
    return false;
  }
}
