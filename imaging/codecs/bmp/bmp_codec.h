// Windows bitmap (BMP, DIB, RLE) reader and writer.
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

// Reads a BMP from the stream's position. bmpSize: bytes of BMP data from there (0 unknown).
// Sets *progress.Aborting on bad data; header-only reads leave bitmap untouched (may be null).
void BmpReadStream(TVLStream& stream, TBitmap* bitmap, int64_t bmpSize, bool headerOnly,
                   TVLProgressRecord& progress, TIOParamsVals& params);
// A device-independent bitmap without the "BM" file header at the stream's position (which is
// kept): a plausible information header of one of the sizes Windows writes.
bool IsPackedDib(TVLStream& stream, int64_t size);
// Writes one complete BMP at the stream's position and leaves the stream behind it.
void BmpWriteStream(TVLStream& stream, TBitmap& bitmap, TIOParamsVals& params, TVLProgressRecord& progress);

extern const TVLFormatDescriptor kBmpDescriptor;

}  // namespace velora
