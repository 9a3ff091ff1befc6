// The GIF container: writer/reader round trips, hand-made files for frame selection,
// transparency and damaged input, and agreement with ImageMagick.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "codecs/formats.h"
#include "codecs/gif/gif_codec.h"
#include "codecs/gif/gif_test_util.h"
#include "io/io_test_support.h"
#include "quant/quantizer.h"

using namespace velora;
using namespace giftest;

namespace {

// The container reaches its coder through the global slots, as every program installs them.
class GifContainer : public ::testing::Test {
 protected:
  void SetUp() override { VLInstallLzwCoders(); }

  // Reads `bytes` into bitmap_ (and mask_ when asked); returns Aborting.
  bool Read(const std::vector<uint8_t>& bytes, TIOParamsVals& params, bool withMask = false,
            bool headerOnly = false) {
    TVLBufferStream stream(bytes.data(), int64_t(bytes.size()));
    TVLLocalProgress progress;
    GifReadStream(stream, headerOnly ? nullptr : &bitmap_, count_, withMask ? &mask_ : nullptr, headerOnly,
                  progress.record, params);
    return progress.aborting;
  }

  TRGB Pixel(int x, int y) const { return reinterpret_cast<const TRGB*>(bitmap_.ScanLine(y))[x]; }

  TBitmap bitmap_;
  TVLMask mask_;
  int count_ = -1;
};

TBitmap* MakeColours(int w, int h, int colours, uint32_t seed) {
  auto* bmp = new TBitmap(w, h, TPixelFormat::pf24bit);
  uint32_t s = seed;
  for (int y = 0; y < h; ++y) {
    TRGB* row = reinterpret_cast<TRGB*>(bmp->ScanLine(y));
    for (int x = 0; x < w; ++x) {
      s = s * 1103515245 + 12345;
      int k = int((s >> 16) % colours);
      row[x] = TRGB{uint8_t(k * 37), uint8_t(255 - k), uint8_t(k * 11 + 3)};
    }
  }
  return bmp;
}

struct WriteCase {
  int colours, depth;
  bool interlaced;
};

class GifWriteRead : public GifContainer, public ::testing::WithParamInterface<WriteCase> {};

// Every pixel comes back as the palette colour the quantizer chose for it: the source colour
// itself whenever the quantizer keeps it.
TEST_P(GifWriteRead, PixelsComeBackAsTheirPaletteColours) {
  const WriteCase c = GetParam();
  std::unique_ptr<TBitmap> src(MakeColours(45, 31, c.colours, 99));
  TIOParamsVals params;
  params.BitsPerSample = c.depth;
  params.GifInterlaced = c.interlaced;
  TVLMemoryStream stream;
  TVLLocalProgress progress;
  GifWriteStream(stream, *src, params, progress.record);
  ASSERT_FALSE(progress.aborting);
  EXPECT_EQ(stream.Data()[10], 0x80 | ((c.depth - 1) << 4) | (c.depth - 1));

  TIOParamsVals in;
  ASSERT_FALSE(Read(stream.Data(), in));
  EXPECT_EQ(count_, 1);
  EXPECT_EQ(in.GifInterlaced, c.interlaced);
  EXPECT_EQ(in.BitsPerSample, c.depth);
  EXPECT_EQ(in.ColorMapCount(), 1 << c.depth);
  ASSERT_EQ(bitmap_.Width(), 45);
  ASSERT_EQ(bitmap_.Height(), 31);
  ASSERT_EQ(bitmap_.PixelFormat(), TPixelFormat::pf24bit);

  std::vector<TRGB> palette(size_t(1) << c.depth);
  std::unique_ptr<TVLQuantizer> quantizer;
  if (c.depth > 1) quantizer = std::make_unique<TVLQuantizer>(*src, int(palette.size()), palette.data());
  for (int y = 0; y < 31; ++y)
    for (int x = 0; x < 45; ++x) {
      TRGB s = reinterpret_cast<const TRGB*>(src->ScanLine(y))[x];
      TRGB expected = quantizer ? palette[quantizer->RGBIndex(s)] : s;
      ASSERT_EQ(Pixel(x, y), expected) << x << "," << y;
    }
}

INSTANTIATE_TEST_SUITE_P(Depths, GifWriteRead,
                         ::testing::Values(WriteCase{2, 1, false}, WriteCase{2, 1, true}, WriteCase{16, 4, false},
                                           WriteCase{16, 4, true}, WriteCase{256, 8, false},
                                           WriteCase{256, 8, true}));

TEST_F(GifContainer, MonoBitmapRoundTripKeepsTheNinthPixel) {
  TBitmap src(9, 3, TPixelFormat::pf1bit);
  src.ScanLine(0)[1] = 0x80;  // pixel 8 of row 0 white
  src.ScanLine(2)[0] = 0xA5;
  TIOParamsVals params;
  params.BitsPerSample = 1;
  TVLMemoryStream stream;
  TVLLocalProgress progress;
  GifWriteStream(stream, src, params, progress.record);
  ASSERT_FALSE(progress.aborting);
  TIOParamsVals in;
  ASSERT_FALSE(Read(stream.Data(), in));
  ASSERT_EQ(bitmap_.PixelFormat(), TPixelFormat::pf1bit);
  EXPECT_EQ(in.BitsPerSample, 1);
  for (int y = 0; y < 3; ++y) {
    EXPECT_EQ(bitmap_.ScanLine(y)[0], src.ScanLine(y)[0]);
    EXPECT_EQ(bitmap_.ScanLine(y)[1] & 0x80, src.ScanLine(y)[1] & 0x80);
  }
}

TEST_F(GifContainer, WriterOfTwoColoursUsesDarkerThenLighter) {
  std::unique_ptr<TBitmap> src(MakeColours(8, 8, 1, 1));
  const TRGB darkBlue{100, 0, 0}, yellow{0, 255, 255};
  for (int y = 0; y < 8; ++y)
    for (int x = 0; x < 8; ++x) reinterpret_cast<TRGB*>(src->ScanLine(y))[x] = (x + y) % 3 ? yellow : darkBlue;
  TIOParamsVals params;
  params.BitsPerSample = 1;
  TVLMemoryStream stream;
  TVLLocalProgress progress;
  GifWriteStream(stream, *src, params, progress.record);
  const auto& d = stream.Data();
  EXPECT_EQ(std::vector<uint8_t>(d.begin() + 13, d.begin() + 19), (std::vector<uint8_t>{0, 0, 100, 255, 255, 0}));
}

TEST_F(GifContainer, EightBitWriterHeaderAndSingleImage) {
  std::unique_ptr<TBitmap> src(MakeColours(20, 10, 256, 5));
  TIOParamsVals params;
  params.GifDelayTime = 250;
  params.GifXPos = 3;
  TVLMemoryStream stream;
  TVLLocalProgress progress;
  GifWriteStream(stream, *src, params, progress.record);
  const auto& d = stream.Data();
  EXPECT_EQ(std::string(d.begin(), d.begin() + 6), "GIF89a");
  EXPECT_EQ(d[10], 0xF7);
  EXPECT_EQ(d[13 + 768], 0x21);
  EXPECT_EQ(d[13 + 768 + 3], 8);  // disposal 2, no transparency
  EXPECT_EQ(d.back(), 0x3B);
  TIOParamsVals in;
  ASSERT_FALSE(Read(d, in));
  EXPECT_EQ(count_, 1);
  EXPECT_EQ(in.GifDelayTime, 250);
  EXPECT_EQ(in.GifXPos, 3);
  EXPECT_EQ(in.GifWinWidth, 20);
}

const std::vector<Rgb> kGrey4 = {{0, 0, 0}, {80, 80, 80}, {160, 160, 160}, {255, 255, 255}};

std::vector<Frame> ThreeFrames() {
  Frame a;
  a.width = 4;
  a.height = 2;
  a.pixels = {0, 1, 2, 3, 3, 2, 1, 0};
  a.gce = true;
  a.delay = 10;
  a.transparent = true;
  a.transparentIndex = 2;
  Frame b;
  b.left = 5;
  b.top = 6;
  b.width = 3;
  b.height = 3;
  b.pixels = {1, 1, 1, 0, 0, 0, 3, 3, 3};
  b.localTable = {{255, 0, 0}, {0, 255, 0}, {0, 0, 255}, {9, 9, 9}};
  b.interlaced = true;
  Frame c = a;
  c.delay = 77;
  c.transparentIndex = 3;
  c.disposal = 3;
  return {a, b, c};
}

TEST_F(GifContainer, SelectsTheFrameAndCountsThemAll) {
  auto file = BuildGif(10, 10, kGrey4, ThreeFrames());
  TIOParamsVals p;
  p.GifImageIndex = 1;
  ASSERT_FALSE(Read(file, p));
  EXPECT_EQ(count_, 3);
  EXPECT_EQ(p.GifImageCount, 3);
  EXPECT_EQ(p.Width, 3);
  EXPECT_EQ(p.Height, 3);
  EXPECT_EQ(p.GifXPos, 5);
  EXPECT_EQ(p.GifYPos, 6);
  EXPECT_TRUE(p.GifInterlaced);
  // The control extension before frame 0 does not reach frame 1.
  EXPECT_EQ(p.GifDelayTime, 0);
  EXPECT_EQ(p.GifDisposalMethod, 0);
  EXPECT_FALSE(p.GifTransparent);
  EXPECT_EQ(Pixel(0, 0), (TRGB{0, 255, 0}));
  EXPECT_EQ(Pixel(2, 1), (TRGB{0, 0, 255}));
  EXPECT_EQ(Pixel(1, 2), (TRGB{9, 9, 9}));

  TIOParamsVals q;
  q.GifImageIndex = 2;
  ASSERT_FALSE(Read(file, q, true));
  EXPECT_EQ(q.GifDelayTime, 77);
  EXPECT_EQ(q.GifDisposalMethod, 3);
  EXPECT_TRUE(q.GifTransparent);
  EXPECT_EQ(q.GifTranspColor, (TRGB{255, 255, 255}));
  // Transparency goes into the alpha mask: index 3 at (3,0) and (0,1).
  ASSERT_EQ(mask_.Width(), 4);
  ASSERT_EQ(mask_.BitsPerPixel(), 8);
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 4; ++x) EXPECT_EQ(mask_.GetPixel(x, y), (x == 3 && y == 0) || (x == 0 && y == 1) ? 0 : 255);
}

