// Our writer read back by our reader, and the bytes the writer lays down.
#include <gtest/gtest.h>

#include "codecs/bmp/bmp_fixture.h"
#include "codecs/bmp/bmp_dib.h"
#include "codecs/bmp/bmp_rle.h"
#include "quant/photo_like.h"
#include "quant/quantizer.h"

using namespace velora;
using namespace velora::testing;

namespace {

struct TWriteCase {
  const char* name;
  int bitsPerSample, samplesPerPixel;
  uint8_t version, compression;
  int expectedDepth;
};

std::vector<uint8_t> Write(TBitmap& bmp, int bitsPerSample, int samplesPerPixel, uint8_t version = 1,
                           uint8_t compression = 0, TIOParamsVals* out = nullptr) {
  TIOParamsVals local;
  TIOParamsVals& params = out ? *out : local;
  params.BitsPerSample = bitsPerSample, params.SamplesPerPixel = samplesPerPixel;
  params.BmpVersion = version, params.BmpCompression = compression;
  params.DpiX = 96, params.DpiY = 300;
  TVLMemoryStream stream;
  TVLLocalProgress progress;
  BmpWriteStream(stream, bmp, params, progress.record);
  EXPECT_FALSE(progress.aborting);
  return stream.Data();
}

uint32_t U32(const std::vector<uint8_t>& f, size_t at) { return GetU32LE(f.data() + at); }
uint16_t U16(const std::vector<uint8_t>& f, size_t at) { return GetU16LE(f.data() + at); }

// The colours our own quantizer gives the image: what an exact round trip must read back.
void ExpectQuantizedRoundTrip(TBitmap& source, int colours, const TBmpRead& r, const char* name) {
  std::vector<TRGB> palette(static_cast<size_t>(colours));
  TVLQuantizer q(source, colours, palette.data());
  ASSERT_EQ(r.bitmap.Width(), source.Width()) << name;
  ASSERT_EQ(r.bitmap.Height(), source.Height()) << name;
  for (int y = 0; y < source.Height(); ++y)
    for (int x = 0; x < source.Width(); ++x) {
      const TRGB c = reinterpret_cast<const TRGB*>(source.ScanLine(y))[x];
      ASSERT_EQ(r.Pixel(x, y), palette[size_t(q.RGBIndex(c))]) << name << " at " << x << "," << y;
    }
}

}  // namespace

TEST(BmpWrite, RoundTripsOfEveryDepth) {
  TBitmap photo;
  MakePhotoLike(photo, 301, 37);  // odd width: padding, odd nibbles, long RLE literals
  const TWriteCase cases[] = {
      {"4 bit", 4, 1, 1, 0, 4},         {"4 bit RLE", 4, 1, 1, 1, 4},     {"8 bit", 8, 1, 1, 0, 8},
      {"8 bit RLE", 8, 1, 1, 1, 8},     {"8 bit core", 8, 1, 2, 0, 8},    {"8 bit 64-byte", 8, 1, 3, 1, 8},
      {"4 bit core", 4, 1, 2, 1, 4},    {"24 bit", 8, 3, 1, 0, 24},       {"24 bit core", 8, 3, 2, 0, 24},
      {"24 bit other", 8, 3, 0, 1, 24},
  };
  for (const TWriteCase& c : cases) {
    TIOParamsVals written;
    const std::vector<uint8_t> file = Write(photo, c.bitsPerSample, c.samplesPerPixel, c.version, c.compression, &written);
    TBmpRead r(file);
    ASSERT_FALSE(r.aborted) << c.name;
    const bool core = c.version == 2;
    EXPECT_EQ(U16(file, 14 + (core ? 10 : 14)), c.expectedDepth) << c.name;
    EXPECT_EQ(r.params.BmpVersion, c.version == 0 ? 1 : c.version) << c.name;
    EXPECT_EQ(r.params.BmpCompression, core || c.expectedDepth == 24 ? 0 : c.compression) << c.name;
    EXPECT_EQ(U32(file, 2), file.size()) << c.name;
    if (c.expectedDepth == 24) {
      EXPECT_EQ(0, std::memcmp(r.bitmap.Bits(), photo.Bits(), size_t(photo.ImageSize()))) << c.name;
    } else {
      EXPECT_EQ(written.ColorMapCount(), 1 << c.expectedDepth) << c.name;
      ExpectQuantizedRoundTrip(photo, 1 << c.expectedDepth, r, c.name);
    }
  }
}

