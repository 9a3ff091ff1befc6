// PNG reader and writer: every colour type and depth, transparency, interlacing, resolution,
// damaged files, round trips, and parity with ImageMagick's decoding.
#include <gtest/gtest.h>

#include <png.h>
#include <zlib.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "codecs/png/png_codec.h"

using namespace velora;

namespace {

// A PNG made with libpng itself, sample by sample, so that every colour type and depth can
// be produced without outside tools.
struct TPngSpec {
  int w = 5, h = 3, colorType = PNG_COLOR_TYPE_RGB, depth = 8;
  bool interlace = false;
  std::vector<png_color> palette;
  std::vector<png_byte> trnsIndex;
  bool trnsColour = false;
  png_color_16 trns{};
  bool bkgd = false;
  png_color_16 bkgdColour{};
  png_uint_32 ppm = 0;
};

int Channels(int colorType) {
  switch (colorType) {
    case PNG_COLOR_TYPE_GRAY_ALPHA: return 2;
    case PNG_COLOR_TYPE_RGB: return 3;
    case PNG_COLOR_TYPE_RGB_ALPHA: return 4;
    default: return 1;
  }
}

// The sample value of channel c at (x, y) for a depth.
unsigned Sample(const TPngSpec& s, int x, int y, int c) {
  const unsigned maxv = (1u << s.depth) - 1;
  if (s.colorType == PNG_COLOR_TYPE_PALETTE) return unsigned(x + y * s.w) % s.palette.size();
  if (s.depth == 16) return (unsigned(x) * 9973u + unsigned(y) * 3137u + unsigned(c) * 20011u + 77u) & 0xFFFF;
  return (unsigned(x) * 7 + unsigned(y) * 3 + unsigned(c) * 5 + 1) & maxv;
}

void AppendData(png_structp png, png_bytep data, size_t n) {
  auto* out = static_cast<std::vector<uint8_t>*>(png_get_io_ptr(png));
  out->insert(out->end(), data, data + n);
}

std::vector<uint8_t> MakePng(const TPngSpec& s) {
  std::vector<uint8_t> out;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  if (setjmp(png_jmpbuf(png))) {
    ADD_FAILURE() << "libpng failed";
    png_destroy_write_struct(&png, &info);
    return {};
  }
  png_set_write_fn(png, &out, AppendData, nullptr);
  png_set_IHDR(png, info, png_uint_32(s.w), png_uint_32(s.h), s.depth, s.colorType,
               s.interlace ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE, 0, 0);
  if (!s.palette.empty()) png_set_PLTE(png, info, s.palette.data(), int(s.palette.size()));
  if (!s.trnsIndex.empty()) png_set_tRNS(png, info, s.trnsIndex.data(), int(s.trnsIndex.size()), nullptr);
  if (s.trnsColour) png_set_tRNS(png, info, nullptr, 0, const_cast<png_color_16*>(&s.trns));
  if (s.bkgd) png_set_bKGD(png, info, &s.bkgdColour);
  if (s.ppm) png_set_pHYs(png, info, s.ppm, s.ppm, PNG_RESOLUTION_METER);
  png_write_info(png, info);
  const int ch = Channels(s.colorType);
  std::vector<std::vector<png_byte>> rows(size_t(s.h), std::vector<png_byte>(size_t(s.w) * ch * 2 + 8, 0));
  std::vector<png_bytep> ptrs;
  for (int y = 0; y < s.h; ++y) {
    auto& row = rows[size_t(y)];
    for (int x = 0; x < s.w; ++x)
      for (int c = 0; c < ch; ++c) {
        const unsigned v = Sample(s, x, y, c);
        const int i = x * ch + c;
        if (s.depth == 16) {
          row[size_t(2 * i)] = png_byte(v >> 8), row[size_t(2 * i + 1)] = png_byte(v);
        } else if (s.depth == 8) {
          row[size_t(i)] = png_byte(v);
        } else {
          const int bitPos = i * s.depth;
          row[size_t(bitPos / 8)] |= png_byte(v << (8 - s.depth - bitPos % 8));
        }
      }
    ptrs.push_back(row.data());
  }
  png_write_image(png, ptrs.data());
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  return out;
}

unsigned To8(const TPngSpec& s, unsigned v) {
  if (s.depth == 16) return v >> 8;
  return v * 255 / ((1u << s.depth) - 1);
}

// Expected blue, green, red and alpha of a pixel after the reader's transformations.
void Expected(const TPngSpec& s, int x, int y, uint8_t bgra[4]) {
  const unsigned s0 = Sample(s, x, y, 0);
  unsigned r, g, b, a = 255;
  if (s.colorType == PNG_COLOR_TYPE_PALETTE) {
    const png_color& c = s.palette[s0];
    r = c.red, g = c.green, b = c.blue;
    if (s0 < s.trnsIndex.size()) a = s.trnsIndex[s0];
  } else if (s.colorType & PNG_COLOR_MASK_COLOR) {
    r = To8(s, s0), g = To8(s, Sample(s, x, y, 1)), b = To8(s, Sample(s, x, y, 2));
    if (s.colorType & PNG_COLOR_MASK_ALPHA) a = To8(s, Sample(s, x, y, 3));
    if (s.trnsColour && s0 == s.trns.red && Sample(s, x, y, 1) == s.trns.green && Sample(s, x, y, 2) == s.trns.blue)
      a = 0;
  } else {
    r = g = b = To8(s, s0);
    if (s.colorType & PNG_COLOR_MASK_ALPHA) a = To8(s, Sample(s, x, y, 1));
    if (s.trnsColour && s0 == s.trns.gray) a = 0;
  }
  bgra[0] = uint8_t(b), bgra[1] = uint8_t(g), bgra[2] = uint8_t(r), bgra[3] = uint8_t(a);
}

uint8_t Over(unsigned c, unsigned a, unsigned bg) { return uint8_t((c * a + bg * (255 - a) + 127) / 255); }

bool Read(const std::vector<uint8_t>& data, TBitmap* bmp, TIOParamsVals& params, TVLMask* mask = nullptr,
          bool headerOnly = false, int* reports = nullptr) {
  TVLBufferStream in(data.data(), int64_t(data.size()));
  TVLLocalProgress progress;
  if (reports) progress.record.fOnProgress = [reports](TVLObject*, int) { ++*reports; };
  PngReadStream(in, bmp, params, mask, headerOnly, progress.record);
  return !progress.aborting;
}

std::vector<png_color> TestPalette(int n) {
  std::vector<png_color> p;
  for (int i = 0; i < n; ++i) p.push_back(png_color{png_byte(i * 37 + 5), png_byte(255 - i * 11), png_byte(i * 3)});
  return p;
}

std::vector<uint8_t> Write(TBitmap& bmp, TIOParamsVals& params, TVLMask* mask = nullptr) {
  TVLMemoryStream out;
  TVLLocalProgress progress;
  PngWriteStream(out, bmp, params, mask, progress.record);
  EXPECT_FALSE(progress.aborting);
  return out.Data();
}

void FillPattern(TBitmap& bmp, int w, int h, uint32_t seed) {
  bmp.Reset(w, h, TPixelFormat::pf24bit);
  std::mt19937 rng(seed);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w * 3; ++x) bmp.ScanLine(y)[x] = uint8_t(rng());
}