TEST_F(GifContainer, HeaderOnlyFillsFieldsWithoutABitmap) {
  auto file = BuildGif(10, 12, kGrey4, ThreeFrames(), true, 2);
  TIOParamsVals p;
  ASSERT_FALSE(Read(file, p, false, true));
  EXPECT_EQ(p.GifVersion, "GIF89a");
  EXPECT_EQ(p.GifWinWidth, 10);
  EXPECT_EQ(p.GifWinHeight, 12);
  EXPECT_EQ(p.GifBackground, (TRGB{160, 160, 160}));
  EXPECT_EQ(p.Width, 4);
  EXPECT_EQ(p.GifDelayTime, 10);
  EXPECT_EQ(p.GifTranspColor, (TRGB{160, 160, 160}));
  EXPECT_EQ(p.BitsPerSample, 2);
  EXPECT_EQ(p.SamplesPerPixel, 1);
  ASSERT_EQ(p.ColorMapCount(), 4);
  EXPECT_EQ(p.ColorMap()[1], (TRGB{80, 80, 80}));
  EXPECT_EQ(count_, 3);
}

TEST_F(GifContainer, BlackWhiteTableGivesOneBitWhiteBlackGivesTwentyFour) {
  Frame f;
  f.width = 9;
  f.height = 1;
  f.pixels = {1, 0, 1, 0, 0, 0, 0, 0, 1};
  TIOParamsVals p;
  ASSERT_FALSE(Read(BuildGif(9, 1, {{0, 0, 0}, {255, 255, 255}}, {f}), p));
  EXPECT_EQ(p.BitsPerSample, 1);
  ASSERT_EQ(bitmap_.PixelFormat(), TPixelFormat::pf1bit);
  EXPECT_EQ(bitmap_.ScanLine(0)[0], 0xA0);
  EXPECT_EQ(bitmap_.ScanLine(0)[1], 0x80);
  TIOParamsVals q;
  ASSERT_FALSE(Read(BuildGif(9, 1, {{255, 255, 255}, {0, 0, 0}}, {f}), q));
  EXPECT_EQ(bitmap_.PixelFormat(), TPixelFormat::pf24bit);
  EXPECT_EQ(Pixel(0, 0), (TRGB{0, 0, 0}));
  EXPECT_EQ(Pixel(1, 0), (TRGB{255, 255, 255}));
}

