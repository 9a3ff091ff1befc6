#include <gtest/gtest.h>

#include <cstring>

#include "codecs/minor_codec_helpers.h"
#include "codecs/tga/tga_codec.h"
#include "proc/pixel_formats.h"
#include "quant/quantizer.h"

using namespace velora;
using namespace velora::testing;

namespace {

Bytes Write(TBitmap& bmp, TIOParamsVals& params) {
  TVLMemoryStream s;
  TVLLocalProgress progress;
  TgaWriteStream(s, bmp, params, progress.record);
  EXPECT_FALSE(progress.aborting);
  return s.Data();
}

void Read(const Bytes& data, TBitmap& bmp, TIOParamsVals& params) {
  TVLBufferStream s(data.data(), int64_t(data.size()));
  TVLLocalProgress progress;
  TgaReadStream(s, &bmp, params, false, progress.record);
  ASSERT_FALSE(progress.aborting);
}

uint16_t U16At(const Bytes& d, size_t i) { return uint16_t(d[i] | (d[i + 1] << 8)); }

}  // namespace

TEST(TgaWriter, RoundTripsEveryDepthPlainAndRunLength) {
  TBitmap colour;
  FillPattern(colour, 11, 6);
  // Runs of equal pixels so that run packets appear next to raw ones.
  for (int x = 2; x < 8; ++x) reinterpret_cast<TRGB*>(colour.ScanLine(1))[x] = MakeRGB(1, 2, 3);
  TBitmap mono;
  mono.Reset(11, 6, TPixelFormat::pf1bit);
  for (int y = 0; y < 6; ++y) mono.ScanLine(y)[0] = uint8_t(0xC3 ^ (y * 29)), mono.ScanLine(y)[1] = 0x60;
  struct Case {
    int bits, samples;
    bool grey;
    TBitmap* src;
  } cases[] = {
      {8, 3, false, &colour}, {1, 1, false, &mono}, {1, 1, false, &colour}, {4, 1, false, &colour},
      {8, 1, false, &colour}, {8, 1, true, &colour}, {4, 1, false, &mono},  {8, 1, false, &mono},
  };
  for (const auto& c : cases) {
    for (bool rle : {false, true}) {
      SCOPED_TRACE(std::to_string(c.bits) + "x" + std::to_string(c.samples) + (c.grey ? " grey" : "") +
                   (c.src == &mono ? " mono" : "") + (rle ? " rle" : ""));
      TIOParamsVals params;
      params.BitsPerSample = c.bits;
      params.SamplesPerPixel = c.samples;
      params.TgaCompressed = rle;
      params.TgaGrayscale = c.grey;
      Bytes d = Write(*c.src, params);
      TBitmap back;
      TIOParamsVals readParams;
      Read(d, back, readParams);
      // What the pixels must read back as.
      TBitmap expected;
      const bool palette = (c.bits == 4 || c.bits == 8) && c.samples == 1;
      if (palette && c.src != &mono) {
        TRGB pal[256] = {};
        TVLQuantizer q(*c.src, 1 << c.bits, pal);
        expected.Reset(11, 6, TPixelFormat::pf24bit);
        for (int y = 0; y < 6; ++y)
          for (int x = 0; x < 11; ++x) {
            TRGB p = pal[q.RGBIndex(PixelAt(*c.src, x, y))];
            if (c.grey) {
              uint8_t g = StoredGreyOf(p);
              p = TRGB{g, g, g};
            }
            reinterpret_cast<TRGB*>(expected.ScanLine(y))[x] = p;
          }
        EXPECT_TRUE(SamePixels(expected, back));
        EXPECT_EQ(params.ColorMapCount(), 1 << c.bits);
      } else if (c.bits == 1 && c.src == &colour) {
        EXPECT_EQ(back.PixelFormat(), TPixelFormat::pf1bit);  // a dithered rendering
      } else {
        EXPECT_TRUE(SamePixels(*c.src, back));
      }
      const bool rleWritten = rle && (c.bits == 8 || c.samples != 1);
      EXPECT_EQ(d[2] >= 9, rleWritten);
      EXPECT_EQ(readParams.TgaCompressed, rleWritten);
    }
  }
}

