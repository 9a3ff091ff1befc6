// Fuzz target: the pnm reader over arbitrary bytes (recognition, header-only, full read).
#include <cstddef>
#include <cstdint>

#include "codecs/pnm/pnm_codec.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace velora;
  if (size > (1 << 20)) return 0;
  TVLBufferStream stream(data, int64_t(size));
  IsPnmStream(stream);
  stream.SetPosition(0);
  TIOParamsVals params;
  TVLLocalProgress progress;
  PnmReadStream(stream, nullptr, params, true, progress.record);
  stream.SetPosition(0);
  progress.aborting = false;
  TBitmap bitmap;
  PnmReadStream(stream, &bitmap, params, false, progress.record);
  return 0;
}
