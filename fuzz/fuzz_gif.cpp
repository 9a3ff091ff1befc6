// GIF reader fuzz target: header-only read, then a full read with an alpha mask.
#include <cstdint>

#include "codecs/formats.h"
#include "codecs/gif/gif_codec.h"

using namespace velora;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > (1 << 20)) return 0;
  VLInstallLzwCoders();
  for (bool headerOnly : {true, false}) {
    TVLBufferStream stream(data, int64_t(size));
    TIOParamsVals params;
    params.GifImageIndex = size > 0 ? data[size - 1] % 3 : 0;
    TBitmap bitmap;
    TVLMask mask;
    mask.Allocate(1, 1, 8);
    TVLLocalProgress progress;
    int count = 0;
    GifReadStream(stream, headerOnly ? nullptr : &bitmap, count, headerOnly ? nullptr : &mask, headerOnly,
                  progress.record, params);
  }
  return 0;
}
