// PCX writer: 1-bit, 4-bit and 8-bit palette images and three-plane 24-bit images, plain or
// run-length coded.
#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

#include "pcx_codec.h"
#include "pcx_private.h"
#include "proc/pixel_formats.h"
#include "quant/quantizer.h"

namespace velora {

using namespace pcx;

namespace {

// The depth written: 1, 4, 8 or 24. Depths between those go up to the next one.
int OutputDepth(const TIOParamsVals& params) {
  if (params.BitsPerSample == 1) return 1;
  const int depth = params.BitsPerSample * params.SamplesPerPixel;
  return depth <= 1 ? 1 : depth <= 4 ? 4 : depth <= 8 ? 8 : 24;
}

void SetHeaderPalette(TPcxHeader& h, const TRGB* palette, int count) {
  for (int i = 0; i < std::min(count, 16); ++i) {
    h.palette16[3 * i] = palette[i].r;
    h.palette16[3 * i + 1] = palette[i].g;
    h.palette16[3 * i + 2] = palette[i].b;
  }
}

class TLineWriter {
 public:
  TLineWriter(TVLStream& stream, bool rle, int bytesPerLine) : stream_(stream), rle_(rle), bytesPerLine_(bytesPerLine) {}
  // One plane line of `count` data bytes; false on a short write.
  bool Put(const uint8_t* line, int count) {
    out_.clear();
    if (rle_) {
      EncodeLine(line, count, out_);
    } else {
      out_.assign(line, line + count);
      out_.resize(size_t(bytesPerLine_), 0);
    }
    return stream_.Write(out_.data(), int64_t(out_.size())) == int64_t(out_.size());
  }

 private:
  TVLStream& stream_;
  bool rle_;
  int bytesPerLine_;
  std::vector<uint8_t> out_;
};

}  // namespace

void PcxWriteStream(TVLStream& stream, TBitmap& bitmap, TIOParamsVals& params, TVLProgressRecord& progress) {
  try {
    const int w = bitmap.Width(), h = bitmap.Height();
    if (bitmap.Empty() || w > 65536 || h > 65536) {
      progress.Abort();
      return;
    }
    const int depth = OutputDepth(params);
    TPcxHeader hdr;
    hdr.version = uint8_t(params.PcxVersion);
    hdr.encoding = params.PcxCompression != 0 ? 1 : 0;
    hdr.xmax = uint16_t(w - 1);
    hdr.ymax = uint16_t(h - 1);
    hdr.hDpi = uint16_t(params.DpiX);
    hdr.vDpi = uint16_t(params.DpiY);
    hdr.paletteInfo = depth == 24 ? 0 : 1;

    // The pixels to write: a 1-bit rendering, or a 24-bit one for the other depths.
    std::unique_ptr<TBitmap> holder;
    const TBitmap* source = &bitmap;
    TRGB palette[256] = {};
    std::unique_ptr<TVLQuantizer> quantizer;
    if (depth == 1) {
      palette[1] = MakeRGB(255, 255, 255);
      if (bitmap.PixelFormat() != TPixelFormat::pf1bit) {
        holder = ReduceToTwoColours(bitmap, palette[0], palette[1]);
        if (!holder) {
          palette[0] = TRGB{};
          palette[1] = MakeRGB(255, 255, 255);
          holder = CloneBitmap(bitmap);
          DitherToMono(*holder);
        }
        source = holder.get();
      }
      hdr.bitsPerPixel = 1;
      hdr.planes = 1;
    } else {
      if (bitmap.PixelFormat() == TPixelFormat::pf1bit) {
        holder = std::make_unique<TBitmap>();
        ExpandMonoTo24(bitmap, *holder);
        source = holder.get();
      }
      if (depth != 24) quantizer = std::make_unique<TVLQuantizer>(*source, depth == 4 ? 16 : 256, palette);
      hdr.bitsPerPixel = depth == 24 ? 8 : uint8_t(depth);
      hdr.planes = depth == 24 ? 3 : 1;
    }
    if (depth <= 4) SetHeaderPalette(hdr, palette, 1 << depth);
    const int dataBytes = depth == 1 ? (w + 7) / 8 : depth == 4 ? (w + 1) / 2 : w;
    hdr.bytesPerLine = uint16_t((dataBytes + 1) & ~1);

    uint8_t raw[kHeaderSize];
    hdr.Serialize(raw);
    stream.WriteBuffer(raw, kHeaderSize);

    TLineWriter writer(stream, hdr.encoding == 1, hdr.bytesPerLine);
    std::vector<uint8_t> line(size_t(hdr.bytesPerLine) * 3, 0);
    progress.per1 = 100.0 / h;
    for (int y = 0; y < h; ++y) {
      progress.ReportRows(y);
      if (progress.Aborted()) return;
      const uint8_t* row = source->ScanLine(y);
      const auto* px = reinterpret_cast<const TRGB*>(row);
      bool ok = true;
      switch (depth) {
        case 1: ok = writer.Put(row, dataBytes); break;
        case 4:
          std::fill(line.begin(), line.end(), 0);
          for (int x = 0; x < w; ++x) line[x >> 1] |= uint8_t((quantizer->RGBIndex(px[x]) & 15) << ((x & 1) ? 0 : 4));
          ok = writer.Put(line.data(), dataBytes);
          break;
        case 8:
          for (int x = 0; x < w; ++x) line[x] = uint8_t(quantizer->RGBIndex(px[x]));
          ok = writer.Put(line.data(), dataBytes);
          break;
        default:
          for (int plane = 0; plane < 3 && ok; ++plane) {
            for (int x = 0; x < w; ++x) line[x] = plane == 0 ? px[x].r : plane == 1 ? px[x].g : px[x].b;
            ok = writer.Put(line.data(), dataBytes);
          }
      }
      if (!ok) {
        progress.Abort();
        return;
      }
    }
    if (depth == 8) {
      uint8_t tail[1 + kPaletteSize];
      tail[0] = kPaletteMarker;
      for (int i = 0; i < 256; ++i) {
        tail[1 + 3 * i] = palette[i].r;
        tail[2 + 3 * i] = palette[i].g;
        tail[3 + 3 * i] = palette[i].b;
      }
      stream.WriteBuffer(tail, sizeof tail);
    }
  } catch (const std::exception&) {
    progress.Abort();
  }
}

}  // namespace velora
