#include <gtest/gtest.h>

#include <array>

#include "codecs/ico/ico_codec.h"
#include "codecs/minor_codec_helpers.h"
#include "codecs/png/png_codec.h"

using namespace velora;
using namespace velora::testing;

namespace {

// One image of an icon file: the DIB (information header, colour table, XOR and AND rows,
// bottom-up) and the directory entry's fields.
struct IconImage {
  int width, height, bits;
  int entryWidth = -1, entryHeight = -1, entryColours = 0;
  int hotX = 1, hotY = 1;  // planes / bit count for icons
  std::vector<TRGB> table;
  // pixel(x, y) for y from the top: index, or colour for 24/32 bits (alpha in the top byte).
  std::function<uint32_t(int, int)> pixel;
  std::function<bool(int, int)> transparent = [](int, int) { return false; };
  Bytes raw;  // when set, the image data as they stand (a PNG)

  Bytes Dib() const {
    if (!raw.empty()) return raw;
    Bytes b;
    PutU32(b, 40);
    PutU32(b, uint32_t(width));
    PutU32(b, uint32_t(height * 2));
    PutU16(b, 1);
    PutU16(b, bits);
    for (int i = 0; i < 6; ++i) PutU32(b, 0);
    for (const TRGB& c : table) b.insert(b.end(), {c.b, c.g, c.r, 0});
    const int xorLen = int(RowSize(width, bits)), andLen = int(RowSize(width, 1));
    for (int y = height - 1; y >= 0; --y) {
      Bytes row(size_t(xorLen), 0);
      for (int x = 0; x < width; ++x) {
        uint32_t v = pixel(x, y);
        switch (bits) {
          case 1: row[x >> 3] |= uint8_t((v & 1) << (7 - (x & 7))); break;
          case 4: row[x >> 1] |= uint8_t((v & 15) << ((x & 1) ? 0 : 4)); break;
          case 8: row[x] = uint8_t(v); break;
          case 16: row[2 * x] = uint8_t(v), row[2 * x + 1] = uint8_t(v >> 8); break;
          case 24: row[3 * x] = uint8_t(v), row[3 * x + 1] = uint8_t(v >> 8), row[3 * x + 2] = uint8_t(v >> 16); break;
          case 32:
            for (int k = 0; k < 4; ++k) row[4 * x + k] = uint8_t(v >> (8 * k));
            break;
        }
      }
      b.insert(b.end(), row.begin(), row.end());
    }
    for (int y = height - 1; y >= 0; --y) {
      Bytes row(size_t(andLen), 0);
      for (int x = 0; x < width; ++x)
        if (transparent(x, y)) row[x >> 3] |= uint8_t(0x80 >> (x & 7));
      b.insert(b.end(), row.begin(), row.end());
    }
    return b;
  }
};

Bytes IconFile(const std::vector<IconImage>& images, int type = 1) {
  Bytes b;
  PutU16(b, 0);
  PutU16(b, type);
  PutU16(b, images.size());
  std::vector<Bytes> dibs;
  uint32_t offset = uint32_t(6 + 16 * images.size());
  for (const auto& im : images) {
    dibs.push_back(im.Dib());
    b.push_back(uint8_t(im.entryWidth >= 0 ? im.entryWidth : im.width));
    b.push_back(uint8_t(im.entryHeight >= 0 ? im.entryHeight : im.height));
    b.push_back(uint8_t(im.entryColours));
    b.push_back(0);
    PutU16(b, im.hotX);
    PutU16(b, type == 1 ? im.bits : im.hotY);
    PutU32(b, uint32_t(dibs.back().size()));
    PutU32(b, offset);
    offset += uint32_t(dibs.back().size());
  }
  for (const auto& d : dibs) b.insert(b.end(), d.begin(), d.end());
  return b;
}

IconImage Solid(int size, uint32_t colour) {
  IconImage im{size, size, 24};
  im.pixel = [colour](int, int) { return colour; };
  return im;
}

struct IcoRead {
  TIOParamsVals params;
  TBitmap bmp;
  TVLMask mask;
  TVLLocalProgress progress;
  bool aborted = false;
  void Run(const Bytes& data, bool cursor, bool withMask = true, bool headerOnly = false) {
    TVLBufferStream s(data.data(), int64_t(data.size()));
    if (cursor)
      CurReadStream(s, headerOnly ? nullptr : &bmp, params, withMask ? &mask : nullptr, progress.record, headerOnly);
    else
      IcoReadStream(s, headerOnly ? nullptr : &bmp, params, withMask ? &mask : nullptr, progress.record, headerOnly);
    aborted = progress.aborting;
  }
  TRGB At(int x, int y) const { return PixelAt(bmp, x, y); }
};

const TRGB kWhite{255, 255, 255};

}  // namespace

