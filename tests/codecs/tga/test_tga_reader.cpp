#include <gtest/gtest.h>

#include <cstring>

#include "codecs/minor_codec_helpers.h"
#include "codecs/tga/tga_codec.h"

using namespace velora;
using namespace velora::testing;

namespace {

Bytes TgaHeader(int imageType, int width, int height, int depth, int descriptor, int mapType = 0, int mapFirst = 0,
                int mapLength = 0, int mapEntry = 0, const std::string& id = "") {
  Bytes b;
  b.push_back(uint8_t(id.size()));
  b.push_back(uint8_t(mapType));
  b.push_back(uint8_t(imageType));
  PutU16(b, mapFirst);
  PutU16(b, mapLength);
  b.push_back(uint8_t(mapEntry));
  PutU16(b, 3);  // x origin
  PutU16(b, 4);  // y origin
  PutU16(b, width);
  PutU16(b, height);
  b.push_back(uint8_t(depth));
  b.push_back(uint8_t(descriptor));
  Append(b, id);
  return b;
}

struct TgaRead {
  TIOParamsVals params;
  TBitmap bmp;
  TVLLocalProgress progress;
  bool aborted = false;
  explicit TgaRead(const Bytes& data, bool headerOnly = false) {
    TVLBufferStream s(data.data(), int64_t(data.size()));
    TgaReadStream(s, headerOnly ? nullptr : &bmp, params, headerOnly, progress.record);
    aborted = progress.aborting;
  }
  TRGB At(int x, int y) const { return PixelAt(bmp, x, y); }
};

// Three rows of two pixels, given top row first, as 24-bit BGR file rows.
const TRGB kPicture[3][2] = {{{1, 2, 3}, {4, 5, 6}}, {{7, 8, 9}, {10, 11, 12}}, {{13, 14, 15}, {16, 17, 18}}};

void AppendRow(Bytes& b, int row) {
  for (int x = 0; x < 2; ++x) b.insert(b.end(), {kPicture[row][x].b, kPicture[row][x].g, kPicture[row][x].r});
}

}  // namespace

TEST(TgaReader, BottomUpAndTopDownFilesReadTheSame) {
  Bytes bottomUp = TgaHeader(2, 2, 3, 24, 0);
  for (int r = 2; r >= 0; --r) AppendRow(bottomUp, r);
  Bytes topDown = TgaHeader(2, 2, 3, 24, 32);
  for (int r = 0; r < 3; ++r) AppendRow(topDown, r);
  TgaRead a(bottomUp), b(topDown);
  ASSERT_FALSE(a.aborted);
  ASSERT_FALSE(b.aborted);
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 2; ++x) {
      EXPECT_EQ(a.At(x, y), kPicture[y][x]);
      EXPECT_EQ(b.At(x, y), kPicture[y][x]);
    }
  EXPECT_EQ(a.params.TgaXPos, 3);
  EXPECT_EQ(a.params.TgaYPos, 4);
  EXPECT_FALSE(a.params.TgaCompressed);
  EXPECT_EQ(a.params.SamplesPerPixel, 3);
}

TEST(TgaReader, RightToLeftRowsAreMirrored) {
  Bytes d = TgaHeader(2, 2, 1, 24, 32 | 16);
  AppendRow(d, 0);
  TgaRead r(d);
  EXPECT_EQ(r.At(0, 0), kPicture[0][1]);
  EXPECT_EQ(r.At(1, 0), kPicture[0][0]);
}

TEST(TgaReader, RunLengthPacketsRepeatAndCrossRows) {
  // 3 × 2 top-down: a run of 4 (0x83) covers row 0 and the first pixel of row 1, then a raw
  // packet of 2 finishes row 1.
  Bytes d = TgaHeader(10, 3, 2, 24, 32);
  d.insert(d.end(), {0x83, 10, 20, 30, 0x01, 1, 2, 3, 4, 5, 6});
  TgaRead r(d);
  ASSERT_FALSE(r.aborted);
  EXPECT_TRUE(r.params.TgaCompressed);
  for (int x = 0; x < 3; ++x) EXPECT_EQ(r.At(x, 0), (TRGB{10, 20, 30}));
  EXPECT_EQ(r.At(0, 1), (TRGB{10, 20, 30}));
  EXPECT_EQ(r.At(1, 1), (TRGB{1, 2, 3}));
  EXPECT_EQ(r.At(2, 1), (TRGB{4, 5, 6}));
}

