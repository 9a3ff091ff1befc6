// Windows icon and cursor readers.
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

bool IsIcoStream(TVLStream& stream);
bool IsCurStream(TVLStream& stream);
void IcoReadStream(TVLStream& stream, TBitmap* bitmap, TIOParamsVals& params, TVLMask* alphaMask,
                   TVLProgressRecord& progress, bool headerOnly);
void CurReadStream(TVLStream& stream, TBitmap* bitmap, TIOParamsVals& params, TVLMask* alphaMask,
                   TVLProgressRecord& progress, bool headerOnly);

extern const TVLFormatDescriptor kIcoDescriptor;
extern const TVLFormatDescriptor kCurDescriptor;

}  // namespace velora
