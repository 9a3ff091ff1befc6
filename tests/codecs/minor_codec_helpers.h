// Helpers shared by the tests of the PNM, PCX, TGA and ICO codecs: byte builders, pixel
// access, and decoding through ImageMagick for comparisons.
#pragma once
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "bitmap/toolkit_bitmap.h"
#include "base/vl_stream.h"
#include "test_bytes.h"

namespace velora::testing {

using testbytes::Append;
using testbytes::Bytes;
using testbytes::FromString;
using testbytes::PutU16;
using testbytes::PutU32;
using testbytes::ReadFileBytes;
using testbytes::WriteFileBytes;

// Pixel (x, y) of a 24-bit or 1-bit bitmap as a colour (1-bit: black or white).
inline TRGB PixelAt(const TBitmap& bmp, int x, int y) {
  const uint8_t* row = bmp.ScanLine(y);
  if (bmp.PixelFormat() == TPixelFormat::pf1bit) {
    uint8_t v = (row[x >> 3] >> (7 - (x & 7))) & 1 ? 255 : 0;
    return TRGB{v, v, v};
  }
  return reinterpret_cast<const TRGB*>(row)[x];
}

inline bool SamePixels(const TBitmap& a, const TBitmap& b) {
  if (a.Width() != b.Width() || a.Height() != b.Height()) return false;
  for (int y = 0; y < a.Height(); ++y)
    for (int x = 0; x < a.Width(); ++x)
      if (!(PixelAt(a, x, y) == PixelAt(b, x, y))) return false;
  return true;
}

// A 24-bit test picture with distinct colours along both axes.
inline void FillPattern(TBitmap& bmp, int w, int h, int seed = 0) {
  bmp.Reset(w, h, TPixelFormat::pf24bit);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
      reinterpret_cast<TRGB*>(bmp.ScanLine(y))[x] =
          MakeRGB(uint8_t(x * 37 + seed), uint8_t(y * 53 + seed * 3), uint8_t((x ^ y) * 29 + seed * 7));
}

inline bool HaveTool(const std::string& name) {
  return std::system(("command -v " + name + " >/dev/null 2>&1").c_str()) == 0;
}

// A fresh scratch directory under the temporary directory.
inline std::filesystem::path ScratchDir(const std::string& tag) {
  auto dir = std::filesystem::temp_directory_path() /
             ("velora_test_" + tag + "_" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "_" +
              std::to_string(std::rand()));
  std::filesystem::create_directories(dir);
  return dir;
}

inline bool RunShell(const std::string& cmd) { return std::system(("( " + cmd + " ) >/dev/null 2>&1").c_str()) == 0; }

// ImageMagick's own decode of a file: width × height × (r, g, b) bytes, 8 bits per sample.
inline bool MagickPixels(const std::filesystem::path& file, int w, int h, Bytes& rgb) {
  auto out = file.string() + ".rgb";
  if (!RunShell("convert '" + file.string() + "' -auto-orient -depth 8 rgb:'" + out + "'")) return false;
  rgb = ReadFileBytes(out);
  return rgb.size() == size_t(w) * h * 3;
}

// Compares a decoded bitmap with ImageMagick's decode of the same file, sample by sample
// within tolerance.
inline void ExpectMatchesMagick(const std::filesystem::path& file, const TBitmap& bmp, int tolerance = 0) {
  Bytes rgb;
  ASSERT_TRUE(MagickPixels(file, bmp.Width(), bmp.Height(), rgb)) << file;
  int mismatches = 0;
  for (int y = 0; y < bmp.Height(); ++y)
    for (int x = 0; x < bmp.Width(); ++x) {
      TRGB p = PixelAt(bmp, x, y);
      const uint8_t* m = &rgb[(size_t(y) * bmp.Width() + x) * 3];
      if (std::abs(p.r - m[0]) > tolerance || std::abs(p.g - m[1]) > tolerance || std::abs(p.b - m[2]) > tolerance) {
        if (++mismatches <= 3)
          ADD_FAILURE() << file << " pixel " << x << "," << y << " ours " << int(p.r) << "," << int(p.g) << ","
                        << int(p.b) << " magick " << int(m[0]) << "," << int(m[1]) << "," << int(m[2]);
      }
    }
  EXPECT_EQ(mismatches, 0) << file;
}

}  // namespace velora::testing