TEST(TgaReader, RunPastTheImageEndIsDroppedAndShortDataStops) {
  Bytes d = TgaHeader(10, 2, 2, 24, 32);
  d.insert(d.end(), {0xFF, 9, 9, 9});  // 128 pixels for an image of 4
  TgaRead r(d);
  EXPECT_FALSE(r.aborted);
  EXPECT_EQ(r.At(1, 1), (TRGB{9, 9, 9}));

  Bytes shortData = TgaHeader(2, 2, 2, 24, 32);
  shortData.insert(shortData.end(), {1, 2, 3, 4, 5, 6, 7});
  TgaRead s(shortData);
  EXPECT_FALSE(s.aborted);
  EXPECT_EQ(s.At(1, 0), (TRGB{4, 5, 6}));
  EXPECT_EQ(s.At(0, 1), (TRGB{0, 0, 0}));
}

TEST(TgaReader, SixteenAndThirtyTwoBitPixels) {
  // 5-bit channels repeat their bits: 31 reads 255, 1 reads 8, 16 reads 132.
  Bytes d16 = TgaHeader(2, 3, 1, 16, 32);
  d16.insert(d16.end(), {0xFF, 0x7F, 0x1F, 0x00, 0x30, 0x40});
  TgaRead a(d16);
  EXPECT_EQ(a.At(0, 0), MakeRGB(255, 255, 255));
  EXPECT_EQ(a.At(1, 0), MakeRGB(0, 0, 255));
  EXPECT_EQ(a.At(2, 0), MakeRGB(132, 8, 132));
  EXPECT_EQ(a.params.BitsPerSample, 5);

  // Grey images at 16 bits are a grey byte and an alpha byte, plain and run-length coded.
  for (int type : {3, 11}) {
    SCOPED_TRACE(type);
    Bytes grey = TgaHeader(type, 2, 1, 16, 32);
    if (type == 3)
      grey.insert(grey.end(), {200, 255, 17, 0});
    else
      grey.insert(grey.end(), {0x01, 200, 255, 17, 0});  // a raw packet of two
    TgaRead g(grey);
    ASSERT_FALSE(g.aborted);
    EXPECT_EQ(g.At(0, 0), MakeRGB(200, 200, 200));
    EXPECT_EQ(g.At(1, 0), MakeRGB(17, 17, 17));
    EXPECT_EQ(g.params.BitsPerSample, 8);
    EXPECT_EQ(g.params.SamplesPerPixel, 1);
    EXPECT_TRUE(g.params.TgaGrayscale);
  }

  Bytes d32 = TgaHeader(2, 1, 1, 32, 32);
  d32.insert(d32.end(), {1, 2, 3, 0});
  TgaRead b(d32);
  EXPECT_EQ(b.At(0, 0), (TRGB{1, 2, 3}));
  EXPECT_EQ(b.params.SamplesPerPixel, 4);
}

TEST(TgaReader, ColourMapReplacesTheCubeFromTheFirstIndex) {
  // Map of two 16-bit entries starting at index 5; index 0 stays the cube's first colour.
  Bytes d = TgaHeader(1, 3, 1, 8, 32, 1, 5, 2, 16, "id!");
  d.insert(d.end(), {0x00, 0x7C, 0xE0, 0x03});  // red, green
  d.insert(d.end(), {5, 6, 0});
  TgaRead r(d);
  ASSERT_FALSE(r.aborted);
  EXPECT_EQ(r.params.TgaImageId, "id!");
  EXPECT_EQ(r.params.ColorMapCount(), 2);
  EXPECT_FALSE(r.params.TgaGrayscale);
  EXPECT_EQ(r.At(0, 0), MakeRGB(255, 0, 0));
  EXPECT_EQ(r.At(1, 0), MakeRGB(0, 255, 0));
  EXPECT_EQ(r.At(2, 0), MakeRGB(28, 28, 60));

  Bytes grey = TgaHeader(3, 1, 1, 8, 32);
  grey.push_back(77);
  TgaRead g(grey);
  EXPECT_TRUE(g.params.TgaGrayscale);
  EXPECT_EQ(g.At(0, 0), MakeRGB(77, 77, 77));
}

TEST(TgaReader, FileWithoutFooterKeepsDefaults) {
  Bytes d = TgaHeader(2, 1, 1, 24, 32);
  d.insert(d.end(), {1, 2, 3});
  TgaRead r(d);
  EXPECT_TRUE(r.params.TgaAuthor.empty());
  EXPECT_TRUE(r.params.TgaJobName.empty());
  EXPECT_EQ(r.params.TgaDate, VLDateToday());
  EXPECT_EQ(r.params.TgaAspectRatio, 1.0);
  EXPECT_EQ(r.params.TgaGamma, 2.2);
}

