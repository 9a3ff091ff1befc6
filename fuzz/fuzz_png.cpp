// libFuzzer target for the PNG reader: signature test, header-only read, full read with an
// alpha mask.
#include <cstddef>
#include <cstdint>

#include "codecs/png/png_codec.h"
#include "io/image_limits.h"

using namespace velora;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > (1 << 20)) return 0;
  VLSetMaxPixels(int64_t(1) << 22);
  TVLBufferStream stream(data, int64_t(size));
  IsPngStream(stream);
  TIOParamsVals params;
  TVLLocalProgress progress;
  PngReadStream(stream, nullptr, params, nullptr, true, progress.record);
  stream.SetPosition(0);
  TBitmap bitmap;
  TVLMask mask;
  mask.Allocate(1, 1, 8);
  TIOParamsVals full;
  TVLLocalProgress progress2;
  PngReadStream(stream, &bitmap, full, size % 2 ? &mask : nullptr, false, progress2.record);
  return 0;
}
