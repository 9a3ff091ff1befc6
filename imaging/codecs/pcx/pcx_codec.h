// PaintBrush (PCX) reader and writer.
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

void PcxReadStream(TVLStream& stream, TBitmap* bitmap, TIOParamsVals& params, bool headerOnly,
                   TVLProgressRecord& progress, int64_t size);
void PcxWriteStream(TVLStream& stream, TBitmap& bitmap, TIOParamsVals& params, TVLProgressRecord& progress);
void PcxReadFile(const std::string& fileName, TBitmap* bitmap, TIOParamsVals& params, TVLProgressRecord& progress);

extern const TVLFormatDescriptor kPcxDescriptor;

}  // namespace velora