TEST(BmpWrite, FewColoursRoundTripExactly) {
  // Colours on multiples of 8 survive the 5-bit histogram unchanged.
  const TRGB colours[] = {MakeRGB(0, 0, 0), MakeRGB(248, 0, 0), MakeRGB(0, 128, 0), MakeRGB(16, 32, 240), MakeRGB(200, 200, 200)};
  TBitmap bmp(13, 7, TPixelFormat::pf24bit);
  for (int y = 0; y < 7; ++y)
    for (int x = 0; x < 13; ++x) reinterpret_cast<TRGB*>(bmp.ScanLine(y))[x] = colours[(x / 3 + y) % 5];
  for (uint8_t rle : {0, 1}) {
    TBmpRead r(Write(bmp, 4, 1, 1, rle));
    ASSERT_FALSE(r.aborted);
    EXPECT_EQ(0, std::memcmp(r.bitmap.Bits(), bmp.Bits(), size_t(bmp.ImageSize()))) << int(rle);
  }
}

TEST(BmpWrite, MonoBitmapsRoundTripBitForBit) {
  TBitmap mono(21, 5, TPixelFormat::pf1bit);
  for (int y = 0; y < 5; ++y)
    for (int b = 0; b < 3; ++b) mono.ScanLine(y)[b] = uint8_t(0x35 * (y + 1) + b * 17);
  for (uint8_t version : {1, 2}) {
    TIOParamsVals written;
    TBmpRead r(Write(mono, 1, 1, version, 0, &written));
    ASSERT_FALSE(r.aborted);
    ASSERT_EQ(r.bitmap.PixelFormat(), TPixelFormat::pf1bit);
    ASSERT_EQ(written.ColorMapCount(), 2);
    EXPECT_EQ(written.ColorMap()[0], (TRGB{0, 0, 0}));
    EXPECT_EQ(written.ColorMap()[1], (TRGB{255, 255, 255}));
    for (int y = 0; y < 5; ++y) {
      EXPECT_EQ(r.bitmap.ScanLine(y)[0], mono.ScanLine(y)[0]);
      EXPECT_EQ(r.bitmap.ScanLine(y)[1], mono.ScanLine(y)[1]);
      EXPECT_EQ(r.bitmap.ScanLine(y)[2] & 0xF8, mono.ScanLine(y)[2] & 0xF8);
    }
  }
}

TEST(BmpWrite, MonoFromTwoColoursKeepsTheDarkerAsEntryZero) {
  TBitmap bmp(3, 1, TPixelFormat::pf24bit);
  TRGB* row = reinterpret_cast<TRGB*>(bmp.ScanLine(0));
  row[0] = MakeRGB(255, 0, 0), row[1] = MakeRGB(0, 0, 255), row[2] = MakeRGB(255, 0, 0);
  const std::vector<uint8_t> file = Write(bmp, 1, 1);
  // Table behind the 40-byte header: blue first (darker), then red.
  EXPECT_EQ(std::vector<uint8_t>(file.begin() + 54, file.begin() + 62), (std::vector<uint8_t>{255, 0, 0, 0, 0, 0, 255, 0}));
  EXPECT_EQ(file[62] & 0xE0, 0xA0);  // red pixels are the 1 bits
}

TEST(BmpWrite, MonoFromManyColoursIsDithered) {
  TBitmap bmp(8, 8, TPixelFormat::pf24bit);
  std::memset(bmp.Bits(), 130, size_t(bmp.ImageSize()));
  reinterpret_cast<TRGB*>(bmp.ScanLine(0))[0] = MakeRGB(1, 2, 3);  // three colours in all
  reinterpret_cast<TRGB*>(bmp.ScanLine(0))[1] = MakeRGB(132, 130, 129);
  TBmpRead r(Write(bmp, 1, 1));
  ASSERT_FALSE(r.aborted);
  int white = 0;
  for (int y = 0; y < 8; ++y) white += __builtin_popcount(r.bitmap.ScanLine(y)[0]);
  EXPECT_EQ(white, 32 - 1);  // the dark pixel sits on a white matrix cell (0 < 32)
  EXPECT_EQ(reinterpret_cast<const TRGB*>(bmp.ScanLine(0))[0], MakeRGB(1, 2, 3));  // source untouched
}

TEST(BmpWrite, TwentyFourBitHeaderFields) {
  TBitmap bmp(2, 2, TPixelFormat::pf24bit);
  const std::vector<uint8_t> file = Write(bmp, 8, 3);
  EXPECT_EQ(U32(file, 10), 54u);                // bfOffBits
  EXPECT_EQ(U32(file, 14), 40u);                // biSize
  EXPECT_EQ(U16(file, 28), 24);                 // biBitCount
  EXPECT_EQ(U32(file, 30), 0u);                 // biCompression
  EXPECT_EQ(U32(file, 34), 16u);                // biSizeImage: two rows of 8 bytes
  EXPECT_EQ(U32(file, 38), 3780u);              // 96 dpi
  EXPECT_EQ(U32(file, 42), 11811u);             // 300 dpi
  EXPECT_EQ(U32(file, 46), 0u);                 // biClrUsed
  EXPECT_EQ(U32(file, 50), 16777216u);          // biClrImportant
  EXPECT_EQ(file.size(), 70u);
}

