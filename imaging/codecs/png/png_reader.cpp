// PNG reader: libpng turns every colour type and depth into 1-bit or blue-green-red rows.
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <string>
#include <vector>

#include "io/colour_profile.h"
#include "io/image_limits.h"
#include "png_codec.h"
#include "png_private.h"

namespace velora {
using namespace png_detail;

namespace {

// Everything the guarded decoding touches lives here, in the caller's frame, so that a
// longjmp out of libpng skips no object with a destructor.
constexpr png_alloc_size_t kMaxChunkBytes = 8u << 20;

struct TReadJob {
  TPngIO io;
  png_structp png = nullptr;
  png_infop info = nullptr;
  TIOParamsVals* params = nullptr;
  TBitmap* bitmap = nullptr;
  TVLMask* mask = nullptr;
  bool headerOnly = false;
  std::vector<uint8_t>* rowBuffer = nullptr;    // one decoded row with alpha
  std::vector<uint8_t>* alphaBuffer = nullptr;  // alpha kept across interlace passes
  // Filled from the header.
  png_uint_32 width = 0, height = 0;
  int bitDepth = 0, colorType = 0, interlace = 0;
  bool rawMono = false;     // 1-bit rows straight into a 1-bit bitmap
  TRGB background{};        // what transparency is composited against
  bool compositeAfter = false;  // interlaced alpha without a mask: composite at the end
  png_alloc_size_t allocLimit = kMaxChunkBytes;  // largest single allocation libpng may make
};

bool HasTrns(const TReadJob& job) { return png_get_valid(job.png, job.info, PNG_INFO_tRNS) != 0; }

// 1-bit files stay 1-bit when their two values are black and white: grey, or a palette of
// exactly black, white. Any other 1-bit palette (or transparency) needs its colours.
bool IsRawMono(const TReadJob& job) {
  if (job.bitDepth != 1 || HasTrns(job)) return false;
  if (job.colorType == PNG_COLOR_TYPE_GRAY) return true;
  if (job.colorType != PNG_COLOR_TYPE_PALETTE) return false;
  png_colorp palette = nullptr;
  int count = 0;
  if (!png_get_PLTE(job.png, job.info, &palette, &count) || count != 2) return false;
  return palette[0].red == 0 && palette[0].green == 0 && palette[0].blue == 0 && palette[1].red == 255 &&
         palette[1].green == 255 && palette[1].blue == 255;
}

int SamplesOf(int colorType) {
  switch (colorType) {
    case PNG_COLOR_TYPE_GRAY_ALPHA: return 2;
    case PNG_COLOR_TYPE_RGB: return 3;
    case PNG_COLOR_TYPE_RGB_ALPHA: return 4;
    default: return 1;
  }
}

int DpiFromPpm(png_uint_32 ppm, int fallback) {
  const int dpi = int(std::nearbyint(double(ppm) / 100.0 * 2.54));
  return dpi > 0 ? dpi : fallback;
}

// The colour profile: iCCP as stored; an sRGB chunk says sRGB (no profile needed); else gAMA,
// with cHRM when present, describes one.
void ReadProfile(TReadJob& job) {
  png_charp name = nullptr;
  int compression = 0;
  png_bytep profile = nullptr;
  png_uint_32 length = 0;
  std::vector<uint8_t>& icc = job.params->IccProfile;
  if (png_get_iCCP(job.png, job.info, &name, &compression, &profile, &length) && profile) {
    icc.assign(profile, profile + length);
    return;
  }
  double gamma = 0, c[8] = {};
  if (png_get_valid(job.png, job.info, PNG_INFO_sRGB) || !png_get_gAMA(job.png, job.info, &gamma)) return;
  const bool chrm = png_get_cHRM(job.png, job.info, &c[0], &c[1], &c[2], &c[3], &c[4], &c[5], &c[6], &c[7]) != 0;
  icc = VLProfileFromGamma(gamma, chrm ? c : nullptr);
}

void ReadParams(TReadJob& job) {
  TIOParamsVals& params = *job.params;
  params.Width = int32_t(job.width);
  params.Height = int32_t(job.height);
  params.BitsPerSample = job.bitDepth;
  params.SamplesPerPixel = SamplesOf(job.colorType);
  png_uint_32 ppmX = 0, ppmY = 0;
  int unit = 0;
  if (!png_get_pHYs(job.png, job.info, &ppmX, &ppmY, &unit) || unit != PNG_RESOLUTION_METER) ppmX = ppmY = 0;
  params.DpiX = DpiFromPpm(ppmX, DefaultDpiX());
  params.DpiY = DpiFromPpm(ppmY, DefaultDpiY());
  params.FreeColorMap();
  png_colorp palette = nullptr;
  int count = 0;
  if (job.colorType == PNG_COLOR_TYPE_PALETTE && png_get_PLTE(job.png, job.info, &palette, &count) && count > 0) {
    std::vector<TRGB> map(static_cast<size_t>(count));
    for (int i = 0; i < count; ++i) map[size_t(i)] = MakeRGB(palette[i].red, palette[i].green, palette[i].blue);
    params.SetColorMap(map.data(), count);
  }
  params.PngInterlaced = job.interlace != PNG_INTERLACE_NONE;
  ReadProfile(job);
}

// The file's bKGD as an 8-bit colour, when it has one.
bool FileBackground(const TReadJob& job, TRGB& colour) {
  png_color_16p bkgd = nullptr;
  if (!png_get_bKGD(job.png, job.info, &bkgd) || !bkgd) return false;
  if (job.colorType == PNG_COLOR_TYPE_PALETTE) {
    png_colorp palette = nullptr;
    int count = 0;
    if (!png_get_PLTE(job.png, job.info, &palette, &count) || bkgd->index >= count) return false;
    colour = MakeRGB(palette[bkgd->index].red, palette[bkgd->index].green, palette[bkgd->index].blue);
    return true;
  }
  const int maxValue = (1 << job.bitDepth) - 1;
  auto scale = [&](unsigned v) {
    v = std::min<unsigned>(v, unsigned(maxValue));
    return uint8_t(job.bitDepth == 16 ? v >> 8 : v * 255u / unsigned(maxValue));
  };
  if (job.colorType & PNG_COLOR_MASK_COLOR)
    colour = MakeRGB(scale(bkgd->red), scale(bkgd->green), scale(bkgd->blue));
  else
    colour = MakeRGB(scale(bkgd->gray), scale(bkgd->gray), scale(bkgd->gray));
  return true;
}

void SetTransformations(TReadJob& job) {
  png_structp png = job.png;
  if (job.rawMono) return;  // 1-bit rows as they are in the file
  png_set_expand(png);      // palette → RGB, grey < 8 bits → 8 bits, tRNS → alpha
  if (job.bitDepth == 16) png_set_strip_16(png);
  if (!(job.colorType & PNG_COLOR_MASK_COLOR)) png_set_gray_to_rgb(png);
  png_set_bgr(png);
}

// Blue, green, red over the background by the row's alpha.
void Composite(uint8_t* bgr, const uint8_t* alpha, int width, TRGB bg) {
  for (int x = 0; x < width; ++x, bgr += 3) {
    const unsigned a = alpha[x];
    if (a == 255) continue;
    bgr[0] = uint8_t((bgr[0] * a + bg.b * (255 - a) + 127) / 255);
    bgr[1] = uint8_t((bgr[1] * a + bg.g * (255 - a) + 127) / 255);
    bgr[2] = uint8_t((bgr[2] * a + bg.r * (255 - a) + 127) / 255);
  }
}

uint8_t* AlphaRow(TReadJob& job, int y, bool keepAll) {
  if (job.mask) return job.mask->ScanLine(y);
  return job.alphaBuffer->data() + (keepAll ? size_t(y) * job.width : 0);
}

// Rows with alpha: the colour goes into the scan line, the alpha into the mask (or a buffer
// for compositing). Interlaced passes update a row in place, so the row is first gathered
// back from where its earlier passes went.
void ReadAlphaRow(TReadJob& job, int y, bool interlaced) {
  const int width = int(job.width);
  uint8_t* line = job.bitmap->ScanLine(y);
  uint8_t* alpha = AlphaRow(job, y, interlaced);
  uint8_t* buf = job.rowBuffer->data();
  if (interlaced)
    for (int x = 0; x < width; ++x) {
      std::memcpy(buf + 4 * x, line + 3 * x, 3);
      buf[4 * x + 3] = alpha[x];
    }
  png_read_row(job.png, buf, nullptr);
  for (int x = 0; x < width; ++x) {
    std::memcpy(line + 3 * x, buf + 4 * x, 3);
    alpha[x] = buf[4 * x + 3];
  }
  if (!job.mask && !interlaced) Composite(line, alpha, width, job.background);
}

void ReadRows(TReadJob& job, int passes, bool withAlpha) {
  TVLProgressRecord& progress = *job.io.progress;
  const int height = int(job.height);
  const bool interlaced = passes > 1;
  progress.per1 = 100.0 / (double(height) * passes);
  for (int pass = 0; pass < passes; ++pass)
    for (int y = 0; y < height; ++y) {
      if (progress.Aborted()) return;
      if (withAlpha) ReadAlphaRow(job, y, interlaced);
      else png_read_row(job.png, job.bitmap->ScanLine(y), nullptr);
      progress.ReportRows(pass * height + y + 1);
    }
}

// Composites interlaced rows once all their passes are in (or the read stopped).
void CompositeAll(TReadJob& job) {
  for (int y = 0; y < int(job.height); ++y)
    Composite(job.bitmap->ScanLine(y), AlphaRow(job, y, true), int(job.width), job.background);
}

// libpng allocates through here: one block beyond what the header justifies fails (libpng
// then skips the chunk or reports an error) instead of reserving gigabytes for a short file.
png_voidp LimitedMalloc(png_structp png, png_alloc_size_t size) {
  const auto* job = static_cast<const TReadJob*>(png_get_mem_ptr(png));
  if (job && size > job->allocLimit) return nullptr;
  return std::malloc(size);
}

void LimitedFree(png_structp, png_voidp p) { std::free(p); }

// Deflate codes at most 258 bytes in two bits, a ratio of 1032 to 1, so the filtered rows of
// an image need at least a 1032nd of their size in compressed data. A file with fewer bytes
// left after the header is no image of the declared size, whole or cut off: it is refused
// before a bitmap of that size is made (a 248-byte file declaring 16000 x 16000 pixels would
// otherwise cost a second and three quarters of a gigabyte).
int64_t BackingBytes(const TReadJob& job) {
  constexpr double kDeflateMaxRatio = 1032;
  const double bitsPerPixel = double(job.bitDepth) * SamplesOf(job.colorType);
  const double rows = double(job.height) * (1 + std::ceil(double(job.width) * bitsPerPixel / 8));
  return int64_t(std::ceil(rows / kDeflateMaxRatio));
}

void ReadGuarded(TReadJob& job) {
  if (setjmp(png_jmpbuf(job.png))) return;  // the error callback has set the abort flag
  png_structp png = job.png;
  TVLProgressRecord& progress = *job.io.progress;

  png_set_read_fn(png, &job.io, ReadData);
  // Ancillary chunks are read whole into memory: a declared length of gigabytes in a file of
  // a few hundred bytes must not be allocated. Image data is streamed and not affected.
  png_set_chunk_malloc_max(png, kMaxChunkBytes);
  png_set_chunk_cache_max(png, 1000);
  png_read_info(png, job.info);
  png_get_IHDR(png, job.info, &job.width, &job.height, &job.bitDepth, &job.colorType, &job.interlace, nullptr,
               nullptr);
  // libpng's own row buffers grow with the width: 8 bytes a pixel at most, a few of them.
  job.allocLimit = kMaxChunkBytes + png_alloc_size_t(job.width) * 64;
  job.rawMono = IsRawMono(job);
  ReadParams(job);
  if (!job.mask) {
    if (FileBackground(job, job.background)) job.params->PngBackground = job.background;
    else job.background = job.params->PngBackground;
  }
  TVLStream& stream = *job.io.stream;
  const TVLOpenCheck check{"PNG", job.width, job.height, [&job] { return BackingBytes(job); },
                           stream.Size() - stream.Position()};
  if (!VLCheckOpen(check, job.headerOnly, job.bitmap, std::nullopt, progress)) return;
  SetTransformations(job);
  const int passes = png_set_interlace_handling(png);
  png_read_update_info(png, job.info);
  const int channels = png_get_channels(png, job.info);
  const size_t rowBytes = png_get_rowbytes(png, job.info);
  const bool withAlpha = !job.rawMono && channels == 4;
  if (!job.rawMono && channels != 3 && channels != 4) {
    progress.Fail("PNG: " + std::to_string(channels) + " channels after the transformations");
    return;
  }

  job.bitmap->Reset(int(job.width), int(job.height), job.rawMono ? TPixelFormat::pf1bit : TPixelFormat::pf24bit);
  if (!withAlpha && rowBytes > size_t(job.bitmap->RowLen())) {
    progress.Fail("PNG: rows of " + std::to_string(rowBytes) + " bytes do not fit the bitmap");
    return;
  }
  if (job.mask) {
    job.mask->Allocate(int(job.width), int(job.height), 8);
    job.mask->Fill(255);
  }
  if (withAlpha) {
    job.rowBuffer->resize(rowBytes);
    if (!job.mask) job.alphaBuffer->assign(passes > 1 ? size_t(job.width) * job.height : job.width, 255);
    job.compositeAfter = !job.mask && passes > 1;
  }

  ReadRows(job, passes, withAlpha);
  if (!progress.Aborted()) png_read_end(png, nullptr);
}

}  // namespace

void PngReadStream(TVLStream& stream, TBitmap* bitmap, TIOParamsVals& params, TVLMask* alphaMask, bool headerOnly,
                   TVLProgressRecord& progress) {
  std::vector<uint8_t> rowBuffer, alphaBuffer;
  TReadJob job;
  job.io.stream = &stream;
  job.io.progress = &progress;
  job.params = &params;
  job.bitmap = bitmap;
  job.mask = headerOnly ? nullptr : alphaMask;
  job.headerOnly = headerOnly;
  job.rowBuffer = &rowBuffer;
  job.alphaBuffer = &alphaBuffer;

  job.png = png_create_read_struct_2(PNG_LIBPNG_VER_STRING, &job.io, ReadError, IgnoreWarning, &job, LimitedMalloc,
                                     LimitedFree);
  if (job.png) job.info = png_create_info_struct(job.png);
  if (!job.png || !job.info) {
    png_destroy_read_struct(job.png ? &job.png : nullptr, nullptr, nullptr);
    progress.Fail("PNG: out of memory");
    return;
  }
  try {
    ReadGuarded(job);
  } catch (const std::exception&) {
    progress.Fail("PNG: out of memory");  // a bitmap or buffer that cannot be allocated
  }
  if (job.compositeAfter) CompositeAll(job);
  if (job.mask && job.mask->Width() == int(job.width) && job.mask->Height() == int(job.height) && !headerOnly)
    job.mask->UpdateBoxFromPixels();
  png_destroy_read_struct(&job.png, &job.info, nullptr);
}

}  // namespace velora