TEST(IcoReader, IndexSelectsTheImageAndOutOfRangeChangesNothing) {
  Bytes file = IconFile({Solid(2, 0x010203), Solid(3, 0x040506), Solid(4, 0x0A0B0C)});
  IcoRead r;
  r.params.IcoImageIndex = 2;
  r.Run(file, false);
  ASSERT_FALSE(r.aborted);
  EXPECT_EQ(r.params.Width, 4);
  EXPECT_EQ(r.At(3, 3), MakeRGB(0x0A, 0x0B, 0x0C));

  for (int index : {3, -1}) {
    IcoRead u;
    u.bmp.Reset(5, 1, TPixelFormat::pf24bit);
    u.params.IcoImageIndex = index;
    u.params.Width = 77;
    u.Run(file, false);
    EXPECT_FALSE(u.aborted);
    EXPECT_EQ(u.params.Width, 77);
    EXPECT_EQ(u.bmp.Width(), 5);
  }
}

TEST(IcoReader, SixteenColourIconPaintsMaskedPixelsInTheBackground) {
  IconImage im{16, 16, 4};
  for (int i = 0; i < 16; ++i) im.table.push_back(MakeRGB(uint8_t(i * 10), uint8_t(i), 0));
  im.entryColours = 16;
  im.pixel = [](int x, int) { return uint32_t(x); };
  im.transparent = [](int x, int y) { return x == y; };
  IcoRead r;
  r.Run(IconFile({im}), false);
  ASSERT_FALSE(r.aborted);
  EXPECT_EQ(r.params.BitsPerSample, 4);
  EXPECT_EQ(r.params.SamplesPerPixel, 1);
  EXPECT_EQ(r.params.ColorMapCount(), 16);
  EXPECT_EQ(r.bmp.PixelFormat(), TPixelFormat::pf24bit);
  EXPECT_EQ(r.At(5, 0), MakeRGB(50, 5, 0));
  EXPECT_EQ(r.At(5, 5), kWhite);
  EXPECT_EQ(r.mask.GetPixel(5, 5), 0);
  EXPECT_EQ(r.mask.GetPixel(5, 0), 255);

  r.params.IcoBackground = MakeRGB(1, 2, 3);
  r.Run(IconFile({im}), false, false);
  EXPECT_EQ(r.At(7, 7), MakeRGB(1, 2, 3));
}

TEST(IcoReader, MonochromeIconFlipsMaskedBitsOverWhite) {
  IconImage im{32, 32, 1};
  im.table = {MakeRGB(0, 0, 0), kWhite};
  im.entryColours = 2;
  im.pixel = [](int x, int) { return uint32_t(x & 1); };
  im.transparent = [](int, int y) { return y == 0; };
  IcoRead r;
  r.Run(IconFile({im}), false);
  ASSERT_FALSE(r.aborted);
  EXPECT_EQ(r.bmp.PixelFormat(), TPixelFormat::pf1bit);
  EXPECT_EQ(r.At(0, 0), kWhite);            // XOR 0, masked → 1
  EXPECT_EQ(r.At(1, 0), MakeRGB(0, 0, 0));  // XOR 1, masked → 0
  EXPECT_EQ(r.At(0, 1), MakeRGB(0, 0, 0));
  EXPECT_EQ(r.At(1, 1), kWhite);
  EXPECT_EQ(r.mask.GetPixel(4, 0), 0);
}

TEST(IcoReader, ZeroSizedEntryMeans256FromTheHeader) {
  IconImage im = Solid(256, 0x112233);
  im.entryWidth = 0;
  im.entryHeight = 0;
  IcoRead r;
  r.Run(IconFile({im}), false, true, true);
  ASSERT_FALSE(r.aborted);
  EXPECT_EQ(r.params.Width, 256);
  EXPECT_EQ(r.params.Height, 256);
  EXPECT_EQ(r.params.BitsPerSample, 8);
  EXPECT_EQ(r.params.SamplesPerPixel, 3);
}

