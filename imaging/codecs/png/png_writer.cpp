// PNG writer: colour type from the parameters, palettes through the quantizer, alpha from
// the mask.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <exception>
#include <memory>
#include <vector>

#include "png_codec.h"
#include "png_private.h"
#include "proc/pixel_formats.h"
#include "quant/quantizer.h"

namespace velora {
using namespace png_detail;

namespace {

enum class TKind { Mono, Grey, GreyAlpha, Palette, Rgb, Rgba };

// Everything the guarded encoding touches lives in the caller's frame.
struct TWriteJob {
  TPngIO io;
  png_structp png = nullptr;
  png_infop info = nullptr;
  const TIOParamsVals* params = nullptr;
  const TBitmap* source = nullptr;
  const TVLMask* mask = nullptr;  // only when it carries transparency
  TVLQuantizer* quantizer = nullptr;
  TKind kind = TKind::Rgb;
  std::vector<png_color>* palette = nullptr;
  std::vector<uint8_t>* rowBuffer = nullptr;
  bool failed = false;
};

// The pixels to write: the bitmap itself or a converted copy kept in `temp`.
const TBitmap* ChooseSource(TBitmap& bitmap, int bitsPerSample, TBitmap& temp) {
  const bool mono = bitmap.PixelFormat() == TPixelFormat::pf1bit;
  if (bitsPerSample != 1) {
    if (!mono) return &bitmap;
    ExpandMonoTo24(bitmap, temp);
    return &temp;
  }
  if (mono) return &bitmap;
  TRGB c0, c1;
  if (std::unique_ptr<TBitmap> two = ReduceToTwoColours(bitmap, c0, c1)) {
    CopyBitmap(*two, temp);
    return &temp;
  }
  CopyBitmap(bitmap, temp);
  DitherToMono(temp);
  return &temp;
}

int PpmFromDpi(int dpi) { return int(std::nearbyint(dpi * 100.0 / 2.54)); }

// Palette: entry 0 is the background (and the transparent entry), then the quantizer's
// colours; pixel values are quantizer index + 1.
void BuildPalette(TWriteJob& job, int bitsPerSample, std::vector<TRGB>& quantized) {
  const int bits = std::clamp(bitsPerSample, 1, 8);
  const int colours = std::min(1 << bits, 255);
  const int entries = std::min((1 << bits) + 1, 256);
  quantized.assign(size_t(colours), TRGB{});
  job.palette->assign(size_t(entries), png_color{0, 0, 0});
  const TRGB bg = job.params->PngBackground;
  (*job.palette)[0] = png_color{bg.r, bg.g, bg.b};
}

void FillPaletteRow(TWriteJob& job, int y, uint8_t* out) {
  const auto* row = reinterpret_cast<const TRGB*>(job.source->ScanLine(y));
  const uint8_t* alpha = job.mask ? job.mask->ScanLine(y) : nullptr;
  TRGB last{};
  int lastIndex = -1;
  for (int x = 0; x < job.source->Width(); ++x) {
    if (alpha && alpha[x] != 255) {
      out[x] = 0;
      continue;
    }
    if (lastIndex < 0 || !(row[x] == last)) {
      last = row[x];
      lastIndex = std::clamp(job.quantizer->RGBIndex(last), 0, 254) + 1;
    }
    out[x] = uint8_t(lastIndex);
  }
}

void FillRgbaRow(TWriteJob& job, int y, uint8_t* out) {
  const uint8_t* row = job.source->ScanLine(y);
  const uint8_t* alpha = job.mask->ScanLine(y);
  for (int x = 0; x < job.source->Width(); ++x) {
    std::memcpy(out + 4 * x, row + 3 * x, 3);
    out[4 * x + 3] = alpha[x];
  }
}

void FillGreyRow(TWriteJob& job, int y, uint8_t* out) {
  const auto* row = reinterpret_cast<const TRGB*>(job.source->ScanLine(y));
  const uint8_t* alpha = job.mask ? job.mask->ScanLine(y) : nullptr;
  const int step = alpha ? 2 : 1;
  for (int x = 0; x < job.source->Width(); ++x) {
    out[step * x] = StoredGreyOf(row[x]);
    if (alpha) out[2 * x + 1] = alpha[x];
  }
}

void WriteHeader(TWriteJob& job) {
  png_structp png = job.png;
  png_infop info = job.info;
  const TIOParamsVals& params = *job.params;
  const TBitmap& source = *job.source;
  int colorType = PNG_COLOR_TYPE_RGB, depth = 8;
  switch (job.kind) {
    case TKind::Mono: colorType = PNG_COLOR_TYPE_GRAY, depth = 1; break;
    case TKind::Grey: colorType = PNG_COLOR_TYPE_GRAY; break;
    case TKind::GreyAlpha: colorType = PNG_COLOR_TYPE_GRAY_ALPHA; break;
    case TKind::Palette: colorType = PNG_COLOR_TYPE_PALETTE; break;
    case TKind::Rgb: break;
    case TKind::Rgba: colorType = PNG_COLOR_TYPE_RGB_ALPHA; break;
  }
  png_set_IHDR(png, info, png_uint_32(source.Width()), png_uint_32(source.Height()), depth, colorType,
               params.PngInterlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_BASE,
               PNG_FILTER_TYPE_BASE);
  if (job.kind == TKind::Palette) {
    png_set_PLTE(png, info, job.palette->data(), int(job.palette->size()));
    if (job.mask) {
      png_byte transparent = 0;
      png_set_tRNS(png, info, &transparent, 1, nullptr);
    }
  }
  png_set_pHYs(png, info, png_uint_32(std::max(0, PpmFromDpi(params.DpiX))),
               png_uint_32(std::max(0, PpmFromDpi(params.DpiY))), PNG_RESOLUTION_METER);
  switch (params.PngFilter) {
    case 0: png_set_filter(png, PNG_FILTER_TYPE_BASE, PNG_FILTER_NONE); break;
    case 1: png_set_filter(png, PNG_FILTER_TYPE_BASE, PNG_FILTER_SUB); break;
    case 2: png_set_filter(png, PNG_FILTER_TYPE_BASE, PNG_FILTER_PAETH); break;
    default: break;  // libpng's adaptive choice
  }
  png_set_compression_level(png, std::clamp(params.PngCompression, 0, 9));

  // The background: the palette's own background entry, else the colour at the image's depth.
  png_color_16 bkgd{};
  const TRGB bg = params.PngBackground;
  if (job.kind == TKind::Palette) bkgd.index = 0;
  else if (job.kind == TKind::Mono) bkgd.gray = StoredGreyOf(bg) >= 128 ? 1 : 0;
  else if (job.kind == TKind::Grey || job.kind == TKind::GreyAlpha) bkgd.gray = StoredGreyOf(bg);
  else bkgd.red = bg.r, bkgd.green = bg.g, bkgd.blue = bg.b;
  png_set_bKGD(png, info, &bkgd);

  // The profile the picture was read with, where it fits the samples written (an RGB profile
  // on RGB or palette rows, a grey one on grey rows); libpng drops one it finds unsound.
  const std::vector<uint8_t>& icc = params.IccProfile;
  const bool greyRows = job.kind == TKind::Mono || job.kind == TKind::Grey || job.kind == TKind::GreyAlpha;
  if (icc.size() > 20 && std::memcmp(icc.data() + 16, greyRows ? "GRAY" : "RGB ", 4) == 0) {
    png_set_benign_errors(png, 1);
    png_set_iCCP(png, info, "ICC profile", PNG_COMPRESSION_TYPE_BASE, icc.data(), png_uint_32(icc.size()));
  }

  if (job.kind == TKind::Rgb || job.kind == TKind::Rgba) png_set_bgr(png);
  png_write_info(png, info);
}

void WriteGuarded(TWriteJob& job) {
  if (setjmp(png_jmpbuf(job.png))) {
    job.failed = true;
    return;
  }
  png_structp png = job.png;
  TVLProgressRecord& progress = *job.io.progress;
  png_set_write_fn(png, &job.io, WriteData, FlushData);
  WriteHeader(job);
  const int passes = png_set_interlace_handling(png);
  const int height = job.source->Height();
  progress.per1 = 100.0 / (double(passes) * height);
  uint8_t* buffer = job.rowBuffer->data();
  for (int pass = 0; pass < passes; ++pass)
    for (int y = 0; y < height; ++y) {
      if (progress.Aborted()) return;
      png_bytep row = const_cast<png_bytep>(job.source->ScanLine(y));
      if (job.kind == TKind::Palette) FillPaletteRow(job, y, row = buffer);
      else if (job.kind == TKind::Rgba) FillRgbaRow(job, y, row = buffer);
      else if (job.kind == TKind::Grey || job.kind == TKind::GreyAlpha) FillGreyRow(job, y, row = buffer);
      png_write_row(png, row);
      progress.ReportRows(pass * height + y + 1);
    }
  if (!progress.Aborted()) png_write_end(png, job.info);
}

}  // namespace

void PngWriteStream(TVLStream& stream, TBitmap& bitmap, TIOParamsVals& params, TVLMask* alphaMask,
                    TVLProgressRecord& progress) {
  TBitmap temp;
  std::unique_ptr<TVLQuantizer> quantizer;
  std::vector<png_color> palette;
  std::vector<TRGB> quantized;
  std::vector<uint8_t> rowBuffer;

  TWriteJob job;
  job.io.stream = &stream;
  job.io.progress = &progress;
  job.params = &params;
  job.palette = &palette;
  job.rowBuffer = &rowBuffer;
  try {
    const TBitmap* source = ChooseSource(bitmap, params.BitsPerSample, temp);
    if (source->Empty() ||
        (source->PixelFormat() != TPixelFormat::pf1bit && source->PixelFormat() != TPixelFormat::pf24bit)) {
      progress.Abort();
      return;
    }
    job.source = source;
    const bool mono = source->PixelFormat() == TPixelFormat::pf1bit;
    // A mask of another size than the image cannot say anything about its pixels.
    const bool transparent = alphaMask && !alphaMask->Full() && alphaMask->BitsPerPixel() == 8 &&
                             alphaMask->Width() == source->Width() && alphaMask->Height() == source->Height();
    if (mono) job.kind = TKind::Mono;
    else if (params.SamplesPerPixel != 1) job.kind = transparent ? TKind::Rgba : TKind::Rgb;
    // One sample of a picture whose pixels are all grey is a grey PNG: a palette would hold
    // one entry too few for 256 levels beside the background entry.
    else if (params.BitsPerSample >= 8 && IsAllGrey(*source)) job.kind = transparent ? TKind::GreyAlpha : TKind::Grey;
    else job.kind = TKind::Palette;
    if (transparent && job.kind != TKind::Mono) job.mask = alphaMask;
    if (job.kind == TKind::Palette) {
      BuildPalette(job, params.BitsPerSample, quantized);
      quantizer = std::make_unique<TVLQuantizer>(*source, int(quantized.size()), quantized.data());
      for (size_t i = 0; i < quantized.size() && i + 1 < palette.size(); ++i)
        palette[i + 1] = png_color{quantized[i].r, quantized[i].g, quantized[i].b};
      job.quantizer = quantizer.get();
    }
    rowBuffer.resize(size_t(source->Width()) * 4);
  } catch (const std::bad_alloc&) {
    progress.Abort();
    return;
  }

  job.png = png_create_write_struct(PNG_LIBPNG_VER_STRING, &job.io, WriteError, IgnoreWarning);
  if (job.png) job.info = png_create_info_struct(job.png);
  if (!job.png || !job.info) {
    png_destroy_write_struct(job.png ? &job.png : nullptr, nullptr);
    throw EVLPngException();
  }
  WriteGuarded(job);
  png_destroy_write_struct(&job.png, &job.info);
  if (job.failed) throw EVLPngException();
}

}  // namespace velora
