// libFuzzer target for the JPEG reader: signature search, header-only read, full read, then
// the metadata step (IPTC, EXIF through the TIFF reader).
#include <cstddef>
#include <cstdint>

#include "codecs/formats.h"
#include "codecs/jpeg/jpeg_codec.h"
#include "io/image_limits.h"

using namespace velora;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > (1 << 20)) return 0;
  VLSetMaxPixels(int64_t(1) << 22);  // keeps garbage headers from decoding for minutes
  TVLBufferStream stream(data, int64_t(size));
  FindJpegStart(stream);
  TIOParamsVals params;
  TVLLocalProgress progress;
  JpegReadStream(stream, nullptr, params, true, progress.record);
  stream.SetPosition(0);
  TBitmap bitmap;
  TIOParamsVals full;
  full.JpegScale = uint8_t(size % 5);
  full.Width = full.Height = 64;
  TVLLocalProgress progress2;
  JpegReadStream(stream, &bitmap, full, false, progress2.record);
  // The metadata step: IPTC, and the EXIF block through the TIFF reader.
  VLInstallLzwCoders();
  ApplyJpegMetadata(full);
  return 0;
}
