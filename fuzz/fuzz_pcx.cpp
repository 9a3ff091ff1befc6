// Fuzz target: the pcx reader over arbitrary bytes (recognition, header-only, full read).
#include <cstddef>
#include <cstdint>

#include "codecs/pcx/pcx_codec.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace velora;
  if (size > (1 << 20)) return 0;
  TVLBufferStream stream(data, int64_t(size));
  TIOParamsVals params;
  TVLLocalProgress progress;
  PcxReadStream(stream, nullptr, params, true, progress.record, int64_t(size));
  stream.SetPosition(0);
  progress.aborting = false;
  TBitmap bitmap;
  PcxReadStream(stream, &bitmap, params, false, progress.record, int64_t(size));
  return 0;
}
