// JPEG reader: libjpeg decodes straight into the bitmap's rows in blue-green-red order.
#include <algorithm>
#include <cstring>
#include <exception>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "io/image_limits.h"
#include "jpeg_codec.h"
#include "jpeg_private.h"

namespace velora {
using namespace jpeg_detail;

namespace {

// Everything the guarded decoding touches. It lives in the caller's frame so that a longjmp
// out of libjpeg skips no object with a destructor.
struct TReadJob {
  jpeg_decompress_struct cinfo;
  TErrorManager em;
  jpeg_progress_mgr monitor;
  TVLProgressRecord* progress = nullptr;
  TIOParamsVals* params = nullptr;
  TBitmap* bitmap = nullptr;
  std::vector<uint8_t>* rowBuffer = nullptr;  // CMYK and other converted rows
  TJpegComponents components = TJpegComponents::jcMarked;
  bool headerOnly = false;
  bool created = false;
  bool markersCollected = false;
};

// Every scan costs a pass over all blocks of its components, however few bytes it holds, so
// a large image gets fewer scans: a few dozen tiny scans over a 16000 x 16000 frame would
// otherwise keep the decoder busy for many seconds.
int ScanLimit(const jpeg_decompress_struct& d) {
  int64_t blocks = 0;
  for (int c = 0; c < d.num_components && d.comp_info; ++c)
    blocks += int64_t(d.comp_info[c].width_in_blocks) * d.comp_info[c].height_in_blocks;
  const int64_t byWork = kMaxScanBlocks / std::max<int64_t>(blocks, 1);
  return int(std::clamp<int64_t>(byWork, kMinScans, kMaxScans));
}

void ScanMonitor(j_common_ptr cinfo) {
  if (cinfo->is_decompressor) {
    auto* d = reinterpret_cast<j_decompress_ptr>(cinfo);
    if (d->input_scan_number > ScanLimit(*d)) ERREXIT(cinfo, JERR_BAD_PROGRESSION);
  }
}

// Huffman codes are at least a bit long, and every block of a component's first scan carries
// one (its DC difference), so a file holds at least an eighth of a byte for each block of its
// smallest component. A cut-off file keeps what it has, the rest padded, but a few hundred
// bytes declaring a huge frame are no cut-off image: decoding them would only pad a quarter
// of a gigabyte for seconds. Arithmetic coding has no such floor and is not checked.
int64_t BackingBytes(const jpeg_decompress_struct& d) {
  if (d.arith_code || !d.comp_info || d.num_components <= 0) return 0;
  int64_t fewest = INT64_MAX;
  for (int c = 0; c < d.num_components; ++c)
    fewest = std::min(fewest, int64_t(d.comp_info[c].width_in_blocks) * d.comp_info[c].height_in_blocks);
  return VLBackingBytes((fewest + 7) / 8);
}

int64_t AvailableBytes(const TSourceManager& src, TVLStream& stream) {
  return stream.Size() - stream.Position() + int64_t(src.pub.bytes_in_buffer);
}

int AutomaticScale(const jpeg_decompress_struct& cinfo, int wantedW, int wantedH) {
  if (wantedW <= 0 || wantedH <= 0) return 1;
  for (int n = 3; n >= 0; --n)
    if (int64_t(cinfo.image_width >> n) >= wantedW && int64_t(cinfo.image_height >> n) >= wantedH) return 1 << n;
  return 1;
}

// The Orientation of the first EXIF block among the markers read so far, as the metadata step
// will find it after the read.
int SavedExifOrientation(const jpeg_decompress_struct& cinfo) {
  for (jpeg_saved_marker_ptr m = cinfo.marker_list; m; m = m->next)
    if (m->marker == JPEG_APP0 + 1 && m->data_length >= 4 && std::memcmp(m->data, "Exif", 4) == 0)
      return JpegExifOrientation(m->data, m->data_length);
  return 0;
}

// The wanted size describes the picture as it will be shown: a photo that will be turned
// upright on its side is measured against its upright frame, so that a portrait thumbnail
// is decoded at the scale a portrait needs.
int UprightAutomaticScale(const jpeg_decompress_struct& cinfo, const TIOParamsVals& params) {
  if (params.JpegApplyOrientation && JpegOrientationLiesOnItsSide(SavedExifOrientation(cinfo)))
    return AutomaticScale(cinfo, params.Height, params.Width);
  return AutomaticScale(cinfo, params.Width, params.Height);
}

int ScaleDenominator(const jpeg_decompress_struct& cinfo, const TIOParamsVals& params) {
  switch (params.JpegScale) {
    case 0: return UprightAutomaticScale(cinfo, params);
    case 2: return 2;
    case 3: return 4;
    case 4: return 8;
    default: return 1;
  }
}

// File colour space → JpegColorSpace and the output colour space. False for colour spaces
// that cannot become 24-bit rows.
bool ChooseOutput(jpeg_decompress_struct& cinfo, TIOParamsVals& params) {
  switch (cinfo.jpeg_color_space) {
    case JCS_GRAYSCALE: params.JpegColorSpace = 1; cinfo.out_color_space = JCS_EXT_BGR; return true;
    case JCS_RGB: params.JpegColorSpace = 0; cinfo.out_color_space = JCS_EXT_BGR; return true;
    case JCS_YCbCr: params.JpegColorSpace = 2; cinfo.out_color_space = JCS_EXT_BGR; return true;
    case JCS_CMYK: params.JpegColorSpace = 3; cinfo.out_color_space = JCS_CMYK; return true;
    case JCS_YCCK: params.JpegColorSpace = 4; cinfo.out_color_space = JCS_CMYK; return true;
    default: return cinfo.num_components == 3;  // unknown three-component data goes in as it is
  }
}

void ReadResolution(const jpeg_decompress_struct& cinfo, TIOParamsVals& params) {
  if (cinfo.density_unit == kDensityDotsPerCentimeter) {
    params.DpiX = int32_t(cinfo.X_density * 2.54);
    params.DpiY = int32_t(cinfo.Y_density * 2.54);
  } else {
    params.DpiX = cinfo.X_density;
    params.DpiY = cinfo.Y_density;
  }
}

// libjpeg's CMYK rows, as stored, → blue, green, red. Plain inks are turned into Adobe's
// inverted ones first (255 − v is v xor 255 for a byte).
void CmykToBgr(const uint8_t* cmyk, uint8_t* bgr, int width, TJpegComponents form) {
  const uint8_t flip = form == TJpegComponents::jcPlainCmyk ? 0xFF : 0x00;
  for (int x = 0; x < width; ++x, cmyk += 4, bgr += 3) {
    const unsigned k = cmyk[3] ^ flip;
    bgr[0] = uint8_t((cmyk[2] ^ flip) * k / 255);
    bgr[1] = uint8_t((cmyk[1] ^ flip) * k / 255);
    bgr[2] = uint8_t((cmyk[0] ^ flip) * k / 255);
  }
}

// Reads the scan lines into the bitmap; returns the number of lines obtained.
JDIMENSION ReadLines(TReadJob& job) {
  jpeg_decompress_struct& cinfo = job.cinfo;
  TBitmap& bitmap = *job.bitmap;
  const int width = int(cinfo.output_width);
  const bool direct = cinfo.out_color_space != JCS_CMYK;
  constexpr int kBatch = 16;
  JSAMPROW rows[kBatch];
  while (cinfo.output_scanline < cinfo.output_height && !job.progress->Aborted()) {
    const int first = int(cinfo.output_scanline);
    int n = 1;
    if (direct) {
      n = std::min<int>(kBatch, int(cinfo.output_height) - first);
      for (int i = 0; i < n; ++i) rows[i] = bitmap.ScanLine(first + i);
    } else {
      rows[0] = job.rowBuffer->data();
    }
    const JDIMENSION got = jpeg_read_scanlines(&cinfo, rows, JDIMENSION(n));
    if (got == 0) break;  // only a suspending source returns nothing; ours never suspends
    if (!direct) CmykToBgr(job.rowBuffer->data(), bitmap.ScanLine(first), width, job.components);
    job.progress->ReportRows(first + int(got));
  }
  return cinfo.output_scanline;
}

void CollectMarkers(const jpeg_decompress_struct& cinfo, TVLMarkerList& markers) {
  markers.Clear();
  bool first = true;
  for (jpeg_saved_marker_ptr m = cinfo.marker_list; m; m = m->next) {
    const bool skip = first && m->marker == JPEG_APP0;
    first = false;
    if (!skip) markers.Add(m->marker, m->data, int(m->data_length));
  }
}

// The libjpeg calls of a read. After an error exit the jump lands here and the function
// returns: the abort flag is already set by the error manager.
void DecodeGuarded(TReadJob& job) {
  if (setjmp(job.em.jump)) return;
  jpeg_decompress_struct& cinfo = job.cinfo;
  jpeg_create_decompress(&cinfo);
  job.created = true;
  job.monitor.progress_monitor = ScanMonitor;
  cinfo.progress = &job.monitor;
  jpeg_save_markers(&cinfo, JPEG_COM, 0xFFFF);
  for (int m = 0; m < 16; ++m) jpeg_save_markers(&cinfo, JPEG_APP0 + m, 0xFFFF);
}

void ReadGuarded(TReadJob& job, TSourceManager& src, TVLStream& stream) {
  if (setjmp(job.em.jump)) return;
  jpeg_decompress_struct& cinfo = job.cinfo;
  TIOParamsVals& params = *job.params;
  TVLProgressRecord& progress = *job.progress;

  InstallSource(&cinfo, src, stream, progress);
  if (job.headerOnly) src.fillSize = 4096;
  jpeg_read_header(&cinfo, TRUE);
  // libjpeg guesses three components' colour space from markers and component identifiers,
  // which the container's word overrules (TIFF writers store RGB with identifiers 0, 1, 2).
  if (cinfo.num_components == 3 && job.components == TJpegComponents::jcRgb) cinfo.jpeg_color_space = JCS_RGB;
  if (cinfo.num_components == 3 && job.components == TJpegComponents::jcYCbCr) cinfo.jpeg_color_space = JCS_YCbCr;
  if (!ChooseOutput(cinfo, params)) {
    progress.Fail("JPEG: colour space " + std::to_string(int(cinfo.jpeg_color_space)) + " with " +
                  std::to_string(cinfo.num_components) + " components is not read");
    return;
  }
  cinfo.dct_method = DctMethodOf(params.JpegDCTMethod);
  ReadResolution(cinfo, params);
  params.BitsPerSample = 8;
  params.SamplesPerPixel = 3;
  params.FreeColorMap();
  params.JpegProgressive = cinfo.progressive_mode != 0;
  const int denom = ScaleDenominator(cinfo, params);
  cinfo.scale_num = 1;
  cinfo.scale_denom = unsigned(denom);
  params.JpegScaleUsed = denom;

  // The output size without starting the decoder: a progressive file would otherwise be
  // decoded whole just to learn its size.
  jpeg_calc_output_dimensions(&cinfo);
  params.Width = int32_t(cinfo.output_width);
  params.Height = int32_t(cinfo.output_height);
  // The limit goes by the frame as stored: that is what libjpeg's buffers hold.
  const TVLOpenCheck check{"JPEG", cinfo.image_width, cinfo.image_height, [&cinfo] { return BackingBytes(cinfo); },
                           AvailableBytes(src, stream)};
  if (!VLCheckOpen(check, job.headerOnly, job.bitmap, std::nullopt, progress)) return;
  // Bound libjpeg's own buffers (a progressive image keeps every coefficient) by what the
  // declared size justifies; past it libjpeg fails instead of allocating.
  cinfo.mem->max_memory_to_use = long(int64_t(cinfo.image_width) * cinfo.image_height * 12 + (16 << 20));

  jpeg_start_decompress(&cinfo);
  params.Width = int32_t(cinfo.output_width);
  params.Height = int32_t(cinfo.output_height);
  const bool cmyk = cinfo.out_color_space == JCS_CMYK;
  if (cinfo.output_components != (cmyk ? 4 : 3)) {
    progress.Fail("JPEG: " + std::to_string(cinfo.output_components) + " output components");
    return;
  }
  if (cmyk) job.rowBuffer->resize(size_t(cinfo.output_width) * 4);
  job.bitmap->Reset(params.Width, params.Height, TPixelFormat::pf24bit);
  progress.per1 = 100.0 / params.Height;

  const JDIMENSION lines = ReadLines(job);
  if (lines < cinfo.output_height) progress.Fail("JPEG: premature end of data");
  if (progress.Aborted()) return;

  // The image is complete: trouble in the trailer does not make it a failed read.
  // Saved markers live in libjpeg's image pool, which finishing releases.
  CollectMarkers(cinfo, params.JpegMarkers);
  job.markersCollected = true;
  job.em.progress = nullptr;
  jpeg_finish_decompress(&cinfo);
}

}  // namespace

void JpegReadStream(TVLStream& stream, TBitmap* bitmap, TIOParamsVals& params, bool headerOnly,
                    TVLProgressRecord& progress, TJpegComponents components) {
  params.JpegWarningCount = 0;
  params.JpegWarningCode = 0;
  int64_t start = -1;
  std::unique_ptr<TSourceManager> src;
  std::vector<uint8_t> rowBuffer;
  try {
    start = FindJpegStart(stream);
    if (start < 0) {
      progress.Fail("JPEG: no start-of-image marker");
      return;
    }
    stream.SetPosition(start);
    src = std::make_unique_for_overwrite<TSourceManager>();  // the 64 KB buffer needs no zeroing
  } catch (const std::exception&) {
    progress.Fail("JPEG: premature end of data");
    return;
  }

  TReadJob job;
  std::memset(&job.cinfo, 0, sizeof(job.cinfo));
  std::memset(&job.monitor, 0, sizeof(job.monitor));
  job.progress = &progress;
  job.params = &params;
  job.bitmap = bitmap;
  job.rowBuffer = &rowBuffer;
  job.headerOnly = headerOnly;
  job.components = components;
  job.cinfo.err = InitErrorManager(job.em, progress);

  try {
    DecodeGuarded(job);
    if (job.created && job.cinfo.mem) ReadGuarded(job, *src, stream);
    else progress.Fail("JPEG: out of memory");
  } catch (const EVLStreamError&) {
    progress.Fail("JPEG: premature end of data");
  } catch (const std::exception&) {
    progress.Fail("JPEG: out of memory");
  }

  if (job.created && job.cinfo.mem) {
    try {
      if (!job.markersCollected) CollectMarkers(job.cinfo, params.JpegMarkers);
    } catch (const std::exception&) {
      progress.Fail("JPEG: out of memory");
    }
    jpeg_destroy_decompress(&job.cinfo);
  }
  if (job.em.warnings != 0) {
    params.JpegWarningCount = job.em.warnings;
    params.JpegWarningCode = job.em.lastCode;
  }
}

}  // namespace velora