bool SameRows(const TBitmap& a, const TBitmap& b) {
  if (a.Width() != b.Width() || a.Height() != b.Height() || a.PixelFormat() != b.PixelFormat()) return false;
  const int bytes = (a.Width() * a.BitCount() + 7) / 8;
  for (int y = 0; y < a.Height(); ++y)
    if (std::memcmp(a.ScanLine(y), b.ScanLine(y), size_t(bytes)) != 0) return false;
  return true;
}

}  // namespace

// Every colour type and depth, interlaced or not, with and without an alpha mask.
TEST(Png, EveryColourTypeAndDepth) {
  struct TType {
    int colorType, depth;
  } types[] = {{PNG_COLOR_TYPE_GRAY, 2},       {PNG_COLOR_TYPE_GRAY, 4},       {PNG_COLOR_TYPE_GRAY, 8},
               {PNG_COLOR_TYPE_GRAY, 16},      {PNG_COLOR_TYPE_RGB, 8},        {PNG_COLOR_TYPE_RGB, 16},
               {PNG_COLOR_TYPE_PALETTE, 1},    {PNG_COLOR_TYPE_PALETTE, 2},    {PNG_COLOR_TYPE_PALETTE, 4},
               {PNG_COLOR_TYPE_PALETTE, 8},    {PNG_COLOR_TYPE_GRAY_ALPHA, 8}, {PNG_COLOR_TYPE_GRAY_ALPHA, 16},
               {PNG_COLOR_TYPE_RGB_ALPHA, 8},  {PNG_COLOR_TYPE_RGB_ALPHA, 16}};
  const TRGB bg = MakeRGB(10, 200, 30);
  for (const TType& t : types)
    for (bool interlace : {false, true})
      for (bool withMask : {false, true}) {
        TPngSpec s;
        s.w = 11, s.h = 9;
        s.colorType = t.colorType, s.depth = t.depth, s.interlace = interlace;
        if (t.colorType == PNG_COLOR_TYPE_PALETTE) s.palette = TestPalette(std::min(1 << t.depth, 13));
        auto file = MakePng(s);
        SCOPED_TRACE("type " + std::to_string(t.colorType) + " depth " + std::to_string(t.depth) +
                     (interlace ? " interlaced" : "") + (withMask ? " mask" : ""));
        TBitmap bmp;
        TVLMask mask;
        TIOParamsVals params;
        params.PngBackground = bg;
        ASSERT_TRUE(Read(file, &bmp, params, withMask ? &mask : nullptr));
        EXPECT_EQ(params.Width, 11);
        EXPECT_EQ(params.BitsPerSample, t.depth);
        EXPECT_EQ(params.SamplesPerPixel, Channels(t.colorType));
        EXPECT_EQ(params.PngInterlaced, interlace);
        EXPECT_EQ(params.ColorMapCount(), t.colorType == PNG_COLOR_TYPE_PALETTE ? int(s.palette.size()) : 0);
        ASSERT_EQ(bmp.PixelFormat(), TPixelFormat::pf24bit);
        for (int y = 0; y < s.h; ++y)
          for (int x = 0; x < s.w; ++x) {
            uint8_t e[4];
            Expected(s, x, y, e);
            const uint8_t* p = bmp.ScanLine(y) + 3 * x;
            if (withMask) {
              ASSERT_EQ(mask.ScanLine(y)[x], e[3]) << x << "," << y;
              ASSERT_EQ(p[0], e[0]);
              ASSERT_EQ(p[1], e[1]);
              ASSERT_EQ(p[2], e[2]);
            } else {
              ASSERT_EQ(p[0], Over(e[0], e[3], bg.b)) << x << "," << y;
              ASSERT_EQ(p[1], Over(e[1], e[3], bg.g));
              ASSERT_EQ(p[2], Over(e[2], e[3], bg.r));
            }
          }
        if (withMask) {
          EXPECT_EQ(mask.Full(), !(t.colorType & PNG_COLOR_MASK_ALPHA));
        }
      }
}