// The size is the directory's; the header's biHeight counts the AND mask too, and wins only
// where it disagrees on the width (or the directory says 0).
TEST(IcoReader, SizeComesFromTheDirectoryAndTheHalvedHeader) {
  const struct {
    int width, height, entryWidth, entryHeight, bits;
    int shownWidth, shownHeight;
  } cases[] = {
      {16, 16, 16, 16, 32, 16, 16}, {16, 16, 16, 16, 8, 16, 16}, {16, 16, 0, 0, 32, 16, 16},
      {32, 32, 16, 16, 24, 32, 32}, {48, 48, 48, 48, 4, 48, 48},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.entryWidth << " x " << c.entryHeight << " over a " << c.width << "-pixel "
                                    << c.bits);
    IconImage im{c.width, c.height, c.bits};
    if (c.bits <= 8) im.table.assign(size_t(1) << c.bits, TRGB{10, 20, 30});
    im.pixel = [](int, int) { return 0x80402010u; };
    im.entryWidth = c.entryWidth;
    im.entryHeight = c.entryHeight;
    for (const bool headerOnly : {true, false}) {
      IcoRead r;
      r.Run(IconFile({im}), false, true, headerOnly);
      ASSERT_FALSE(r.aborted);
      EXPECT_EQ(r.params.Width, c.shownWidth);
      EXPECT_EQ(r.params.Height, c.shownHeight);
      if (!headerOnly) EXPECT_EQ(r.bmp.Height(), c.shownHeight);
    }
  }
}

TEST(IcoReader, IndexesBeyondTheTableReadAsBlack) {
  IconImage im{4, 1, 8};
  im.table = {MakeRGB(9, 9, 9), MakeRGB(8, 8, 8)};
  im.entryColours = 2;
  im.pixel = [](int x, int) { return uint32_t(x == 3 ? 255 : x); };
  Bytes file = IconFile({im});
  // The table is short: the pixels follow at once, so only two entries exist.
  IcoRead r;
  r.Run(file, false);
  ASSERT_FALSE(r.aborted);
  EXPECT_EQ(r.At(1, 0), MakeRGB(8, 8, 8));
  EXPECT_EQ(r.At(2, 0), MakeRGB(0, 0, 0));
  EXPECT_EQ(r.At(3, 0), MakeRGB(0, 0, 0));
}

// 5-5-5 pixels, each channel widened by repeating its bits: 31 reads 255.
TEST(IcoReader, SixteenBitPixelsAreDecoded) {
  IconImage im{4, 1, 16};
  im.pixel = [](int x, int) { return std::array<uint32_t, 4>{0x7FFF, 0x7C00, 0x0421, 0x03E0}[size_t(x)]; };
  IcoRead r;
  r.Run(IconFile({im}), false);
  ASSERT_FALSE(r.aborted);
  EXPECT_EQ(r.params.BitsPerSample, 8);
  EXPECT_EQ(r.params.SamplesPerPixel, 3);
  EXPECT_EQ(r.At(0, 0), kWhite);
  EXPECT_EQ(r.At(1, 0), MakeRGB(255, 0, 0));
  EXPECT_EQ(r.At(2, 0), MakeRGB(8, 8, 8));
  EXPECT_EQ(r.At(3, 0), MakeRGB(0, 255, 0));
}

TEST(IcoReader, ThirtyTwoBitAlphaGoesToTheMaskOrIsComposited) {
  IconImage im{2, 1, 32};
  im.pixel = [](int x, int) { return x == 0 ? 0xFF0000FFu : 0x80FF0000u; };  // opaque blue, half red
  IcoRead masked;
  masked.Run(IconFile({im}), false);
  ASSERT_FALSE(masked.aborted);
  EXPECT_EQ(masked.At(0, 0), MakeRGB(0, 0, 255));
  EXPECT_EQ(masked.At(1, 0), MakeRGB(255, 0, 0));
  EXPECT_EQ(masked.mask.GetPixel(0, 0), 255);
  EXPECT_EQ(masked.mask.GetPixel(1, 0), 0x80);

  IcoRead plain;
  plain.params.IcoBackground = MakeRGB(0, 0, 0);
  plain.Run(IconFile({im}), false, false);
  EXPECT_EQ(plain.At(1, 0), MakeRGB(128, 0, 0));

  // All alpha bytes 0: the AND bitmap decides.
  IconImage old{2, 1, 32};
  old.pixel = [](int, int) { return 0x00123456u; };
  old.transparent = [](int x, int) { return x == 1; };
  IcoRead o;
  o.Run(IconFile({old}), false);
  EXPECT_EQ(o.At(0, 0), MakeRGB(0x12, 0x34, 0x56));
  EXPECT_EQ(o.At(1, 0), kWhite);
  EXPECT_EQ(o.mask.GetPixel(1, 0), 0);
}

TEST(IcoReader, CursorHotSpotAndBackground) {
  IconImage im{4, 4, 8};
  for (int i = 0; i < 256; ++i) im.table.push_back(MakeRGB(uint8_t(i), 0, 0));
  im.hotX = 7;
  im.hotY = 3;
  im.pixel = [](int x, int y) { return uint32_t(x + 4 * y); };
  im.transparent = [](int x, int) { return x == 3; };
  Bytes file = IconFile({im}, 2);
  IcoRead h;
  h.Run(file, true, false, true);
  ASSERT_FALSE(h.aborted);
  EXPECT_EQ(h.params.CurHotSpotX, 7);
  EXPECT_EQ(h.params.CurHotSpotY, 3);
  EXPECT_EQ(h.params.BitsPerSample, 8);
  EXPECT_EQ(h.params.ColorMapCount(), 256);

  IcoRead r;
  r.params.CurBackground = MakeRGB(0, 0, 200);
  r.Run(file, true);
  EXPECT_EQ(r.At(2, 1), MakeRGB(6, 0, 0));
  EXPECT_EQ(r.At(3, 1), MakeRGB(0, 0, 200));
}

