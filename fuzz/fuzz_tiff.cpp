// TIFF reader fuzz target: header-only read, then a full read with an alpha mask; the page
// index comes from the last byte.
#include <cstdint>

#include "codecs/formats.h"
#include "codecs/tiff/tiff_codec.h"
#include "io/image_limits.h"

using namespace velora;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > (1 << 20)) return 0;
  VLInstallLzwCoders();
  VLSetMaxPixels(int64_t(1) << 20);  // keeps garbage headers from clearing large bitmaps at every input
  for (bool headerOnly : {true, false}) {
    TVLBufferStream stream(data, int64_t(size));
    TIOParamsVals params;
    params.TiffImageIndex = size > 0 ? data[size - 1] % 3 : 0;
    params.TiffApplyOrientation = size > 1 && (data[size - 2] & 1);
    TBitmap bitmap;
    TVLMask mask;
    TVLLocalProgress progress;
    int count = 0;
    TiffReadStream(stream, headerOnly ? nullptr : &bitmap, count, headerOnly ? nullptr : &mask, headerOnly,
                   progress.record, params);
  }
  return 0;
}