TEST(Png, OneBitFilesStayOneBitWhenBlackAndWhite) {
  TPngSpec grey;
  grey.w = 13, grey.h = 2, grey.colorType = PNG_COLOR_TYPE_GRAY, grey.depth = 1;
  TPngSpec bw = grey;
  bw.colorType = PNG_COLOR_TYPE_PALETTE;
  bw.palette = {png_color{0, 0, 0}, png_color{255, 255, 255}};
  for (const TPngSpec& s : {grey, bw}) {
    TBitmap bmp;
    TIOParamsVals params;
    ASSERT_TRUE(Read(MakePng(s), &bmp, params));
    ASSERT_EQ(bmp.PixelFormat(), TPixelFormat::pf1bit);
    EXPECT_EQ(params.BitsPerSample, 1);
    for (int y = 0; y < s.h; ++y)
      for (int x = 0; x < s.w; ++x)
        ASSERT_EQ((bmp.ScanLine(y)[x / 8] >> (7 - x % 8)) & 1, int(Sample(s, x, y, 0)));
  }
}

TEST(Png, TransparencyOfPaletteAndGreyImages) {
  TPngSpec pal;
  pal.colorType = PNG_COLOR_TYPE_PALETTE;
  pal.palette = TestPalette(6);
  pal.trnsIndex = {0, 128, 255, 7};
  TPngSpec grey;
  grey.colorType = PNG_COLOR_TYPE_GRAY;
  grey.trnsColour = true;
  grey.trns.gray = Sample(grey, 2, 1, 0);
  TPngSpec rgb;
  rgb.trnsColour = true;
  rgb.trns.red = png_uint_16(Sample(rgb, 1, 1, 0)), rgb.trns.green = png_uint_16(Sample(rgb, 1, 1, 1));
  rgb.trns.blue = png_uint_16(Sample(rgb, 1, 1, 2));
  for (const TPngSpec& s : {pal, grey, rgb}) {
    auto file = MakePng(s);
    TBitmap bmp;
    TVLMask mask;
    TIOParamsVals params;
    ASSERT_TRUE(Read(file, &bmp, params, &mask));
    EXPECT_FALSE(mask.Full());
    int transparent = 0;
    for (int y = 0; y < s.h; ++y)
      for (int x = 0; x < s.w; ++x) {
        uint8_t e[4];
        Expected(s, x, y, e);
        ASSERT_EQ(mask.ScanLine(y)[x], e[3]);
        transparent += e[3] == 0;
      }
    EXPECT_GT(transparent, 0);
  }
}

