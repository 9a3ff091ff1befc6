// libFuzzer target for the JPEG reader: signature search, header-only read, then the full read
// as the front makes it, with the metadata step (IPTC, EXIF through the TIFF reader) and the
// photo turned upright by its EXIF Orientation.
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
  full.JpegApplyOrientation = true;
  TVLLocalProgress progress2;
  VLInstallLzwCoders();
  kJpegDescriptor.Read({stream, int64_t(size), &bitmap, nullptr, full, false, progress2.record});
  return 0;
}
