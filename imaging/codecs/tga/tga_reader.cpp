// Targa reader: colour-mapped, true-colour and grey images, plain or run-length coded, with
// the version 2 footer and extension area.
#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "io/image_limits.h"
#include "base/vl_byte_reader.h"
#include "proc/pixel_formats.h"
#include "tga_codec.h"
#include "tga_private.h"

namespace velora {

using namespace tga;

namespace {

std::string TextField(const uint8_t* p, int size) {
  int n = 0;
  while (n < size && p[n] != 0) ++n;
  return std::string(reinterpret_cast<const char*>(p), size_t(n));
}

void ResetTgaFields(TIOParamsVals& params) {
  params.TgaAuthor.clear();
  params.TgaJobName.clear();
  params.TgaDate = VLDateToday();
  params.TgaKeyColor = TRGB{};
  params.TgaAspectRatio = 1.0;
  params.TgaGamma = 2.2;
}

// The version 2 footer and the extension area it points at, when the file has them.
void ReadExtension(TVLStream& stream, int64_t start, int64_t size, TIOParamsVals& params) {
  if (size < kHeaderSize + kFooterSize) return;
  uint8_t footer[kFooterSize];
  stream.SetPosition(start + size - kFooterSize);
  if (stream.Read(footer, kFooterSize) != kFooterSize || std::memcmp(footer + 8, kSignature, 18) != 0) return;
  const int64_t offset = int64_t(footer[0]) | int64_t(footer[1]) << 8 | int64_t(footer[2]) << 16 |
                         int64_t(footer[3]) << 24;
  if (offset < kHeaderSize || offset + kExtGamma + 4 > size) return;
  uint8_t ext[kExtensionSize] = {};
  stream.SetPosition(start + offset);
  stream.Read(ext, std::min<int64_t>(kExtensionSize, size - offset));
  params.TgaAuthor = TextField(ext + kExtAuthor, kTextField);
  const uint8_t* d = ext + kExtDate;
  double date;
  if (GetU16LE(d) != 0 && GetU16LE(d + 2) != 0 && GetU16LE(d + 4) != 0 &&
      EncodeDateTime(GetU16LE(d + 4), GetU16LE(d), GetU16LE(d + 2), GetU16LE(d + 6), GetU16LE(d + 8),
                     GetU16LE(d + 10), date))
    params.TgaDate = date;
  params.TgaJobName = TextField(ext + kExtJobName, kTextField);
  params.TgaKeyColor = MakeRGB(ext[kExtKeyColor + 1], ext[kExtKeyColor + 2], ext[kExtKeyColor + 3]);
  if (GetU16LE(ext + kExtAspect) != 0 && GetU16LE(ext + kExtAspect + 2) != 0)
    params.TgaAspectRatio = double(GetU16LE(ext + kExtAspect)) / GetU16LE(ext + kExtAspect + 2);
  if (GetU16LE(ext + kExtGamma) != 0 && GetU16LE(ext + kExtGamma + 2) != 0)
    params.TgaGamma = double(GetU16LE(ext + kExtGamma)) / GetU16LE(ext + kExtGamma + 2);
}

// 5-5-5 colour; each channel widened by repeating its bits, so that 31 reads 255.
TRGB Pixel16(const uint8_t* p) {
  const int v = GetU16LE(p);
  return MakeRGB(WidenChannel((v >> 10) & 31, 5), WidenChannel((v >> 5) & 31, 5), WidenChannel(v & 31, 5));
}

TRGB PixelOf(const uint8_t* p, int bytesPerPixel) {
  return bytesPerPixel == 2 ? Pixel16(p) : TRGB{p[0], p[1], p[2]};
}

// A 16-bit pixel of a grey image (types 3 and 11) is a grey byte and an alpha byte, not 5-5-5
// colour. The alpha goes where a 32-bit pixel's does.
TRGB GreyAlphaPixel(const uint8_t* p) { return MakeRGB(p[0], p[0], p[0]); }

bool IsGreyAlpha(const TTgaHeader& h) { return PixelKind(h.imageType) == ttGrey && h.depth == 16; }

// The 256-entry lookup table of 8- and 4-bit pixels: a 3-3-2 colour cube, a grey ramp, or
// black and white, overlaid by the file's colour map. Returns false on a bad map.
bool ReadColorMap(TVLByteReader& in, const TTgaHeader& h, TRGB* table, TIOParamsVals& params) {
  for (int i = 0; i < 256; ++i)
    table[i] = MakeRGB(uint8_t((i >> 5) * 32 + 28), uint8_t(((i >> 2) & 7) * 32 + 28), uint8_t((i & 3) * 64 + 60));
  params.FreeColorMap();
  if (h.colorMapType == 1) {
    const int entryBytes = h.mapEntrySize == 15 || h.mapEntrySize == 16 ? 2 : h.mapEntrySize == 24 ? 3
                           : h.mapEntrySize == 32                       ? 4
                                                                        : 0;
    if (entryBytes == 0) return false;
    std::vector<TRGB> map(h.mapLength);
    for (int i = 0; i < h.mapLength; ++i) {
      uint8_t e[4] = {};
      if (in.Read(e, entryBytes) != entryBytes) break;
      map[size_t(i)] = PixelOf(e, entryBytes);
      if (h.mapFirst + i < 256) table[h.mapFirst + i] = map[size_t(i)];
    }
    params.SetColorMap(map.data(), int(map.size()));
    params.TgaGrayscale = false;
  } else if (h.depth == 8) {
    for (int i = 0; i < 256; ++i) table[i] = MakeRGB(uint8_t(i), uint8_t(i), uint8_t(i));
    params.TgaGrayscale = true;
  } else if (h.depth == 1) {
    table[0] = TRGB{};
    table[1] = MakeRGB(255, 255, 255);
  }
  return true;
}

// Run-length packets as a stream of pixels: a packet may end in a later row than it began,
// and what runs past the last row is never asked for.
class TRlePixels {
 public:
  TRlePixels(TVLByteReader& in, int bytesPerPixel) : in_(in), bpp_(bytesPerPixel) {}
  bool Next(uint8_t* pixel) {
    if (left_ == 0) {
      uint8_t p;
      if (!in_.Get(p)) return false;
      left_ = (p & 127) + 1;
      repeat_ = (p & 128) != 0;
      if (repeat_ && in_.Read(value_, bpp_) != bpp_) return false;
    }
    --left_;
    if (repeat_) {
      std::memcpy(pixel, value_, size_t(bpp_));
      return true;
    }
    return in_.Read(pixel, bpp_) == bpp_;
  }

