// The I/O front over any bytes: content detection, the header-only read and the full load of
// whatever was detected, with stream headers honoured.
#include <cstdint>

#include "io/velora_io.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > (1u << 20)) return 0;
  using namespace velora;
  TVLBufferStream stream(data, int64_t(size));
  TVeloraIO io;
  io.DetectStreamFormat(stream);
  io.ReadParamsFromStream(stream);
  TBitmap bitmap(1, 1, TPixelFormat::pf24bit);
  TVLMask alpha;
  alpha.Allocate(1, 1, 8);
  io.AttachBitmap(&bitmap);
  io.SetAlphaMask(&alpha);
  io.StreamHeaders = size > 0 && (data[0] & 1);
  stream.SetPosition(0);
  io.LoadFromStream(stream);
  return 0;
}
