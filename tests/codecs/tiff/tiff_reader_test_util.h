// Shared by the TIFF reader tests: one page read through TiffReadStream, and the picture as
// rows of red, green, blue to compare with what a reference decoder gives.
#pragma once
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "base/progress.h"
#include "base/vl_stream.h"
#include "codecs/formats.h"
#include "codecs/tiff/tiff_codec.h"

namespace velora::tifftest {

struct TPicture {
  int width = 0, height = 0;
  std::vector<uint8_t> rgb;  // top row first
  bool operator==(const TPicture&) const = default;
};

struct TOurRead {
  TBitmap bitmap;
  TVLMask mask;
  TIOParamsVals params;
  int count = 0;
  bool aborting = false;
  std::string reason;
};

inline void ReadOurs(TVLStream& stream, TOurRead& r, int page, bool headerOnly = false, bool orient = true) {
  VLInstallLzwCoders();
  r.params.TiffImageIndex = page;
  r.params.TiffApplyOrientation = orient;
  TVLLocalProgress progress;
  TiffReadStream(stream, headerOnly ? nullptr : &r.bitmap, r.count, headerOnly ? nullptr : &r.mask, headerOnly,
                 progress.record, r.params);
  r.aborting = progress.aborting;
  r.reason = progress.reason;
}

inline void ReadOursFile(const std::string& path, TOurRead& r, int page, bool headerOnly = false) {
  TVLFileStream file(path, TVLFileStream::fmOpenRead);
  ReadOurs(file, r, page, headerOnly);
}

inline TPicture PictureOf(const TBitmap& b) {
  TPicture p{b.Width(), b.Height(), {}};
  p.rgb.reserve(size_t(p.width) * p.height * 3);
  for (int y = 0; y < p.height; ++y) {
    const uint8_t* row = b.ScanLine(y);
    for (int x = 0; x < p.width; ++x) {
      if (b.PixelFormat() == TPixelFormat::pf1bit) {
        const uint8_t v = (row[x / 8] >> (7 - x % 8)) & 1 ? 255 : 0;
        p.rgb.insert(p.rgb.end(), {v, v, v});
      } else {
        p.rgb.insert(p.rgb.end(), {row[x * 3 + 2], row[x * 3 + 1], row[x * 3]});
      }
    }
  }
  return p;
}

// The largest difference of any channel, or 256 when the sizes differ.
inline int MaxDifference(const TPicture& a, const TPicture& b) {
  if (a.width != b.width || a.height != b.height || a.rgb.size() != b.rgb.size()) return 256;
  int worst = 0;
  for (size_t i = 0; i < a.rgb.size(); ++i) worst = std::max(worst, std::abs(int(a.rgb[i]) - int(b.rgb[i])));
  return worst;
}

}  // namespace velora::tifftest