TEST(Png, BackgroundFromBkgdOrParameter) {
  TPngSpec s;
  s.colorType = PNG_COLOR_TYPE_RGB_ALPHA;
  s.depth = 16;
  s.bkgd = true;
  s.bkgdColour.red = 0xFF00, s.bkgdColour.green = 0x8000, s.bkgdColour.blue = 0x0100;
  TBitmap bmp;
  TIOParamsVals params;
  params.PngBackground = MakeRGB(1, 2, 3);
  ASSERT_TRUE(Read(MakePng(s), &bmp, params));
  EXPECT_EQ(params.PngBackground, MakeRGB(0xFF, 0x80, 0x01));
  uint8_t e[4];
  Expected(s, 0, 0, e);
  EXPECT_EQ(bmp.ScanLine(0)[2], Over(e[2], e[3], 0xFF));

  TPngSpec g8;
  g8.colorType = PNG_COLOR_TYPE_GRAY_ALPHA;
  g8.bkgd = true;
  g8.bkgdColour.gray = 200;
  TIOParamsVals p2;
  ASSERT_TRUE(Read(MakePng(g8), nullptr, p2, nullptr, true));
  EXPECT_EQ(p2.PngBackground, MakeRGB(200, 200, 200));
}

TEST(Png, InterlacedProgressRunsThroughSevenPasses) {
  TPngSpec s;
  s.interlace = true;
  s.w = 16, s.h = 16;
  int reports = 0;
  TBitmap bmp;
  TIOParamsVals params;
  ASSERT_TRUE(Read(MakePng(s), &bmp, params, nullptr, false, &reports));
  EXPECT_TRUE(params.PngInterlaced);
  EXPECT_EQ(reports, 7 * 16);
}

TEST(Png, ResolutionAndHeaderOnly) {
  TPngSpec s;
  s.ppm = 2835;
  s.w = 4000, s.h = 3;
  TIOParamsVals params;
  ASSERT_TRUE(Read(MakePng(s), nullptr, params, nullptr, true));
  EXPECT_EQ(params.DpiX, 72);
  EXPECT_EQ(params.DpiY, 72);
  EXPECT_EQ(params.Width, 4000);
  s.ppm = 0;
  TIOParamsVals p2;
  ASSERT_TRUE(Read(MakePng(s), nullptr, p2, nullptr, true));
  EXPECT_EQ(p2.DpiX, DefaultDpiX());
}

