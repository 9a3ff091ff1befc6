// Fuzz target: the ico reader over arbitrary bytes (recognition, header-only, full read).
#include "codecs/ico/ico_codec.h"
#include "fuzz_reader.h"

using namespace velora;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  return fuzz::FuzzReader(
      data, size, [](TVLStream& s) { IsIcoStream(s); },
      [](TVLStream& s, TIOParamsVals& params, TVLProgressRecord& progress) {
        IcoReadStream(s, nullptr, params, nullptr, progress, true);
      },
      [&](TVLStream& s, TBitmap& bitmap, TIOParamsVals& params, TVLProgressRecord& progress) {
        TVLMask mask;
        mask.Allocate(1, 1, 8);
        params.IcoImageIndex = params.CurImageIndex = size > 0 ? data[size - 1] % 3 : 0;
        IcoReadStream(s, &bitmap, params, &mask, progress, false);
      });
}
