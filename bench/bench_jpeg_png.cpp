// Decoding speed of the JPEG and PNG readers: a 24-megapixel baseline JPEG at full size and
// at 1/8, and a large PNG. The files are made once by our writers from a synthetic photo-like
// image; VELORA_BENCH_JPEG / VELORA_BENCH_PNG name other files to time instead.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <vector>

#include "codecs/jpeg/jpeg_codec.h"
#include "codecs/png/png_codec.h"

using namespace velora;

namespace {

void Photo(TBitmap& bmp, int w, int h) {
  bmp.Reset(w, h, TPixelFormat::pf24bit);
  uint32_t seed = 12345;
  for (int y = 0; y < h; ++y) {
    uint8_t* row = bmp.ScanLine(y);
    for (int x = 0; x < w; ++x) {
      seed = seed * 1664525u + 1013904223u;
      const int noise = int(seed >> 28) - 8;
      row[3 * x] = uint8_t(std::clamp(int(128 + 100 * std::sin(x * 0.003 + y * 0.001)) + noise, 0, 255));
      row[3 * x + 1] = uint8_t(std::clamp(int(128 + 90 * std::cos(y * 0.004)) + noise, 0, 255));
      row[3 * x + 2] = uint8_t(std::clamp((x ^ y) / 16 % 256 + noise, 0, 255));
    }
  }
}

std::vector<uint8_t> FromFile(const char* env) {
  const char* name = std::getenv(env);
  if (!name) return {};
  std::ifstream in(name, std::ios::binary);
  return std::vector<uint8_t>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

const std::vector<uint8_t>& JpegFile() {
  static std::vector<uint8_t> file = [] {
    auto f = FromFile("VELORA_BENCH_JPEG");
    if (!f.empty()) return f;
    TBitmap bmp;
    Photo(bmp, 6000, 4000);
    TIOParamsVals params;
    params.JpegQuality = 85;
    TVLMemoryStream out;
    TVLLocalProgress progress;
    JpegWriteStream(out, bmp, params, progress.record);
    return out.Data();
  }();
  return file;
}

const std::vector<uint8_t>& PngFile() {
  static std::vector<uint8_t> file = [] {
    auto f = FromFile("VELORA_BENCH_PNG");
    if (!f.empty()) return f;
    TBitmap bmp;
    Photo(bmp, 3000, 2000);
    TIOParamsVals params;
    params.PngFilter = 5;  // adaptive, as most files are written
    params.PngCompression = 6;
    TVLMemoryStream out;
    TVLLocalProgress progress;
    PngWriteStream(out, bmp, params, nullptr, progress.record);
    return out.Data();
  }();
  return file;
}

void DecodeJpeg(benchmark::State& state, int scale) {
  const auto& file = JpegFile();
  TBitmap bmp;
  for (auto _ : state) {
    TVLBufferStream in(file.data(), int64_t(file.size()));
    TIOParamsVals params;
    params.JpegScale = uint8_t(scale);
    TVLLocalProgress progress;
    JpegReadStream(in, &bmp, params, false, progress.record);
    if (progress.aborting) state.SkipWithError("decode failed");
    benchmark::DoNotOptimize(bmp.Bits());
  }
  state.counters["Mpix"] = benchmark::Counter(double(bmp.Width()) * bmp.Height() / 1e6);
}

void BM_JpegDecodeFull(benchmark::State& state) { DecodeJpeg(state, 1); }
void BM_JpegDecodeEighth(benchmark::State& state) { DecodeJpeg(state, 4); }

void BM_PngDecode(benchmark::State& state) {
  const auto& file = PngFile();
  TBitmap bmp;
  for (auto _ : state) {
    TVLBufferStream in(file.data(), int64_t(file.size()));
    TIOParamsVals params;
    TVLLocalProgress progress;
    PngReadStream(in, &bmp, params, nullptr, false, progress.record);
    if (progress.aborting) state.SkipWithError("decode failed");
    benchmark::DoNotOptimize(bmp.Bits());
  }
}

}  // namespace

BENCHMARK(BM_JpegDecodeFull)->Unit(benchmark::kMillisecond)->MinTime(2);
BENCHMARK(BM_JpegDecodeEighth)->Unit(benchmark::kMillisecond)->MinTime(1);
BENCHMARK(BM_PngDecode)->Unit(benchmark::kMillisecond)->MinTime(2);