TEST(BmpWrite, Rle8RowsEndWithEndOfLineAndTheDataWithEndOfBitmap) {
  TBitmap bmp(4, 3, TPixelFormat::pf24bit);
  std::memset(bmp.Bits(), 80, size_t(bmp.ImageSize()));
  const std::vector<uint8_t> file = Write(bmp, 8, 1, 1, 1);
  EXPECT_EQ(U32(file, 30), 1u);
  EXPECT_EQ(U32(file, 46), 256u);
  const size_t data = U32(file, 10);
  const std::vector<uint8_t> pixels(file.begin() + long(data), file.end());
  ASSERT_EQ(pixels.size(), 3 * 4 + 2u);  // per row: run of 4, end of line
  EXPECT_EQ(U32(file, 34), pixels.size());
  for (int row = 0; row < 3; ++row) {
    EXPECT_EQ(pixels[size_t(row) * 4], 4);
    EXPECT_EQ(pixels[size_t(row) * 4 + 2], 0);
    EXPECT_EQ(pixels[size_t(row) * 4 + 3], 0);
  }
  EXPECT_EQ(pixels[12], 0);
  EXPECT_EQ(pixels[13], 1);
}

TEST(BmpWrite, RleCodingOfOneRow) {
  struct Case {
    const char* name;
    std::vector<uint8_t> row;
    bool rle4;
    std::vector<uint8_t> coded;
  } cases[] = {
      {"runs and an absolute run", {1, 1, 1, 2, 3, 4, 5, 5}, false, {3, 1, 0, 3, 2, 3, 4, 0, 2, 5, 0, 0}},
      {"RLE4 of the same", {1, 1, 1, 2, 3, 4, 5, 5}, true, {3, 0x11, 0, 3, 0x23, 0x40, 2, 0x55, 0, 0}},
      {"single and pair pieces", {1, 2, 3, 3}, false, {1, 1, 1, 2, 2, 3, 0, 0}},
      {"RLE4 pair piece", {1, 2, 3, 3}, true, {2, 0x12, 2, 0x33, 0, 0}},
      {"RLE4 single piece", {7}, true, {1, 0x70, 0, 0}},
      {"absolute run padded to even bytes", {1, 2, 3, 4, 5}, true, {0, 5, 0x12, 0x34, 0x50, 0, 0, 0}},
  };
  for (const Case& c : cases) {
    std::vector<uint8_t> out;
    bmp::EncodeRleRow(c.row.data(), int(c.row.size()), c.rle4, out);
    EXPECT_EQ(out, c.coded) << c.name;
  }
  // Runs are cut at 255 pixels, literal stretches too.
  std::vector<uint8_t> same(300, 9), out;
  bmp::EncodeRleRow(same.data(), 300, false, out);
  EXPECT_EQ(out, (std::vector<uint8_t>{255, 9, 45, 9, 0, 0}));
  std::vector<uint8_t> varied(300);
  for (int i = 0; i < 300; ++i) varied[size_t(i)] = uint8_t(i % 2);
  out.clear();
  bmp::EncodeRleRow(varied.data(), 300, false, out);
  ASSERT_GE(out.size(), 2u);
  EXPECT_EQ(out[0], 0);
  EXPECT_EQ(out[1], 255);
}

TEST(BmpWrite, FailuresAbort) {
  TBitmap bmp(4, 4, TPixelFormat::pf24bit);
  TIOParamsVals params;
  TVLLocalProgress progress;
  uint8_t readOnly[1];
  TVLBufferStream full(readOnly, 0);  // accepts no bytes
  BmpWriteStream(full, bmp, params, progress.record);
  EXPECT_TRUE(progress.aborting);

  TBitmap empty;
  TVLLocalProgress progress2;
  TVLMemoryStream stream;
  BmpWriteStream(stream, empty, params, progress2.record);
  EXPECT_TRUE(progress2.aborting);
  EXPECT_EQ(stream.Size(), 0);

  TBitmap wide(70000, 1, TPixelFormat::pf24bit);
  params.BmpVersion = 2;
  TVLLocalProgress progress3;
  BmpWriteStream(stream, wide, params, progress3.record);
  EXPECT_TRUE(progress3.aborting);
}

TEST(BmpWrite, StreamIsLeftBehindTheFile) {
  TBitmap bmp(3, 2, TPixelFormat::pf24bit);
  TIOParamsVals params;
  TVLLocalProgress progress;
  TVLMemoryStream stream;
  stream.WriteBuffer("xyz", 3);
  BmpWriteStream(stream, bmp, params, progress.record);
  EXPECT_EQ(stream.Position(), stream.Size());
  EXPECT_EQ(U32(stream.Data(), 3 + 2), stream.Size() - 3);
  EXPECT_EQ(stream.Data()[3], 'B');
}
