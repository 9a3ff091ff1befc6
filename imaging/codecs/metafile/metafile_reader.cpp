// The entry points of the metafile codec: which player a file needs, the header-only read,
// the drawing onto the target's pixels, and the helpers both players share.
#include <cairo.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "codecs/bmp/bmp_codec.h"
#include "io/io_params.h"
#include "metafile_codec.h"
#include "metafile_player.h"
#include "proc/pixel_formats.h"

namespace velora {

using namespace metafile;

namespace {

constexpr uint32_t kEmfHeaderType = 1;

bool LooksEnhanced(std::span<const uint8_t> bytes) {
  return bytes.size() >= 8 && Get<uint32_t>(bytes.data()) == kEmfHeaderType;
}

// The target's rows into a cairo image and back: cairo works on 32-bit pixels.
void CopyToSurface(const TBitmap& target, cairo_surface_t* surface) {
  cairo_surface_flush(surface);
  uint8_t* data = cairo_image_surface_get_data(surface);
  const int stride = cairo_image_surface_get_stride(surface);
  for (int y = 0; y < target.Height(); ++y) {
    const uint8_t* src = target.ScanLine(y);
    uint8_t* dst = data + int64_t(y) * stride;
    for (int x = 0; x < target.Width(); ++x, src += 3, dst += 4)
      dst[0] = src[0], dst[1] = src[1], dst[2] = src[2], dst[3] = 255;
  }
  cairo_surface_mark_dirty(surface);
}

void CopyFromSurface(cairo_surface_t* surface, TBitmap& target) {
  cairo_surface_flush(surface);
  const uint8_t* data = cairo_image_surface_get_data(surface);
  const int stride = cairo_image_surface_get_stride(surface);
  for (int y = 0; y < target.Height(); ++y) {
    const uint8_t* src = data + int64_t(y) * stride;
    uint8_t* dst = target.ScanLine(y);
    for (int x = 0; x < target.Width(); ++x, src += 4, dst += 3) dst[0] = src[0], dst[1] = src[1], dst[2] = src[2];
  }
}

}  // namespace

bool MetafileProbe(std::span<const uint8_t> bytes, TVLMetafileFacts& facts, TVLProgressRecord& progress) {
  return LooksEnhanced(bytes) ? EmfProbe(bytes, facts, progress) : WmfProbe(bytes, facts, progress);
}

bool MetafileHasEmfPlus(std::span<const uint8_t> bytes) { return LooksEnhanced(bytes) && EmfHasPlus(bytes); }

void MetafileDraw(std::span<const uint8_t> bytes, TBitmap& target, int width, int height, TVLProgressRecord& progress) {
  if (target.Empty() || target.PixelFormat() != TPixelFormat::pf24bit) return;
  cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_RGB24, target.Width(), target.Height());
  if (cairo_surface_status(surface) != CAIRO_STATUS_SUCCESS) {
    cairo_surface_destroy(surface);
    return progress.Fail("metafile: no drawing surface of " + std::to_string(target.Width()) + " x " +
                         std::to_string(target.Height()));
  }
  CopyToSurface(target, surface);
  progress.Report(0);
  if (LooksEnhanced(bytes))
    EmfPlay(bytes, surface, width, height, progress);
  else
    WmfPlay(bytes, surface, width, height, progress);
  CopyFromSurface(surface, target);
  cairo_surface_destroy(surface);
  if (!progress.Aborted()) progress.Report(100);
}

void MetafileReadStream(const TVLReadJob& job) {
  const int64_t size = job.size > 0 ? job.size : job.stream.Size() - job.stream.Position();
  if (size > kMaxMetafileBytes)
    return job.progress.Fail("metafile: " + std::to_string(size) + " bytes, beyond the limit of " +
                             std::to_string(kMaxMetafileBytes));
  std::vector<uint8_t> bytes(size_t(std::max<int64_t>(size, 0)));
  bytes.resize(size_t(job.stream.Read(bytes.data(), int64_t(bytes.size()))));
  TVLMetafileFacts facts;
  if (!MetafileProbe(bytes, facts, job.progress)) return;
  int width = 0, height = 0;
  if (!VLMetafileImportSize(facts, -1, -1, width, height)) return job.progress.Fail("metafile: empty picture");
  job.params.Width = VLMetafileTargetSide(width);
  job.params.Height = VLMetafileTargetSide(height);
  job.params.BitsPerSample = 8;
  job.params.SamplesPerPixel = 3;
  job.params.DpiX = DefaultDpiX();
  job.params.DpiY = DefaultDpiY();
}

// ---- shared helpers --------------------------------------------------------------------------

