// The I/O front over any bytes: content detection, the header-only read and the full load of
// whatever was detected, with stream headers honoured.
#include <cstdint>

#include "codecs/formats.h"
#include "io/image_limits.h"
#include "io/velora_io.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > (1u << 20)) return 0;
  using namespace velora;
  VLInstallLzwCoders();  // as every program does: LZW GIF and TIFF files are read, not refused
  // Run-length BMP, deflate and arithmetic-coded JPEG can declare images near the default
  // limit in a few dozen bytes, legitimately; with the resolution squaring on top such an
  // image takes longer than the timeout under the sanitizers without anything being wrong.
  // The reader targets keep the default limit for the sizes only hostile headers reach.
  VLSetMaxPixels(int64_t(1) << 24);
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
