// Targa writer: 1-bit grey, 4- and 8-bit colour-mapped or grey, and 24-bit true-colour
// images, rows top to bottom, with the version 2 extension area and footer.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <vector>

#include "base/vl_byte_reader.h"
#include "proc/pixel_formats.h"
#include "quant/quantizer.h"
#include "tga_codec.h"
#include "tga_private.h"

namespace velora {

using namespace tga;

namespace {

int OutputDepth(const TIOParamsVals& params) {
  if (params.SamplesPerPixel != 1) return 24;
  switch (params.BitsPerSample) {
    case 1: return 1;
    case 4: return 4;
    case 8: return 8;
    default: return 24;
  }
}

// Appends one row of width pixels of bpp bytes, run-length coded: runs of 2 to 128 equal
// pixels, raw packets of up to 128 pixels ending before the next pair of equal ones.
void EncodeRow(const uint8_t* px, int width, int bpp, std::vector<uint8_t>& out) {
  auto same = [&](int a, int b) { return std::memcmp(px + a * bpp, px + b * bpp, size_t(bpp)) == 0; };
  for (int x = 0; x < width;) {
    int run = 1;
    while (x + run < width && run < 128 && same(x, x + run)) ++run;
    if (run >= 2) {
      out.push_back(uint8_t(0x80 | (run - 1)));
      out.insert(out.end(), px + x * bpp, px + (x + 1) * bpp);
      x += run;
      continue;
    }
    int count = 1;
    while (x + count < width && count < 128 && !(x + count + 1 < width && same(x + count, x + count + 1))) ++count;
    out.push_back(uint8_t(count - 1));
    out.insert(out.end(), px + x * bpp, px + (x + count) * bpp);
    x += count;
  }
}

// numerator / 10000 as the extension area stores it, kept within 16 bits.
void PutRatio(uint8_t* p, double value) {
  double scaled = std::trunc(value * 10000.0);
  if (!std::isfinite(scaled) || scaled < 0) scaled = 0;
  PutU16LE(p, unsigned(std::min(scaled, 65535.0)));
  PutU16LE(p + 2, 10000);
}

void PutText(uint8_t* p, const std::string& s) { std::memcpy(p, s.data(), std::min<size_t>(s.size(), kTextField - 1)); }

std::vector<uint8_t> ExtensionArea(const TIOParamsVals& params) {
  std::vector<uint8_t> ext(kExtensionSize, 0);
  PutU16LE(&ext[0], kExtensionSize);
  PutText(&ext[kExtAuthor], params.TgaAuthor);
  int year, month, day, hour, minute, second;
  DecodeDateTime(params.TgaDate, year, month, day, hour, minute, second);
  const int fields[6] = {month, day, year, hour, minute, second};
  for (int i = 0; i < 6; ++i) PutU16LE(&ext[kExtDate + 2 * i], unsigned(fields[i]));
  PutText(&ext[kExtJobName], params.TgaJobName);
  ext[kExtKeyColor + 1] = params.TgaKeyColor.r;
  ext[kExtKeyColor + 2] = params.TgaKeyColor.g;
  ext[kExtKeyColor + 3] = params.TgaKeyColor.b;
  PutRatio(&ext[kExtAspect], params.TgaAspectRatio);
  PutRatio(&ext[kExtGamma], params.TgaGamma);
  return ext;
}

}  // namespace

void TgaWriteStream(TVLStream& stream, TBitmap& bitmap, TIOParamsVals& params, TVLProgressRecord& progress) {
  try {
    const bool mono = bitmap.PixelFormat() == TPixelFormat::pf1bit;
    if (!mono && bitmap.PixelFormat() != TPixelFormat::pf24bit) return;
    const int w = bitmap.Width(), h = bitmap.Height();
    if (bitmap.Empty() || w > 65535 || h > 65535) {
      progress.Abort();
      return;
    }
    const int64_t start = stream.Position();
    const int depth = OutputDepth(params);
    std::unique_ptr<TBitmap> holder;
    const TBitmap* source = &bitmap;
    std::unique_ptr<TVLQuantizer> quantizer;
    TRGB map[256] = {};
    if (depth == 1) {
      if (!mono) {
        TRGB c0, c1;
        holder = ReduceToTwoColours(bitmap, c0, c1);
        if (!holder) {
          holder = CloneBitmap(bitmap);
          DitherToMono(*holder);
        }
        source = holder.get();
      }
      params.TgaCompressed = false;
    } else if (depth <= 8) {
      const int colours = 1 << depth;
      if (mono) {
        map[1] = MakeRGB(255, 255, 255);  // the map holds black and white, ColorMap stays
      } else {
        quantizer = std::make_unique<TVLQuantizer>(bitmap, colours, map);
        params.SetColorMap(map, colours);
      }
      if (depth == 4) params.TgaCompressed = false;
    } else if (mono) {
      // True colour asked of a 1-bit bitmap: its rows are bits, not pixels; widen them first.
      holder = std::make_unique<TBitmap>();
      ExpandMonoTo24(bitmap, *holder);
      source = holder.get();
    }
    const bool grey = depth == 8 && params.TgaGrayscale;
    const bool withMap = (depth == 4 || depth == 8) && !grey;
    const bool compressed = params.TgaCompressed && (depth == 8 || depth == 24);

    TTgaHeader hdr;
    const std::string id = params.TgaImageId.substr(0, 254);
    hdr.idLength = uint8_t(id.size() + 1);
    hdr.colorMapType = withMap ? 1 : 0;
    hdr.imageType = uint8_t((depth == 1 || grey ? ttGrey : withMap ? ttColorMapped : ttTrueColor) + (compressed ? kRleType : 0));
    hdr.mapLength = withMap ? uint16_t(1 << depth) : 0;
    hdr.mapEntrySize = withMap ? 24 : 0;
    hdr.xOrigin = uint16_t(params.TgaXPos);
    hdr.yOrigin = uint16_t(params.TgaYPos);
    hdr.width = uint16_t(w);
    hdr.height = uint16_t(h);
    hdr.depth = uint8_t(depth);
    hdr.descriptor = kTopToBottom;
    std::vector<uint8_t> out(kHeaderSize);
    hdr.Serialize(out.data());
    out.insert(out.end(), id.begin(), id.end());
    out.push_back(0);
    for (int i = 0; withMap && i < hdr.mapLength; ++i) out.insert(out.end(), {map[i].b, map[i].g, map[i].r});
    stream.WriteBuffer(out.data(), int64_t(out.size()));

    const int bpp = depth == 24 ? 3 : 1;
    const int64_t rowBytes = (int64_t(w) * depth + 7) / 8;
    std::vector<uint8_t> row(static_cast<size_t>(rowBytes));
    progress.per1 = 100.0 / h;
    for (int y = 0; y < h; ++y) {
      const uint8_t* line = source->ScanLine(y);
      const auto* px = reinterpret_cast<const TRGB*>(line);
      auto indexOf = [&](int x) -> int {
        int index = mono ? (line[x >> 3] >> (7 - (x & 7))) & 1 : quantizer->RGBIndex(px[x]);
        if (grey) {
          const TRGB c = map[index & 255];
          index = StoredGreyOf(c);
        }
        return index;
      };
      switch (depth) {
        case 1: std::memcpy(row.data(), line, size_t(rowBytes)); break;
        case 4:
          std::fill(row.begin(), row.end(), 0);
          for (int x = 0; x < w; ++x) row[x >> 1] |= uint8_t((indexOf(x) & 15) << ((x & 1) ? 0 : 4));
          break;
        case 8:
          for (int x = 0; x < w; ++x) row[x] = uint8_t(indexOf(x));
          break;
        default: std::memcpy(row.data(), line, size_t(rowBytes)); break;
      }
      out.clear();
      if (compressed)
        EncodeRow(row.data(), w, bpp, out);
      else
        out = row;
      if (stream.Write(out.data(), int64_t(out.size())) != int64_t(out.size())) {
        progress.Abort();
        return;
      }
      progress.ReportRows(y + 1);
    }

    const int64_t extOffset = stream.Position() - start;
    std::vector<uint8_t> tail = ExtensionArea(params);
    tail.resize(kExtensionSize + kFooterSize, 0);
    uint8_t* footer = &tail[kExtensionSize];
    PutU16LE(footer, unsigned(extOffset & 0xFFFF));
    PutU16LE(footer + 2, unsigned((extOffset >> 16) & 0xFFFF));
    std::memcpy(footer + 8, kSignature, 18);
    stream.WriteBuffer(tail.data(), int64_t(tail.size()));
  } catch (const std::exception&) {
    progress.Abort();
  }
}

}  // namespace velora