TEST(TgaWriter, HeaderIdFooterAndExtensionAreaReadBack) {
  TBitmap src;
  FillPattern(src, 3, 2);
  TIOParamsVals params;
  params.TgaImageId = "picture";
  params.TgaXPos = 12;
  params.TgaYPos = 34;
  params.TgaAuthor = "A. Author";
  params.TgaJobName = "the job";
  params.TgaDate = 45351 + (13 * 3600 + 30 * 60 + 15) / 86400.0;  // 29 Feb 2024 13:30:15
  params.TgaKeyColor = MakeRGB(10, 20, 30);
  params.TgaAspectRatio = 1.5;
  params.TgaGamma = 2.2;
  params.TgaCompressed = false;
  Bytes d = Write(src, params);
  EXPECT_EQ(d[0], 8);     // "picture" and its zero byte
  EXPECT_EQ(d[17], 32);   // rows top to bottom
  ASSERT_GE(d.size(), 26u + 495);
  const size_t footer = d.size() - 26;
  EXPECT_EQ(std::string(d.begin() + long(footer) + 8, d.end()), std::string("TRUEVISION-XFILE.\0", 18));
  const size_t ext = d[footer] | d[footer + 1] << 8 | d[footer + 2] << 16;
  EXPECT_EQ(ext, footer - 495);
  EXPECT_EQ(U16At(d, ext), 495);
  EXPECT_EQ(U16At(d, ext + 474), 15000);
  EXPECT_EQ(U16At(d, ext + 476), 10000);
  EXPECT_EQ(U16At(d, ext + 478), 22000);
  EXPECT_EQ(U16At(d, ext + 480), 10000);
  EXPECT_EQ((Bytes{d[ext + 470], d[ext + 471], d[ext + 472], d[ext + 473]}), (Bytes{0, 10, 20, 30}));
  EXPECT_EQ(U16At(d, ext + 367), 2);
  EXPECT_EQ(U16At(d, ext + 369), 29);
  EXPECT_EQ(U16At(d, ext + 371), 2024);

  TIOParamsVals back;
  TBitmap bmp;
  Read(d, bmp, back);
  EXPECT_TRUE(SamePixels(src, bmp));
  EXPECT_EQ(back.TgaImageId, "picture");  // the zero byte that ends the field is not kept
  EXPECT_EQ(back.TgaXPos, 12);
  EXPECT_EQ(back.TgaYPos, 34);
  EXPECT_EQ(back.TgaAuthor, "A. Author");
  EXPECT_EQ(back.TgaJobName, "the job");
  EXPECT_NEAR(back.TgaDate, params.TgaDate, 1e-6);
  EXPECT_EQ(back.TgaKeyColor, MakeRGB(10, 20, 30));
  EXPECT_DOUBLE_EQ(back.TgaAspectRatio, 1.5);
  EXPECT_DOUBLE_EQ(back.TgaGamma, 2.2);
}

TEST(TgaWriter, RunLengthPacketsFollowTheRules) {
  TBitmap src;
  src.Reset(7, 1, TPixelFormat::pf24bit);
  const uint8_t v[7] = {1, 1, 1, 2, 3, 4, 4};
  for (int x = 0; x < 7; ++x) reinterpret_cast<TRGB*>(src.ScanLine(0))[x] = TRGB{v[x], v[x], v[x]};
  TIOParamsVals params;
  params.TgaImageId.clear();
  Bytes d = Write(src, params);
  const Bytes pixels(d.begin() + 19, d.end() - 26 - 495);
  EXPECT_EQ(pixels, (Bytes{0x82, 1, 1, 1, 0x01, 2, 2, 2, 3, 3, 3, 0x81, 4, 4, 4}));
}

TEST(TgaWriter, ImageMagickReadsOurFiles) {
  if (!HaveTool("convert")) GTEST_SKIP() << "ImageMagick absent";
  auto dir = ScratchDir("tgaw");
  TBitmap src;
  FillPattern(src, 19, 7);
  for (int samples : {3, 1}) {
    for (bool rle : {false, true}) {
      TIOParamsVals params;
      params.SamplesPerPixel = samples;
      params.TgaCompressed = rle;
      Bytes d = Write(src, params);
      WriteFileBytes(dir / "a.tga", d);
      TBitmap ours;
      Read(d, ours, params);
      ExpectMatchesMagick(dir / "a.tga", ours);
    }
  }
  std::filesystem::remove_all(dir);
}
