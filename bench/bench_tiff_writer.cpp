// The TIFF writer on whole pages into memory: a 6000 x 4000 photo-like RGB page with LZW and
// the horizontal predictor, and a text-like A4 page at 300 dpi (2480 x 3508) in Group 4.
// The processor-time column is the one to compare on a shared machine.
#include <benchmark/benchmark.h>

#include <memory>
#include <random>

#include "codecs/tiff/tiff_codec.h"
#include "codecs/tiff/tiff_lzw.h"

using namespace velora;

namespace {

std::unique_ptr<TBitmap> PhotoLike(int width, int height) {
  auto bmp = std::make_unique<TBitmap>(width, height, TPixelFormat::pf24bit);
  std::mt19937 rng(7);
  for (int y = 0; y < height; ++y) {
    uint8_t* row = bmp->ScanLine(y);
    for (int x = 0; x < width * 3; ++x) row[x] = uint8_t((x / 3 + y) / 24 * 9 + x % 3 * 40 + rng() % 6);
  }
  return bmp;
}

// Lines of glyph-like strokes: 30-pixel glyphs on a 50-pixel line pitch.
std::unique_ptr<TBitmap> TextPage(int width, int height) {
  auto bmp = std::make_unique<TBitmap>(width, height, TPixelFormat::pf1bit);
  std::mt19937 rng(3);
  for (int y = 0; y < height; ++y) {
    uint8_t* row = bmp->ScanLine(y);
    for (int i = 0; i < bmp->RowLen(); ++i) row[i] = 0xFF;
    if (y % 50 >= 30 || y < 150 || y > height - 150) continue;
    for (int x = 150; x < width - 150; ++x)
      if ((x / 30 + y / 50) % 7 != 0 && ((x % 30 < 3) || (y % 50 == 14 && x % 30 < 20) || rng() % 97 == 0))
        row[x / 8] &= uint8_t(~(0x80 >> (x % 8)));
  }
  return bmp;
}

void WritePage(benchmark::State& state, TBitmap& bitmap, int compression, bool bilevel) {
  TIOParamsVals params;
  params.TiffLzwCompressor = TiffLzwEncode;
  params.TiffCompression = uint8_t(compression);
  if (bilevel) params.BitsPerSample = 1, params.SamplesPerPixel = 1;
  for (auto _ : state) {
    TVLMemoryStream stream;
    TVLLocalProgress progress;
    benchmark::DoNotOptimize(TiffWriteStream(stream, false, bitmap, progress.record, params));
    state.counters["bytes"] = double(stream.Size());
  }
}

void BM_WriteLzwRgbPage(benchmark::State& state) {
  static auto photo = PhotoLike(6000, 4000);
  WritePage(state, *photo, 5, false);
}
BENCHMARK(BM_WriteLzwRgbPage)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_WriteGroup4Page(benchmark::State& state) {
  static auto page = TextPage(2480, 3508);
  WritePage(state, *page, 4, true);
}
BENCHMARK(BM_WriteGroup4Page)->Unit(benchmark::kMillisecond)->Iterations(5);

}  // namespace