TEST(Png, SixteenBitStrippedToEight) {
  TPngSpec s;
  s.depth = 16;
  TBitmap bmp;
  TIOParamsVals params;
  ASSERT_TRUE(Read(MakePng(s), &bmp, params));
  EXPECT_EQ(params.BitsPerSample, 16);
  EXPECT_EQ(params.SamplesPerPixel, 3);
  EXPECT_EQ(bmp.ScanLine(1)[3 * 2 + 2], Sample(s, 2, 1, 0) >> 8);
}

TEST(Png, SignatureTest) {
  auto file = MakePng(TPngSpec{});
  TVLBufferStream in(file.data(), int64_t(file.size()));
  EXPECT_TRUE(IsPngStream(in));
  EXPECT_EQ(in.Position(), 0);
  file[1] = 'Q';
  TVLBufferStream bad(file.data(), int64_t(file.size()));
  EXPECT_FALSE(IsPngStream(bad));
  TVLBufferStream shortOne(file.data(), 4);
  EXPECT_FALSE(IsPngStream(shortOne));
  EXPECT_EQ(shortOne.Position(), 0);
}

TEST(Png, TruncatedAndDamagedFiles) {
  TBitmap noise;
  FillPattern(noise, 200, 200, 9);  // incompressible: many IDAT reads
  TIOParamsVals wp;
  auto file = Write(noise, wp);
  TBitmap full;
  TIOParamsVals p0;
  ASSERT_TRUE(Read(file, &full, p0));
  std::vector<uint8_t> half(file.begin(), file.begin() + long(file.size() / 2));
  TBitmap cut;
  TIOParamsVals params;
  EXPECT_FALSE(Read(half, &cut, params));
  ASSERT_EQ(cut.Width(), 200);
  EXPECT_EQ(std::memcmp(cut.ScanLine(0), full.ScanLine(0), 200 * 3), 0);  // rows read so far stay

  TPngSpec s;
  s.w = 64, s.h = 64;

  std::mt19937 rng(5);
  for (TPngSpec t : {s, TPngSpec{7, 5, PNG_COLOR_TYPE_RGB_ALPHA, 16, true}}) {
    auto f = MakePng(t);
    for (int i = 0; i < 300; ++i) {
      auto data = f;
      for (int k = 0; k < 1 + int(rng() % 4); ++k) data[8 + rng() % (data.size() - 8)] = uint8_t(rng());
      if (i % 4 == 0) data.resize(rng() % data.size());
      TBitmap bmp;
      TVLMask mask;
      TIOParamsVals p;
      Read(data, &bmp, p, i % 2 ? &mask : nullptr);
      TIOParamsVals h;
      Read(data, nullptr, h, nullptr, true);
    }
  }
}

TEST(Png, DeclaredSizeBeyondLimitAborts) {
  TPngSpec s;
  auto file = MakePng(s);
  // IHDR width and height at bytes 16..23; the CRC must be recomputed.
  for (int i = 16; i < 24; ++i) file[size_t(i)] = i % 4 == 0 ? 0x00 : 0x7F;
  const uLong crc = crc32(0, file.data() + 12, 17);
  for (int i = 0; i < 4; ++i) file[size_t(29 + i)] = uint8_t(crc >> (24 - 8 * i));
  TBitmap bmp;
  TVLMask mask;
  TIOParamsVals params;
  EXPECT_FALSE(Read(file, &bmp, params, &mask));
  EXPECT_LE(bmp.Width(), 1);
  EXPECT_LE(mask.Width(), 1);
}

TEST(Png, WriteReadRoundTrips) {
  TBitmap src;
  FillPattern(src, 19, 7, 11);
  for (bool interlaced : {false, true})
    for (int filter : {0, 1, 2, 5}) {
      TIOParamsVals wp;
      wp.PngInterlaced = interlaced;
      wp.PngFilter = uint8_t(filter);
      wp.PngCompression = 9;
      wp.DpiX = 300, wp.DpiY = 150;
      auto file = Write(src, wp);
      TBitmap back;
      TIOParamsVals params;
      ASSERT_TRUE(Read(file, &back, params));
      EXPECT_TRUE(SameRows(src, back)) << interlaced << filter;
      EXPECT_EQ(params.PngInterlaced, interlaced);
      EXPECT_EQ(params.DpiX, 300);
      EXPECT_EQ(params.DpiY, 150);
    }
}

