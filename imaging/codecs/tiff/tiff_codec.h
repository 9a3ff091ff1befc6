// TIFF reader and writer with their LZW and CCITT coders.
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

// One page, TiffImageIndex of params, from the file header at the stream's position; size is
// the data length from there (0: up to the stream's end). imageCount receives the number of
// pages, also in header-only reads (bitmap may then be null).
void TiffReadStream(TVLStream& stream, TBitmap* bitmap, int& imageCount, TVLMask* alphaMask, bool headerOnly,
                    TVLProgressRecord& progress, TIOParamsVals& params, int64_t size = 0);
// Writes the bitmap as one page: a new file at the stream's position, or (insert) a page
// added to the TIFF that starts there, at params.TiffImageIndex (beyond the last page:
// appended). Returns the pages the file has afterwards, 0 when it failed (Aborting).
int TiffWriteStream(TVLStream& stream, bool insert, TBitmap& bitmap, TVLProgressRecord& progress,
                    TIOParamsVals& params);

extern const TVLFormatDescriptor kTiffDescriptor;

}  // namespace velora
