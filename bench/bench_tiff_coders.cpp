// The TIFF coders on the strips compare_tiff_coders.sh has libtiff make: LZW strips of a
// 6000 x 4000 photo-like RGB image, Group 4 and Group 3 two-dimensional strips of a text-like
// A4 page at 300 dpi, all in libtiff's default strips. Decoding goes from memory into the
// image's rows; encoding codes the same rows in the same strips into memory. Best of 5; the
// processor-time column is the one to compare on a shared machine.
// The strips and pictures come from the directory in VELORA_TIFF_BENCH_DIR.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "codecs/tiff/fax_coder.h"
#include "codecs/tiff/tiff_lzw.h"

using namespace velora;

namespace {

constexpr int kPhotoWidth = 6000, kPhotoHeight = 4000, kPageWidth = 2480, kPageHeight = 3508;
constexpr int kPhotoRow = kPhotoWidth * 3, kPageRow = (kPageWidth + 7) / 8;

using Bytes = std::vector<uint8_t>;

struct TStrip {
  int rows;
  Bytes data;
};

std::string BenchDir() {
  const char* dir = std::getenv("VELORA_TIFF_BENCH_DIR");
  return dir ? dir : "";
}

Bytes ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

std::vector<TStrip> ReadStrips(const std::string& name) {
  const Bytes file = ReadAll(BenchDir() + "/" + name + ".strips");
  auto u32 = [&](size_t at) {
    return uint32_t(file[at]) | uint32_t(file[at + 1]) << 8 | uint32_t(file[at + 2]) << 16 | uint32_t(file[at + 3]) << 24;
  };
  std::vector<TStrip> strips;
  if (file.size() < 4) return strips;
  size_t at = 4;
  for (uint32_t i = 0, n = u32(0); i < n && at + 8 <= file.size(); ++i) {
    const uint32_t rows = u32(at), size = u32(at + 4);
    at += 8;
    strips.push_back({int(rows), Bytes(file.begin() + long(at), file.begin() + long(at + size))});
    at += size;
  }
  return strips;
}

bool Ready(benchmark::State& state, const std::vector<TStrip>& strips) {
  if (!strips.empty()) return true;
  state.SkipWithError("no strips: run bench/compare_tiff_coders.sh, or set VELORA_TIFF_BENCH_DIR");
  return false;
}

void BM_LzwDecode(benchmark::State& state) {
  const std::vector<TStrip> strips = ReadStrips("photo_lzw");
  if (!Ready(state, strips)) return;
  Bytes image(size_t(kPhotoRow) * kPhotoHeight);
  for (auto _ : state) {
    uint8_t* out = image.data();
    for (const TStrip& s : strips) {
      void* decoder = nullptr;
      for (int r = 0; r < s.rows; ++r, out += kPhotoRow) {
        const uint8_t* row = TiffLzwDecode(s.data.data(), int64_t(s.data.size()), kPhotoRow, &decoder);
        if (!row) return state.SkipWithError("a strip did not decode");
        std::memcpy(out, row, kPhotoRow);
      }
      TiffLzwDecode(nullptr, 0, 0, &decoder);
    }
    benchmark::DoNotOptimize(image.data());
  }
  if (image != ReadAll(BenchDir() + "/photo.raw")) state.SkipWithError("decoded other rows than libtiff");
}

void BM_LzwEncode(benchmark::State& state) {
  const std::vector<TStrip> strips = ReadStrips("photo_lzw");
  if (!Ready(state, strips)) return;
  const Bytes image = ReadAll(BenchDir() + "/photo.raw");
  // Memory for the output, touched once before timing, as libtiff's memory file is after its
  // first run.
  TVLMemoryStream stream;
  stream.SetSize(int64_t(image.size()) * 2);
  stream.Clear();
  for (auto _ : state) {
    stream.Clear();
    const uint8_t* in = image.data();
    for (const TStrip& s : strips) {
      void* encoder = nullptr;
      for (int r = 0; r < s.rows; ++r, in += kPhotoRow) TiffLzwEncode(in, kPhotoRow, stream, &encoder);
      TiffLzwEncode(nullptr, 0, stream, &encoder);
    }
    benchmark::DoNotOptimize(stream.Memory());
  }
  state.counters["bytes"] = double(stream.Size());
}

template <bool fillBits>
void DecodeFaxPage(benchmark::State& state, const char* name) {
  const std::vector<TStrip> strips = ReadStrips(name);
  if (!Ready(state, strips)) return;
  Bytes page(size_t(kPageRow) * kPageHeight);
  TFaxReferenceLine reference;
  for (auto _ : state) {
    uint8_t* out = page.data();
    for (const TStrip& s : strips) {
      reference.Reset(kPageWidth);
      int64_t bit = 0;
      for (int r = 0; r < s.rows; ++r, out += kPageRow)
        bit = DecodeT4T6Row2D(out, s.data.data(), int64_t(s.data.size()), fillBits, 1, bit, reference, kPageWidth);
    }
    benchmark::DoNotOptimize(page.data());
  }
  // Ours has 1 white, the page 1 black.
  Bytes expected = ReadAll(BenchDir() + "/page.raw");
  for (auto& b : expected) b = uint8_t(~b);
  if (page != expected) state.SkipWithError("decoded other rows than libtiff");
}

void BM_G4Decode(benchmark::State& state) { DecodeFaxPage<false>(state, "page_g4"); }
void BM_G3TwoDDecode(benchmark::State& state) { DecodeFaxPage<false>(state, "page_g3_2d"); }

void BM_G4Encode(benchmark::State& state) {
  const std::vector<TStrip> strips = ReadStrips("page_g4");
  if (!Ready(state, strips)) return;
  const Bytes page = ReadAll(BenchDir() + "/page.raw");
  TVLMemoryStream stream;
  stream.SetSize(int64_t(page.size()));
  stream.Clear();
  TVLLocalProgress progress;
  for (auto _ : state) {
    stream.Clear();
    const uint8_t* in = page.data();
    for (const TStrip& s : strips) {
      TFaxEncoderState encoder;
      for (int r = 0; r < s.rows; ++r, in += kPageRow) EncodeT6Row(in, kPageWidth, stream, progress.record, encoder);
      EncodeT6Row(nullptr, kPageWidth, stream, progress.record, encoder);
    }
    benchmark::DoNotOptimize(stream.Memory());
  }
  state.counters["bytes"] = double(stream.Size());
}

double Best(const std::vector<double>& v) { return *std::min_element(v.begin(), v.end()); }

#define TIFF_BENCH(fn) \
  BENCHMARK(fn)->Unit(benchmark::kMillisecond)->Repetitions(5)->Iterations(1)->ComputeStatistics("best", Best)

TIFF_BENCH(BM_LzwDecode);
TIFF_BENCH(BM_LzwEncode);
TIFF_BENCH(BM_G4Decode);
TIFF_BENCH(BM_G3TwoDDecode);
TIFF_BENCH(BM_G4Encode);

}  // namespace
