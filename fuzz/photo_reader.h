// The body shared by the targets of the readers over decoding libraries (WebP, AVIF, HEIF,
// JPEG XL): the content test, the header-only read, then the full read through the format's
// descriptor with an alpha mask, a page chosen by the input's last byte, the photo turned
// upright, and the colour converted from whatever profile the file carries.
#pragma once
#include <cstddef>
#include <cstdint>

#include "bitmap/vl_mask.h"
#include "io/colour_profile.h"
#include "io/format_descriptor.h"
#include "io/image_limits.h"

namespace velora::fuzz {

inline int FuzzPhotoReader(const uint8_t* data, size_t size, const TVLFormatDescriptor& format) {
  if (size > (1 << 20)) return 0;
  VLSetMaxPixels(int64_t(1) << 22);  // keeps garbage headers from decoding for minutes
  TVLBufferStream stream(data, int64_t(size));
  for (const TVLSignature& signature : format.Signatures) {
    signature.test(stream, int64_t(size));
    stream.SetPosition(0);
  }
  TIOParamsVals header;
  TVLLocalProgress progress;
  format.Read({stream, int64_t(size), nullptr, nullptr, header, true, progress.record});
  stream.SetPosition(0);
  TBitmap bitmap;
  TVLMask mask;
  TIOParamsVals full;
  full.ImageIndex = size ? data[size - 1] % 3 : 0;
  full.JpegApplyOrientation = true;
  TVLLocalProgress progress2;
  format.Read({stream, int64_t(size), &bitmap, &mask, full, false, progress2.record});
  if (!progress2.aborting) VLConvertToOutputProfile(bitmap, full);
  return 0;
}

}  // namespace velora::fuzz
