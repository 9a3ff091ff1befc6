// JPEG reader and writer over libjpeg (interface 62).
#pragma once
#include <stdexcept>
#include <cstdint>
#include <string>

#include "bitmap/toolkit_bitmap.h"
#include "bitmap/vl_mask.h"
#include "io/io_params.h"
#include "base/progress.h"
#include "base/vl_stream.h"

namespace velora {

// Raised by the JPEG writer: "JPeg corrupted file".
class EVLJpegException : public std::runtime_error {
 public:
  EVLJpegException() : std::runtime_error("JPeg corrupted file") {}
};

// Position of the first start-of-image signature within the next 100 bytes, or -1; the
// stream position is left unchanged.
int64_t FindJpegStart(TVLStream& stream);
void JpegReadStream(TVLStream& stream, TBitmap* bitmap, TIOParamsVals& params, bool headerOnly,
                    TVLProgressRecord& progress);
void JpegWriteStream(TVLStream& stream, TBitmap& bitmap, TIOParamsVals& params, TVLProgressRecord& progress);

}  // namespace velora
