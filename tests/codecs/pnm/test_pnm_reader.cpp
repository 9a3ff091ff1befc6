#include <gtest/gtest.h>

#include "codecs/minor_codec_helpers.h"
#include "codecs/pnm/pnm_codec.h"

using namespace velora;
using namespace velora::testing;

namespace {

struct PnmRead {
  TIOParamsVals params;
  TBitmap bmp;
  TVLLocalProgress progress;
  bool aborted = false;
  explicit PnmRead(const Bytes& data, bool headerOnly = false) {
    TVLBufferStream s(data.data(), int64_t(data.size()));
    PnmReadStream(s, headerOnly ? nullptr : &bmp, params, headerOnly, progress.record);
    aborted = progress.aborting;
  }
  TRGB At(int x, int y) const { return PixelAt(bmp, x, y); }
};

TRGB Grey(uint8_t v) { return TRGB{v, v, v}; }

}  // namespace

TEST(PnmReader, AsciiGreyMapWithCommentScalesToMaximum) {
  PnmRead r(FromString("P2\n# made by hand\n3 2\n15\n0 15 7\n15 0 1\n"));
  ASSERT_FALSE(r.aborted);
  EXPECT_EQ(r.params.Width, 3);
  EXPECT_EQ(r.params.Height, 2);
  ASSERT_EQ(r.params.PxmComments.size(), 1u);
  EXPECT_EQ(r.params.PxmComments[0], "made by hand");
  EXPECT_EQ(r.params.BitsPerSample, 8);
  EXPECT_EQ(r.params.SamplesPerPixel, 1);
  EXPECT_EQ(r.bmp.PixelFormat(), TPixelFormat::pf24bit);
  EXPECT_EQ(r.At(0, 0), Grey(0));
  EXPECT_EQ(r.At(1, 0), Grey(255));
  EXPECT_EQ(r.At(2, 0), Grey(7 * 255 / 15));
  EXPECT_EQ(r.At(0, 1), Grey(255));
  EXPECT_EQ(r.At(2, 1), Grey(17));
}

TEST(PnmReader, AsciiPixelMapAndBitmapWithoutSeparators) {
  PnmRead ppm(FromString("P3 2 1 255 255 0 0   0 0 255"));
  ASSERT_FALSE(ppm.aborted);
  EXPECT_EQ(ppm.params.SamplesPerPixel, 3);
  EXPECT_EQ(ppm.At(0, 0), MakeRGB(255, 0, 0));
  EXPECT_EQ(ppm.At(1, 0), MakeRGB(0, 0, 255));

  PnmRead pbm(FromString("P1\n4 2\n0101\n1x0 0 1"));
  ASSERT_FALSE(pbm.aborted);
  EXPECT_EQ(pbm.bmp.PixelFormat(), TPixelFormat::pf1bit);
  EXPECT_EQ(pbm.params.BitsPerSample, 1);
  const int expect[2][4] = {{255, 0, 255, 0}, {0, 255, 255, 0}};
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 4; ++x) EXPECT_EQ(pbm.At(x, y), Grey(uint8_t(expect[y][x]))) << x << "," << y;
}

TEST(PnmReader, BinaryGreyMapScalesOnlyBelow255AndPixmapNever) {
  Bytes p5 = FromString("P5 3 1 255\n");
  p5.insert(p5.end(), {0, 15, 200});
  PnmRead a(p5);
  EXPECT_EQ(a.At(1, 0), Grey(15));
  EXPECT_EQ(a.At(2, 0), Grey(200));

  Bytes p5small = FromString("P5 3 1 15\n");
  p5small.insert(p5small.end(), {0, 15, 5});
  PnmRead b(p5small);
  EXPECT_EQ(b.At(1, 0), Grey(255));
  EXPECT_EQ(b.At(2, 0), Grey(85));

  Bytes p6 = FromString("P6 1 1 15\n");
  p6.insert(p6.end(), {15, 2, 9});
  PnmRead c(p6);
  EXPECT_EQ(c.At(0, 0), MakeRGB(15, 2, 9));
}

TEST(PnmReader, SixteenBitSamplesAreBigEndianAndScaled) {
  Bytes p6 = FromString("P6 2 1 65535\n");
  p6.insert(p6.end(), {0xFF, 0xFF, 0x80, 0x00, 0x00, 0x00, 0x00, 0x01, 0x01, 0x01, 0x12, 0x34});
  PnmRead r(p6);
  ASSERT_FALSE(r.aborted);
  EXPECT_EQ(r.params.BitsPerSample, 16);
  EXPECT_EQ(r.At(0, 0), MakeRGB(255, 127, 0));
  EXPECT_EQ(r.At(1, 0), MakeRGB(0, 0x0101 * 255 / 65535, 0x1234 * 255 / 65535));

  Bytes p5 = FromString("P5 1 1 1000\n");
  p5.insert(p5.end(), {0x01, 0xF4});  // 500 of 1000
  EXPECT_EQ(PnmRead(p5).At(0, 0), Grey(127));
}

TEST(PnmReader, BinaryBitmapIsInverted) {
  Bytes p4 = FromString("P4\n# c\n10 2\n");
  p4.insert(p4.end(), {0xA0, 0x40, 0xFF, 0xC0});
  PnmRead r(p4);
  ASSERT_FALSE(r.aborted);
  EXPECT_EQ(r.At(0, 0), Grey(0));
  EXPECT_EQ(r.At(1, 0), Grey(255));
  EXPECT_EQ(r.At(2, 0), Grey(0));
  EXPECT_EQ(r.At(9, 0), Grey(0));
  EXPECT_EQ(r.At(8, 0), Grey(255));
  for (int x = 0; x < 10; ++x) EXPECT_EQ(r.At(x, 1), Grey(0));
}

