// JPEG reader under arbitrary bytes: start search, header-only read, then the full read at a
// scale taken from the input so that the scaled decoder paths are reached too.
#include <cstddef>
#include <cstdint>

#include "codecs/jpeg/jpeg_codec.h"

using namespace velora;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > (1 << 20)) return 0;
  for (bool headerOnly : {true, false}) {
    TVLBufferStream stream(data, int64_t(size));
    FindJpegStart(stream);
    TIOParamsVals params;
    if (size > 0) params.JpegScale = uint8_t(1 + data[size - 1] % 4);
    TVLLocalProgress progress;
    TBitmap bitmap;
    JpegReadStream(stream, headerOnly ? nullptr : &bitmap, params, headerOnly, progress.record);
  }
  return 0;
}
