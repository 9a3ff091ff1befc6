// Fuzz target: the cur reader over arbitrary bytes (recognition, header-only, full read).
#include <cstddef>
#include <cstdint>

#include "codecs/ico/ico_codec.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace velora;
  if (size > (1 << 20)) return 0;
  TVLBufferStream stream(data, int64_t(size));
  IsCurStream(stream);
  stream.SetPosition(0);
  TIOParamsVals params;
  TVLLocalProgress progress;
  CurReadStream(stream, nullptr, params, nullptr, progress.record, true);
  stream.SetPosition(0);
  progress.aborting = false;
  TBitmap bitmap;
  TVLMask mask;
  mask.Allocate(1, 1, 8);
  params.IcoImageIndex = params.CurImageIndex = size > 0 ? data[size - 1] % 3 : 0;
  CurReadStream(stream, &bitmap, params, &mask, progress.record, false);
  return 0;
}
