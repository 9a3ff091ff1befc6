// Portable-anymap writer: P4 for 1-bit images, P5 for all-grey pictures, P6 for colour.
#include <memory>
#include <string>
#include <vector>

#include "pnm_codec.h"
#include "proc/pixel_formats.h"

namespace velora {

namespace {

std::string CommentBlock(const TIOParamsVals& params) {
  std::string block;
  for (const auto& c : params.PxmComments) block += "\n# " + c + "\n";
  return block;
}

bool WriteText(TVLStream& stream, const std::string& s) {
  return stream.Write(s.data(), int64_t(s.size())) == int64_t(s.size());
}

// A 1-bit rendering of the bitmap: itself, its two colours, or a dithered copy.
const TBitmap& MonoRendering(const TBitmap& bitmap, std::unique_ptr<TBitmap>& holder) {
  if (bitmap.PixelFormat() == TPixelFormat::pf1bit) return bitmap;
  TRGB c0, c1;
  holder = ReduceToTwoColours(bitmap, c0, c1);
  if (!holder) {
    holder = CloneBitmap(bitmap);
    DitherToMono(*holder);
  }
  return *holder;
}

// Writes height rows made by makeRow; false on a short write.
template <class MakeRow>
bool WriteRows(TVLStream& stream, int height, size_t rowBytes, TVLProgressRecord& progress, MakeRow makeRow) {
  std::vector<uint8_t> out(rowBytes);
  progress.per1 = 100.0 / height;
  for (int y = 0; y < height; ++y) {
    makeRow(y, out.data());
    if (stream.Write(out.data(), int64_t(rowBytes)) != int64_t(rowBytes)) return false;
    progress.ReportRows(y + 1);
  }
  return true;
}

}  // namespace

void PnmWriteStream(TVLStream& stream, TBitmap& bitmap, TIOParamsVals& params, TVLProgressRecord& progress) {
  try {
    const int w = bitmap.Width(), h = bitmap.Height();
    if (bitmap.Empty()) {
      progress.Abort();
      return;
    }
    const bool is24 = bitmap.PixelFormat() == TPixelFormat::pf24bit;
    const std::string size = CommentBlock(params) + std::to_string(w) + " " + std::to_string(h);
    bool ok = true;
    if ((params.BitsPerSample == 1 && params.SamplesPerPixel == 1) || bitmap.PixelFormat() == TPixelFormat::pf1bit) {
      std::unique_ptr<TBitmap> holder;
      const TBitmap& mono = MonoRendering(bitmap, holder);
      ok = WriteText(stream, "P4 " + size + "\n") &&
           WriteRows(stream, h, size_t((w + 7) / 8), progress, [&](int y, uint8_t* out) {
             const uint8_t* row = mono.ScanLine(y);
             for (int i = 0; i < (w + 7) / 8; ++i) out[i] = uint8_t(~row[i]);
           });
    } else if (is24 && params.SamplesPerPixel == 1 && (params.BitsPerSample == 8 || params.BitsPerSample == 16) &&
               IsAllGrey(bitmap)) {
      // Grey maps are written with one byte per sample whatever depth they were read with. A
      // picture with colour in it asked for at one sample (a palette image) goes out as P6:
      // a grey map would throw its colours away.
      ok = WriteText(stream, "P5 " + size + " 255\n") &&
           WriteRows(stream, h, size_t(w), progress, [&](int y, uint8_t* out) {
             const auto* px = reinterpret_cast<const TRGB*>(bitmap.ScanLine(y));
             for (int x = 0; x < w; ++x) out[x] = StoredGreyOf(px[x]);
           });
    } else if (is24) {
      ok = WriteText(stream, "P6 " + size + " 255\n") &&
           WriteRows(stream, h, size_t(w) * 3, progress, [&](int y, uint8_t* out) {
             const auto* px = reinterpret_cast<const TRGB*>(bitmap.ScanLine(y));
             for (int x = 0; x < w; ++x) out[3 * x] = px[x].r, out[3 * x + 1] = px[x].g, out[3 * x + 2] = px[x].b;
           });
    }
    if (!ok) progress.Abort();
  } catch (const std::exception&) {
    progress.Abort();
  }
}

}  // namespace velora
