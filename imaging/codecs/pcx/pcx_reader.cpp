// PCX reader: 1-bit, 4-bit (packed or four planes), 8-bit and three-plane 24-bit images,
// plain or run-length coded.
#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "io/image_limits.h"
#include "pcx_codec.h"
#include "pcx_private.h"

namespace velora {

using namespace pcx;

namespace {

// The pixel layouts the reader decodes.
enum class TLayout { Unsupported, Mono, Packed4, Indexed8, Planar4, Rgb24 };

TLayout LayoutOf(const TPcxHeader& h) {
  if (h.planes == 1 && h.bitsPerPixel == 1) return TLayout::Mono;
  if (h.planes == 1 && h.bitsPerPixel == 4) return TLayout::Packed4;
  if (h.planes == 1 && h.bitsPerPixel == 8) return TLayout::Indexed8;
  if (h.planes == 4 && h.bitsPerPixel == 1) return TLayout::Planar4;
  if (h.planes == 3 && h.bitsPerPixel == 8) return TLayout::Rgb24;
  return TLayout::Unsupported;
}

// One decoded row: planes × bytes-per-line bytes, each plane line padded with zeros to at
// least the bytes the image's width needs, so that short lines never read past the row.
struct TRowBuffer {
  int planes;
  int64_t stride;
  std::vector<uint8_t> bytes;
  TRowBuffer(int planes_, int64_t bytesPerLine, int64_t needed)
      : planes(planes_), stride(std::max(bytesPerLine, needed)), bytes(size_t(planes_ * stride)) {}
  uint8_t* Plane(int p) { return bytes.data() + p * stride; }
};

void StoreRow(TLayout layout, TRowBuffer& rb, const TRGB* palette, int width, uint8_t* dest) {
  auto* px = reinterpret_cast<TRGB*>(dest);
  const uint8_t* line = rb.Plane(0);
  switch (layout) {
    case TLayout::Mono: std::memcpy(dest, line, size_t((width + 7) / 8)); break;
    case TLayout::Packed4:
      for (int x = 0; x < width; ++x) px[x] = palette[(line[x >> 1] >> ((x & 1) ? 0 : 4)) & 15];
      break;
    case TLayout::Indexed8:
      for (int x = 0; x < width; ++x) px[x] = palette[line[x]];
      break;
    case TLayout::Planar4:
      for (int x = 0; x < width; ++x) {
        int index = 0;
        for (int p = 0; p < 4; ++p) index |= ((rb.Plane(p)[x >> 3] >> (7 - (x & 7))) & 1) << p;
        px[x] = palette[index];
      }
      break;
    case TLayout::Rgb24:
      for (int x = 0; x < width; ++x) px[x] = MakeRGB(rb.Plane(0)[x], rb.Plane(1)[x], rb.Plane(2)[x]);
      break;
    case TLayout::Unsupported: break;
  }
}

void DecodeImage(const TPcxHeader& h, const std::vector<uint8_t>& data, const TRGB* palette, TBitmap& bmp,
                 TVLProgressRecord& progress) {
  const TLayout layout = LayoutOf(h);
  if (layout == TLayout::Unsupported) return;
  const int width = bmp.Width();
  const int64_t needed = (int64_t(width) * h.bitsPerPixel + 7) / 8;
  TRowBuffer rb(h.planes, h.bytesPerLine, needed);
  TPcxRleDecoder rle(data.data(), int64_t(data.size()));
  int64_t plainPos = 0;
  for (int y = 0; y < bmp.Height(); ++y) {
    progress.ReportRows(y);
    if (progress.Aborted()) return;
    bool complete = true;
    for (int p = 0; p < h.planes && complete; ++p) {
      uint8_t* line = rb.Plane(p);
      if (h.encoding == 1) {
        complete = rle.DecodeLine(line, h.bytesPerLine);
      } else {
        int64_t n = std::min<int64_t>(h.bytesPerLine, int64_t(data.size()) - plainPos);
        if (n > 0) std::memcpy(line, data.data() + plainPos, size_t(n));
        plainPos += n;
        complete = n == h.bytesPerLine;
      }
    }
    if (!complete) return;  // short data: this row and those below stay as they were
    StoreRow(layout, rb, palette, width, bmp.ScanLine(y));
  }
}

// The fewest bytes any file with this header can code its raster in: the plain rows, or two
// bytes for every run of 63. Plane lines shorter than the width needs are padded with zeros,
// so the width, not a smaller bytes-per-line field, decides what a row takes. Combinations the
// reader leaves blank (0 bits or 0 planes among them) still size the bitmap, so they count as
// at least one plane of one bit per pixel.
int64_t DensestRaster(const TPcxHeader& h) {
  const int64_t bits = std::max<int64_t>(h.bitsPerPixel, 1);
  const int64_t line = std::max<int64_t>(h.bytesPerLine, (int64_t(h.Width()) * bits + 7) / 8);
  const int64_t raster = line * std::max<int64_t>(h.planes, 1) * h.Height();
  return h.encoding == 1 ? (raster + 62) / 63 * 2 : raster;
}

}  // namespace

void PcxReadStream(TVLStream& stream, TBitmap* bitmap, TIOParamsVals& params, bool headerOnly,
                   TVLProgressRecord& progress, int64_t size) {
  try {
    const int64_t start = stream.Position();
    const int64_t available = stream.Size() - start;
    if (size <= 0 || size > available) size = available;
    uint8_t raw[kHeaderSize];
    if (size < kHeaderSize || stream.Read(raw, kHeaderSize) != kHeaderSize) {
      progress.Fail("PCX: " + std::to_string(std::max<int64_t>(size, 0)) + " bytes, shorter than the header");
      return;
    }
    TPcxHeader h;
    h.Parse(raw);
    if (h.manufacturer != kManufacturer) {
      progress.Fail("PCX: manufacturer byte " + std::to_string(h.manufacturer) + ", not 10");
      return;
    }
    if (h.bitsPerPixel > 8 || h.encoding > 1) {
      progress.Fail("PCX: " + std::to_string(h.bitsPerPixel) + " bits per pixel with encoding " +
                    std::to_string(h.encoding));
      return;
    }
    params.Width = h.Width();
    params.Height = h.Height();
    params.DpiX = h.hDpi;
    params.DpiY = h.vDpi;
    // Several writers fill the resolution fields with the image's own width and height: that
    // is no resolution, and taking it for one would stretch the picture to square.
    const bool ownSize = h.hDpi == h.Width() && h.vDpi == h.Height();
    if (h.hDpi == 0 || h.vDpi == 0 || ownSize) {
      params.DpiX = DefaultDpiX();
      params.DpiY = DefaultDpiY();
    }
    // Both palettes as blue, green, red; entries the file does not hold stay black.
    TRGB palette256[256] = {};
    TRGB palette16[16];
    PaletteFromRGB(h.palette16, 16, palette16);
    if (h.planes == 1 && h.bitsPerPixel > 4 && size >= kHeaderSize + kPaletteSize) {
      uint8_t rgb[kPaletteSize];
      stream.SetPosition(start + size - kPaletteSize);
      stream.ReadBuffer(rgb, kPaletteSize);
      PaletteFromRGB(rgb, 256, palette256);
      stream.SetPosition(start + kHeaderSize);
    }
    params.BitsPerSample = h.bitsPerPixel;
    params.SamplesPerPixel = h.planes;
    params.PcxVersion = h.version;
    if (h.bitsPerPixel == 8) {
      params.SetColorMap(palette256, 256);
    } else if (h.bitsPerPixel == 1 && h.planes == 4) {
      params.SetColorMap(palette16, 16);
      params.BitsPerSample = 4;
      params.SamplesPerPixel = 1;
    } else {
      params.SetColorMap(palette16, std::min(1 << h.bitsPerPixel, 16));
    }
    const TVLOpenCheck check{"PCX", h.Width(), h.Height(), [&h] { return VLBackingBytes(DensestRaster(h)); }, size - kHeaderSize};
    if (!VLCheckOpen(check, headerOnly, bitmap,
                     h.planes == 1 && h.bitsPerPixel == 1 ? TPixelFormat::pf1bit : TPixelFormat::pf24bit, progress))
      return;
    std::vector<uint8_t> data(size_t(size - kHeaderSize));
    data.resize(size_t(std::max<int64_t>(stream.Read(data.data(), int64_t(data.size())), 0)));
    progress.per1 = 100.0 / h.Height();
    const TRGB* palette = h.bitsPerPixel == 8 ? palette256 : palette16;
    DecodeImage(h, data, palette, *bitmap, progress);
  } catch (const EVLStreamError&) {
    progress.Fail("PCX: premature end of data");
  } catch (const std::exception&) {
    progress.Fail("PCX: out of memory");
  }
}

void PcxReadFile(const std::string& fileName, TBitmap* bitmap, TIOParamsVals& params, TVLProgressRecord& progress) {
  // An open failure escapes to the caller like every full load's; the stream closes itself.
  TVLFileStream stream(fileName, TVLFileStream::fmOpenRead);
  PcxReadStream(stream, bitmap, params, false, progress, stream.Size());
}

}  // namespace velora