TEST(TgaReader, ExtensionAreaIsRead) {
  Bytes d = TgaHeader(2, 1, 1, 24, 32);
  d.insert(d.end(), {1, 2, 3});
  const uint32_t extOffset = uint32_t(d.size());
  Bytes ext(495, 0);
  ext[0] = 0xEF, ext[1] = 0x01;
  std::memcpy(&ext[2], "Ann", 3);
  const uint16_t date[6] = {2, 29, 2024, 13, 30, 15};
  for (int i = 0; i < 6; ++i) ext[367 + 2 * i] = uint8_t(date[i]), ext[368 + 2 * i] = uint8_t(date[i] >> 8);
  std::memcpy(&ext[379], "Job", 3);
  ext[471] = 10, ext[472] = 20, ext[473] = 30;
  ext[474] = 3, ext[476] = 2;  // aspect 3/2
  ext[478] = 9, ext[480] = 4;  // gamma 9/4
  d.insert(d.end(), ext.begin(), ext.end());
  PutU32(d, extOffset);
  PutU32(d, 0);
  Append(d, "TRUEVISION-XFILE.");
  d.push_back(0);
  TgaRead r(d);
  ASSERT_FALSE(r.aborted);
  EXPECT_EQ(r.params.TgaAuthor, "Ann");
  EXPECT_EQ(r.params.TgaJobName, "Job");
  EXPECT_EQ(r.params.TgaKeyColor, MakeRGB(10, 20, 30));
  EXPECT_DOUBLE_EQ(r.params.TgaAspectRatio, 1.5);
  EXPECT_DOUBLE_EQ(r.params.TgaGamma, 2.25);
  // 29 Feb 2024 is day 45351 after 30 Dec 1899.
  EXPECT_NEAR(r.params.TgaDate, 45351 + (13 * 3600 + 30 * 60 + 15) / 86400.0, 1e-9);

  ext[367] = 13;  // month 13: the date is ignored
  std::memcpy(&d[extOffset], ext.data(), ext.size());
  EXPECT_EQ(TgaRead(d).params.TgaDate, VLDateToday());
}

TEST(TgaReader, RecognitionAndBadHeaders) {
  Bytes ppm = FromString("P6\n\n2 2 255\n............");
  TVLBufferStream s(ppm.data(), int64_t(ppm.size()));
  EXPECT_FALSE(IsTgaStream(s));
  Bytes good = TgaHeader(10, 1, 1, 24, 0);
  TVLBufferStream g(good.data(), int64_t(good.size()));
  EXPECT_TRUE(IsTgaStream(g));
  EXPECT_EQ(g.Position(), 0);
  TVLBufferStream shortStream(good.data(), 17);
  EXPECT_FALSE(IsTgaStream(shortStream));

  const Bytes bad[] = {TgaHeader(4, 1, 1, 24, 0), TgaHeader(2, 1, 1, 12, 0), TgaHeader(2, 0, 1, 24, 0),
                       TgaHeader(1, 1, 1, 8, 0, 1, 0, 1, 7), Bytes(10, 0)};
  for (const auto& b : bad) EXPECT_TRUE(TgaRead(b).aborted);
}

TEST(TgaReader, MatchesImageMagickDecode) {
  if (!HaveTool("convert")) GTEST_SKIP() << "ImageMagick absent";
  auto dir = ScratchDir("tga");
  auto src = (dir / "src.png").string();
  ASSERT_TRUE(RunShell("convert -size 29x13 plasma:fractal -seed 3 '" + src + "'"));
  struct Case {
    const char* name;
    const char* options;
  } cases[] = {
      {"a.tga", "-compress none"},
      {"b.tga", "-compress RLE"},
      {"c.tga", "-type palette -compress none"},
      {"d.tga", "-type palette -compress RLE"},
      {"e.tga", "-colorspace gray -compress RLE"},
      {"f.tga", "-orient top-left -compress none"},
  };
  for (const auto& c : cases) {
    auto file = dir / c.name;
    ASSERT_TRUE(RunShell("convert '" + src + "' " + c.options + " '" + file.string() + "'"));
    TgaRead r(ReadFileBytes(file));
    ASSERT_FALSE(r.aborted) << c.name;
    ExpectMatchesMagick(file, r.bmp);
  }
  if (HaveTool("pamtotga") && HaveTool("pngtopam")) {
    for (const char* opt : {"-rgb", "-rgb -norle", "-cmap", "-mono"}) {
      auto file = dir / "n.tga";
      ASSERT_TRUE(RunShell("pngtopam '" + src + "' | pnmquant 256 | pamtotga " + opt + " > '" + file.string() + "'"));
      TgaRead r(ReadFileBytes(file));
      ASSERT_FALSE(r.aborted) << opt;
      ExpectMatchesMagick(file, r.bmp);
    }
  }
  std::filesystem::remove_all(dir);
}