TEST(Png, WriteAlphaFromMask) {
  TBitmap src;
  FillPattern(src, 9, 6, 3);
  TVLMask mask;
  mask.Allocate(9, 6, 8);
  mask.Fill(255);
  for (int x = 0; x < 9; ++x) mask.SetPixel(x, 2, x * 30);
  TIOParamsVals wp;
  auto file = Write(src, wp, &mask);
  TBitmap back;
  TVLMask backMask;
  TIOParamsVals params;
  ASSERT_TRUE(Read(file, &back, params, &backMask));
  EXPECT_EQ(params.SamplesPerPixel, 4);
  EXPECT_TRUE(SameRows(src, back));
  for (int y = 0; y < 6; ++y)
    for (int x = 0; x < 9; ++x) ASSERT_EQ(backMask.GetPixel(x, y), mask.GetPixel(x, y));

  // Palette with a mask: entry 0 is transparent.
  wp.SamplesPerPixel = 1;
  wp.BitsPerSample = 8;
  auto pal = Write(src, wp, &mask);
  TVLMask palMask;
  TIOParamsVals pp;
  ASSERT_TRUE(Read(pal, &back, pp, &palMask));
  EXPECT_EQ(palMask.GetPixel(0, 2), 0);
  EXPECT_EQ(palMask.GetPixel(0, 0), 255);
}

TEST(Png, WritePaletteWithBackgroundEntry) {
  TBitmap src;
  FillPattern(src, 30, 20, 4);  // hundreds of colours
  TIOParamsVals wp;
  wp.SamplesPerPixel = 1;
  wp.BitsPerSample = 8;
  wp.PngBackground = MakeRGB(1, 2, 3);
  auto file = Write(src, wp);
  TBitmap back;
  TIOParamsVals params;
  ASSERT_TRUE(Read(file, &back, params));
  EXPECT_EQ(params.SamplesPerPixel, 1);
  ASSERT_EQ(params.ColorMapCount(), 256);
  EXPECT_EQ(params.ColorMap()[0], MakeRGB(1, 2, 3));

  // The raw indices: none uses the background entry.
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  ASSERT_TRUE(png_image_begin_read_from_memory(&image, file.data(), file.size()));
  image.format = PNG_FORMAT_RGB_COLORMAP;
  std::vector<uint8_t> pixels(PNG_IMAGE_SIZE(image)), colormap(PNG_IMAGE_COLORMAP_SIZE(image));
  ASSERT_TRUE(png_image_finish_read(&image, nullptr, pixels.data(), 0, colormap.data()));
  for (uint8_t index : pixels) ASSERT_GE(index, 1);

  wp.BitsPerSample = 4;
  auto small = Write(src, wp);
  TIOParamsVals p4;
  ASSERT_TRUE(Read(small, nullptr, p4, nullptr, true));
  EXPECT_EQ(p4.ColorMapCount(), 17);
}

TEST(Png, WriteOneBit) {
  TBitmap mono;
  mono.Reset(10, 3, TPixelFormat::pf1bit);
  mono.ScanLine(1)[0] = 0xA5;
  mono.ScanLine(2)[1] = 0xC0;
  TIOParamsVals wp;
  wp.BitsPerSample = 1;
  auto file = Write(mono, wp);
  TBitmap back;
  TIOParamsVals params;
  ASSERT_TRUE(Read(file, &back, params));
  EXPECT_TRUE(SameRows(mono, back));

  // A two-colour 24-bit image: 0 bits for the darker colour.
  TBitmap two;
  two.Reset(4, 1, TPixelFormat::pf24bit);
  const TRGB light = MakeRGB(250, 240, 10), dark = MakeRGB(20, 0, 90);
  auto* row = reinterpret_cast<TRGB*>(two.ScanLine(0));
  row[0] = light, row[1] = dark, row[2] = light, row[3] = dark;
  auto f2 = Write(two, wp);
  ASSERT_TRUE(Read(f2, &back, params));
  ASSERT_EQ(back.PixelFormat(), TPixelFormat::pf1bit);
  EXPECT_EQ(back.ScanLine(0)[0] & 0xF0, 0xA0);

  // Samples per pixel 3 with a 1-bit source still writes valid 1-bit rows.
  wp.SamplesPerPixel = 3;
  auto f3 = Write(mono, wp);
  ASSERT_TRUE(Read(f3, &back, params));
  EXPECT_TRUE(SameRows(mono, back));
}

