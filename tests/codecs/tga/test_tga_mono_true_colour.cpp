// A 1-bit bitmap saved as true-colour TGA (what the front does when the parameter record still
// says 24 bits): its rows are bits and must be widened, not copied as if they were pixels.
#include <gtest/gtest.h>

#include "codecs/minor_codec_helpers.h"
#include "codecs/tga/tga_codec.h"

using namespace velora;

TEST(TgaWriter, OneBitBitmapWrittenAsTrueColourKeepsItsPixels) {
  TBitmap mono;
  mono.Reset(13, 4, TPixelFormat::pf1bit);
  for (int y = 0; y < 4; ++y) mono.ScanLine(y)[0] = uint8_t(0xA5 ^ (y * 17)), mono.ScanLine(y)[1] = 0x80;
  for (bool compressed : {false, true}) {
    TIOParamsVals params;
    params.BitsPerSample = 8;
    params.SamplesPerPixel = 3;
    params.TgaCompressed = compressed;
    TVLMemoryStream out;
    TVLLocalProgress written;
    TgaWriteStream(out, mono, params, written.record);
    ASSERT_FALSE(written.aborting);

    TVLBufferStream in(out.Data().data(), int64_t(out.Data().size()));
    TBitmap back;
    TIOParamsVals read;
    TVLLocalProgress progress;
    TgaReadStream(in, &back, read, false, progress.record);
    ASSERT_FALSE(progress.aborting);
    ASSERT_EQ(back.PixelFormat(), TPixelFormat::pf24bit);
    ASSERT_EQ(back.Width(), 13);
    for (int y = 0; y < 4; ++y)
      for (int x = 0; x < 13; ++x) {
        const bool white = (mono.ScanLine(y)[x >> 3] >> (7 - (x & 7))) & 1;
        const TRGB px = reinterpret_cast<const TRGB*>(back.ScanLine(y))[x];
        EXPECT_EQ(px.r, white ? 255 : 0) << x << "," << y << (compressed ? " run-length" : " plain");
      }
  }
}