TEST(PnmReader, BadHeadersAbortCleanly) {
  const char* cases[] = {
      "P5 99999999999 2 255\n",  // width overflows 32 bits
      "P5 2 4294967297 255\n",   // height overflows
      "P5 2 2 0\n",              // maximum 0 would divide by zero
      "P5 2 2 65536\n",          // maximum beyond two bytes
      "P2 0 2 255\n",
      "P3 2 x 255\n",
      "P2 2",
      "P5 100000 100000 255\n",  // beyond the pixel limit
      "",
  };
  for (const char* text : cases) {
    PnmRead r(FromString(text));
    EXPECT_TRUE(r.aborted) << text;
  }
}

TEST(PnmReader, UnknownMagicAbortsAfterStoringTheSize) {
  PnmRead r(FromString("P7 # note\n4 5 255\n"), true);
  EXPECT_TRUE(r.aborted);
  EXPECT_EQ(r.params.Width, 4);
  EXPECT_EQ(r.params.Height, 5);
  ASSERT_EQ(r.params.PxmComments.size(), 1u);
  EXPECT_EQ(r.params.PxmComments[0], "note");
}

TEST(PnmReader, ShortRasterLeavesTheRestAndStops) {
  PnmRead grey(FromString("P2 3 2 255 10 20"));
  EXPECT_FALSE(grey.aborted);
  EXPECT_EQ(grey.At(1, 0), Grey(20));
  EXPECT_EQ(grey.At(2, 0), Grey(0));
  EXPECT_EQ(grey.At(2, 1), Grey(0));

  PnmRead bits(FromString("P1 3 2 1 0"));
  EXPECT_FALSE(bits.aborted);
  EXPECT_EQ(bits.At(1, 0), Grey(255));
  EXPECT_EQ(bits.At(2, 1), Grey(0));

  Bytes p6 = FromString("P6 2 2 255\n");
  p6.insert(p6.end(), {1, 2, 3, 4});
  PnmRead pix(p6);
  EXPECT_FALSE(pix.aborted);
  EXPECT_EQ(pix.At(0, 0), MakeRGB(1, 2, 3));
  EXPECT_EQ(pix.At(1, 0), MakeRGB(0, 0, 0));
}

TEST(PnmReader, HeaderOnlyLeavesNoBitmapAndClearsColorMap) {
  TIOParamsVals params;
  TRGB pal[2] = {};
  params.SetColorMap(pal, 2);
  params.PxmComments = {"old"};
  Bytes data = FromString("P6 4 3 255\n" + std::string(36, 'x'));
  TVLBufferStream s(data.data(), int64_t(data.size()));
  TVLLocalProgress progress;
  PnmReadStream(s, nullptr, params, true, progress.record);
  EXPECT_FALSE(progress.aborting);
  EXPECT_EQ(params.Width, 4);
  EXPECT_EQ(params.SamplesPerPixel, 3);
  EXPECT_EQ(params.ColorMapCount(), 0);
  EXPECT_TRUE(params.PxmComments.empty());
  EXPECT_EQ(params.DpiX, DefaultDpiX());
}

TEST(PnmReader, RecognitionNeedsMagicAndPositiveSize) {
  struct Case {
    const char* text;
    bool expected;
  } cases[] = {
      {"P6\n# c\n3 2 255\n", true}, {"P1 1 1", true},   {"P4 0 2", false},
      {"P9 3 2 255", false},         {"GIF89a", false}, {"# only a comment\n", false},
  };
  for (const auto& c : cases) {
    Bytes d = FromString(c.text);
    TVLBufferStream s(d.data(), int64_t(d.size()));
    s.SetPosition(0);
    EXPECT_EQ(IsPnmStream(s), c.expected) << c.text;
    EXPECT_EQ(s.Position(), 0);
  }
}

TEST(PnmReader, MatchesImageMagickDecode) {
  if (!HaveTool("convert")) GTEST_SKIP() << "ImageMagick absent";
  auto dir = ScratchDir("pnm");
  ASSERT_TRUE(RunShell("convert -size 23x11 plasma:fractal -seed 7 '" + (dir / "src.png").string() + "'"));
  struct Case {
    const char* name;
    const char* options;
  } cases[] = {
      {"a.ppm", "-compress none"}, {"b.ppm", ""},          {"c.pgm", "-colorspace gray -compress none"},
      {"d.pgm", "-colorspace gray"}, {"e.pbm", "-compress none"}, {"f.pbm", ""},
      {"g.ppm", "-depth 16"},      {"h.pgm", "-colorspace gray -depth 16"},
  };
  for (const auto& c : cases) {
    auto file = dir / c.name;
    ASSERT_TRUE(RunShell("convert '" + (dir / "src.png").string() + "' " + c.options + " '" + file.string() + "'"));
    PnmRead r(ReadFileBytes(file));
    ASSERT_FALSE(r.aborted) << c.name;
    // 16-bit samples: ImageMagick rounds where the reader truncates.
    ExpectMatchesMagick(file, r.bmp, std::string(c.options).find("16") != std::string::npos ? 1 : 0);
  }
  if (HaveTool("pbmtext")) {
    auto file = dir / "text.pbm";
    ASSERT_TRUE(RunShell("pbmtext 'Velora' > '" + file.string() + "'"));
    Bytes d = ReadFileBytes(file);
    PnmRead r(d);
    ASSERT_FALSE(r.aborted);
    ExpectMatchesMagick(file, r.bmp);
  }
  std::filesystem::remove_all(dir);
}