namespace metafile {

namespace {

void SurfaceDeleter(cairo_surface_t* s) { cairo_surface_destroy(s); }

// The bytes from the information header's start to the pixel bits of a packed DIB: the
// header, the colour masks of a 40-byte header with bit fields, and the colour table.
size_t PackedBitsOffset(const uint8_t* dib, size_t size) {
  if (size < 12) return size;
  const uint32_t headerSize = Get<uint32_t>(dib);
  if (headerSize == 12) {
    const uint16_t bits = Get<uint16_t>(dib + 10);
    return 12 + (bits <= 8 ? (size_t(1) << bits) * 3 : 0);
  }
  if (size < 40 || headerSize < 40 || headerSize > size) return size;
  const uint16_t bits = Get<uint16_t>(dib + 14);
  const uint32_t compression = Get<uint32_t>(dib + 16);
  const uint32_t used = Get<uint32_t>(dib + 32);
  const size_t colours = used ? std::min<size_t>(used, 256) : bits <= 8 ? size_t(1) << bits : 0;
  const size_t masks = headerSize == 40 && compression == 3 ? 12 : headerSize == 40 && compression == 6 ? 16 : 0;
  return headerSize + masks + colours * 4;
}

}  // namespace

int32_t DibHeight(const uint8_t* bmi, size_t bmiSize) {
  if (bmiSize < 12) return 0;
  if (Get<uint32_t>(bmi) == 12) return Get<int16_t>(bmi + 6);
  return bmiSize >= 40 ? Get<int32_t>(bmi + 8) : 0;
}

TSurfacePtr DecodeDib(const uint8_t* bmi, size_t bmiSize, const uint8_t* bits, size_t bitsSize) {
  if (!bmi || bmiSize < 12 || bmiSize > size_t(kMaxMetafileBytes) || bitsSize > size_t(kMaxMetafileBytes))
    return nullptr;
  const bool core = Get<uint32_t>(bmi) == 12;
  const int64_t w = core ? Get<uint16_t>(bmi + 4) : bmiSize >= 40 ? Get<int32_t>(bmi + 4) : 0;
  const int64_t h = DibHeight(bmi, bmiSize);
  if (w <= 0 || h == 0 || w * std::abs(h) > kMaxDibPixels) return nullptr;
  // A BMP file of the DIB for our own reader: the 14-byte file header in front.
  std::vector<uint8_t> file(14 + bmiSize + bitsSize);
  file[0] = 'B', file[1] = 'M';
  const uint32_t fileSize = uint32_t(file.size()), offBits = uint32_t(14 + bmiSize);
  std::memcpy(&file[2], &fileSize, 4);
  std::memcpy(&file[10], &offBits, 4);
  std::memcpy(&file[14], bmi, bmiSize);
  if (bitsSize) std::memcpy(&file[14 + bmiSize], bits, bitsSize);
  TVLBufferStream stream(file.data(), int64_t(file.size()));
  TBitmap bitmap;
  TIOParamsVals params;
  TVLLocalProgress progress;
  try {
    BmpReadStream(stream, &bitmap, int64_t(file.size()), false, progress.record, params);
  } catch (...) {
    return nullptr;
  }
  // A short bitmap keeps what it has, like the BMP reader's own images; a refused one draws nothing.
  if (bitmap.Empty()) return nullptr;
  if (bitmap.PixelFormat() != TPixelFormat::pf24bit) ConvertTo24Bit(bitmap);
  if (bitmap.PixelFormat() != TPixelFormat::pf24bit) return nullptr;
  cairo_surface_t* s = cairo_image_surface_create(CAIRO_FORMAT_RGB24, bitmap.Width(), bitmap.Height());
  if (cairo_surface_status(s) != CAIRO_STATUS_SUCCESS) {
    cairo_surface_destroy(s);
    return nullptr;
  }
  CopyToSurface(bitmap, s);
  return TSurfacePtr(s, SurfaceDeleter);
}

TSurfacePtr WithAlpha(cairo_surface_t* image, const std::function<uint8_t(int, int, uint32_t)>& alphaOf,
                      bool multiply) {
  const int w = cairo_image_surface_get_width(image), h = cairo_image_surface_get_height(image);
  cairo_surface_t* out = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, w, h);
  if (cairo_surface_status(out) != CAIRO_STATUS_SUCCESS) {
    cairo_surface_destroy(out);
    return nullptr;
  }
  cairo_surface_flush(image);
  cairo_surface_flush(out);
  const uint8_t* from = cairo_image_surface_get_data(image);
  uint8_t* to = cairo_image_surface_get_data(out);
  const int fromStride = cairo_image_surface_get_stride(image), toStride = cairo_image_surface_get_stride(out);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      const uint32_t px = Get<uint32_t>(from + int64_t(y) * fromStride + 4 * x) & 0xFFFFFF;
      const uint32_t a = alphaOf(x, y, px);
      const auto held = [&](uint32_t c) { return multiply ? (c * a + 127) / 255 : std::min(c, a); };
      const uint32_t r = held(px >> 16 & 0xFF), g = held(px >> 8 & 0xFF), b = held(px & 0xFF);
      const uint32_t argb = a << 24 | r << 16 | g << 8 | b;
      std::memcpy(to + int64_t(y) * toStride + 4 * x, &argb, 4);
    }
  cairo_surface_mark_dirty(out);
  return TSurfacePtr(out, SurfaceDeleter);
}