TEST_F(GifContainer, NoLzwProcedureAborts) {
  iotest::TScopedLzwCoders none({});
  TIOParamsVals p;  // copies the empty slots
  EXPECT_TRUE(Read(BuildGif(10, 10, kGrey4, ThreeFrames()), p));
  EXPECT_EQ(p.ColorMapCount(), 0);

  std::unique_ptr<TBitmap> src(MakeColours(4, 4, 4, 1));
  TVLMemoryStream stream;
  TVLLocalProgress progress;
  GifWriteStream(stream, *src, p, progress.record);
  EXPECT_TRUE(progress.aborting);
  EXPECT_EQ(stream.Size(), 0);

  // The record's own reference is enough.
  p.GifLzwDecompressor = GifLzwDecode;
  EXPECT_FALSE(Read(BuildGif(10, 10, kGrey4, ThreeFrames()), p));
}

TEST_F(GifContainer, DamagedFilesNeverCrashAndKeepWhatWasDecoded) {
  Frame f;
  f.width = 6;
  f.height = 5;
  f.pixels.assign(30, 1);
  // A frame placed far outside the logical screen decodes at its own size.
  {
    Frame g = f;
    g.left = 65000;
    g.top = 65000;
    TIOParamsVals p;
    EXPECT_FALSE(Read(BuildGif(2, 2, kGrey4, {g}), p));
    EXPECT_EQ(bitmap_.Width(), 6);
    EXPECT_EQ(p.GifXPos, 65000);
  }
  // Indexes beyond a short table read black.
  {
    Frame g = f;
    g.pixels.assign(30, 3);
    g.codeSize = 2;
    TIOParamsVals p;
    EXPECT_FALSE(Read(BuildGif(6, 5, {{255, 0, 0}, {0, 255, 0}}, {g}), p));
    EXPECT_EQ(Pixel(5, 4), (TRGB{0, 0, 0}));
  }
  // A missing trailer ends the file as one would.
  {
    TIOParamsVals p;
    EXPECT_FALSE(Read(BuildGif(6, 5, kGrey4, {f}, false), p));
    EXPECT_EQ(count_, 1);
  }
  // Data cut in the middle of the frame: the decoded rows stay, Aborting says it is incomplete.
  {
    Frame g;
    g.width = 64;
    g.height = 64;
    for (int i = 0; i < 64 * 64; ++i) g.pixels.push_back(uint8_t((i * 7 + i / 13) % 4));
    auto file = BuildGif(64, 64, kGrey4, {g});
    file.resize(file.size() / 2);
    TIOParamsVals p;
    EXPECT_TRUE(Read(file, p));
    ASSERT_EQ(bitmap_.Width(), 64);
    for (int x = 0; x < 64; ++x) {
      Rgb c = kGrey4[(x * 7 + x / 13) % 4];
      ASSERT_EQ(Pixel(x, 0), (TRGB{c.b, c.g, c.r})) << x;
    }
    EXPECT_EQ(p.ColorMapCount(), 4);
  }
  // A frame claiming far more pixels than its data could hold is refused before allocating.
  {
    Frame g = f;
    g.width = 65535;
    g.height = 65535;
    TIOParamsVals p;
    EXPECT_TRUE(Read(BuildGif(6, 5, kGrey4, {g}), p));
  }
  // Not a GIF; a header alone; a wanted frame that is not there.
  {
    TIOParamsVals p;
    auto file = BuildGif(6, 5, kGrey4, {f});
    file[0] = 'X';
    EXPECT_TRUE(Read(file, p));
    EXPECT_TRUE(Read(std::vector<uint8_t>(file.begin(), file.begin() + 10), p));
    TIOParamsVals q;
    EXPECT_TRUE(Read(BuildGif(6, 5, kGrey4, {}), q));
    q.GifImageIndex = 5;
    EXPECT_TRUE(Read(BuildGif(6, 5, kGrey4, {f, f}), q));
    EXPECT_EQ(q.GifImageCount, 2);
  }
}

