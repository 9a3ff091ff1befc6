// A metafile's bytes imported through the I/O front, and what the tests read off the result.
#pragma once
#include <algorithm>
#include <string>

#include "codecs/metafile/metafile_builder.h"
#include "io/io_test_support.h"
#include "io/velora_io.h"

namespace velora::mftest {

constexpr TRGB kWhite{255, 255, 255}, kRed{0, 0, 255}, kBlue{255, 0, 0}, kGreen{0, 255, 0};

// Imports the bytes as a file of the given extension onto a white background.
struct TImported {
  TImported(const Bytes& bytes, const char* extension, int width, int height) {
    iotest::TTempDir dir;
    const std::string name = dir.Write(std::string("picture.") + extension, bytes);
    TVeloraIO io;
    io.AttachBitmap(&bitmap);
    io.SetBackground(clWhite);
    io.ImportMetafile(name, width, height);
    aborting = io.Aborting;
    reason = io.AbortReason;
    fileType = io.Params().FileType;
  }
  TBitmap bitmap;
  bool aborting = false;
  std::string reason;
  int32_t fileType = 0;
  TRGB At(int x, int y) const {
    const uint8_t* p = bitmap.ScanLine(y) + 3 * x;
    return TRGB{p[0], p[1], p[2]};
  }
};

// The box of the pixels that are not background.
struct TInk {
  int left = 1 << 30, top = 1 << 30, right = -1, bottom = -1;
};
inline TInk InkOf(const TImported& out) {
  TInk ink;
  for (int y = 0; y < out.bitmap.Height(); ++y)
    for (int x = 0; x < out.bitmap.Width(); ++x)
      if (!(out.At(x, y) == kWhite))
        ink.left = std::min(ink.left, x), ink.right = std::max(ink.right, x), ink.top = std::min(ink.top, y),
        ink.bottom = std::max(ink.bottom, y);
  return ink;
}

// A 2 × 2 24-bit DIB, bottom-up: bottom row blue, green; top row red, white.
inline Bytes TwoByTwoDib(U_BITMAPINFOHEADER& header) {
  header = bitmapinfoheader_set(2, 2, 1, 24, U_BI_RGB, 16, 2835, 2835, 0, 0);
  return {255, 0, 0, 0, 255, 0, 0, 0,  // bottom: blue, green, padding
          0, 0, 255, 255, 255, 255, 0, 0};  // top: red, white, padding
}

}  // namespace velora::mftest
