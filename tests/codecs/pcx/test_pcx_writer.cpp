#include <gtest/gtest.h>

#include "codecs/minor_codec_helpers.h"
#include "codecs/pcx/pcx_codec.h"
#include "quant/quantizer.h"

using namespace velora;
using namespace velora::testing;

namespace {

Bytes Write(TBitmap& bmp, TIOParamsVals& params) {
  TVLMemoryStream s;
  TVLLocalProgress progress;
  PcxWriteStream(s, bmp, params, progress.record);
  EXPECT_FALSE(progress.aborting);
  return s.Data();
}

void Read(const Bytes& data, TBitmap& bmp, TIOParamsVals& params) {
  TVLBufferStream s(data.data(), int64_t(data.size()));
  TVLLocalProgress progress;
  PcxReadStream(s, &bmp, params, false, progress.record, int64_t(data.size()));
  ASSERT_FALSE(progress.aborting);
}

// The picture the quantizer makes of src: what a palette file must read back as.
void Quantized(const TBitmap& src, int colours, TBitmap& out) {
  TRGB palette[256] = {};
  TVLQuantizer q(src, colours, palette);
  out.Reset(src.Width(), src.Height(), TPixelFormat::pf24bit);
  for (int y = 0; y < src.Height(); ++y)
    for (int x = 0; x < src.Width(); ++x)
      reinterpret_cast<TRGB*>(out.ScanLine(y))[x] = palette[q.RGBIndex(PixelAt(src, x, y))];
}

}  // namespace

TEST(PcxWriter, RoundTripsEveryDepthPlainAndRunLength) {
  TBitmap colour;
  FillPattern(colour, 13, 7);  // odd width: exercises the pad bytes
  TBitmap mono;
  mono.Reset(13, 7, TPixelFormat::pf1bit);
  for (int y = 0; y < 7; ++y) mono.ScanLine(y)[0] = uint8_t(0x3C ^ (y * 17)), mono.ScanLine(y)[1] = uint8_t(y << 4);
  struct Case {
    int bits, samples;
    TBitmap* src;
    int colours;  // quantizer size, 0 for exact depths
    int fileBits, filePlanes;
  } cases[] = {
      {1, 1, &mono, 0, 1, 1}, {8, 3, &colour, 0, 8, 3}, {4, 1, &colour, 16, 4, 1},
      {8, 1, &colour, 256, 8, 1}, {8, 3, &mono, 0, 8, 3},
  };
  for (const auto& c : cases) {
    for (int compression : {0, 1}) {
      TIOParamsVals params;
      params.BitsPerSample = c.bits;
      params.SamplesPerPixel = c.samples;
      params.PcxCompression = uint8_t(compression);
      params.DpiX = 150;
      params.DpiY = 75;
      Bytes d = Write(*c.src, params);
      ASSERT_GE(d.size(), 128u);
      EXPECT_EQ(d[2], compression);
      EXPECT_EQ(d[3], c.fileBits);
      EXPECT_EQ(d[65], c.filePlanes);
      EXPECT_EQ(d[66] % 2, 0);
      TBitmap back;
      TIOParamsVals readParams;
      Read(d, back, readParams);
      EXPECT_EQ(readParams.DpiX, 150);
      EXPECT_EQ(readParams.DpiY, 75);
      TBitmap expected;
      if (c.colours) Quantized(*c.src, c.colours, expected);
      EXPECT_TRUE(SamePixels(c.colours ? expected : *c.src, back)) << c.bits << "x" << c.samples << " rle " << compression;
    }
  }
}

TEST(PcxWriter, EightBitPaletteFileEndsWithMarkerAndPalette) {
  TBitmap src;
  FillPattern(src, 5, 3);
  TIOParamsVals params;
  params.SamplesPerPixel = 1;
  Bytes d = Write(src, params);
  ASSERT_GT(d.size(), 128u + 769);
  EXPECT_EQ(d[d.size() - 769], 12);
  TIOParamsVals readParams;
  TBitmap back;
  Read(d, back, readParams);
  EXPECT_EQ(readParams.ColorMapCount(), 256);
}

TEST(PcxWriter, RunLengthLineOfThreeEqualBytesIsPadded) {
  TBitmap src;
  src.Reset(3, 1, TPixelFormat::pf24bit);
  for (int x = 0; x < 3; ++x) reinterpret_cast<TRGB*>(src.ScanLine(0))[x] = MakeRGB(0xC8, 5, 5);
  TIOParamsVals params;
  Bytes d = Write(src, params);
  ASSERT_EQ(d.size(), 128u + 3 * 3);
  EXPECT_EQ(d[66], 4);  // bytes per line rounded up to even
  EXPECT_EQ(Bytes(d.begin() + 128, d.end()), (Bytes{0xC3, 0xC8, 0, 0xC3, 5, 0, 0xC3, 5, 0}));
}

TEST(PcxWriter, TwoColourImageWritesOneBitWithItsColours) {
  TBitmap src;
  src.Reset(9, 2, TPixelFormat::pf24bit);
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 9; ++x)
      reinterpret_cast<TRGB*>(src.ScanLine(y))[x] = (x + y) % 3 ? MakeRGB(250, 240, 0) : MakeRGB(0, 0, 90);
  TIOParamsVals params;
  params.BitsPerSample = 1;
  params.SamplesPerPixel = 1;
  Bytes d = Write(src, params);
  EXPECT_EQ(d[3], 1);
  EXPECT_EQ((Bytes{d[16], d[17], d[18], d[19], d[20], d[21]}), (Bytes{0, 0, 90, 250, 240, 0}));
  TBitmap back;
  Read(d, back, params);
  EXPECT_EQ(back.PixelFormat(), TPixelFormat::pf1bit);
  EXPECT_EQ(PixelAt(back, 0, 0), MakeRGB(0, 0, 0));
  EXPECT_EQ(PixelAt(back, 1, 0), MakeRGB(255, 255, 255));
}

TEST(PcxWriter, ImageMagickReadsOurFiles) {
  if (!HaveTool("convert")) GTEST_SKIP() << "ImageMagick absent";
  auto dir = ScratchDir("pcxw");
  TBitmap src;
  FillPattern(src, 17, 5);
  for (int samples : {3, 1}) {
    TIOParamsVals params;
    params.SamplesPerPixel = samples;
    Bytes d = Write(src, params);
    WriteFileBytes(dir / "a.pcx", d);
    TBitmap ours;
    Read(d, ours, params);
    ExpectMatchesMagick(dir / "a.pcx", ours);
  }
  std::filesystem::remove_all(dir);
}