// ImageMagick, when present: its GIFs decode to the pixels it decodes them to, and ours decode
// in it to the pixels we wrote.
bool HaveConvert() { return std::system("convert -version >/dev/null 2>&1") == 0; }

std::vector<uint8_t> Slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void ExpectSameAsRgb(const TBitmap& bmp, const std::vector<uint8_t>& rgb) {
  ASSERT_EQ(rgb.size(), size_t(bmp.Width()) * bmp.Height() * 3);
  for (int y = 0; y < bmp.Height(); ++y)
    for (int x = 0; x < bmp.Width(); ++x) {
      const TRGB p = reinterpret_cast<const TRGB*>(bmp.ScanLine(y))[x];
      const uint8_t* q = &rgb[(size_t(y) * bmp.Width() + x) * 3];
      ASSERT_EQ((std::array<int, 3>{p.r, p.g, p.b}), (std::array<int, 3>{q[0], q[1], q[2]})) << x << "," << y;
    }
}

TEST_F(GifContainer, AgreesWithImageMagick) {
  if (!HaveConvert()) GTEST_SKIP() << "ImageMagick convert not installed";
  const auto dir = std::filesystem::temp_directory_path() / ("velora_gif_" + std::to_string(::getpid()));
  std::filesystem::create_directories(dir);
  const std::string d = dir.string();
  for (const char* interlace : {"None", "GIF"}) {
    const std::string gif = d + "/im.gif", raw = d + "/im.rgb";
    std::string cmd = "convert -size 173x91 -seed 4 plasma:fractal -colors 200 -interlace " + std::string(interlace) +
                      " " + gif + " && convert " + gif + " -depth 8 rgb:" + raw;
    ASSERT_EQ(std::system(cmd.c_str()), 0);
    TIOParamsVals p;
    ASSERT_FALSE(Read(Slurp(gif), p));
    EXPECT_EQ(p.GifInterlaced, std::string(interlace) == "GIF");
    ASSERT_EQ(bitmap_.PixelFormat(), TPixelFormat::pf24bit);
    ExpectSameAsRgb(bitmap_, Slurp(raw));

    // And back: ImageMagick reads our file as we read it.
    TIOParamsVals w;
    w.GifInterlaced = p.GifInterlaced;
    const std::string ours = d + "/ours.gif", oursRaw = d + "/ours.rgb";
    TVLLocalProgress progress;
    GifWriteFile(ours, bitmap_, w, progress.record);
    ASSERT_FALSE(progress.aborting);
    ASSERT_EQ(std::system(("convert " + ours + " -depth 8 rgb:" + oursRaw).c_str()), 0);
    TBitmap back;
    int n = 0;
    TIOParamsVals r;
    TVLLocalProgress rp;
    GifReadFile(ours, &back, n, nullptr, rp.record, r);
    ASSERT_FALSE(rp.aborting);
    ExpectSameAsRgb(back, Slurp(oursRaw));
  }
  std::filesystem::remove_all(dir);
}

}  // namespace
