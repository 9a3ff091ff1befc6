// Read → write → read through the I/O front for every lossless writer and a table of sources:
// whatever the format can hold comes back pixel for pixel; the table says where a format must
// lose, and how much it may.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "bitmap/vl_mask.h"
#include "codecs/formats.h"
#include "codecs/gif/gif_codec.h"
#include "io/velora_io.h"
#include "proc/pixel_formats.h"
#include "quant/quantizer.h"

namespace velora {
namespace {

constexpr int kW = 64, kH = 32;

struct TSource {
  std::string name;
  TBitmap bitmap;
  int bits = 8, samples = 3;  // as the reader of such a file sets them
  TVLMask alpha;              // empty unless the source has transparency
};

void Paint(TBitmap& bmp, TRGB (*colourAt)(int x, int y)) {
  bmp.Reset(kW, kH, TPixelFormat::pf24bit);
  for (int y = 0; y < kH; ++y)
    for (int x = 0; x < kW; ++x) reinterpret_cast<TRGB*>(bmp.ScanLine(y))[x] = colourAt(x, y);
}

std::vector<TSource> Sources() {
  std::vector<TSource> s(7);
  s[0].name = "1-bit";
  s[0].bitmap.Reset(kW, kH, TPixelFormat::pf1bit);
  for (int y = 0; y < kH; ++y)
    for (int i = 0; i < kW / 8; ++i) s[0].bitmap.ScanLine(y)[i] = uint8_t(0x3C ^ (y * 37 + i * 11));
  s[0].bits = 1, s[0].samples = 1;
  // Colours off the 5-bit grid, so that an engine's rounding would show.
  s[1].name = "16 colours";
  Paint(s[1].bitmap, [](int x, int y) {
    const int i = (x / 4 + y) % 16;
    return MakeRGB(uint8_t(17 * i + 3), uint8_t(250 - 13 * i), uint8_t(7 * i + 1));
  });
  s[1].bits = 4, s[1].samples = 1;
  s[2].name = "256 colours";
  Paint(s[2].bitmap, [](int x, int y) {
    const int i = (x + kW * y) % 256;
    return MakeRGB(uint8_t(i), uint8_t((i * 7) % 256), uint8_t(255 - i));
  });
  s[2].bits = 8, s[2].samples = 1;
  s[3].name = "8-bit grey";
  Paint(s[3].bitmap, [](int x, int y) {
    const uint8_t v = uint8_t((x + kW * y) % 256);
    return MakeRGB(v, v, v);
  });
  s[3].bits = 8, s[3].samples = 1;
  s[4].name = "24-bit";
  Paint(s[4].bitmap, [](int x, int y) { return MakeRGB(uint8_t(4 * x), uint8_t(8 * y), uint8_t(x * y)); });
  s[5].name = "24-bit with alpha";
  Paint(s[5].bitmap, [](int x, int y) { return MakeRGB(uint8_t(4 * x), uint8_t(8 * y), uint8_t(x * y)); });
  s[5].alpha.Allocate(kW, kH, 8);
  for (int y = 0; y < kH; ++y)
    for (int x = 0; x < kW; ++x) s[5].alpha.ScanLine(y)[x] = uint8_t(x < 8 ? 0 : 255 - 3 * y);
  s[6].name = "8-bit grey with alpha";
  CopyBitmap(s[3].bitmap, s[6].bitmap);
  s[6].bits = 8, s[6].samples = 1;
  s[6].alpha.Allocate(kW, kH, 8);
  for (int y = 0; y < kH; ++y)
    for (int x = 0; x < kW; ++x) s[6].alpha.ScanLine(y)[x] = uint8_t(x * 4);
  return s;
}

// What a read gives back, compared with the source. E: every pixel (and the alpha, where the
// format keeps it); 2, 16, 256: the picture is reduced to at most that many colours.
enum TOutcome : char { E = 'E', Two = '2', Sixteen = 'x', Palette = 'P' };

struct TWriterCase {
  const char* name;
  int32_t fileType;
  int bits, samples;  // 0: the source's own, as `velora convert` and the viewer keep them
  bool keepsAlpha;
  // One outcome per source, in the order of Sources(): 1-bit, 16 colours, 256 colours, grey,
  // 24-bit, 24-bit with alpha, grey with alpha.
  const char outcomes[8];
};

// Where a format must lose:
// - BMP at 1 bit: dithered to black and white (`DitherToMono`) unless the picture has two colours;
// - BMP at 4 bits: 16 colours; BMP at 8 bits, GIF: 256 colours, quantized;
// - PNG at one sample: a palette keeps entry 0 for the background, so 256 colours do not fit
//   and are quantized to 255 (`velora convert` writes such a picture as 24 bits instead);
// - alpha: only PNG writes it; the others keep the colour pixels and drop the alpha.
const TWriterCase kWriters[] = {
    {"BMP 1", ioBMP, 1, 1, false, {E, Two, Two, Two, Two, Two, Two}},
    {"BMP 4", ioBMP, 4, 1, false, {E, E, Sixteen, Sixteen, Sixteen, Sixteen, Sixteen}},
    {"BMP 8", ioBMP, 8, 1, false, {E, E, E, E, Palette, Palette, E}},
    {"BMP 24", ioBMP, 8, 3, false, {E, E, E, E, E, E, E}},
    {"PCX", ioPCX, 0, 0, false, {E, E, E, E, E, E, E}},
    {"TGA", ioTGA, 0, 0, false, {E, E, E, E, E, E, E}},
    {"PNG", ioPNG, 0, 0, true, {E, E, Palette, E, E, E, E}},
    {"GIF", ioGIF, 0, 0, false, {E, E, E, E, Palette, Palette, E}},
    {"PBM/PGM/PPM", ioPXM, 0, 0, false, {E, E, E, E, E, E, E}},
};

std::vector<TRGB> Pixels24(const TBitmap& bmp) {
  TBitmap wide;
  const TBitmap* src = &bmp;
  if (bmp.PixelFormat() == TPixelFormat::pf1bit) {
    ExpandMonoTo24(bmp, wide);
    src = &wide;
  }
  std::vector<TRGB> out;
  for (int y = 0; y < src->Height(); ++y)
    for (int x = 0; x < src->Width(); ++x) out.push_back(reinterpret_cast<const TRGB*>(src->ScanLine(y))[x]);
  return out;
}

class RoundTrip : public ::testing::Test {
 protected:
  // The GIF container reaches its LZW coder through the global slots, as the viewer fills them.
  void SetUp() override { VLInstallLzwCoders(); }
};

TEST_F(RoundTrip, EveryLosslessWriterKeepsWhatItCanHold) {
  for (const TWriterCase& writer : kWriters) {
    std::vector<TSource> sources = Sources();
    for (size_t i = 0; i < sources.size(); ++i) {
      TSource& source = sources[i];
      SCOPED_TRACE(std::string(writer.name) + " from " + source.name);
      TBitmap original;
      CopyBitmap(source.bitmap, original);
      TVeloraIO out;
      out.AttachBitmap(&source.bitmap);
      if (source.alpha.Width() > 0) out.SetAlphaMask(&source.alpha);
      out.Params().BitsPerSample = writer.bits ? writer.bits : source.bits;
      out.Params().SamplesPerPixel = writer.bits ? writer.samples : source.samples;
      TVLMemoryStream file;
      out.SaveToStream(file, writer.fileType);
      ASSERT_FALSE(out.Aborting) << out.AbortReason;

      TBitmap back;
      TVLMask backAlpha;
      TVeloraIO in;
      in.AttachBitmap(&back);
      in.SetAlphaMask(&backAlpha);
      file.SetPosition(0);
      in.LoadFromStream(file);
      ASSERT_FALSE(in.Aborting) << in.AbortReason;
      ASSERT_EQ(back.Width(), kW);
      ASSERT_EQ(back.Height(), kH);

      const std::vector<TRGB> want = Pixels24(original), got = Pixels24(back);
      const TOutcome outcome = TOutcome(writer.outcomes[i]);
      if (outcome == E) {
        int differing = 0;
        for (size_t p = 0; p < want.size(); ++p) differing += !(want[p] == got[p]);
        EXPECT_EQ(differing, 0);
        if (writer.keepsAlpha && source.alpha.Width() > 0) {
          ASSERT_EQ(backAlpha.Width(), kW);
          for (int y = 0; y < kH; ++y)
            for (int x = 0; x < kW; ++x) ASSERT_EQ(backAlpha.ScanLine(y)[x], source.alpha.ScanLine(y)[x]) << x << "," << y;
        }
        continue;
      }
      const int limit = outcome == Two ? 2 : outcome == Sixteen ? 16 : 256;
      TVLQuantizerSource rows = QuantizerSourceOf(back);
      EXPECT_LE(DistinctColours(rows, limit), limit);
      EXPECT_NE(want, got) << "expected a loss here; if the format now holds this picture, say so in the table";
    }
  }
}

}  // namespace
}  // namespace velora
