// Fuzz target: the bmp reader over arbitrary bytes (header-only, full read).
#include "codecs/bmp/bmp_codec.h"
#include "fuzz_reader.h"

using namespace velora;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  return fuzz::FuzzReader(
      data, size, fuzz::NoRecognition,
      [](TVLStream& s, TIOParamsVals& params, TVLProgressRecord& progress) {
        BmpReadStream(s, nullptr, 0, true, progress, params);
      },
      // The full read starts from fresh params and progress, not from the header read's.
      [&](TVLStream& s, TBitmap& bitmap, TIOParamsVals&, TVLProgressRecord&) {
        TIOParamsVals params;
        TVLLocalProgress progress;
        BmpReadStream(s, &bitmap, int64_t(size), false, progress.record, params);
      });
}
