// Targa (TGA) reader and writer.
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

bool IsTgaStream(TVLStream& stream);
void TgaReadStream(TVLStream& stream, TBitmap* bitmap, TIOParamsVals& params, bool headerOnly,
                   TVLProgressRecord& progress);
void TgaWriteStream(TVLStream& stream, TBitmap& bitmap, TIOParamsVals& params, TVLProgressRecord& progress);

extern const TVLFormatDescriptor kTgaDescriptor;

}  // namespace velora
