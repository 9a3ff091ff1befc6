#include <gtest/gtest.h>

#include "codecs/minor_codec_helpers.h"
#include "codecs/pcx/pcx_codec.h"

using namespace velora;
using namespace velora::testing;

namespace {

Bytes PcxHeader(int bits, int planes, int width, int height, int bytesPerLine, int encoding = 1, int hDpi = 72,
                int vDpi = 72) {
  Bytes b(128, 0);
  b[0] = 10, b[1] = 5, b[2] = uint8_t(encoding), b[3] = uint8_t(bits);
  b[8] = uint8_t(width - 1), b[9] = uint8_t((width - 1) >> 8);
  b[10] = uint8_t(height - 1), b[11] = uint8_t((height - 1) >> 8);
  b[12] = uint8_t(hDpi), b[13] = uint8_t(hDpi >> 8), b[14] = uint8_t(vDpi), b[15] = uint8_t(vDpi >> 8);
  // 16-entry palette: entry i = (16 i, 2 i, 255 − i).
  for (int i = 0; i < 16; ++i) b[16 + 3 * i] = uint8_t(16 * i), b[17 + 3 * i] = uint8_t(2 * i), b[18 + 3 * i] = uint8_t(255 - i);
  b[65] = uint8_t(planes);
  b[66] = uint8_t(bytesPerLine), b[67] = uint8_t(bytesPerLine >> 8);
  b[68] = 1;
  return b;
}

TRGB Entry16(int i) { return MakeRGB(uint8_t(16 * i), uint8_t(2 * i), uint8_t(255 - i)); }

struct PcxRead {
  TIOParamsVals params;
  TBitmap bmp;
  TVLLocalProgress progress;
  bool aborted = false;
  explicit PcxRead(const Bytes& data, bool headerOnly = false) {
    TVLBufferStream s(data.data(), int64_t(data.size()));
    PcxReadStream(s, headerOnly ? nullptr : &bmp, params, headerOnly, progress.record, int64_t(data.size()));
    aborted = progress.aborting;
  }
  TRGB At(int x, int y) const { return PixelAt(bmp, x, y); }
};

}  // namespace

TEST(PcxReader, EightBitWithPaletteAtTheEnd) {
  Bytes d = PcxHeader(8, 1, 3, 2, 4);
  d.insert(d.end(), {0xC3, 7, 0, /* row 1 */ 1, 2, 0xC1, 0xC9, 0});
  d.push_back(12);
  for (int i = 0; i < 256; ++i) d.insert(d.end(), {uint8_t(i), uint8_t(255 - i), uint8_t(i / 2)});
  PcxRead r(d);
  ASSERT_FALSE(r.aborted);
  EXPECT_EQ(r.bmp.PixelFormat(), TPixelFormat::pf24bit);
  EXPECT_EQ(r.params.ColorMapCount(), 256);
  EXPECT_EQ(r.params.BitsPerSample, 8);
  EXPECT_EQ(r.params.SamplesPerPixel, 1);
  EXPECT_EQ(r.params.ColorMap()[9], MakeRGB(9, 246, 4));
  for (int x = 0; x < 3; ++x) EXPECT_EQ(r.At(x, 0), MakeRGB(7, 248, 3));
  EXPECT_EQ(r.At(0, 1), MakeRGB(1, 254, 0));
  EXPECT_EQ(r.At(2, 1), MakeRGB(0xC9, 255 - 0xC9, 0xC9 / 2));
}

TEST(PcxReader, SixteenColourPlanarFile) {
  // 4 planes of 1 bit, 3 pixels: indexes 5, 10, 15 (bit p of the index from plane p).
  Bytes d = PcxHeader(1, 4, 3, 1, 2, 0);
  const uint8_t planes[4][2] = {{0xA0, 0}, {0x60, 0}, {0xA0, 0}, {0x60, 0}};
  for (auto& p : planes) d.insert(d.end(), {p[0], p[1]});
  PcxRead r(d);
  ASSERT_FALSE(r.aborted);
  EXPECT_EQ(r.params.BitsPerSample, 4);
  EXPECT_EQ(r.params.SamplesPerPixel, 1);
  EXPECT_EQ(r.params.ColorMapCount(), 16);
  EXPECT_EQ(r.At(0, 0), Entry16(5));
  EXPECT_EQ(r.At(1, 0), Entry16(10));
  EXPECT_EQ(r.At(2, 0), Entry16(15));
}

TEST(PcxReader, RunsCarryAcrossPlaneLinesAndRows) {
  // 24-bit, 2 × 2, 2 bytes per plane line: a run of 5 fills red and green of row 0 and the
  // first blue byte; the rest of the rows is given literally.
  Bytes d = PcxHeader(8, 3, 2, 2, 2);
  d.insert(d.end(), {0xC5, 0x07, 0x09, /* row 1 */ 0xC3, 0x20, 0x21, 0x22, 0x23});
  PcxRead r(d);
  ASSERT_FALSE(r.aborted);
  EXPECT_EQ(r.At(0, 0), MakeRGB(7, 7, 7));
  EXPECT_EQ(r.At(1, 0), MakeRGB(7, 7, 9));
  EXPECT_EQ(r.At(0, 1), MakeRGB(0x20, 0x20, 0x22));
  EXPECT_EQ(r.At(1, 1), MakeRGB(0x20, 0x21, 0x23));
}

