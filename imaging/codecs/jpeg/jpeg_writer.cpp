// JPEG writer: the bitmap's blue-green-red rows go to libjpeg as they are.
#include <algorithm>
#include <cstring>
#include <exception>
#include <memory>
#include <vector>

#include "jpeg_codec.h"
#include "jpeg_private.h"
#include "proc/pixel_formats.h"

namespace velora {
using namespace jpeg_detail;

namespace {

struct TWriteJob {
  jpeg_compress_struct cinfo;
  TErrorManager em;
  TVLProgressRecord* progress = nullptr;
  TIOParamsVals* params = nullptr;
  const TBitmap* source = nullptr;
  std::vector<uint8_t>* rowBuffer = nullptr;
  bool created = false;
  bool failed = false;  // libjpeg's error exit was taken
};

bool IsMarkerCode(uint8_t code) { return code == JPEG_COM || (code >= JPEG_APP0 && code <= JPEG_APP0 + 15); }

// Blue, green, red → the inverted CMYK libjpeg stores, with k the brightest channel.
void BgrToCmyk(const uint8_t* bgr, uint8_t* cmyk, int width) {
  for (int x = 0; x < width; ++x, bgr += 3, cmyk += 4) {
    const unsigned b = bgr[0], g = bgr[1], r = bgr[2];
    unsigned k = std::max({r, g, b});
    if (k == 0) k = 1;
    cmyk[0] = uint8_t(r * 255 / k);
    cmyk[1] = uint8_t(g * 255 / k);
    cmyk[2] = uint8_t(b * 255 / k);
    cmyk[3] = uint8_t(k);
  }
}

void SetColorSpace(jpeg_compress_struct& cinfo, int jpegColorSpace) {
  J_COLOR_SPACE file = JCS_RGB;
  cinfo.input_components = 3;
  cinfo.in_color_space = JCS_EXT_BGR;
  switch (jpegColorSpace) {
    case 1: file = JCS_GRAYSCALE; break;
    case 2: file = JCS_YCbCr; break;
    case 3: file = JCS_CMYK; break;
    case 4: file = JCS_YCCK; break;
    default: file = JCS_RGB; break;
  }
  if (file == JCS_CMYK || file == JCS_YCCK) {
    cinfo.input_components = 4;
    cinfo.in_color_space = JCS_CMYK;
  }
  jpeg_set_defaults(&cinfo);
  jpeg_set_colorspace(&cinfo, file);
}

void ApplySettings(jpeg_compress_struct& cinfo, const TIOParamsVals& params) {
  cinfo.density_unit = kDensityDotsPerInch;
  const int dpiX = params.DpiX != 0 ? params.DpiX : DefaultDpiX();
  const int dpiY = params.DpiY != 0 ? params.DpiY : DefaultDpiY();
  cinfo.X_density = UINT16(std::clamp(dpiX, 1, 65535));
  cinfo.Y_density = UINT16(std::clamp(dpiY, 1, 65535));
  cinfo.dct_method = DctMethodOf(params.JpegDCTMethod);
  cinfo.optimize_coding = params.JpegOptimalHuffman ? TRUE : FALSE;
  cinfo.smoothing_factor = std::clamp(params.JpegSmoothing, 0, 100);
  jpeg_set_quality(&cinfo, std::clamp(params.JpegQuality, 0, 100), TRUE);
  if (params.JpegProgressive) jpeg_simple_progression(&cinfo);
}

void WriteMarkers(jpeg_compress_struct& cinfo, const TVLMarkerList& markers) {
  for (int i = 0; i < markers.Count(); ++i) {
    if (!IsMarkerCode(markers.Code(i))) continue;  // anything else would break the file's structure
    const unsigned length = unsigned(std::clamp(markers.Size(i), 0, 65533));
    jpeg_write_marker(&cinfo, markers.Code(i), markers.Data(i), length);
  }
}

void EncodeGuarded(TWriteJob& job) {
  if (setjmp(job.em.jump)) {
    job.failed = true;
    return;
  }
  jpeg_compress_struct& cinfo = job.cinfo;
  jpeg_create_compress(&cinfo);
  job.created = true;
}

void WriteGuarded(TWriteJob& job, TDestinationManager& dest, TVLStream& stream) {
  if (setjmp(job.em.jump)) {
    job.failed = true;
    return;
  }
  jpeg_compress_struct& cinfo = job.cinfo;
  TVLProgressRecord& progress = *job.progress;
  const TBitmap& source = *job.source;

  InstallDestination(&cinfo, dest, stream, progress);
  if (progress.Aborted()) return;
  cinfo.image_width = JDIMENSION(source.Width());
  cinfo.image_height = JDIMENSION(source.Height());
  SetColorSpace(cinfo, job.params->JpegColorSpace);
  ApplySettings(cinfo, *job.params);

  jpeg_start_compress(&cinfo, TRUE);
  WriteMarkers(cinfo, job.params->JpegMarkers);

  const bool cmyk = cinfo.in_color_space == JCS_CMYK;
  uint8_t* buffer = job.rowBuffer->data();
  progress.per1 = 100.0 / source.Height();
  while (cinfo.next_scanline < cinfo.image_height && !progress.Aborted()) {
    const int y = int(cinfo.next_scanline);
    JSAMPROW row = const_cast<JSAMPROW>(source.ScanLine(y));
    if (cmyk) {
      BgrToCmyk(row, buffer, source.Width());
      row = buffer;
    }
    jpeg_write_scanlines(&cinfo, &row, 1);
    progress.ReportRows(y + 1);
  }
  if (!progress.Aborted()) jpeg_finish_compress(&cinfo);
}

}  // namespace

void JpegWriteStream(TVLStream& stream, TBitmap& bitmap, TIOParamsVals& params, TVLProgressRecord& progress) {
  TBitmap expanded;
  const TBitmap* source = &bitmap;
  std::unique_ptr<TDestinationManager> dest;
  std::vector<uint8_t> rowBuffer;
  try {
    if (bitmap.PixelFormat() == TPixelFormat::pf1bit) {
      ExpandMonoTo24(bitmap, expanded);
      source = &expanded;
    }
    if (source->Empty() || source->PixelFormat() != TPixelFormat::pf24bit) {
      progress.Abort();
      return;
    }
    dest = std::make_unique_for_overwrite<TDestinationManager>();  // the 64 KB buffer needs no zeroing
    rowBuffer.resize(size_t(source->Width()) * 4);
  } catch (const std::bad_alloc&) {
    progress.Abort();
    return;
  }

  TWriteJob job;
  std::memset(&job.cinfo, 0, sizeof(job.cinfo));
  job.progress = &progress;
  job.params = &params;
  job.source = source;
  job.rowBuffer = &rowBuffer;
  job.cinfo.err = InitErrorManager(job.em, progress);

  EncodeGuarded(job);
  if (job.created && !job.failed) WriteGuarded(job, *dest, stream);
  if (job.cinfo.mem) jpeg_destroy_compress(&job.cinfo);
  if (job.failed) throw EVLJpegException();
}

}  // namespace velora
