// BMP reader under arbitrary bytes: header-only read, then the full read.
#include <cstddef>
#include <cstdint>

#include "codecs/bmp/bmp_codec.h"

using namespace velora;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > (1 << 20)) return 0;
  {
    TVLBufferStream stream(data, int64_t(size));
    TIOParamsVals params;
    TVLLocalProgress progress;
    BmpReadStream(stream, nullptr, 0, true, progress.record, params);
  }
  TVLBufferStream stream(data, int64_t(size));
  TIOParamsVals params;
  TVLLocalProgress progress;
  TBitmap bitmap;
  BmpReadStream(stream, &bitmap, int64_t(size), false, progress.record, params);
  return 0;
}
