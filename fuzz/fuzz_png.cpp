// PNG reader under arbitrary bytes: signature test, header-only read, then the full read with
// an 8-bit alpha mask.
#include <cstddef>
#include <cstdint>

#include "codecs/png/png_codec.h"

using namespace velora;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > (1 << 20)) return 0;
  for (bool headerOnly : {true, false}) {
    TVLBufferStream stream(data, int64_t(size));
    IsPngStream(stream);
    stream.SetPosition(0);
    TIOParamsVals params;
    TVLLocalProgress progress;
    TBitmap bitmap;
    TVLMask mask;
    mask.Allocate(1, 1, 8);
    PngReadStream(stream, headerOnly ? nullptr : &bitmap, params, headerOnly ? nullptr : &mask, headerOnly,
                  progress.record);
  }
  return 0;
}