TEST(IcoReader, RecognitionNeedsAValidDirectory) {
  Bytes ico = IconFile({Solid(2, 1)});
  Bytes cur = IconFile({Solid(2, 1)}, 2);
  struct Case {
    Bytes data;
    bool ico, cur;
  } cases[] = {
      {ico, true, false},
      {cur, false, true},
      {Bytes(ico.begin(), ico.begin() + 22), false, false},
  };
  Bytes badReserved = ico;
  badReserved[9] = 1;
  Bytes zeroSize = ico;
  zeroSize[14] = zeroSize[15] = zeroSize[16] = zeroSize[17] = 0;
  Bytes insideDirectory = ico;
  insideDirectory[18] = 21, insideDirectory[19] = 0;
  for (Bytes* b : {&badReserved, &zeroSize, &insideDirectory}) {
    TVLBufferStream s(b->data(), int64_t(b->size()));
    EXPECT_FALSE(IsIcoStream(s));
  }
  for (auto& c : cases) {
    TVLBufferStream s(c.data.data(), int64_t(c.data.size()));
    EXPECT_EQ(IsIcoStream(s), c.ico);
    EXPECT_EQ(IsCurStream(s), c.cur);
    EXPECT_EQ(s.Position(), 0);
  }
}

TEST(IcoReader, HostileHeadersAbortOrStopCleanly) {
  IconImage noDepth{2, 2, 0};
  noDepth.pixel = [](int, int) { return 0u; };
  IcoRead a;
  a.Run(IconFile({noDepth}), false);
  EXPECT_TRUE(a.aborted);

  IconImage huge = Solid(2, 0);
  huge.entryWidth = 0;
  huge.entryHeight = 0;
  Bytes file = IconFile({huge});
  file[22 + 4] = 0xFF, file[22 + 5] = 0xFF, file[22 + 6] = 0xFF, file[22 + 7] = 0x7F;  // biWidth
  IcoRead b;
  b.Run(file, false);
  EXPECT_TRUE(b.aborted);

  Bytes truncated = IconFile({Solid(16, 0x445566)});
  truncated.resize(truncated.size() - 400);
  IcoRead c;
  c.Run(truncated, false);
  EXPECT_FALSE(c.aborted);
  EXPECT_EQ(c.At(0, 15), MakeRGB(0x44, 0x55, 0x66));
}

TEST(IcoReader, PngImagesInsideTheDirectory) {
  if (!HaveTool("convert")) GTEST_SKIP() << "ImageMagick absent";
  auto dir = ScratchDir("icopng");
  ASSERT_TRUE(RunShell("convert -size 256x256 gradient:red-blue '" + (dir / "a.png").string() + "'"));
  Bytes png = ReadFileBytes(dir / "a.png");
  IconImage im{256, 256, 32};
  im.entryWidth = im.entryHeight = 0;
  im.raw = png;
  IcoRead r;
  r.params.IcoImageIndex = 1;
  r.Run(IconFile({Solid(16, 0), im}), false);
  ASSERT_FALSE(r.aborted);
  EXPECT_EQ(r.params.Width, 256);
  EXPECT_EQ(r.bmp.Width(), 256);
  ExpectMatchesMagick(dir / "a.png", r.bmp, 1);
  std::filesystem::remove_all(dir);
}

TEST(IcoReader, MatchesImageMagickDecode) {
  if (!HaveTool("convert")) GTEST_SKIP() << "ImageMagick absent";
  auto dir = ScratchDir("ico");
  auto src = (dir / "src.png").string();
  ASSERT_TRUE(RunShell("convert -size 32x32 plasma:fractal -alpha off '" + src + "'"));
  for (const char* opt : {"", "-colors 16 -type palette", "-colors 200 -type palette", "-monochrome"}) {
    auto file = dir / "a.ico";
    ASSERT_TRUE(RunShell("convert '" + src + "' " + opt + " '" + file.string() + "'"));
    IcoRead r;
    r.Run(ReadFileBytes(file), false, false);
    ASSERT_FALSE(r.aborted) << opt;
    ASSERT_EQ(r.bmp.Width(), 32) << opt;
    ExpectMatchesMagick(file, r.bmp);
  }
  std::filesystem::remove_all(dir);
}
