// PNG reader and writer over libpng 1.6.
#pragma once
#include <stdexcept>
#include <cstdint>
#include <string>

#include "bitmap/toolkit_bitmap.h"
#include "bitmap/vl_mask.h"
#include "io/format_descriptor.h"
#include "io/io_params.h"
#include "base/progress.h"
#include "base/vl_stream.h"

namespace velora {

// Raised by the PNG writer: "Error on creating PNG".
class EVLPngException : public std::runtime_error {
 public:
  EVLPngException() : std::runtime_error("Error on creating PNG") {}
};

bool IsPngStream(TVLStream& stream);
void PngReadStream(TVLStream& stream, TBitmap* bitmap, TIOParamsVals& params, TVLMask* alphaMask,
                   bool headerOnly, TVLProgressRecord& progress);
void PngWriteStream(TVLStream& stream, TBitmap& bitmap, TIOParamsVals& params, TVLMask* alphaMask,
                    TVLProgressRecord& progress);

extern const TVLFormatDescriptor kPngDescriptor;

}  // namespace velora
