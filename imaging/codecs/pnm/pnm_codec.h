// Portable bitmap, greymap and pixmap (P1..P6) reader; P4, P5, P6 writer.
#pragma once
#include <cstdint>
#include <string>

#include "bitmap/toolkit_bitmap.h"
#include "bitmap/vl_mask.h"
#include "io/format_descriptor.h"
#include "io/io_params.h"
#include "base/progress.h"
#include "base/vl_stream.h"

namespace velora {

bool IsPnmStream(TVLStream& stream);
void PnmReadStream(TVLStream& stream, TBitmap* bitmap, TIOParamsVals& params, bool headerOnly,
                   TVLProgressRecord& progress);
void PnmWriteStream(TVLStream& stream, TBitmap& bitmap, TIOParamsVals& params, TVLProgressRecord& progress);

extern const TVLFormatDescriptor kPnmDescriptor;

}  // namespace velora