 private:
  TVLByteReader& in_;
  int bpp_;
  int left_ = 0;
  bool repeat_ = false;
  uint8_t value_[4] = {};
};

class TTgaDecoder {
 public:
  TTgaDecoder(TVLByteReader& in, const TTgaHeader& h, const TRGB* table)
      : in_(in), h_(h), table_(table), bpp_((h.depth + 7) / 8), rle_(in, bpp_),
        raw_(size_t(int64_t(h.width) * bpp_ + 4)), indices_(h.width) {}

  // Decodes the next file row into scan line `dest`; false when the data ran out.
  bool Row(TBitmap& bmp, int scanLine) {
    const int w = h_.width;
    if (h_.Compressed()) {
      if (h_.depth < 8) return false;  // run-length packets of sub-byte pixels do not exist
      for (int x = 0; x < w; ++x)
        if (!rle_.Next(&raw_[size_t(x) * bpp_])) return false;
    } else {
      const int64_t rowBytes = (int64_t(w) * h_.depth + 7) / 8;
      if (in_.Read(raw_.data(), rowBytes) != rowBytes) return false;
    }
    const bool mirror = (h_.descriptor & kRightToLeft) != 0;
    uint8_t* dest = bmp.ScanLine(scanLine);
    if (h_.depth <= 8) {
      for (int x = 0; x < w; ++x) {
        int v = h_.depth == 8 ? raw_[x]
                : h_.depth == 4 ? (raw_[x >> 1] >> ((x & 1) ? 0 : 4)) & 15
                                : (raw_[x >> 3] >> (7 - (x & 7))) & 1;
        indices_[mirror ? w - 1 - x : x] = uint8_t(v);
      }
      if (h_.depth == 1) {
        std::memset(dest, 0, size_t((w + 7) / 8));
        for (int x = 0; x < w; ++x)
          if (indices_[x]) dest[x >> 3] |= uint8_t(0x80 >> (x & 7));
      } else {
        auto* px = reinterpret_cast<TRGB*>(dest);
        for (int x = 0; x < w; ++x) px[x] = table_[indices_[x]];
      }
      return true;
    }
    auto* px = reinterpret_cast<TRGB*>(dest);
    const bool greyAlpha = IsGreyAlpha(h_);
    for (int x = 0; x < w; ++x) {
      const uint8_t* p = &raw_[size_t(x) * bpp_];
      px[mirror ? w - 1 - x : x] = greyAlpha ? GreyAlphaPixel(p) : PixelOf(p, bpp_);
    }
    return true;
  }