TEST(Png, ShortWriteAborts) {
  class TFullStream : public TVLMemoryStream {
   public:
    int64_t Write(const void*, int64_t) override { return 0; }
  };
  TBitmap src;
  FillPattern(src, 50, 50, 1);
  TFullStream full;
  TIOParamsVals params;
  TVLLocalProgress progress;
  PngWriteStream(full, src, params, nullptr, progress.record);
  EXPECT_TRUE(progress.aborting);
}

// PNG files made by ImageMagick decode to the same pixels as ImageMagick's own decoding.
TEST(PngReference, MatchesImageMagick) {
  const std::string convert = "/usr/bin/convert-im6.q16";
  if (!std::filesystem::exists(convert)) GTEST_SKIP() << "ImageMagick not installed";
  auto dir = std::filesystem::temp_directory_path() / ("velora_png_test_" + std::to_string(getpid()));
  std::filesystem::create_directories(dir);
  const std::string src = (dir / "src.png").string(), png = (dir / "t.png").string(),
                    rgba = (dir / "t.rgba").string();
  // A source with gradients and a varying alpha.
  ASSERT_EQ(std::system((convert + " -size 37x23 gradient:red-blue \\( -size 37x23 gradient:white-black \\) "
                                   "-alpha off -compose CopyOpacity -composite " + src).c_str()), 0);
  const char* variants[] = {"-alpha off -depth 8",         "-alpha off -depth 16",
                            "-depth 8",                     "-depth 16",
                            "-alpha off -colorspace Gray -depth 8", "-colorspace Gray -depth 8",
                            "-alpha off -colors 12 PNG8:", "-alpha off -interlace PNG -depth 8",
                            "-alpha off -colorspace Gray -depth 4", "-alpha off -colorspace Gray -depth 2"};
  for (const char* v : variants) {
    std::string opts = v, prefix;
    if (auto p = opts.find("PNG8:"); p != std::string::npos) prefix = "PNG8:", opts.erase(p);
    ASSERT_EQ(std::system((convert + " " + src + " " + opts + " " + prefix + png).c_str()), 0) << v;
    ASSERT_EQ(std::system((convert + " " + png + " -depth 8 rgba:" + rgba).c_str()), 0) << v;
    std::ifstream in(rgba, std::ios::binary);
    std::vector<uint8_t> ref((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::ifstream pf(png, std::ios::binary);
    std::vector<uint8_t> file((std::istreambuf_iterator<char>(pf)), std::istreambuf_iterator<char>());
    TBitmap bmp;
    TVLMask mask;
    TIOParamsVals params;
    ASSERT_TRUE(Read(file, &bmp, params, &mask)) << v;
    ASSERT_EQ(ref.size(), size_t(37 * 23 * 4)) << v;
    const int tolerance = params.BitsPerSample == 16 ? 1 : 0;  // stripping vs ImageMagick's rounding
    int worst = 0;
    for (int y = 0; y < 23; ++y)
      for (int x = 0; x < 37; ++x) {
        const uint8_t* r = &ref[size_t(y * 37 + x) * 4];
        const uint8_t* p = bmp.PixelFormat() == TPixelFormat::pf24bit ? bmp.ScanLine(y) + 3 * x : nullptr;
        if (!p) continue;
        worst = std::max({worst, std::abs(p[2] - r[0]), std::abs(p[1] - r[1]), std::abs(p[0] - r[2]),
                          std::abs(mask.ScanLine(y)[x] - r[3])});
      }
    EXPECT_LE(worst, tolerance) << v;
  }
  std::filesystem::remove_all(dir);
}