TEST(PcxReader, MonochromeAndFourBitPacked) {
  Bytes mono = PcxHeader(1, 1, 10, 1, 2);
  mono.insert(mono.end(), {0xA5, 0xC1, 0xC0});
  PcxRead m(mono);
  ASSERT_FALSE(m.aborted);
  EXPECT_EQ(m.bmp.PixelFormat(), TPixelFormat::pf1bit);
  EXPECT_EQ(m.bmp.ScanLine(0)[0], 0xA5);
  EXPECT_EQ(m.bmp.ScanLine(0)[1] & 0xC0, 0xC0);
  EXPECT_EQ(m.params.ColorMapCount(), 2);

  Bytes packed = PcxHeader(4, 1, 3, 1, 2, 0);
  packed.insert(packed.end(), {0x3C, 0x70});
  PcxRead p(packed);
  EXPECT_EQ(p.At(0, 0), Entry16(3));
  EXPECT_EQ(p.At(1, 0), Entry16(12));
  EXPECT_EQ(p.At(2, 0), Entry16(7));
}

TEST(PcxReader, ResolutionFallsBackWhenEitherIsZeroOrIsTheImageSize) {
  Bytes d = PcxHeader(8, 3, 1, 1, 2, 0, 300, 0);
  d.insert(d.end(), 6, 0);
  PcxRead r(d, true);
  EXPECT_EQ(r.params.DpiX, DefaultDpiX());
  EXPECT_EQ(r.params.DpiY, DefaultDpiY());
  Bytes e = PcxHeader(8, 3, 1, 1, 2, 0, 300, 150);
  PcxRead s(e, true);
  EXPECT_EQ(s.params.DpiX, 300);
  EXPECT_EQ(s.params.DpiY, 150);
  // netpbm and ImageMagick store the picture's own width and height there (199 x 77 "dpi"),
  // which would stretch it to 199 x 199 when the resolutions are equalised.
  Bytes own = PcxHeader(8, 3, 199, 77, 200, 1, 199, 77);
  own.insert(own.end(), size_t(77 * 3 * 2), 0);
  PcxRead t(own, true);
  ASSERT_FALSE(t.aborted);
  EXPECT_EQ(t.params.DpiX, DefaultDpiX());
  EXPECT_EQ(t.params.DpiY, DefaultDpiY());
}

TEST(PcxReader, BadHeadersAbortAndShortDataKeepsWhatWasDecoded) {
  Bytes notPcx = PcxHeader(8, 3, 1, 1, 2);
  notPcx[0] = 11;
  Bytes deep = PcxHeader(16, 1, 1, 1, 2);
  Bytes encoding = PcxHeader(8, 3, 1, 1, 2, 2);
  Bytes inverted = PcxHeader(8, 3, 1, 1, 2);
  inverted[8] = 0, inverted[4] = 5;  // xmax below xmin
  Bytes huge = PcxHeader(8, 3, 65535, 65535, 65535);
  for (const Bytes* b : {&notPcx, &deep, &encoding, &inverted, &huge}) EXPECT_TRUE(PcxRead(*b).aborted);
  EXPECT_TRUE(PcxRead(Bytes(50, 10)).aborted);

  Bytes shortData = PcxHeader(8, 3, 2, 3, 2);
  shortData.insert(shortData.end(), {0xC6, 0x44, 0xC2});  // one row, then a run without its value
  PcxRead r(shortData);
  EXPECT_FALSE(r.aborted);
  EXPECT_EQ(r.At(1, 0), MakeRGB(0x44, 0x44, 0x44));
  EXPECT_EQ(r.At(1, 1), MakeRGB(0, 0, 0));
}

TEST(PcxReader, ReadFileOpensAndReadsWholeFile) {
  auto dir = ScratchDir("pcxfile");
  Bytes d = PcxHeader(8, 3, 1, 1, 2, 0);
  d.insert(d.end(), {1, 0, 2, 0, 3, 0});
  WriteFileBytes(dir / "a.pcx", d);
  TIOParamsVals params;
  TBitmap bmp;
  TVLLocalProgress progress;
  PcxReadFile((dir / "a.pcx").string(), &bmp, params, progress.record);
  EXPECT_FALSE(progress.aborting);
  EXPECT_EQ(PixelAt(bmp, 0, 0), MakeRGB(1, 2, 3));
  EXPECT_THROW(PcxReadFile((dir / "missing.pcx").string(), &bmp, params, progress.record), EVLFileOpenError);
  std::filesystem::remove_all(dir);
}

TEST(PcxReader, MatchesImageMagickDecode) {
  if (!HaveTool("convert")) GTEST_SKIP() << "ImageMagick absent";
  auto dir = ScratchDir("pcx");
  auto src = (dir / "src.png").string();
  ASSERT_TRUE(RunShell("convert -size 31x9 plasma:fractal '" + src + "'"));
  struct Case {
    const char* name;
    const char* options;
  } cases[] = {
      {"a.pcx", ""},
      {"b.pcx", "-type palette"},
      {"c.pcx", "-colors 16 -type palette"},
      {"d.pcx", "-monochrome"},
      {"e.pcx", "-type truecolor -compress none"},
  };
  for (const auto& c : cases) {
    auto file = dir / c.name;
    ASSERT_TRUE(RunShell("convert '" + src + "' " + c.options + " '" + file.string() + "'"));
    PcxRead r(ReadFileBytes(file));
    ASSERT_FALSE(r.aborted) << c.name;
    ExpectMatchesMagick(file, r.bmp);
  }
  if (HaveTool("ppmtopcx") && HaveTool("pngtopam")) {
    for (const char* opt : {"-24bit", "-8bit", "-planes=4", "-packed"}) {
      auto file = dir / "n.pcx";
      ASSERT_TRUE(RunShell("pngtopam '" + src + "' | pnmquant 16 | ppmtopcx " + std::string(opt) + " > '" +
                           file.string() + "'"));
      PcxRead r(ReadFileBytes(file));
      ASSERT_FALSE(r.aborted) << opt;
      ExpectMatchesMagick(file, r.bmp);
    }
  }
  std::filesystem::remove_all(dir);
}