 private:
  TVLByteReader& in_;
  const TTgaHeader& h_;
  const TRGB* table_;
  int bpp_;
  TRlePixels rle_;
  std::vector<uint8_t> raw_;
  std::vector<uint8_t> indices_;
};

// The fewest bytes any file with this header can code its raster in: the plain rows, or a
// packet header and one pixel for every run of 128.
int64_t DensestRaster(const TTgaHeader& h) {
  const int64_t pixels = int64_t(h.width) * h.height;
  if (!h.Compressed()) return (int64_t(h.width) * h.depth + 7) / 8 * h.height;
  return (pixels + 127) / 128 * (1 + (h.depth + 7) / 8);
}

}  // namespace

bool IsTgaStream(TVLStream& stream) {
  const int64_t start = stream.Position();
  uint8_t b[kHeaderSize];
  const bool full = stream.Read(b, kHeaderSize) == kHeaderSize;
  stream.SetPosition(start);
  if (!full) return false;
  // A portable anymap whose third byte happens to be a valid image type.
  if (b[0] == 'P' && b[1] >= '2' && b[1] <= '6' && (b[2] == ' ' || b[2] == '#' || b[2] == '\n')) return false;
  return ImageTypeAccepted(b[2]) && DepthAccepted(b[16]);
}

void TgaReadStream(TVLStream& stream, TBitmap* bitmap, TIOParamsVals& params, bool headerOnly,
                   TVLProgressRecord& progress) {
  try {
    const int64_t start = stream.Position();
    const int64_t size = stream.Size() - start;
    ResetTgaFields(params);
    ReadExtension(stream, start, size, params);
    stream.SetPosition(start);
    TVLByteReader in(stream);
    uint8_t raw[kHeaderSize];
    if (in.Read(raw, kHeaderSize) != kHeaderSize) {
      progress.Fail("TGA: " + std::to_string(size) + " bytes, shorter than the header");
      return;
    }
    TTgaHeader h;
    h.Parse(raw);
    params.TgaXPos = h.xOrigin;
    params.TgaYPos = h.yOrigin;
    if (!ImageTypeAccepted(h.imageType) || !DepthAccepted(h.depth)) {
      progress.Fail("TGA: image type " + std::to_string(h.imageType) + " at " + std::to_string(h.depth) +
                    " bits is not read");
      return;
    }
    if (h.width == 0 || h.height == 0) {
      progress.Fail("TGA: " + std::to_string(h.width) + " x " + std::to_string(h.height) + " declared, an empty image");
      return;
    }
    std::string id(h.idLength, '\0');
    id.resize(size_t(in.Read(id.data(), h.idLength)));
    // Writers end the field with a zero byte; keeping it would grow the field on every save.
    while (!id.empty() && id.back() == '\0') id.pop_back();
    params.TgaImageId = id;
    TRGB table[256];
    if (!ReadColorMap(in, h, table, params)) {
      progress.Fail("TGA: colour map entries of " + std::to_string(h.mapEntrySize) + " bits");
      return;
    }
    params.TgaCompressed = h.Compressed();
    params.Width = h.width;
    params.Height = h.height;
    params.DpiX = DefaultDpiX();
    params.DpiY = DefaultDpiY();
    switch (h.depth) {
      case 1: params.BitsPerSample = 1, params.SamplesPerPixel = 1; break;
      case 4: params.BitsPerSample = 4, params.SamplesPerPixel = 1; break;
      case 8: params.BitsPerSample = 8, params.SamplesPerPixel = 1; break;
      case 15:
      case 16: params.BitsPerSample = 5, params.SamplesPerPixel = 3; break;
      case 24: params.BitsPerSample = 8, params.SamplesPerPixel = 3; break;
      case 32: params.BitsPerSample = 8, params.SamplesPerPixel = 4; break;
    }
    if (IsGreyAlpha(h)) {
      params.BitsPerSample = 8, params.SamplesPerPixel = 1;
      params.TgaGrayscale = true;
    }
    const TVLOpenCheck check{"TGA", h.width, h.height, [&h] { return VLBackingBytes(DensestRaster(h)); }, in.Remaining()};
    if (!VLCheckOpen(check, headerOnly, bitmap, h.depth == 1 ? TPixelFormat::pf1bit : TPixelFormat::pf24bit, progress))
      return;
    progress.per1 = 100.0 / h.height;
    const bool topDown = (h.descriptor & kTopToBottom) != 0;
    TTgaDecoder decoder(in, h, table);
    for (int r = 0; r < h.height; ++r) {
      if (!decoder.Row(*bitmap, topDown ? r : h.height - 1 - r)) break;
      progress.ReportRows(r + 1);
      if (progress.Aborted()) break;
    }
  } catch (const EVLStreamError&) {
    progress.Fail("TGA: premature end of data");
  } catch (const std::exception&) {
    progress.Fail("TGA: out of memory");
  }
}

}  // namespace velora
