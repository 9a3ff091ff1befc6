// Decoding a large photo-like GIF (4000 x 3000, 256 colours) from memory into a 24-bit bitmap.
// The file is made once with our encoder at $TMPDIR/velora_bench_gif.gif (compare_gif.sh
// decodes the same file with giflib).
#include <benchmark/benchmark.h>

#include <cmath>
#include <filesystem>
#include <random>

#include "codecs/formats.h"
#include "codecs/gif/gif_codec.h"

using namespace velora;

namespace {

constexpr int kWidth = 4000, kHeight = 3000;

std::string BenchFile() {
  const char* tmp = std::getenv("TMPDIR");
  return std::string(tmp && *tmp ? tmp : "/tmp") + "/velora_bench_gif.gif";
}

// Smooth shapes with a little noise, as a quantized photograph looks to the coder.
void MakeFile(const std::string& path) {
  std::vector<uint8_t> indices(size_t(kWidth) * kHeight);
  std::mt19937 rng(1);
  for (int y = 0; y < kHeight; ++y)
    for (int x = 0; x < kWidth; ++x) {
      double v = 128 + 60 * std::sin(x / 300.0) * std::cos(y / 200.0) + 40 * std::sin((x + y) / 90.0) +
                 int(rng() % 9) - 4;
      indices[size_t(y) * kWidth + x] = uint8_t(std::clamp(v, 0.0, 255.0));
    }
  TVLFileStream f(path, TVLFileStream::fmCreate);
  f.WriteBuffer("GIF89a", 6);
  f.WriteU16LE(kWidth);
  f.WriteU16LE(kHeight);
  const uint8_t screen[] = {0xF7, 0, 0};
  f.WriteBuffer(screen, 3);
  for (int i = 0; i < 256; ++i) {
    const uint8_t rgb[] = {uint8_t(i), uint8_t((i * 3) & 255), uint8_t(255 - i)};
    f.WriteBuffer(rgb, 3);
  }
  f.WriteU8(0x2C);
  const uint8_t descriptor[] = {0, 0, 0, 0, kWidth & 255, kWidth >> 8, kHeight & 255, kHeight >> 8, 0};
  f.WriteBuffer(descriptor, sizeof descriptor);
  GifLzwEncode(f, kHeight, kWidth, 8, indices.data(), false);
  f.WriteU8(0x3B);
}

void BM_GifDecode(benchmark::State& state) {
  const std::string path = BenchFile();
  if (!std::filesystem::exists(path)) MakeFile(path);
  TVLMemoryStream file;
  file.LoadFromFile(path);
  VLInstallLzwCoders();
  TBitmap bitmap;
  for (auto _ : state) {
    file.SetPosition(0);
    TIOParamsVals params;
    TVLLocalProgress progress;
    int count = 0;
    GifReadStream(file, &bitmap, count, nullptr, false, progress.record, params);
    if (progress.aborting || bitmap.Width() != kWidth) state.SkipWithError("decode failed");
    benchmark::DoNotOptimize(bitmap.Bits());
  }
  state.SetItemsProcessed(state.iterations() * int64_t(kWidth) * kHeight);
}
BENCHMARK(BM_GifDecode)->Unit(benchmark::kMillisecond)->MinTime(2.0);

}  // namespace
