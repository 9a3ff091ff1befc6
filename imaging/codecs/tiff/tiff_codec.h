// TIFF reader and writer (with their LZW and CCITT coders, in a later step).
#pragma once
#include <cstdint>
#include <string>

#include "bitmap/toolkit_bitmap.h"
#include "bitmap/vl_mask.h"
#include "io/io_params.h"
#include "base/progress.h"
#include "base/vl_stream.h"

namespace velora {

void TiffReadStream(TVLStream& stream, TBitmap* bitmap, TIOParamsVals& params, TVLMask* alphaMask,
                    bool headerOnly, TVLProgressRecord& progress);
void TiffWriteStream(TVLStream& stream, TBitmap& bitmap, TIOParamsVals& params, TVLProgressRecord& progress);

}  // namespace velora
