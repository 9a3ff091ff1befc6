// The TIFF reader on whole files, as compare_tiff.sh hands them over: a 6000 x 4000 photo-like
// RGB image in LZW with the horizontal predictor, and a Group 4 A4 page at 300 dpi, each read
// from its file into the bitmap. The files come from the directory in VELORA_TIFF_BENCH_DIR.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <string>

#include "base/progress.h"
#include "base/vl_stream.h"
#include "codecs/formats.h"
#include "codecs/tiff/tiff_codec.h"

using namespace velora;

namespace {

void ReadTiff(benchmark::State& state, const char* name) {
  const char* dir = std::getenv("VELORA_TIFF_BENCH_DIR");
  const std::string path = std::string(dir ? dir : ".") + "/" + name;
  VLInstallLzwCoders();
  for (auto _ : state) {
    TVLFileStream file(path, TVLFileStream::fmOpenRead);
    TBitmap bitmap;
    TIOParamsVals params;
    TVLLocalProgress progress;
    int pages = 0;
    TiffReadStream(file, &bitmap, pages, nullptr, false, progress.record, params);
    if (progress.aborting) {
      state.SkipWithError(("cannot read " + path + ": " + progress.reason).c_str());
      return;
    }
    benchmark::DoNotOptimize(bitmap.ScanLine(0));
  }
}

void BM_ReadPhotoLzwPredictor(benchmark::State& state) { ReadTiff(state, "photo_lzw2.tif"); }
void BM_ReadPageG4(benchmark::State& state) { ReadTiff(state, "page_g4.tif"); }

}  // namespace

BENCHMARK(BM_ReadPhotoLzwPredictor)->Unit(benchmark::kMillisecond)->Repetitions(5)->ReportAggregatesOnly(true)->MeasureProcessCPUTime();
BENCHMARK(BM_ReadPageG4)->Unit(benchmark::kMillisecond)->Repetitions(5)->ReportAggregatesOnly(true)->MeasureProcessCPUTime();
