// Fuzz target: the pcx reader over arbitrary bytes (header-only, full read).
#include "codecs/pcx/pcx_codec.h"
#include "fuzz_reader.h"

using namespace velora;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  return fuzz::FuzzReader(
      data, size, fuzz::NoRecognition,
      [&](TVLStream& s, TIOParamsVals& params, TVLProgressRecord& progress) {
        PcxReadStream(s, nullptr, params, true, progress, int64_t(size));
      },
      [&](TVLStream& s, TBitmap& bitmap, TIOParamsVals& params, TVLProgressRecord& progress) {
        PcxReadStream(s, &bitmap, params, false, progress, int64_t(size));
      });
}
