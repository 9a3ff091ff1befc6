#include <gtest/gtest.h>

#include "codecs/minor_codec_helpers.h"
#include "codecs/pnm/pnm_codec.h"

using namespace velora;
using namespace velora::testing;

namespace {

Bytes Write(TBitmap& bmp, TIOParamsVals& params, bool* aborted = nullptr) {
  TVLMemoryStream s;
  TVLLocalProgress progress;
  PnmWriteStream(s, bmp, params, progress.record);
  if (aborted) *aborted = progress.aborting;
  return s.Data();
}

void Read(const Bytes& data, TBitmap& bmp, TIOParamsVals& params) {
  TVLBufferStream s(data.data(), int64_t(data.size()));
  TVLLocalProgress progress;
  PnmReadStream(s, &bmp, params, false, progress.record);
  ASSERT_FALSE(progress.aborting);
}

std::string HeaderOf(const Bytes& d, size_t n) { return std::string(d.begin(), d.begin() + std::min(n, d.size())); }

}  // namespace

TEST(PnmWriter, PixmapRoundTripKeepsPixelsAndComments) {
  TBitmap src;
  FillPattern(src, 9, 5);
  TIOParamsVals params;
  params.PxmComments = {"x"};
  Bytes d = Write(src, params);
  EXPECT_EQ(HeaderOf(d, 16), "P6 \n# x\n9 5 255\n");
  TBitmap back;
  TIOParamsVals readParams;
  Read(d, back, readParams);
  EXPECT_TRUE(SamePixels(src, back));
  EXPECT_EQ(readParams.PxmComments, std::vector<std::string>{"x"});
}

// P5 only for a picture whose pixels are all grey, each level stored as it is; a colour
// picture asked for at one sample of 8 bits keeps its colours in P6.
TEST(PnmWriter, GreyMapOnlyForGreyPicturesAndExact) {
  TBitmap grey(256, 2, TPixelFormat::pf24bit);
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 256; ++x) reinterpret_cast<TRGB*>(grey.ScanLine(y))[x] = MakeRGB(uint8_t(x), uint8_t(x), uint8_t(x));
  TIOParamsVals params;
  params.BitsPerSample = 8;
  params.SamplesPerPixel = 1;
  Bytes d = Write(grey, params);
  EXPECT_EQ(HeaderOf(d, 13), "P5 256 2 255\n");
  EXPECT_EQ(d.size(), 13u + 256 * 2);
  TBitmap back;
  Read(d, back, params);
  EXPECT_TRUE(SamePixels(grey, back));

  TBitmap colour;
  FillPattern(colour, 64, 48);
  params.BitsPerSample = 8;
  params.SamplesPerPixel = 1;
  d = Write(colour, params);
  EXPECT_EQ(HeaderOf(d, 13), "P6 64 48 255\n");
  Read(d, back, params);
  EXPECT_TRUE(SamePixels(colour, back));
}

TEST(PnmWriter, BitmapRoundTripAndOneBitRenderingOfColour) {
  TBitmap mono;
  mono.Reset(11, 3, TPixelFormat::pf1bit);
  for (int y = 0; y < 3; ++y) mono.ScanLine(y)[0] = uint8_t(0x5A + y), mono.ScanLine(y)[1] = 0xA0;
  TIOParamsVals params;
  Bytes d = Write(mono, params);
  EXPECT_EQ(HeaderOf(d, 8), "P4 11 3\n");
  TBitmap back;
  Read(d, back, params);
  EXPECT_EQ(back.PixelFormat(), TPixelFormat::pf1bit);
  EXPECT_TRUE(SamePixels(mono, back));

  // Two colours of a 24-bit bitmap: the darker one becomes black.
  TBitmap two;
  two.Reset(4, 1, TPixelFormat::pf24bit);
  auto* px = reinterpret_cast<TRGB*>(two.ScanLine(0));
  px[0] = px[2] = MakeRGB(200, 10, 10);
  px[1] = px[3] = MakeRGB(10, 10, 80);
  params.BitsPerSample = params.SamplesPerPixel = 1;
  Read(Write(two, params), back, params);
  EXPECT_EQ(PixelAt(back, 0, 0), MakeRGB(255, 255, 255));
  EXPECT_EQ(PixelAt(back, 1, 0), MakeRGB(0, 0, 0));
}

TEST(PnmWriter, ShortWriteAborts) {
  TBitmap src;
  FillPattern(src, 4, 4);
  TIOParamsVals params;
  uint8_t none[1];
  TVLBufferStream readOnly(none, 0);  // a stream that takes no bytes
  TVLLocalProgress progress;
  PnmWriteStream(readOnly, src, params, progress.record);
  EXPECT_TRUE(progress.aborting);
}

TEST(PnmWriter, NetpbmReadsOurFiles) {
  if (!HaveTool("pamfile") || !HaveTool("convert")) GTEST_SKIP() << "netpbm or ImageMagick absent";
  auto dir = ScratchDir("pnmw");
  TBitmap src;
  FillPattern(src, 13, 6);
  TIOParamsVals params;
  params.PxmComments = {"made by Velora"};
  WriteFileBytes(dir / "a.ppm", Write(src, params));
  EXPECT_TRUE(RunShell("pamfile '" + (dir / "a.ppm").string() + "'"));
  ExpectMatchesMagick(dir / "a.ppm", src);
  std::filesystem::remove_all(dir);
}