TSurfacePtr DibAlpha(cairo_surface_t* image, const uint8_t* bmi, size_t bmiSize, const uint8_t* bits, size_t bitsSize) {
  constexpr uint32_t kRgb = 0, kBitFields = 3;
  if (!image || bmiSize < 40 || Get<uint32_t>(bmi) < 40 || Get<uint16_t>(bmi + 14) != 32) return nullptr;
  const uint32_t compression = Get<uint32_t>(bmi + 16);
  if (compression != kRgb && compression != kBitFields) return nullptr;
  const int w = cairo_image_surface_get_width(image), h = cairo_image_surface_get_height(image);
  if (bitsSize / 4 / size_t(w) < size_t(h)) return nullptr;
  // Rows are stored bottom first unless the height is negative.
  const bool bottomUp = DibHeight(bmi, bmiSize) > 0;
  return WithAlpha(image, [&](int x, int y, uint32_t) {
    const size_t row = size_t(bottomUp ? h - 1 - y : y);
    return bits[(row * size_t(w) + size_t(x)) * 4 + 3];
  });
}

TSurfacePtr DecodePackedDib(const uint8_t* dib, size_t size) {
  const size_t offset = std::min(PackedBitsOffset(dib, size), size);
  return DecodeDib(dib, offset, dib + offset, size - offset);
}

TDibBand DecodeDibBand(const uint8_t* bmi, size_t bmiSize, const uint8_t* bits, size_t bitsSize, uint32_t startScan,
                       uint32_t scans, double srcY, double rows) {
  const int32_t height = DibHeight(bmi, bmiSize);
  if (scans == 0 || height == 0) return {};
  // The header made the band's own: its height is the band's, the row order kept. The
  // bits then need only back the band, as the record's do.
  const int64_t bandRows = std::min<int64_t>(scans, std::abs(int64_t(height)));
  std::vector<uint8_t> header(bmi, bmi + bmiSize);
  if (Get<uint32_t>(bmi) == 12) {
    const int16_t h = int16_t(height > 0 ? bandRows : -bandRows);
    std::memcpy(&header[6], &h, 2);
  } else {
    const int32_t h = int32_t(height > 0 ? bandRows : -bandRows);
    std::memcpy(&header[8], &h, 4);
  }
  TDibBand band{DecodeDib(header.data(), header.size(), bits, bitsSize)};
  if (!band.image) return band;
  const double inBand = srcY - double(startScan);
  band.top = height > 0 ? cairo_image_surface_get_height(band.image.get()) - inBand - rows : inBand;
  return band;
}

TDibBand DecodePackedDibBand(const uint8_t* dib, size_t size, uint32_t startScan, uint32_t scans, double srcY,
                             double rows) {
  const size_t offset = std::min(PackedBitsOffset(dib, size), size);
  return DecodeDibBand(dib, offset, dib + offset, size - offset, startScan, scans, srcY, rows);
}

void AppendUtf8(std::string& out, uint32_t c) {
  if (c < 0x80) {
    out += char(c);
  } else if (c < 0x800) {
    out += char(0xC0 | c >> 6), out += char(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += char(0xE0 | c >> 12), out += char(0x80 | (c >> 6 & 0x3F)), out += char(0x80 | (c & 0x3F));
  } else {
    out += char(0xF0 | c >> 18), out += char(0x80 | (c >> 12 & 0x3F)), out += char(0x80 | (c >> 6 & 0x3F));
    out += char(0x80 | (c & 0x3F));
  }
}

std::string Utf16ToUtf8(const uint8_t* p, size_t units) {
  std::string out;
  for (size_t i = 0; i < units; ++i) {
    uint32_t c = Get<uint16_t>(p + 2 * i);
    if (c == 0) break;
    if (c >= 0xD800 && c < 0xDC00 && i + 1 < units) {
      const uint32_t low = Get<uint16_t>(p + 2 * (i + 1));
      if (low >= 0xDC00 && low < 0xE000) {
        AppendUtf8(out, 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00));
        ++i;
        continue;
      }
    }
    AppendUtf8(out, c >= 0xD800 && c < 0xE000 ? 0xFFFD : c);
  }
  return out;
}

std::string AnsiToUtf8(const uint8_t* p, size_t bytes) {
  std::string out;
  for (size_t i = 0; i < bytes && p[i]; ++i) AppendUtf8(out, p[i]);
  return out;
}

}  // namespace metafile
}  // namespace velora
